#pragma once
// Small helpers for tests that need files: private temporary directories,
// combined files (stub image, settings block, archive bytes) and the
// archive opened as the program opens its own executable; and the bytes of
// the counted texts the core hands back.
#include <string>

#include "util/text.h"

// The bytes of `text`; Take releases the text as well.
std::string Bytes(const Text& text);
std::string Take(Text text);
// A new counted text of `bytes`, to be released by the caller.
inline Text Counted(const std::string& bytes) { return MakeText(bytes.data(), (uint32_t)bytes.size()); }

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Native path of a name inside the directory.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The core's spelling of an ASCII native path: "\" between components.
std::string CoreForm(const std::string& nativePath);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Stand-in for the stub image: zero bytes up to the settings block.
std::string StubImage();

// A 256-byte settings block; the texts are raw bytes. Texts longer than
// the block's room run on past it, as its length bytes allow.
std::string SettingsBlock(unsigned char flags, const std::string& title = "",
                          const std::string& defaultDir = "", const std::string& runCommand = "");

// An end-of-central-directory record carrying `comment`; the length field
// says `commentLength`, which defaults to the comment's real length.
std::string EndRecord(const std::string& comment = "", int commentLength = -1);

// Resets the shared state and opens `path` as Sfx.ArchiveHandle.
void OpenAsArchive(const std::string& path);
// Closes Sfx.ArchiveHandle if it is open.
void CloseArchive();
