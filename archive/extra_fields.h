#pragma once
// The extra field of a local header: records of a 2-byte id, a 2-byte size
// and that many bytes of data, little-endian like the rest of ZIP.
#include <stdint.h>

// The `bytes`-byte little-endian number at `at` (bytes at most 4).
uint32_t ReadLittleEndian(const uint8_t* at, uint32_t bytes);

// The data of the first record with `id`; false when there is none, or the
// records are cut short before it.
bool FindExtraField(const uint8_t* extra, uint32_t length, uint16_t id, const uint8_t** data, uint32_t* size);

struct LocalHeader;

// A size field of 0xFFFFFFFF is a ZIP64 placeholder: the real size is in
// the ZIP64 extended information field (0x0001), which in a local header
// holds the uncompressed and then the compressed size, 8 bytes each.
// Replaces the placeholders of `header` with those sizes. False when a
// placeholder has no size there, or one that 32 bits cannot hold below
// 0xFFFFFFFF: the member's size is then unknown here.
bool TakeZip64Sizes(LocalHeader& header, const uint8_t* extra, uint32_t extraLength);
