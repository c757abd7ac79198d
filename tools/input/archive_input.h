#pragma once
// The members `doromi build --from` makes from another archive's entries
// (7z, tar with any compression, rar, cab, iso, cpio and the other
// formats libarchive reads), as if they were files on disk: names,
// folders and times kept, data read in a stream from the archive, never
// unpacked to a folder.
#include <memory>
#include <string>
#include <vector>

#include "tools/zip_writer/zip_writer.h"

struct ArchiveMembers {
    std::vector<ZipMemberSource> members;  // in the archive's order
    std::vector<std::string> warnings;     // entries left out, and why
    // Gives the members' data; it must outlive their writing.
    std::unique_ptr<MemberDataSource> data;
};

// Reads the entries of the archive at `path` (their headers only) and
// names a member for each. A symbolic link becomes a file holding its
// target; a hard link, a second copy of the file it links to; devices,
// FIFOs and sockets are left out with a warning. Throws std::runtime_error
// naming the entry and the reason when one cannot become a member, and
// when `path` is a ZIP archive (--zip takes those).
ArchiveMembers CollectArchiveMembers(const std::string& path);
