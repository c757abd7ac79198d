#pragma once
// The content of one member of a ZIP archive in a compression method the
// stub does not read (bzip2, LZMA, xz, zstd, PPMd, ...), decompressed by
// libarchive as it streams: only the member's compressed bytes are read,
// a piece at a time, so the memory taken stays that of the decoder.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

struct PackedMember {
    uint64_t dataStart;  // of its compressed bytes in the file
    uint32_t compressedSize;
    uint32_t size;
    uint32_t crc;
    uint16_t method;
    uint16_t flags;  // bits 1 and 2 say how some methods ended their stream
};

// Hands the member's content to `take` in pieces. Throws
// std::runtime_error with libarchive's reason when it cannot be read.
void DecompressMember(std::FILE* file, const PackedMember& member,
                      const std::function<void(const char* bytes, size_t count)>& take);

// "bzip2", "LZMA", ... for messages; the number when the method has no name here.
std::string CompressionMethodName(uint16_t method);
