// Taking paths apart, trailing separators, existence tests, directory
// chains and archive positioning.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "startup/sfx_globals.h"
#include "test_files.h"
#include "util/archive_position.h"
#include "util/long_path.h"
#include "util/paths.h"

namespace fs = std::filesystem;

// What `part` (DirectoryPart or FileNamePart) makes of `path`.
static std::string PartOf(Text (*part)(const Text&), const std::string& path) {
    Text counted = Counted(path);
    std::string result = Take(part(counted));
    ReleaseText(counted);
    return result;
}

struct PathParts {
    const char* path;
    const char* directory;
    const char* fileName;
};

class TakingPathsApart : public ::testing::TestWithParam<PathParts> {};

TEST_P(TakingPathsApart, GivesDirectoryAndFileName) {
    const PathParts& expected = GetParam();
    EXPECT_EQ(PartOf(DirectoryPart, expected.path), expected.directory);
    EXPECT_EQ(PartOf(FileNamePart, expected.path), expected.fileName);
}

INSTANTIATE_TEST_SUITE_P(Paths, TakingPathsApart,
    ::testing::Values(PathParts{"C:\\dir\\file.txt", "C:\\dir", "file.txt"},
                      PathParts{"C:\\file.txt", "C:\\", "file.txt"},
                      PathParts{"C:\\", "C:\\", ""},
                      PathParts{"C:file.txt", "C:", "file.txt"},
                      PathParts{"dir\\file", "dir", "file"},
                      PathParts{"ab\\cd", "ab", "cd"},
                      PathParts{"\\file", "", "file"},
                      PathParts{"file", "", "file"},
                      PathParts{"C:\\dir\\", "C:\\dir", ""},
                      PathParts{"a/b/name", "a/b", "name"},
                      PathParts{"C:/x", "C:/", "x"},
                      PathParts{"", "", ""}));

// Characters are UTF-16 units: a cut keeps whole characters, and both
// units of one above U+FFFF or neither.
static std::string Repeated(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

TEST(FileNamePart, KeepsAtMost255Characters) {
    const struct {
        std::string name, kept;
    } cases[] = {
        {std::string(300, 'n'), std::string(255, 'n')},
        {Repeated("가", 300), Repeated("가", 255)},
        {"a" + Repeated("😀", 128), "a" + Repeated("😀", 127)},
    };
    for (const auto& c : cases) EXPECT_EQ(PartOf(FileNamePart, "dir\\" + c.name), c.kept) << c.name.size();
}

// A path buffer followed by bytes that must never change.
struct GuardedPath {
    char buffer[kPathBufferSize];
    char guard[16];

    explicit GuardedPath(const std::string& text) {
        std::memset(this, '#', sizeof *this);
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    bool GuardIntact() const {
        for (char c : guard)
            if (c != '#') return false;
        return true;
    }
};

// Both edit the buffer in place and hand it back; neither writes past it.
TEST(TrailingBackslash, AddsOneOnlyWhereMissingAndRemovesExactlyOne) {
    const struct {
        char* (*edit)(char*);
        std::string path, expected;
    } cases[] = {
        {AddTrailingBackslash, "C:\\dir", "C:\\dir\\"},
        {AddTrailingBackslash, "C:\\dir\\", "C:\\dir\\"},
        {AddTrailingBackslash, "", "\\"},
        {AddTrailingBackslash, std::string(255, 'f'), std::string(255, 'f')},  // no room left
        {AddTrailingBackslash, std::string(254, 'r'), std::string(254, 'r') + "\\"},
        {AddTrailingBackslash, Repeated("가", 255), Repeated("가", 255)},
        {AddTrailingBackslash, Repeated("가", 254), Repeated("가", 254) + "\\"},
        {AddTrailingBackslash, "a" + Repeated("😀", 127), "a" + Repeated("😀", 127)},
        {RemoveTrailingBackslash, "C:\\dir\\", "C:\\dir"},
        {RemoveTrailingBackslash, "C:\\", "C:"},  // even from a drive root
        {RemoveTrailingBackslash, "a\\\\", "a\\"},
        {RemoveTrailingBackslash, "a", "a"},
        {RemoveTrailingBackslash, "", ""},
    };
    for (const auto& c : cases) {
        GuardedPath path(c.path);
        EXPECT_EQ(c.edit(path.buffer), path.buffer) << c.path;
        EXPECT_EQ(std::string(path.buffer), c.expected) << c.path;
        EXPECT_TRUE(path.GuardIntact()) << c.path;
    }
}

TEST(ToBackslashes, TurnsOnlySlashes) {
    char text[] = "C:/a\\b/c:d";
    EXPECT_STREQ(ToBackslashes(text), "C:\\a\\b\\c:d");
}

class WithTempDir : public ::testing::Test {
protected:
    TempDir temp;
    // The core spelling of a name in the temporary directory.
    std::string Core(const std::string& name = "") const {
        return CoreForm(name.empty() ? temp.path() : temp / name);
    }
    bool Exists(std::string corePath) { return PathExists(corePath.data()); }
};

using PathExistence = WithTempDir;

TEST_F(PathExistence, FindsExactlyThePathGiven) {
    fs::create_directory(temp / "empty");
    WriteWholeFile(temp / "file.txt", "x");
    EXPECT_TRUE(Exists(Core("empty")));
    EXPECT_TRUE(Exists(Core("empty") + "\\"));
    EXPECT_TRUE(Exists(Core("file.txt")));
    EXPECT_FALSE(Exists(Core("file.txt") + "\\"));
    EXPECT_FALSE(Exists(Core("file.*")));  // a pattern names nothing
    EXPECT_FALSE(Exists(Core("missing")));
    EXPECT_FALSE(Exists(Core("missing") + "\\"));
    EXPECT_FALSE(Exists(Core("missing.*")));
}

TEST_F(PathExistence, ConvertsTheCallersSlashesEvenWhenAbsent) {
    std::string path = temp.path() + "/dir/file";
    EXPECT_FALSE(PathExists(path.data()));
    EXPECT_EQ(path, CoreForm(temp.path() + "/dir/file"));
}

TEST_F(PathExistence, LeavesATrailingBackslashPathAsItIs) {
    fs::create_directory(temp / "d");
    std::string path = temp.path() + "/d\\";
    EXPECT_TRUE(PathExists(path.data()));
    EXPECT_EQ(path, temp.path() + "/d\\");
}

using DirectoryChains = WithTempDir;

static void CreateChain(const std::string& path) {
    Text counted = Counted(path);
    CreateDirectoryPath(counted);
    ReleaseText(counted);
}

TEST_F(DirectoryChains, CreatesEveryMissingLevel) {
    CreateChain(Core("a") + "\\b\\c\\");
    EXPECT_TRUE(fs::is_directory(temp / "a/b/c"));
}

TEST_F(DirectoryChains, StopsSilentlyAtAnExistingFile) {
    fs::create_directory(temp / "a");
    WriteWholeFile(temp / "a/b", "file");
    CreateChain(Core("a") + "\\b");
    EXPECT_TRUE(fs::is_regular_file(temp / "a/b"));

    WriteWholeFile(temp / "f", "file");
    CreateChain(Core("f") + "\\sub");
    EXPECT_TRUE(fs::is_regular_file(temp / "f"));
}

// Runs a test body with the temporary directory as current directory.
class InTempDir : public WithTempDir {
protected:
    void SetUp() override {
        previous = fs::current_path();
        fs::current_path(temp.path());
    }
    void TearDown() override { fs::current_path(previous); }
    fs::path previous;
};

TEST_F(InTempDir, ShortRelativeNamesAreNeverCreated) {
    CreateChain("ab");
    EXPECT_FALSE(fs::exists("ab"));
    CreateChain("ab\\cd");
    EXPECT_FALSE(fs::exists("ab"));
    CreateChain("abc\\de");
    EXPECT_TRUE(fs::is_directory("abc/de"));
}

TEST_F(DirectoryChains, PathThatIsItsOwnDirectoryPartEnds) {
    // "x\name:" cannot be taken apart further; it is tried as it stands.
    CreateChain(Core("x") + "\\name:");
    EXPECT_FALSE(fs::exists(temp / "x"));
}

class ArchivePositioning : public WithTempDir {
protected:
    void SetUp() override {
        WriteWholeFile(temp / "archive", std::string(100, 'a'));
        OpenAsArchive(temp / "archive");
    }
    void TearDown() override { CloseArchive(); }
};

// Every offset below 4 GiB is reached from the start, 0xFFFFFFFF too.
TEST_F(ArchivePositioning, ReachesEveryPositionBelowFourGiB) {
    for (uint32_t position : {40u, 0x7FFFFFFFu, 0x80000000u, 0xC0000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        EXPECT_EQ(SeekArchive(position), 0) << position;
        EXPECT_EQ(Sfx.ArchivePosition, position);
    }
}

TEST_F(ArchivePositioning, AFailedMoveGivesMinusOneAndTheInvalidPosition) {
    CloseArchive();
    EXPECT_EQ(SeekArchive(0), -1);
    EXPECT_EQ(Sfx.ArchivePosition, 0xFFFFFFFFu);
}

// ---- The form of a path for the system's file calls ----------------------

// SystemPathForm of an ASCII path, with a plain limit of `longestPlain`;
// "" when it gives none.
static std::string SystemForm(const std::string& path, uint32_t longestPlain = kLongestPlainPath,
                              uint32_t room = 16) {
    std::u16string units(path.begin(), path.end());
    units.resize(path.size() + room);
    uint32_t length = SystemPathForm(&units[0], (uint32_t)path.size(), (uint32_t)units.size(), longestPlain);
    if (length > 0) EXPECT_EQ(units[length], u'\0') << path;
    return std::string(units.begin(), units.begin() + length);
}

// Full paths of `units` units on a drive and on a share.
static std::string OnDrive(int units) { return "C:\\" + std::string((size_t)units - 3, 'n'); }
static std::string OnShare(int units) { return "\\\\srv\\share\\" + std::string((size_t)units - 12, 'n'); }

TEST(SystemPathForm, PrefixesOnlyPathsLongerThanThePlainLimit) {
    const struct {
        std::string path, form;
    } cases[] = {
        // 259 units is the longest plain path, MAX_PATH with its terminator.
        {OnDrive(259), OnDrive(259)},
        {OnDrive(260), "\\\\?\\" + OnDrive(260)},
        {OnDrive(261), "\\\\?\\" + OnDrive(261)},
        {OnShare(259), OnShare(259)},
        {OnShare(260), "\\\\?\\UNC" + OnShare(260).substr(1)},
        {OnShare(261), "\\\\?\\UNC" + OnShare(261).substr(1)},
        // Normalised first: measured, and prefixed, without what goes.
        {"C:\\x\\.\\..\\" + std::string(256, 'n'), OnDrive(259)},  // 266 units given, 259 after
        {"C:/" + std::string(256, 'n'), OnDrive(259)},
        {"C:\\a\\..\\b/./" + std::string(260, 'n'), "\\\\?\\C:\\b\\" + std::string(260, 'n')},
        {"C:\\..\\..\\" + std::string(257, 'n') + "\\", "\\\\?\\" + OnDrive(260) + "\\"},
        {"\\\\srv\\share\\..\\..\\a//b\\" + std::string(250, 'n'),
         "\\\\?\\UNC\\srv\\share\\a\\b\\" + std::string(250, 'n')},
        {"//srv/share/./x", "\\\\srv\\share\\x"},
        {"C:\\", "C:\\"},
        {"C:\\a\\..", "C:\\"},
        // Already extended, or a device: taken as it is.
        {"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\a\\..\\b"},
        {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
        // No full path: none.
        {"dir\\" + std::string(300, 'n'), ""},
        {"C:" + std::string(300, 'n'), ""},
        {"\\" + std::string(300, 'n'), ""},
        {"\\\\srv\\", ""},
        {"\\\\srv\\\\share", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(SystemForm(c.path), c.form) << c.path;
}

// The stub hands these to the plain call as they are: a full path within
// the plain limit, which its normalised form never passes.
TEST(SystemPathForm, ShortFullPathsNeedNoForm) {
    const struct {
        std::string path;
        bool taken;
    } cases[] = {
        {OnDrive(259), true},  {OnDrive(260), false},        {OnShare(259), true},
        {OnShare(260), false}, {"C:\\x\\..\\a/./b", true}, {"C:\\", true},
        {"C:a", false},        {"dir\\a", false},            {"\\\\srv\\", false},
    };
    for (const auto& c : cases) {
        std::u16string units(c.path.begin(), c.path.end());
        bool taken = IsShortFullPath(units.data(), (uint32_t)units.size(), kLongestPlainPath);
        EXPECT_EQ(taken, c.taken) << c.path;
        if (taken) EXPECT_EQ(SystemForm(c.path).rfind("\\\\?\\", 0), std::string::npos) << c.path;
    }
}

TEST(SystemPathForm, DirectoriesHaveALowerPlainLimitAndNoFormPassesTheSystemLimit) {
    EXPECT_EQ(SystemForm(OnDrive(247), kLongestPlainDirectory), OnDrive(247));
    EXPECT_EQ(SystemForm(OnDrive(248), kLongestPlainDirectory), "\\\\?\\" + OnDrive(248));
    // The extended form, its prefix included, holds at most 32,767 units.
    EXPECT_EQ(SystemForm(OnDrive(32763)), "\\\\?\\" + OnDrive(32763));
    EXPECT_EQ(SystemForm(OnDrive(32764)), "");
    EXPECT_EQ(SystemForm(OnShare(32761)), "\\\\?\\UNC" + OnShare(32761).substr(1));
    EXPECT_EQ(SystemForm(OnShare(32762)), "");
    // Nor one that does not fit the buffer.
    EXPECT_EQ(SystemForm(OnDrive(303), kLongestPlainPath, 4), "");
    EXPECT_EQ(SystemForm(OnDrive(303), kLongestPlainPath, 5), "\\\\?\\" + OnDrive(303));
}
