#pragma once
// `doromi build --zip`: an existing archive appended as it is, after a walk
// over its local headers shows that the stub can reach every member.
#include <string>
#include <vector>

#include "tools/zip_writer.h"

struct AppendedArchive {
    std::string bytes;
    std::vector<ZipWrittenMember> members;  // as the walk found them
    std::vector<std::string> warnings;      // members the stub will handle, but not well
};

// Reads and checks `path`; throws std::runtime_error with the reason the
// stub could not use it. Members whose names the stub refuses (with a box,
// extracting the others) refuse the archive too, unless `allowRefusedNames`
// turns that into a warning.
AppendedArchive ReadAppendableArchive(const std::string& path, bool allowRefusedNames);
