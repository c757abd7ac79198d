#pragma once
// The 256-byte settings block between the stub image and the archive:
// "MPU", a flags byte, the lengths of the title, default-directory and
// run-command texts, the texts in code page 949, zeros to the end.
#include <cstdint>
#include <string>

enum : uint8_t {
    kSettingsShowRunChoice = 0x01,      // set: the run check box is shown
    kSettingsAllowMemberChoice = 0x02,  // set: the user may deselect members
    kSettingsHideOverwriteChoice = 0x04,
    kSettingsOverwriteMask = 0x18,      // 0 ask, 0x08 overwrite, 0x10 skip
    kSettingsOverwriteAlways = 0x08,
    kSettingsOverwriteSkip = 0x10,
    kSettingsNoSizeCheck = 0x20,
    kSettingsAutoStart = 0x40,
};

// A normal interactive file: run choice shown, members selectable, the
// overwrite buttons shown with Ask checked, size check on.
const uint8_t kDefaultSettingsFlags = kSettingsShowRunChoice | kSettingsAllowMemberChoice;

const size_t kSettingsBlockBytes = 256;
const size_t kSettingsTextBytes = kSettingsBlockBytes - 7;  // room for the three texts
const char kSettingsMagic[] = "MPU";

// "><" as the whole default directory stands for the temporary directory.
const char kTemporaryDirectoryMarker[] = "><";

// The block's contents; texts are code page 949 bytes.
struct SettingsBlock {
    uint8_t flags = kDefaultSettingsFlags;
    std::string title;
    std::string defaultDir;
    std::string runCommand;
};

// The 256 bytes of the block. The texts must already fit (see
// SettingsTextsOverflow).
std::string EncodeSettingsBlock(const SettingsBlock& settings);

// How many bytes the texts exceed the block's room by; 0 when they fit.
size_t SettingsTextsOverflow(const SettingsBlock& settings);

// Reads a block from `bytes` (at least 7 bytes after the magic test);
// false when they do not start with "MPU". Texts that would run past the
// end of `bytes` are cut there, as the stub reads missing bytes as empty.
bool DecodeSettingsBlock(const std::string& bytes, SettingsBlock& settings);

// "ask", "overwrite" or "skip" for the flags' overwrite bits; both bits
// set also means ask.
const char* OverwriteModeName(uint8_t flags);
