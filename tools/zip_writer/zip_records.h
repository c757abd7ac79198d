#pragma once
// The pieces of a ZIP archive that every writer of the tool shares: the
// output with its position in the finished file, a streaming raw deflater,
// local and central headers, the central directory and end record.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zip_writer/zip_writer.h"

const uint16_t kVersionStored = 10;    // 1.0: stored, no encryption
const uint16_t kVersionDeflated = 20;  // 2.0: deflate, encryption, directories
const uint16_t kVersionAes = 51;       // 5.1: AES encryption
const uint16_t kVersionMadeBy = 20;    // host 0 (MS-DOS and Windows), 2.0
// Host 11 (Windows NTFS), 2.0, for members named in UTF-8: Info-ZIP's unzip
// converts the names of host 0 from the OEM code page even when flag bit
// 11 marks them as UTF-8. Both hosts keep DOS attributes alike.
const uint16_t kVersionMadeByNtfs = 11 << 8 | 20;

// The piece size of reads, copies and compression.
const size_t kChunk = 1 << 16;

// The "version made by" the writers use for a member with `flags`.
inline uint16_t VersionMadeByFor(uint16_t flags) {
    return (flags & kFlagUtf8Name) ? kVersionMadeByNtfs : kVersionMadeBy;
}

// One member's central directory record, as it is written.
struct CentralEntry {
    ZipWrittenMember member;
    uint16_t version;  // needed to extract
    uint16_t dosTime, dosDate;
    uint32_t attributes;  // external
    uint32_t headerOffset;
    std::string extra;
    uint16_t madeBy = kVersionMadeBy;
    uint16_t internalAttributes = 0;
};

// The fields the local and the central header share, from "version
// needed" to the extra-field length.
std::string CommonHeaderFields(const CentralEntry& entry);

// The output, which knows its position in the finished file and refuses
// to reach 4 GiB.
class ArchiveOutput {
public:
    ArchiveOutput(std::FILE* out, uint32_t base) : out_(out), position_(base) {}

    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
    void Write(const char* bytes, size_t count);
    uint32_t Position() const { return (uint32_t)position_; }

    // Goes back to `position` (in the file written so far), dropping what
    // follows, or overwrites bytes there and returns to the end.
    void Truncate(uint32_t position);
    void Patch(uint32_t position, const std::string& bytes);

private:
    std::FILE* out_;
    uint64_t position_;
};

// Raw deflate (no zlib wrapper) of a stream, handed in pieces, with zlib:
// its memory stays the same whatever the stream's size.
class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater() { deflateEnd(&stream_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `bytes` (the last piece when `finish`); the output so far.
    std::string Take(const char* bytes, size_t count, bool finish);

private:
    z_stream stream_{};
};

// The central directory of `entries` and the end record after it.
void WriteCentralDirectory(ArchiveOutput& output, const std::vector<CentralEntry>& entries);
