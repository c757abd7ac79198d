#include "archive/settings.h"

#include <string.h>

#include "archive/size_check.h"
#include "archive/zip_format.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/control_ids.h"
#include "util/archive_position.h"

static const uint32_t kTemporaryDirectoryBufferSize = 260;

// A byte of the block; one the file does not hold reads as 0.
static uint8_t ReadSettingsByte() {
    uint8_t value = 0;
    ReadFromFile(Sfx.ArchiveHandle, &value, 1);
    return value;
}

// Reads a text of `length` bytes and ends it with a NUL at `length`; the
// part the file does not hold reads as NUL bytes, so the text ends there.
static void ReadSettingsText(char* buffer, uint8_t length) {
    uint32_t arrived = length ? ReadFromFile(Sfx.ArchiveHandle, buffer, length) : 0;
    memset(buffer + arrived, 0, length + 1 - arrived);
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
    uint32_t length = TemporaryDirectory(Sfx.DefaultDirText, kTemporaryDirectoryBufferSize);
    if (length > 0 && length < kTemporaryDirectoryBufferSize) return;
    Sfx.DefaultDirText[0] = 0;
    Sfx.HasDefaultDir = false;
}

static void ReadSettingsTexts() {
    uint8_t titleLength = ReadSettingsByte();
    uint8_t defaultDirLength = ReadSettingsByte();
    uint8_t runCommandLength = ReadSettingsByte();
    Sfx.HasTitle = titleLength > 0;
    Sfx.HasDefaultDir = defaultDirLength > 0;
    Sfx.HasRunCommand = runCommandLength > 0;

    ReadSettingsText(Sfx.TitleText, titleLength);
    if (Sfx.HasDefaultDir) {
        ReadSettingsText(Sfx.DefaultDirText, defaultDirLength);
        ExpandTemporaryDirectory();
    }
    ReadSettingsText(Sfx.RunCommand, runCommandLength);
}

void ReadSettings() {
    Sfx.ArchiveBase = kStubImageSize;
    SeekArchive(kStubImageSize, kFromStart);
    if (!HasSettingsMagic()) return;
    Sfx.ArchiveBase += kSettingsBlockSize;

    uint8_t flags = ReadSettingsByte();
    ApplyChoiceFlags(flags);
    if (!(flags & kSettingsNoSizeCheck)) CheckArchiveSize();
    if (flags & kSettingsAutoStart) Sfx.AutoStart = true;
    ReadSettingsTexts();
}
