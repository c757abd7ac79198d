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

struct Making {
    const char* label;
    std::vector<std::string> before;  // what the base holds first; directories end in "/"
    std::vector<std::string> names;   // each made from the base, all with the same result
    bool made;
    std::vector<std::string> after;   // what the base then holds
    const char* current;              // the current directory after each name, relative to the base
};
void PrintTo(const Making& making, std::ostream* out) { *out << making.label; }

// The base folder is the current directory while a name is made, as the
// folder browser leaves it.
class MakingSubdirectories : public ::testing::TestWithParam<Making> {
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
    // Everything below the base, as relative paths; directories end in "/".
    std::vector<std::string> Tree() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(base))
            names.push_back(fs::relative(entry.path(), base).string() + (entry.is_directory() ? "/" : ""));
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir temp;
    fs::path base, previous;
};

TEST_P(MakingSubdirectories, MakesEntersOrRefuses) {
    const Making& c = GetParam();
    for (const std::string& name : c.before) {
        if (name.back() == '/') fs::create_directories(base / name);
        else WriteWholeFile((base / name).string(), "a file");
    }
    for (const std::string& name : c.names) {
        fs::current_path(base);
        EXPECT_EQ(Make(name), c.made) << name;
        EXPECT_EQ(fs::current_path(), *c.current ? base / c.current : base) << name;
    }
    EXPECT_EQ(Tree(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Names, MakingSubdirectories, ::testing::Values(
    Making{"CreatesAndEntersANewName", {}, {"new"}, true, {"new/"}, "new"},
    Making{"CreatesSeveralLevelsAtOnce", {}, {"a\\b"}, true, {"a/", "a/b/"}, "a/b"},
    Making{"IgnoresALeadingSeparator", {}, {"\\new"}, true, {"new/"}, "new"},
    Making{"IgnoresLeadingSeparatorsOfBothKinds", {}, {"\\\\/other\\deeper"}, true, {"other/", "other/deeper/"},
           "other/deeper"},
    Making{"EntersAnExistingDirectory", {"old/keep/"}, {"old"}, true, {"old/", "old/keep/"}, "old"},
    Making{"RefusesTheNameOfAnExistingFile", {"taken"}, {"taken", "taken\\below"}, false, {"taken"}, ""},
    Making{"RefusesDrivePrefixesSeparatorsOnlyAndEmptyNames", {}, {"D:\\x", "x:y", "new:", "\\", "\\\\", "/", ""},
           false, {}, ""},
    // A last level the file system refuses (here a character Windows file
    // names cannot hold) fails the name but keeps the level made before it.
    Making{"KeepsLevelsMadeBeforeAFailure", {}, {"made\\bad| name"}, false, {"made/"}, ""}),
    [](const ::testing::TestParamInfo<Making>& info) { return std::string(info.param.label); });
