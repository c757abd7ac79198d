// Member names that would put a file outside the target directory, or
// somewhere else than the name says, are told apart from ordinary ones.
#include <gtest/gtest.h>

#include <string>

#include "archive/member_names.h"

static bool Safe(const std::string& name) {
    Text text = MakeText(name.data(), (uint32_t)name.size());
    bool safe = IsSafeMemberName(text);
    ReleaseText(text);
    return safe;
}

TEST(MemberNames, OrdinaryNamesPass) {
    for (const char* name : {"a.txt", "dir/", "dir/sub/file.bin", "dir\\file", "..name", "a..b", "a//b",
                             ".hidden", "CONSOLE.txt", "COM10", "LPT0.txt", "COMA", "nul1", "con_x", "./x", "a/./b",
                             "\xb5\xb5\xb7\xce\xb9\xcc/\xbe\xc8\xb3\xbb.txt"})
        EXPECT_TRUE(Safe(name)) << name;
}

TEST(MemberNames, NamesClimbingOutOrRootedAreRefused) {
    for (const char* name : {"../x", "a/../../x", "a\\..\\x", "..", "a/..", "/abs", "\\abs", "a/.../x",
                             "a/. ./x", "a/.. /x"})
        EXPECT_FALSE(Safe(name)) << name;
}

TEST(MemberNames, DrivesStreamsAndTrailingDotsOrBlanksAreRefused) {
    for (const char* name : {"C:x", "c:\\x", "file.txt:stream", "dir/a.", "dir./a", "a ", "dir /a"})
        EXPECT_FALSE(Safe(name)) << name;
}

TEST(MemberNames, DeviceNamesAreRefusedInAnyCaseAndPlace) {
    for (const char* name : {"CON", "con.txt", "dir/Prn.log", "aux", "NUL.tar.gz", "COM1", "com9.x", "LPT1",
                             "lpt9/inner.txt", "nul .txt"})
        EXPECT_FALSE(Safe(name)) << name;
}

TEST(MemberNames, EmptyNameIsRefused) { EXPECT_FALSE(Safe("")); }
