#pragma once
// Reading a member's data for the writer: from its file or its data
// source, checked against the size collected, whole or in pieces, and the
// digests its encryption is seeded from.
#include <cstdint>
#include <string>

#include "tools/zip_writer/zip_records.h"
#include "tools/zip_writer/zip_writer.h"

// One read of a member's file (or its data source's entry) from its
// start, in chunks, checking that it is still the file that was
// collected: a read error or a size other than the one collected ends the
// build with the file's name and the reason.
class MemberInput {
public:
    explicit MemberInput(const ZipMemberSource& source);
    ~MemberInput();
    MemberInput(const MemberInput&) = delete;
    MemberInput& operator=(const MemberInput&) = delete;

    // The next bytes into `buffer`, at most `capacity`; 0 at the end of
    // the file.
    size_t Next(char* buffer, size_t capacity = kChunk);

private:
    [[noreturn]] void Fail(const std::string& reason);

    const ZipMemberSource& source_;
    int fd_ = -1;
    uint64_t done_ = 0;
};

// What one read of a member's file gives before its data is written: the
// CRC-32, and the SHA-256 that an AES salt is derived from.
struct FileDigest {
    uint32_t crc;
    std::string sha256;
};

// The digest of bytes in memory.
FileDigest DigestOfBytes(const std::string& content);

// The digest of a member's data, read once through MemberInput.
FileDigest DigestOfFile(const ZipMemberSource& source);

// A member's whole content, read once.
std::string ReadWholeMember(const ZipMemberSource& source);
