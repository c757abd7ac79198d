#pragma once
// `doromi build --zip`: an existing archive made into one the stub walks.
// An archive that already has that form (sizes and CRC in every local
// header, members back to back from its first byte, its central directory
// and end record right after them, only stored and deflated members) is
// appended byte for byte. Any other is rewritten from its central
// directory: each member's compressed data copied as it is under a new
// local header with the real sizes and CRC, members of methods the stub
// does not read recompressed, every other byte dropped.
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/input/central_directory.h"
#include "tools/zip_writer/zip_writer.h"

struct ZipInputOptions {
    bool allowRefusedNames = false;           // names the stub refuses are warned about, not refused
    bool noRewrite = false;                   // refuse what would have to be rewritten
    bool trailerAllowed = false;              // bytes after the end record may stay: the stub's size check is off
    std::optional<std::string> nameEncoding;  // the code page of names without a UTF-8 mark
    // The forms of a password to check the encrypted members against
    // (the traditional cipher's, AES's); none: not checked.
    std::optional<std::pair<std::string, std::string>> password;
};

struct PlannedMember {
    CentralRecord record;      // as the input's directory gives it
    uint64_t headerOffset;     // of its local header in the input
    uint64_t dataStart;        // of its compressed data in the input
    ZipWrittenMember written;  // as it is written; a recompressed member's method and sizes once written
    std::string extra;         // the extra field of both its headers
    uint16_t dosTime, dosDate;
    bool recompressed;
    bool reencoded;           // its name converted from --name-encoding
    std::string nameRefusal;  // why the stub refuses its name, or empty
};

struct ZipInputPlan {
    std::string path;
    bool rewrite = false;              // false: appended unchanged
    std::vector<std::string> changes;  // why it is rewritten, for the summary line
    std::vector<PlannedMember> members;
    std::vector<std::string> warnings;      // members the stub will handle, but not well
    std::vector<std::string> refusedNames;  // members whose names the stub refuses, with why
};

// Reads `path`'s directory and headers and decides what to write; throws
// std::runtime_error naming the member and the reason when the archive
// cannot be used.
ZipInputPlan PlanZipInput(const std::string& path, const ZipInputOptions& options);

// Writes the planned archive to `out`, which stands at `offsetBase` of the
// finished file; what was written, in order.
std::vector<ZipWrittenMember> WriteZipInput(ZipInputPlan& plan, std::FILE* out, uint32_t offsetBase);

// The one line that says what happened to the archive: appended unchanged,
// or rewritten and why, and which members were recompressed.
std::string ZipInputSummary(const ZipInputPlan& plan);
