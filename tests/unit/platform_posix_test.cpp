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

// Names cross the seam in code page 949 with "\" between components.

TEST(PlatformNames, KoreanNamesBecomeUtf8AndBackslashesSlashes) {
    TempDir temp;
    std::string cp949Name = CoreForm(temp.path()) + "\\도로미";  // code page 949 bytes
    ASSERT_TRUE(MakeDirectory(cp949Name.c_str()));
    EXPECT_TRUE(fs::is_directory(temp / u8"도로미"));
    EXPECT_EQ(EntryAt(cp949Name.c_str()), kDirectoryEntry);
    EXPECT_FALSE(MakeDirectory(cp949Name.c_str()));  // exists already
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

TEST(PlatformTempDir, GivesTheCodePage949PathWithATrailingBackslash) {
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
