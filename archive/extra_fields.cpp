#include "archive/extra_fields.h"

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
