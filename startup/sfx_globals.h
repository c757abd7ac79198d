#pragma once
// SfxGlobals: the one record of process-wide state that every part of the
// self-extractor reads and writes. There is exactly one instance, `Sfx`,
// alive for the whole run; fields start zeroed unless ResetSfxGlobals
// says otherwise.
#include <stdint.h>

#include "archive/member_names.h"
#include "archive/zip_format.h"
#include "platform/platform.h"
#include "util/text.h"

// Texts are UTF-8 (platform/platform.h). Limits in characters count UTF-16
// units; the buffers hold that many units of UTF-8, at most three bytes
// each, so that every text that fitted the system's code page still fits.
enum : uint32_t {
    kLongestExtractDir = 255,    // ExtractDir's limit, in UTF-16 units
    kSettingsTextRead = 261,     // a settings text as stored, in code page 949
    kSettingsTextSize = kSettingsTextRead / 2 * 3 + 1,  // 391: the same as UTF-8
    kLongestPassword = 79,       // as typed, in UTF-16 units
    kPasswordBufferSize = 3 * kLongestPassword + 1,
    kCrcBlockSize = 1028,        // 256 table entries plus slack
    // A member's path: the target, "\" and the member's name.
    kLongestMemberPath = kLongestExtractDir + 1 + kLongestMemberName,
    kMemberPathBufferSize = 3 * kLongestMemberPath + 1,
};

// Overwrite policy; equals the checked radio button's id minus 501.
enum OverwriteModeValue : uint8_t {
    kOverwrite = 0,
    kSkip = 1,
    kAsk = 2,
};

struct SfxGlobals {
    // Archive access
    FileHandle ArchiveHandle;
    uint32_t ArchiveBase;
    uint32_t ArchivePosition;
    uint32_t* CrcTable;  // 1,028-byte block; first 1,024 bytes hold the table

    // Settings (initial values are the behaviour without a settings block)
    bool ShowRunChoice;
    bool AllowMemberChoice;
    bool HideOverwriteChoice;
    int32_t DefaultOverwriteButton;
    bool AutoStart;
    bool HasTitle;
    bool HasDefaultDir;
    bool HasRunCommand;
    char TitleText[kSettingsTextSize];
    char DefaultDirText[kPathBufferSize];  // may hold the temporary directory
    char RunCommand[kSettingsTextSize];
    bool SizeChecked;

    // Names without a UTF-8 mark are UTF-8 in this archive; decided by the
    // listing pass (UnmarkedNamesAreUtf8) and used by every later pass.
    bool UnmarkedNamesUtf8;

    // Dialog and extraction state
    char ExtractDir[kPathBufferSize];
    uint8_t OverwriteMode;
    bool OverwriteAnswer;
    Text ExistingFileName;
    char PasswordBuffer[kPasswordBufferSize];
    int32_t PasswordLength;
    Text Password;
    WindowHandle MainDialogHandle;
    bool AllExtracted;
    int32_t LastListIndex;

    // Member being extracted
    FileHandle OutputHandle;
    LocalHeader Header;
    uint32_t ExpectedSignature;
    uint32_t CompressedLeft;  // compressed bytes of the member not yet handed out
    uint32_t OutputLeft;  // bytes the member may still write: what its header declares
    bool OutputOverrun;   // the member's data would have gone past OutputLeft
    uint32_t RunningCrc;
    uint32_t Key0, Key1, Key2;
};

extern SfxGlobals Sfx;

// Puts every field to its initial value, releasing the texts it owns.
void ResetSfxGlobals();
