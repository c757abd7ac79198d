#pragma once
// The combined file and the ZIP records in it, as the stub reads them and
// the doromi tool writes and reads them: their one definition.
#include <stdint.h>

// ---- The combined file --------------------------------------------------
// The stub image, padded to exactly kStubImageSize bytes; an optional
// settings block of kSettingsBlockSize bytes; the ZIP archive. The build
// takes the image size from the line below, so it is written only here.
enum : uint32_t {
    kStubImageSize = 40448,
    kSettingsBlockSize = 256,
    kArchiveBaseWithSettings = kStubImageSize + kSettingsBlockSize,
};

// The largest combined file, and so the last offset anything in it can end
// at: Windows refuses to start an executable of 4 GiB or more. Offsets and
// sizes are unsigned 32-bit values.
static const uint32_t kLastPosition = 0xFFFFFFFFu;

// The settings block: "MPU", a flags byte, the lengths of the title, the
// default directory and the run command (one byte each), those texts in
// code page 949 without terminators, zeros to the end of the block.
enum : uint32_t {
    kSettingsMagicSize = 3,
    kSettingsFlagsOffset = 3,
    kSettingsLengthsOffset = 4,
    kSettingsTextsOffset = 7,
    kSettingsTextRoom = kSettingsBlockSize - kSettingsTextsOffset,  // the three texts together
};
static const char kSettingsMagic[kSettingsMagicSize + 1] = "MPU";

// The bits of the flags byte.
enum : uint8_t {
    kSettingsShowRunChoice = 0x01,      // set: the run check box is shown
    kSettingsAllowMemberChoice = 0x02,  // set: the user may deselect members
    kSettingsHideOverwriteChoice = 0x04,
    kSettingsOverwriteMask = 0x18,  // 0 ask, 0x08 overwrite, 0x10 skip; both bits ask too
    kSettingsOverwriteAlways = 0x08,
    kSettingsOverwriteSkip = 0x10,
    kSettingsNoSizeCheck = 0x20,
    kSettingsAutoStart = 0x40,
};

// "><" as the whole default directory stands for the temporary directory.
static const char kTemporaryDirectoryMarker[] = "><";

// ---- ZIP records ----------------------------------------------------------
// Signatures, little-endian as they lie in the file. The stub's image must
// not hold the bytes of the local-header, central-header or end-record
// signatures (tools would take the stub for the archive), so the stub forms
// or tests those at run time and never uses these constants directly.
enum : uint32_t {
    kLocalHeaderSignature = 0x04034B50,
    kCentralHeaderSignature = 0x02014B50,
    kEndRecordSignature = 0x06054B50,
    kDataDescriptorSignature = 0x08074B50,
    kZip64EndRecordSignature = 0x06064B50,
    // The stub also takes these four bytes (00 00 00 50) for a local header.
    kAlternateLocalHeaderSignature = 0x50000000,
};

// The 30-byte local file header exactly as it lies in the file.
#pragma pack(push, 1)
struct LocalHeader {
    uint32_t signature;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};
#pragma pack(pop)
static_assert(sizeof(LocalHeader) == 30, "local header is 30 bytes on disk");

// The bits of LocalHeader.flags.
enum : uint16_t {
    kFlagEncrypted = 0x0001,         // encrypted: traditionally (12-byte header) unless the method is AES
    kFlagSizesAfterData = 0x0008,    // CRC and sizes repeated in a data descriptor
    kFlagStrongEncryption = 0x0040,  // strong encryption, which the stub cannot decrypt
    kFlagUtf8Name = 0x0800,          // the name is UTF-8
};

enum : uint16_t {
    kMethodStored = 0,
    kMethodDeflated = 8,
    kMethodAes = 99,  // the real method is in the AES extra field
};

// Extra field ids.
enum : uint16_t {
    kExtraZip64 = 0x0001,
    kExtraUnicodePath = 0x7075,  // Info-ZIP: version 1, the CRC-32 of the header's name, the UTF-8 name
    kExtraAes = 0x9901,          // WinZip's AE-1 and AE-2
};

enum : uint32_t {
    kEncryptionHeaderSize = 12,  // before a traditionally encrypted member's data
    kDataDescriptorSize = 16,    // signature, CRC-32, compressed and real size
    // The end record's fixed part: signature, disk numbers, entry counts,
    // central directory size and offset, comment length (at 20).
    kEndRecordFixedSize = 22,
    kEndRecordCommentLengthOffset = 20,
    kMostMembers = 0xFFFF,  // in an archive without ZIP64
};
