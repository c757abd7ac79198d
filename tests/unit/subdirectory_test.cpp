// Making a new subdirectory below the chosen folder: what is created, what
// becomes the current directory, and which names are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"
#include "util/subdirectory.h"

namespace fs = std::filesystem;

// The base folder is the current directory while a name is made, as the
// folder browser leaves it.
class MakingSubdirectories : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        base = fs::canonical(temp.path());
        fs::current_path(base);
    }
    void TearDown() override { fs::current_path(previous); }

    bool Make(const std::string& name) {
        return MakeSubdirectory((CoreForm(base.string()) + "\\").c_str(), name.c_str());
    }
    // Everything below the base, as relative paths.
    std::vector<std::string> Tree() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(base))
            names.push_back(fs::relative(entry.path(), base).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir temp;
    fs::path base, previous;
};

TEST_F(MakingSubdirectories, CreatesAndEntersANewName) {
    EXPECT_TRUE(Make("new"));
    EXPECT_TRUE(fs::is_directory(base / "new"));
    EXPECT_EQ(fs::current_path(), base / "new");
}

TEST_F(MakingSubdirectories, CreatesSeveralLevelsAtOnce) {
    EXPECT_TRUE(Make("a\\b"));
    EXPECT_EQ(Tree(), (std::vector<std::string>{"a", "a/b"}));
    EXPECT_EQ(fs::current_path(), base / "a" / "b");
}

TEST_F(MakingSubdirectories, IgnoresLeadingSeparators) {
    EXPECT_TRUE(Make("\\new"));
    EXPECT_EQ(fs::current_path(), base / "new");
    fs::current_path(base);
    EXPECT_TRUE(Make("\\\\/other\\deeper"));
    EXPECT_EQ(fs::current_path(), base / "other" / "deeper");
    EXPECT_EQ(Tree(), (std::vector<std::string>{"new", "other", "other/deeper"}));
}

TEST_F(MakingSubdirectories, EntersAnExistingDirectory) {
    fs::create_directories(base / "old" / "keep");
    EXPECT_TRUE(Make("old"));
    EXPECT_EQ(fs::current_path(), base / "old");
    EXPECT_EQ(Tree(), (std::vector<std::string>{"old", "old/keep"}));
}

TEST_F(MakingSubdirectories, RefusesTheNameOfAnExistingFile) {
    WriteWholeFile((base / "taken").string(), "a file");
    EXPECT_FALSE(Make("taken"));
    EXPECT_FALSE(Make("taken\\below"));
    EXPECT_TRUE(fs::is_regular_file(base / "taken"));
    EXPECT_EQ(Tree(), (std::vector<std::string>{"taken"}));
    EXPECT_EQ(fs::current_path(), base);
}

TEST_F(MakingSubdirectories, RefusesDrivePrefixesSeparatorsOnlyAndEmptyNames) {
    for (const char* name : {"D:\\x", "x:y", "new:", "\\", "\\\\", "/", ""})
        EXPECT_FALSE(Make(name)) << name;
    EXPECT_EQ(Tree(), std::vector<std::string>{});
    EXPECT_EQ(fs::current_path(), base);
}

// A last level the file system refuses (here a byte that is not code page
// 949) fails the name but keeps the level made before it.
TEST_F(MakingSubdirectories, KeepsLevelsMadeBeforeAFailure) {
    EXPECT_FALSE(Make("made\\bad\x80 name"));
    EXPECT_EQ(Tree(), (std::vector<std::string>{"made"}));
    EXPECT_EQ(fs::current_path(), base);
}
