#pragma once
// Writes a ZIP archive that the stub can walk: every member's CRC and
// sizes in its local header (no data descriptors), stored or raw-deflated
// data (libdeflate for members read whole, zlib streaming for larger ones),
// optional AES or traditional encryption. A name that code page 949 can
// hold is stored in it, with the UTF-8 name in an Info-ZIP Unicode Path
// extra field when it is not ASCII, so that Korean tools reading the
// header see it too; any other name is stored in UTF-8 with flag bit 11.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zip_format.h"

class ProgressLine;

// The compression level when none is given: the lowest at which libdeflate
// makes archives no larger than other archivers' best deflate.
const int kDefaultLevel = 10;
const int kHighestLevel = 12;

// Members up to this size are read whole and compressed with libdeflate,
// which takes whole buffers only; larger ones stream through zlib, so that
// the memory a build takes stays below about twice this size (the content
// and its compressed form) however large the files are.
const uint64_t kLargestWholeMember = 64 << 20;
// The same for members read from another archive, whose decompressor
// takes memory of its own (its dictionary: 64 MiB for xz -9): reading
// them whole only up to this size leaves it room within the same bound.
const uint64_t kLargestWholeEntry = 16 << 20;

// How members are encrypted: WinZip's AES (AE-2: the authentication code
// stands for the CRC) or the traditional ZIP cipher.
enum class Encryption { Aes256, Aes128, Traditional };

struct ZipMemberSource;

// Where members that are not files on disk take their data from (the
// entries of another archive). The writer may read a member more than
// once (a digest before encrypting it, or again to store it when deflate
// did not shrink it): each Open starts the member's data from its
// beginning. One member is read at a time.
class MemberDataSource {
public:
    virtual ~MemberDataSource() = default;
    virtual void Open(const ZipMemberSource& member) = 0;
    // The next bytes of the member opened last into `buffer`, at most
    // `capacity`; 0 at its end. Throws std::runtime_error naming the
    // member when it cannot be read.
    virtual size_t Read(char* buffer, size_t capacity) = 0;
};

struct ZipMemberSource {
    std::string utf8Name;     // "/" separators; a directory's name ends in "/"
    std::string headerName;   // the same name as the header stores it
    bool utf8Header = false;  // headerName is utf8Name, marked with flag bit 11
    std::string path;         // where the data comes from (files only), or where the member is, in words
    MemberDataSource* dataSource = nullptr;  // gives the data instead of the file at `path`, when set
    size_t entry = 0;         // which of its entries dataSource gives
    uint64_t size = 0;        // its size when it was collected; reading must find the same
    bool isDirectory = false;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
};

struct ZipWriteOptions {
    bool store = false;         // no compression at all
    int level = kDefaultLevel;  // libdeflate level 1..12 otherwise (zlib's, at most 9, above kLargestWholeMember)
    std::string password;       // the bytes the cipher takes; empty: no encryption
    Encryption encryption = Encryption::Aes256;  // how, when there is a password
    bool randomHeaders = false; // encryption headers (or AES salts) from the system's random source
    // Offset of the archive's first byte in the finished file, so that the
    // central directory's offsets are right for tools that read it.
    uint32_t offsetBase = 0;
    ProgressLine* progress = nullptr;  // updated as members are read, when given
};

// What was written for one member, in archive order.
struct ZipWrittenMember {
    std::string headerName;  // the name bytes as stored
    std::string shownName;   // the name as the stub lists it, in UTF-8
    uint16_t method;
    uint16_t flags;
    uint32_t crc;
    uint32_t compressedSize;  // encryption header included
    uint32_t size;
};

// Writes the members in the order given to `out`, which stands at
// options.offsetBase of the finished file. Throws std::runtime_error
// naming the file or the limit on failure.
std::vector<ZipWrittenMember> WriteZipArchive(std::FILE* out, const std::vector<ZipMemberSource>& members,
                                              const ZipWriteOptions& options);

// The largest finished file: 4 GiB less one byte, as an executable of 4 GiB
// or more does not start, and the stub positions itself with unsigned
// 32-bit offsets from the start of the file.
const uint64_t kLargestCombinedFile = kLastPosition;
