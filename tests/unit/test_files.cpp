#include "test_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "startup/sfx_globals.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "doromi-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) ADD_FAILURE() << "cannot make a temporary directory";
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string Bytes(const Text& text) { return std::string(text.bytes ? text.bytes : "", text.length); }

std::string Take(Text text) {
    std::string bytes = Bytes(text);
    ReleaseText(text);
    return bytes;
}

std::string CoreForm(const std::string& nativePath) {
    std::string core = nativePath;
    for (char& c : core)
        if (c == '/') c = '\\';
    return core;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string StubImage() { return std::string(kStubImageSize, '\0'); }

std::string SettingsBlock(unsigned char flags, const std::string& title, const std::string& defaultDir,
                          const std::string& runCommand) {
    std::string block = "MPU";
    block += (char)flags;
    block += (char)title.size();
    block += (char)defaultDir.size();
    block += (char)runCommand.size();
    block += title + defaultDir + runCommand;
    if (block.size() < kSettingsBlockSize) block.resize(kSettingsBlockSize, '\0');
    return block;
}

std::string EndRecord(const std::string& comment, int commentLength) {
    if (commentLength < 0) commentLength = (int)comment.size();
    std::string record = {0x50, 0x4B, 0x05, 0x06};
    record.append(16, '\0');
    record += (char)(commentLength & 0xFF);
    record += (char)(commentLength >> 8);
    return record + comment;
}

void OpenAsArchive(const std::string& path) {
    ResetSfxGlobals();
    Sfx.ArchiveHandle = OpenFileForReading(CoreForm(path).c_str());
    ASSERT_NE(Sfx.ArchiveHandle, kInvalidFile) << path;
}

void CloseArchive() {
    if (Sfx.ArchiveHandle != kInvalidFile) CloseFile(Sfx.ArchiveHandle);
    Sfx.ArchiveHandle = kInvalidFile;
}
