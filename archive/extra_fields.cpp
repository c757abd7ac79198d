#include "archive/extra_fields.h"

#include "archive/zip_format.h"

uint32_t ReadLittleEndian(const uint8_t* at, uint32_t bytes) {
    uint32_t value = 0;
    while (bytes-- > 0) value = value << 8 | at[bytes];
    return value;
}

bool FindExtraField(const uint8_t* extra, uint32_t length, uint16_t id, const uint8_t** data, uint32_t* size) {
    while (length >= 4) {
        uint32_t recordId = ReadLittleEndian(extra, 2), recordSize = ReadLittleEndian(extra + 2, 2);
        if (recordSize > length - 4) return false;
        if (recordId == id) {
            *data = extra + 4;
            *size = recordSize;
            return true;
        }
        extra += 4 + recordSize;
        length -= 4 + recordSize;
    }
    return false;
}

static const uint32_t kZip64Placeholder = 0xFFFFFFFF;

// One 8-byte size of the field at `at`, when `size` bytes hold it and it
// fits below the placeholder.
static bool TakeSize(const uint8_t* field, uint32_t size, uint32_t at, uint32_t* value) {
    if (size < at + 8 || ReadLittleEndian(field + at + 4, 4) != 0) return false;
    *value = ReadLittleEndian(field + at, 4);
    return *value != kZip64Placeholder;
}

bool TakeZip64Sizes(LocalHeader& header, const uint8_t* extra, uint32_t extraLength) {
    bool uncompressed = header.uncompressedSize == kZip64Placeholder;
    bool compressed = header.compressedSize == kZip64Placeholder;
    if (!uncompressed && !compressed) return true;
    const uint8_t* field;
    uint32_t size;
    if (!FindExtraField(extra, extraLength, kExtraZip64, &field, &size)) return false;
    // Both sizes are there when the field has room for both; otherwise
    // only the placeholders', in order, as in a central directory.
    uint32_t compressedAt = size >= 16 || uncompressed ? 8 : 0;
    // Through locals: the packed header's fields may be unaligned.
    uint32_t uncompressedSize = header.uncompressedSize, compressedSize = header.compressedSize;
    if (uncompressed && !TakeSize(field, size, 0, &uncompressedSize)) return false;
    if (compressed && !TakeSize(field, size, compressedAt, &compressedSize)) return false;
    header.uncompressedSize = uncompressedSize;
    header.compressedSize = compressedSize;
    return true;
}
