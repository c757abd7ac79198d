#include "archive/size_check.h"

#include "archive/extra_fields.h"
#include "archive/zip_format.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"
#include "util/archive_position.h"

// The fixed part plus the longest comment, plus one.
static const uint32_t kLongestTail = kEndRecordFixedSize + 0xFFFF + 1;

// The PE header's fields on the way to the security directory: e_lfanew in
// the DOS header; after "PE\0\0" the 20-byte file header, whose field at 16
// is the optional header's size; in the optional header its magic, and the
// data directories (8 bytes each, the count just before them) at 96 in a
// 32-bit image and 112 in a 64-bit one. Entry 4 is the security directory,
// whose address is a file offset.
static const uint32_t kNewHeaderOffsetField = 0x3C;
static const uint32_t kFileHeaderSize = 20;
static const uint32_t kOptionalSizeField = 16;
static const uint16_t kMagic32 = 0x10B, kMagic64 = 0x20B;
static const uint32_t kDirectories32 = 96, kDirectories64 = 112;
static const uint32_t kSecurityEntry = 4;
// "PE\0\0", the file header and the longest optional header part read.
static const uint32_t kPeHeadersRead = 4 + kFileHeaderSize + kDirectories64 + (kSecurityEntry + 1) * 8;
// The signing tools pad the file to a multiple of 8 bytes before the table.
static const uint32_t kLongestAlignment = 7;

// Reads `count` bytes at `offset`; false unless all of them arrived.
static bool ReadAt(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count) {
    return SetFilePosition(file, (int32_t)offset, kFromStart) == offset &&
           ReadFromFile(file, buffer, count) == count;
}

SignatureLayout FindCertificateTable(FileHandle file, uint32_t fileSize, uint32_t* start, uint32_t* size) {
    uint8_t field[4];
    if (fileSize < kNewHeaderOffsetField + 4 || !ReadAt(file, kNewHeaderOffsetField, field, 4)) return kNotSigned;
    uint32_t peOffset = ReadLittleEndian(field, 4);
    uint8_t pe[kPeHeadersRead] = {};
    uint32_t available = (uint64_t)peOffset + kPeHeadersRead <= fileSize ? kPeHeadersRead
                         : peOffset < fileSize                          ? fileSize - peOffset
                                                                        : 0;
    if (available < 4 + kFileHeaderSize + 2 || !ReadAt(file, peOffset, pe, available)) return kNotSigned;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return kNotSigned;
    const uint8_t* optional = pe + 4 + kFileHeaderSize;
    uint32_t optionalSize = ReadLittleEndian(pe + 4 + kOptionalSizeField, 2);
    uint32_t magic = ReadLittleEndian(optional, 2);
    uint32_t directories = magic == kMagic32 ? kDirectories32 : magic == kMagic64 ? kDirectories64 : 0;
    uint32_t entryEnd = directories + (kSecurityEntry + 1) * 8;
    if (directories == 0 || optionalSize < entryEnd || 4 + kFileHeaderSize + entryEnd > available) return kNotSigned;
    if (ReadLittleEndian(optional + directories - 4, 4) <= kSecurityEntry) return kNotSigned;  // NumberOfRvaAndSizes
    *start = ReadLittleEndian(optional + directories + kSecurityEntry * 8, 4);
    *size = ReadLittleEndian(optional + directories + kSecurityEntry * 8 + 4, 4);
    if (*start == 0 && *size == 0) return kNotSigned;
    return (uint64_t)*start + *size <= fileSize ? kSigned : kUnusableSecurity;
}

// Tested a byte at a time so that the stub never holds the signature.
static bool IsEndRecordSignature(const uint8_t* bytes) {
    return bytes[0] == (uint8_t)kEndRecordSignature && bytes[1] == (uint8_t)(kEndRecordSignature >> 8) &&
           bytes[2] == (uint8_t)(kEndRecordSignature >> 16) && bytes[3] == (uint8_t)(kEndRecordSignature >> 24);
}

// The tail ends at the end of the file, so a record whose comment ends
// exactly at the end of the tail ends exactly at the end of the file.
static bool TailHasMatchingEndRecord(const uint8_t* tail, uint32_t tailLength) {
    for (uint32_t i = 0; i + kEndRecordFixedSize <= tailLength; ++i) {
        if (!IsEndRecordSignature(tail + i)) continue;
        uint32_t commentLength = ReadLittleEndian(tail + i + kEndRecordCommentLengthOffset, 2);
        if (tailLength - i - kEndRecordFixedSize == commentLength) return true;
    }
    return false;
}

// Whether the archive ends at `end`, or (when `alignment` allows) up to
// that many zero bytes before it.
static bool ArchiveEndsAt(FileHandle archive, uint32_t archiveBase, uint32_t end, uint32_t alignment) {
    if (end <= archiveBase + kEndRecordFixedSize) return false;
    uint32_t tailLength = end - archiveBase;
    if (tailLength > kLongestTail + alignment) tailLength = kLongestTail + alignment;
    uint8_t* tail = (uint8_t*)AllocateBlock(tailLength);
    if (!tail) return false;
    bool matches = false;
    if (ReadAt(archive, end - tailLength, tail, tailLength)) {
        for (uint32_t padding = 0; !matches && padding <= alignment && padding < tailLength; ++padding) {
            if (padding > 0 && tail[tailLength - padding] != 0) break;
            uint32_t searched = tailLength - padding;
            if (searched > kLongestTail) searched = kLongestTail;
            matches = TailHasMatchingEndRecord(tail + (tailLength - padding - searched), searched);
        }
    }
    ReleaseBlock(tail);
    return matches;
}

// The archive's end record ends the file; or, in a signed file, it ends
// where the certificate table that closes the file begins. Either passes: a
// file whose end record's comment runs to the end of the file passes the
// first, whatever its PE header says.
bool ArchiveSizeMatches(FileHandle archive, uint32_t archiveBase) {
    uint32_t fileSize = FileSize(archive);
    if (fileSize == kInvalidPosition) return false;
    if (ArchiveEndsAt(archive, archiveBase, fileSize, 0)) return true;
    uint32_t tableStart, tableSize;
    if (FindCertificateTable(archive, fileSize, &tableStart, &tableSize) != kSigned) return false;
    if (tableStart < archiveBase || (uint64_t)tableStart + tableSize != fileSize) return false;
    return ArchiveEndsAt(archive, archiveBase, tableStart, kLongestAlignment);
}

// Ends the run as start-up would after its dialog: the archive closed
// (without the close-failure message), the table and the state released.
[[noreturn]] static void EndRunAfterFailedCheck() {
    CloseFile(Sfx.ArchiveHandle);
    ReleaseBlock(Sfx.CrcTable);
    Sfx.CrcTable = 0;
    ResetSfxGlobals();
    EndProcess();
}

void CheckArchiveSize() {
    if (ArchiveSizeMatches(Sfx.ArchiveHandle, Sfx.ArchiveBase)) {
        SeekArchive(Sfx.ArchiveBase - kSettingsBlockSize + kSettingsLengthsOffset);
        Sfx.SizeChecked = true;
        return;
    }
    ShowError(TEXT_SIZE_MISMATCH, TEXT_ERROR_CAPTION);
    EndRunAfterFailedCheck();
}
