#include "tools/settings_block.h"

#include <stdexcept>

std::string EncodeSettingsBlock(const SettingsBlock& settings) {
    if (SettingsTextsOverflow(settings) > 0)
        throw std::logic_error("settings texts do not fit the block");
    std::string block(kSettingsMagic, 3);
    block += (char)settings.flags;
    block += (char)settings.title.size();
    block += (char)settings.defaultDir.size();
    block += (char)settings.runCommand.size();
    block += settings.title + settings.defaultDir + settings.runCommand;
    block.resize(kSettingsBlockBytes, '\0');
    return block;
}

size_t SettingsTextsOverflow(const SettingsBlock& settings) {
    size_t total = settings.title.size() + settings.defaultDir.size() + settings.runCommand.size();
    return total > kSettingsTextBytes ? total - kSettingsTextBytes : 0;
}

bool DecodeSettingsBlock(const std::string& bytes, SettingsBlock& settings) {
    if (bytes.size() < 3 || bytes.compare(0, 3, kSettingsMagic) != 0) return false;
    auto byteAt = [&](size_t i) { return i < bytes.size() ? (uint8_t)bytes[i] : 0; };
    auto textAt = [&](size_t start, size_t length) {
        if (start >= bytes.size()) return std::string();
        std::string text = bytes.substr(start, length);
        return text.substr(0, text.find('\0'));  // the stub ends each text at a NUL
    };
    settings.flags = byteAt(3);
    size_t titleLength = byteAt(4), dirLength = byteAt(5), runLength = byteAt(6);
    settings.title = textAt(7, titleLength);
    settings.defaultDir = textAt(7 + titleLength, dirLength);
    settings.runCommand = textAt(7 + titleLength + dirLength, runLength);
    return true;
}

const char* OverwriteModeName(uint8_t flags) {
    switch (flags & kSettingsOverwriteMask) {
        case kSettingsOverwriteAlways: return "overwrite";
        case kSettingsOverwriteSkip: return "skip";
        default: return "ask";
    }
}
