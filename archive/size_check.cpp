#include "archive/size_check.h"

#include "startup/sfx_globals.h"
#include "ui/frontend.h"
#include "ui/texts.h"
#include "util/archive_position.h"

// The end record's fixed part: signature, disk numbers, entry counts,
// central directory size and offset, comment length.
static const uint32_t kEndRecordFixedSize = 22;
static const uint32_t kCommentLengthOffset = 20;
// The fixed part plus the longest comment, plus one.
static const uint32_t kLongestTail = kEndRecordFixedSize + 0xFFFF + 1;
// Where the text lengths of the settings block begin: after the magic and
// the flags byte.
static const uint32_t kSettingsFlagsEnd = 4;

// Tested a byte at a time so that the stub never holds the signature.
static bool IsEndRecordSignature(const uint8_t* bytes) {
    return bytes[0] == 0x50 && bytes[1] == 0x4B && bytes[2] == 0x05 && bytes[3] == 0x06;
}

// The tail ends at the end of the file, so a record whose comment ends
// exactly at the end of the tail ends exactly at the end of the file.
static bool TailHasMatchingEndRecord(const uint8_t* tail, uint32_t tailLength) {
    for (uint32_t i = 0; i + kEndRecordFixedSize <= tailLength; ++i) {
        if (!IsEndRecordSignature(tail + i)) continue;
        uint32_t commentLength = tail[i + kCommentLengthOffset] | tail[i + kCommentLengthOffset + 1] << 8;
        if (tailLength - i - kEndRecordFixedSize == commentLength) return true;
    }
    return false;
}

bool ArchiveSizeMatches(FileHandle archive, uint32_t archiveBase) {
    uint32_t fileSize = FileSize(archive);
    if (fileSize == kInvalidPosition || fileSize <= archiveBase + kEndRecordFixedSize) return false;
    uint32_t tailLength = fileSize - archiveBase;
    if (tailLength > kLongestTail) tailLength = kLongestTail;

    uint8_t* tail = (uint8_t*)AllocateBlock(tailLength);
    if (!tail) return false;
    uint32_t tailStart = SetFilePosition(archive, -(int32_t)tailLength, kFromEnd);
    bool matches = tailStart == fileSize - tailLength &&
                   ReadFromFile(archive, tail, tailLength) == tailLength &&
                   TailHasMatchingEndRecord(tail, tailLength);
    ReleaseBlock(tail);
    return matches;
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
        SeekArchive(Sfx.ArchiveBase - kSettingsBlockSize + kSettingsFlagsEnd, kFromStart);
        Sfx.SizeChecked = true;
        return;
    }
    ShowError(TEXT_SIZE_MISMATCH, TEXT_ERROR_CAPTION);
    EndRunAfterFailedCheck();
}
