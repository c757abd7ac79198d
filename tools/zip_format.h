#pragma once
// Record signatures and little-endian field access of the ZIP format, as
// the tool writes and reads it. The tool (unlike the stub) may hold the
// signatures as plain constants.
#include <cstdint>
#include <string>

#include "startup/sfx_globals.h"

const uint32_t kLocalHeaderSignature = 0x04034B50;
const uint32_t kCentralHeaderSignature = 0x02014B50;
const uint32_t kEndRecordSignature = 0x06054B50;
const uint32_t kDataDescriptorSignature = 0x08074B50;
const uint32_t kZip64EndRecordSignature = 0x06064B50;
// The stub also takes these four bytes (00 00 00 50) as a local header.
const uint32_t kAlternateLocalHeaderSignature = 0x50000000;

const uint32_t kLocalHeaderBytes = 30;
// The most members an archive without ZIP64 holds.
const size_t kMostMembers = 0xFFFF;
const uint32_t kEncryptionHeaderBytes = 12;

// kFlagEncrypted and kFlagSizesAfterData come with the core's LocalHeader.
const uint16_t kFlagStrongEncryption = 0x0040;

const uint16_t kMethodStored = 0;
const uint16_t kMethodDeflated = 8;

const uint16_t kExtraZip64 = 0x0001;
const uint16_t kExtraUnicodePath = 0x7075;

inline void PutLe16(std::string& out, uint16_t value) {
    out += (char)(value & 0xFF);
    out += (char)(value >> 8);
}

inline void PutLe32(std::string& out, uint32_t value) {
    PutLe16(out, (uint16_t)(value & 0xFFFF));
    PutLe16(out, (uint16_t)(value >> 16));
}

inline uint16_t GetLe16(const unsigned char* bytes) { return (uint16_t)(bytes[0] | bytes[1] << 8); }

inline uint32_t GetLe32(const unsigned char* bytes) {
    return GetLe16(bytes) | (uint32_t)GetLe16(bytes + 2) << 16;
}
