#pragma once
// SfxGlobals: the one record of process-wide state that every part of the
// self-extractor reads and writes. There is exactly one instance, `Sfx`,
// alive for the whole run; fields start zeroed unless ResetSfxGlobals
// says otherwise.
#include <stdint.h>

#include "archive/zip_format.h"
#include "platform/platform.h"
#include "util/text.h"

enum : uint32_t {
    kPathBufferSize = 256,      // ExtractDir and other path buffers
    kSettingsTextSize = 261,    // TitleText, DefaultDirText, RunCommand
    kPasswordBufferSize = 80,   // up to 79 bytes as typed
    kCrcBlockSize = 1028,       // 256 table entries plus slack
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
    char DefaultDirText[kSettingsTextSize];
    char RunCommand[kSettingsTextSize];
    bool SizeChecked;

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
    int32_t CompressedLeft;
    uint32_t OutputLeft;  // bytes the member may still write: what its header declares
    bool OutputOverrun;   // the member's data would have gone past OutputLeft
    uint32_t RunningCrc;
    uint32_t Key0, Key1, Key2;
};

extern SfxGlobals Sfx;

// Puts every field to its initial value, releasing the texts it owns.
void ResetSfxGlobals();
