#include "tools/zip_writer/settings_block.h"

#include <stdexcept>

std::string EncodeSettingsBlock(const SettingsBlock& settings) {
    if (SettingsTextsOverflow(settings) > 0)
        throw std::logic_error("settings texts do not fit the block");
    std::string block(kSettingsMagic, kSettingsMagicSize);
    block += (char)settings.flags;
    block += (char)settings.title.size();
    block += (char)settings.defaultDir.size();
    block += (char)settings.runCommand.size();
    block += settings.title + settings.defaultDir + settings.runCommand;
    block.resize(kSettingsBlockSize, '\0');
    return block;
}

size_t SettingsTextsOverflow(const SettingsBlock& settings) {
    size_t total = settings.title.size() + settings.defaultDir.size() + settings.runCommand.size();
    return total > kSettingsTextRoom ? total - kSettingsTextRoom : 0;
}

bool DecodeSettingsBlock(const std::string& bytes, SettingsBlock& settings) {
    if (bytes.compare(0, kSettingsMagicSize, kSettingsMagic) != 0) return false;
    auto byteAt = [&](size_t i) { return i < bytes.size() ? (uint8_t)bytes[i] : 0; };
    auto textAt = [&](size_t start, size_t length) {
        if (start >= bytes.size()) return std::string();
        std::string text = bytes.substr(start, length);
        return text.substr(0, text.find('\0'));  // the stub ends each text at a NUL
    };
    settings.flags = byteAt(kSettingsFlagsOffset);
    size_t titleLength = byteAt(kSettingsLengthsOffset), dirLength = byteAt(kSettingsLengthsOffset + 1),
           runLength = byteAt(kSettingsLengthsOffset + 2);
    settings.title = textAt(kSettingsTextsOffset, titleLength);
    settings.defaultDir = textAt(kSettingsTextsOffset + titleLength, dirLength);
    settings.runCommand = textAt(kSettingsTextsOffset + titleLength + dirLength, runLength);
    return true;
}

const char* OverwriteModeName(uint8_t flags) {
    switch (flags & kSettingsOverwriteMask) {
        case kSettingsOverwriteAlways: return "overwrite";
        case kSettingsOverwriteSkip: return "skip";
        default: return "ask";
    }
}
