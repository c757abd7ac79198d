#pragma once
// The CRC-32 of ZIP (IEEE 802.3, bit-reversed, polynomial 0xEDB88320),
// table-driven. The routines do not condition the register: callers start
// it at 0xFFFFFFFF and invert it at the end.
//
// Sfx.CrcTable, the 256-entry byte-wise table, defines the CRC. Buffers are
// folded through more tables derived from it when it is built: long ones
// in braids of five machine words with a register each, the rest eight
// bytes at a time ("slicing by 8"); the result is the byte-wise one. On
// x86-64 processors with carry-less multiplication, long buffers are
// folded with that instead.
#include <stdint.h>

// Fills the 256 entries of Sfx.CrcTable, which must already be allocated,
// derives the other tables from them, and turns carry-less multiplication
// on where the processor has it.
void BuildCrcTable();

// For tests: turns carry-less multiplication off, or on again where the
// processor has it; returns whether it is now in use.
bool UseCarrylessCrc(bool wanted);

// The register after one more byte.
uint32_t UpdateCrc(uint8_t byte, uint32_t crc);

// Folds `count` bytes, first to last, into `crc`; a count of zero or less
// changes nothing.
void UpdateCrcBuffer(const uint8_t* bytes, int32_t count, uint32_t& crc);

// The finished CRC-32 of `length` bytes (register started and inverted).
uint32_t CrcOfBytes(const uint8_t* bytes, uint32_t length);
