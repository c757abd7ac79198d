#pragma once
// Little-endian fields, as the ZIP format stores them, written into the
// tool's byte strings (the core's ReadLittleEndian reads them).
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
