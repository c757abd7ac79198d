#pragma once
// Hand-made archive members for the walk and extraction tests, down to the
// odd layouts real tools rarely write: descriptors in a row or without
// signature, the alternate header signature, wrong CRCs, hidden sizes; and
// the first local header of an archive another tool wrote, read back.
#include <cstdint>
#include <string>

struct MemberSpec {
    std::string name;
    std::string data;            // the member's plain content
    uint16_t method = 0;         // 0 stores `data`; any other value stores `stored`
    std::string stored;          // member data as stored when method is not 0
    uint16_t dosTime = 0x7D46;   // 15:42:12
    uint16_t dosDate = 0x28B1;   // 17 May 2000
    std::string extra;
    std::string password;        // encrypts the member when not empty
    bool sizesAfterData = false; // flag bit 3: the check byte comes from the time
    bool utf8Name = false;       // flag bit 11: the name is UTF-8
    bool hideSizes = false;      // bit 3 with zero sizes and CRC in the header
    bool wrongCrc = false;
    int64_t declaredSize = -1;   // the header's uncompressed size; -1: the data's real size
    // AES encryption with `password` instead of the traditional one when
    // aesStrength is 1, 2 or 3 (128, 192, 256-bit keys); the salt is
    // 4 + 4 * strength bytes.
    uint8_t aesStrength = 0;
    uint16_t aesVersion = 2;     // AE-2 records no CRC
    std::string salt;
    uint32_t signature = 0x04034B50;
    int descriptors = 0;         // data descriptors with signature after the data
    bool unsignedDescriptor = false;  // a 12-byte descriptor without signature
};

// CRC-32 of `data`, computed with the core's table (Sfx.CrcTable ready).
uint32_t Crc32Of(const std::string& data);

// An Info-ZIP Unicode Path extra field (0x7075, version 1) naming
// `utf8Name` for a header whose name bytes have the CRC-32 `nameCrc`.
std::string UnicodePathField(const std::string& utf8Name, uint32_t nameCrc);

// The local header, name, extra field, encryption header, data and any
// descriptors of one member. Needs Sfx.CrcTable.
std::string LocalMember(const MemberSpec& member);

// What follows the last member in a real archive: a central directory
// header signature, which ends the walk, and an end record.
std::string ArchiveEnd();

// The first local header of `zip`, read field by field, and where its
// member's data begins; all zero when `zip` is shorter than a header.
struct FirstHeader {
    uint16_t flags = 0, method = 0;
    uint32_t timeAndDate = 0, crc = 0, compressedSize = 0;
    size_t dataStart = 0;
};
FirstHeader ReadFirstHeader(const std::string& zip);
