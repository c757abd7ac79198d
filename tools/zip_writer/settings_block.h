#pragma once
// The settings block between the stub image and the archive, as the tool
// writes and reads it; its format is in archive/zip_format.h.
#include <cstdint>
#include <string>

#include "archive/zip_format.h"

// A normal interactive file: run choice shown, members selectable, the
// overwrite buttons shown with Ask checked, size check on.
const uint8_t kDefaultSettingsFlags = kSettingsShowRunChoice | kSettingsAllowMemberChoice;

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

// Reads a block from `bytes`; false when they do not start with "MPU".
// Bytes missing after the magic read as 0, and texts that would run past
// the end of `bytes` are cut there, as the stub reads missing bytes as
// empty.
bool DecodeSettingsBlock(const std::string& bytes, SettingsBlock& settings);

// "ask", "overwrite" or "skip" for the flags' overwrite bits; both bits
// set also means ask.
const char* OverwriteModeName(uint8_t flags);
