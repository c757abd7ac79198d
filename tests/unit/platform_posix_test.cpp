// The POSIX side of the platform seam must keep the Win32 contracts the
// core relies on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/posix/native_names.h"
#include "test_files.h"

namespace fs = std::filesystem;

TEST(PlatformFiles, MissingFileGivesTheInvalidHandle) {
    EXPECT_EQ(OpenFileForReading("/nonexistent/doromi/file"), kInvalidFile);
}

TEST(PlatformFiles, OpensAndClosesAnExistingFileOnce) {
    char path[] = "/tmp/doromi-platform-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    FileHandle file = OpenFileForReading(path);
    ASSERT_NE(file, kInvalidFile);
    EXPECT_TRUE(CloseFile(file));
    EXPECT_FALSE(CloseFile(kInvalidFile));
    std::remove(path);
}

TEST(PlatformFiles, OwnPathNamesThisExecutableAndNeverOverflows) {
    char path[4096];
    uint32_t length = OwnExecutablePath(path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_NE(std::string(path).find("unit-tests"), std::string::npos);

    char tiny[5];
    std::memset(tiny, 'x', sizeof tiny);
    EXPECT_EQ(OwnExecutablePath(tiny, sizeof tiny), 0u);
    EXPECT_EQ(tiny[4], '\0');
}

// Names cross the seam in UTF-8 with "\" between components.

TEST(PlatformNames, BackslashesBecomeSlashes) {
    TempDir temp;
    std::string coreName = CoreForm(temp.path()) + "\\도로미";
    ASSERT_TRUE(MakeDirectory(coreName.c_str()));
    EXPECT_TRUE(fs::is_directory(temp / u8"도로미"));
    EXPECT_EQ(EntryAt(coreName.c_str()), kDirectoryEntry);
    EXPECT_FALSE(MakeDirectory(coreName.c_str()));  // exists already
}

TEST(PlatformNames, DrivePrefixNamesNothing) {
    EXPECT_EQ(EntryAt("C:\\"), kNoEntry);
    EXPECT_EQ(EntryAt("c:\\tmp"), kNoEntry);
    EXPECT_EQ(OpenFileForReading("C:\\tmp"), kInvalidFile);
    EXPECT_FALSE(MakeDirectory("C:\\doromi-test"));
    EXPECT_NE(LastSystemError(), 0u);
}

// Exactly the path given, as GetFileAttributesA answers: no pattern
// matches, and names Windows cannot hold are neither found nor created,
// even where POSIX could hold them.
TEST(PlatformNames, EntriesAreFoundByExactPathOnly) {
    TempDir temp;
    fs::create_directory(temp / "dir");
    WriteWholeFile(temp / "a.txt", "x");
    WriteWholeFile(temp / "*.txt", "a name only POSIX can hold");
    std::string dir = CoreForm(temp.path());
    struct Case {
        const char* name;
        PathKind kind;
    } cases[] = {
        {"\\a.txt", kFileEntry},  {"\\dir", kDirectoryEntry}, {"\\dir\\", kDirectoryEntry},
        {"\\a.txt\\", kNoEntry}, {"\\*.txt", kNoEntry},       {"\\a.*", kNoEntry},
        {"\\dir\\*.*", kNoEntry}, {"\\missing", kNoEntry},
    };
    for (const Case& c : cases) EXPECT_EQ(EntryAt((dir + c.name).c_str()), c.kind) << c.name;
    for (const char* name : {"\\a?.txt", "\\a<b", "\\a|b", "\\a\"b", "\\tab\tname"}) {
        EXPECT_EQ(CreateFileForWriting((dir + name).c_str()), kInvalidFile) << name;
        EXPECT_FALSE(MakeDirectory((dir + name).c_str())) << name;
    }
}

TEST(PlatformTempDir, GivesTheCorePathWithATrailingBackslash) {
    TempDir temp;
    fs::create_directory(temp / u8"임시");
    std::string previous = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("TMPDIR", (temp / u8"임시").c_str(), 1);

    char buffer[260];
    uint32_t length = TemporaryDirectory(buffer, sizeof buffer);
    std::string expected = CoreForm(temp.path()) + "\\임시\\";
    char small[8] = "keep";
    uint32_t needed = TemporaryDirectory(small, sizeof small);

    if (previous.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", previous.c_str(), 1);
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(needed, expected.size() + 1);
    EXPECT_STREQ(small, "keep");
}

TEST(PlatformFiles, ReadsStopAtTheEndAndSizeIsTheWholeFile) {
    TempDir temp;
    WriteWholeFile(temp / "five", "12345");
    FileHandle file = OpenFileForReading(CoreForm(temp / "five").c_str());
    ASSERT_NE(file, kInvalidFile);
    EXPECT_EQ(FileSize(file), 5u);
    char buffer[8];
    EXPECT_EQ(SetFilePosition(file, 3, kFromStart), 3u);
    EXPECT_EQ(ReadFromFile(file, buffer, 8), 2u);
    EXPECT_EQ(std::string(buffer, 2), "45");
    EXPECT_EQ(SetFilePosition(file, -6, kFromEnd), kInvalidPosition);
    EXPECT_EQ(SetFilePosition(file, 0, kFromCurrent), 5u);  // a failed move stays put
    CloseFile(file);
}

// From the start the distance is an unsigned position; from the current
// position or the end a signed one; the result must fit in 32 bits.
TEST(PlatformFiles, MovesFromTheStartAreUnsignedAndOthersSigned) {
    TempDir temp;
    WriteWholeFile(temp / "five", "12345");
    FileHandle file = OpenFileForReading(CoreForm(temp / "five").c_str());
    ASSERT_NE(file, kInvalidFile);
    struct Move {
        uint32_t distance, method, expected;
        bool failed;
        uint32_t after;
    } moves[] = {
        {0x80000000u, kFromStart, 0x80000000u, false, 0x80000000u},
        {0xFFFFFFFFu, kFromStart, 0xFFFFFFFFu, false, 0xFFFFFFFFu},
        {1, kFromCurrent, kInvalidPosition, true, 0xFFFFFFFFu},  // beyond 32 bits: stays put
        {(uint32_t)-2, kFromCurrent, 0xFFFFFFFDu, false, 0xFFFFFFFDu},
        {(uint32_t)-2, kFromEnd, 3, false, 3},
    };
    for (const Move& move : moves) {
        EXPECT_EQ(SetFilePosition(file, move.distance, move.method), move.expected) << move.distance;
        if (move.expected == kInvalidPosition) EXPECT_EQ(LastSystemError() != 0, move.failed) << move.distance;
        EXPECT_EQ(SetFilePosition(file, 0, kFromCurrent), move.after) << move.distance;
    }
    CloseFile(file);
}

// Code page texts and UTF-8, each way, through the code page named and
// through the ANSI code page set to it. Code page 1252 maps every byte, as
// Windows' table does, also the five it leaves undefined.
TEST(PlatformCodePages, ConvertBothWaysAndRefuseWhatHasNoForm) {
    const struct {
        uint32_t codePage;
        std::string bytes, utf8;
    } pairs[] = {
        {949, "\xC7\xD1\xB1\xDB", "한글"},
        {949, "\xA3\xDC", "￦"},
        {932, "\x93\xFA\x96\x7B", "日本"},
        {1252, "caf\xE9 \x80", "café €"},
        {1252, "\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {1252, "a\x9D\xDA", "a\xC2\x9D\xC3\x9A"},
        {kUtf8CodePage, "😀 a", "😀 a"},
    };
    char out[64];
    for (const auto& c : pairs) {
        SetAnsiCodePage(c.codePage);
        for (uint32_t page : {c.codePage, (uint32_t)kAnsiCodePage}) {
            uint32_t made = CodePageToUtf8(page, c.bytes.data(), (uint32_t)c.bytes.size(), out, sizeof out);
            EXPECT_EQ(std::string(out, made), c.utf8) << c.codePage << " " << page;
            made = Utf8ToCodePage(page, c.utf8.data(), (uint32_t)c.utf8.size(), out, sizeof out);
            EXPECT_EQ(std::string(out, made), c.bytes) << c.codePage << " " << page;
        }
        // Too small an output converts nothing rather than a part.
        EXPECT_EQ(CodePageToUtf8(c.codePage, c.bytes.data(), (uint32_t)c.bytes.size(), out, 2), 0u) << c.codePage;
    }
    SetAnsiCodePage(kKoreanCodePage);

    const struct {
        uint32_t codePage;
        std::string text;
    } invalidBytes[] = {{949, "\xC7."}, {949, "a\xC7"}, {932, "\x82"}, {kUtf8CodePage, "\xC0\xAF"}},
      unwritable[] = {{949, "₩"}, {949, "é"}, {1252, "한"}, {932, "비밀"}, {949, "\xED\xA0\x80"}, {1252, ""}};
    for (const auto& c : invalidBytes)
        EXPECT_EQ(CodePageToUtf8(c.codePage, c.text.data(), (uint32_t)c.text.size(), out, sizeof out), 0u) << c.text;
    for (const auto& c : unwritable)
        EXPECT_EQ(Utf8ToCodePage(c.codePage, c.text.data(), (uint32_t)c.text.size(), out, sizeof out), 0u) << c.text;
}
