#pragma once
// The extra field of a local header: records of a 2-byte id, a 2-byte size
// and that many bytes of data, little-endian like the rest of ZIP.
#include <stdint.h>

// The `bytes`-byte little-endian number at `at` (bytes at most 4).
uint32_t ReadLittleEndian(const uint8_t* at, uint32_t bytes);

// The data of the first record with `id`; false when there is none, or the
// records are cut short before it.
bool FindExtraField(const uint8_t* extra, uint32_t length, uint16_t id, const uint8_t** data, uint32_t* size);
