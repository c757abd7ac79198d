#pragma once
// Little-endian fields, as the ZIP format stores them, written into and
// read from the tool's byte strings.
#include <cstdint>
#include <string>

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
