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

// Overwrite policy; OverwriteModeOfButton (archive/overwrite_policy.h) gives
// the mode of a radio button.
enum OverwriteModeValue : uint8_t {
    kOverwrite = 0,
    kSkip = 1,
    kAsk = 2,
};

// Each field says who writes it (w) and who reads it (r). "The tool" is the
// native tool's extract and info commands (tools/), which stand in for the
// stub's start-up and dialog.
struct SfxGlobals {
    // Archive access
    FileHandle ArchiveHandle;  // w: sfx_main, the tool; r: settings, size check, passes, decode's input
    uint32_t ArchiveBase;      // w: settings (the block's presence); r: size check, passes, the tool
    uint32_t ArchivePosition;  // w: SeekArchive (util); r: extraction_pass
    uint32_t* CrcTable;  // 1,028-byte block; first 1,024 bytes hold the table
                         // w: sfx_main, the tool; filled by BuildCrcTable; r: crc32, zip_cipher, size check

    // Settings (initial values are the behaviour without a settings block)
    // w: settings (ReadSettings), unless a note says more; r: the main dialog, and the
    // tool's self-check, which compares them with the block it wrote
    bool ShowRunChoice;
    bool AllowMemberChoice;
    bool HideOverwriteChoice;
    int32_t DefaultOverwriteButton;  // r: also the tool's extract, for the mode it starts with
    bool AutoStart;                  // r: also extraction_pass (no notice when all is done)
    bool HasTitle;
    bool HasDefaultDir;
    bool HasRunCommand;                    // r: also run_command (util)
    char TitleText[kSettingsTextSize];
    char DefaultDirText[kPathBufferSize];  // may hold the temporary directory
    char RunCommand[kSettingsTextSize];    // r: run_command (util)
    bool SizeChecked;  // w: size check (CheckArchiveSize); r: the tool's self-check

    // Names without a UTF-8 mark are UTF-8 in this archive; decided by the
    // listing pass (UnmarkedNamesAreUtf8) and used by every later pass.
    // w and r: extraction_pass
    bool UnmarkedNamesUtf8;

    // Dialog and extraction state
    char ExtractDir[kPathBufferSize];  // w: main dialog, new-directory dialog, the tool; r: member_extraction, run_command
    uint8_t OverwriteMode;             // w: main dialog, the tool, overwrite_policy; r: member_extraction
    bool OverwriteAnswer;              // w: overwrite_policy (the answer); r: member_extraction
    Text ExistingFileName;             // w: member_extraction; r: the overwrite question (dialog or console)
    char PasswordBuffer[kPasswordBufferSize];  // w: the password question (dialog or console); r: passwords
    int32_t PasswordLength;                    // w: the password question; r: passwords
    Text Password;                // w and r: passwords (the password in use)
    WindowHandle MainDialogHandle;  // w: main dialog; r: the question dialogs (their owner)
    bool AllExtracted;  // w: extraction_pass (a pass's outcome); r: main dialog, the tool
    int32_t LastListIndex;  // w: member_list, extraction_pass (reset); r: member_list

    // Member being extracted
    // w: extraction_pass and member_extraction, per member, unless a note says more
    FileHandle OutputHandle;  // r: decode's output (member_io)
    LocalHeader Header;       // w: extraction_pass; r: member_extraction, aes_member, member_io
    uint32_t ExpectedSignature;  // w and r: extraction_pass
    uint32_t CompressedLeft;  // compressed bytes of the member not yet handed out
                              // w: also aes_member; counted down by member_io
    uint32_t OutputLeft;  // bytes the member may still write: what its header declares
                          // counted down by member_io; r: member_extraction (the verdict)
    bool OutputOverrun;   // the member's data would have gone past OutputLeft
                          // w: member_io; r: member_extraction
    uint32_t RunningCrc;  // w: member_extraction (preset), member_io (folds the output); r: member_extraction
    uint32_t Key0, Key1, Key2;  // w and r: zip_cipher (traditional decryption)
};

extern SfxGlobals Sfx;

// Puts every field to its initial value, releasing the texts it owns.
void ResetSfxGlobals();
