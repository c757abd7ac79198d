#include "archive/settings.h"

#include <string.h>

#include "archive/size_check.h"
#include "archive/zip_format.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/control_ids.h"
#include "util/archive_position.h"

// A byte of the block; one the file does not hold reads as 0.
static uint8_t ReadSettingsByte() {
    uint8_t value = 0;
    ReadFromFile(Sfx.ArchiveHandle, &value, 1);
    return value;
}

// Reads a text of `length` code page 949 bytes into `buffer` as UTF-8; the
// text ends at its first NUL, and the part the file does not hold reads as
// NUL bytes, so the text ends there too. The block's texts are code page
// 949 whatever the system's code page is. A text that is not valid code
// page 949 is treated as absent: false, and `buffer` is left empty.
static bool ReadSettingsText(char* buffer, uint8_t length) {
    char stored[kSettingsTextRead];
    uint32_t arrived = length ? ReadFromFile(Sfx.ArchiveHandle, stored, length) : 0;
    uint32_t text = 0;
    while (text < arrived && stored[text]) ++text;
    uint32_t converted = text ? CodePageToUtf8(kKoreanCodePage, stored, text, buffer, kSettingsTextSize - 1) : 0;
    buffer[converted] = 0;
    return text == 0 || converted > 0;
}

static bool HasSettingsMagic() {
    char magic[kSettingsMagicSize];
    return ReadFromFile(Sfx.ArchiveHandle, magic, kSettingsMagicSize) == kSettingsMagicSize &&
           magic[0] == kSettingsMagic[0] && magic[1] == kSettingsMagic[1] && magic[2] == kSettingsMagic[2];
}

static void ApplyChoiceFlags(uint8_t flags) {
    if (!(flags & kSettingsShowRunChoice)) Sfx.ShowRunChoice = false;
    if (!(flags & kSettingsAllowMemberChoice)) Sfx.AllowMemberChoice = false;
    if (flags & kSettingsHideOverwriteChoice) Sfx.HideOverwriteChoice = true;
    uint8_t overwrite = flags & kSettingsOverwriteMask;
    if (overwrite == kSettingsOverwriteAlways) Sfx.DefaultOverwriteButton = IDC_OVERWRITE;
    if (overwrite == kSettingsOverwriteSkip) Sfx.DefaultOverwriteButton = IDC_SKIP;
}

// The marker as the whole default directory stands for the temporary
// directory. When the system cannot name one, there is no default directory.
static void ExpandTemporaryDirectory() {
    if (strcmp(Sfx.DefaultDirText, kTemporaryDirectoryMarker) != 0) return;
    uint32_t length = TemporaryDirectory(Sfx.DefaultDirText, kPathBufferSize);
    if (length > 0 && length < kPathBufferSize) return;
    Sfx.DefaultDirText[0] = 0;
    Sfx.HasDefaultDir = false;
}

static void ReadSettingsTexts() {
    uint8_t titleLength = ReadSettingsByte();
    uint8_t defaultDirLength = ReadSettingsByte();
    uint8_t runCommandLength = ReadSettingsByte();
    Sfx.HasTitle = ReadSettingsText(Sfx.TitleText, titleLength) && titleLength > 0;
    Sfx.HasDefaultDir = ReadSettingsText(Sfx.DefaultDirText, defaultDirLength) && defaultDirLength > 0;
    if (Sfx.HasDefaultDir) ExpandTemporaryDirectory();
    Sfx.HasRunCommand = ReadSettingsText(Sfx.RunCommand, runCommandLength) && runCommandLength > 0;
}

void ReadSettings() {
    Sfx.ArchiveBase = kStubImageSize;
    SeekArchive(kStubImageSize);
    if (!HasSettingsMagic()) return;
    Sfx.ArchiveBase += kSettingsBlockSize;

    uint8_t flags = ReadSettingsByte();
    ApplyChoiceFlags(flags);
    if (!(flags & kSettingsNoSizeCheck)) CheckArchiveSize();
    if (flags & kSettingsAutoStart) Sfx.AutoStart = true;
    ReadSettingsTexts();
}
