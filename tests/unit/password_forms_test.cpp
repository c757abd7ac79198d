// The byte forms a typed password is tried in: the ANSI code page's, code
// page 949's and UTF-8's, each only when the password can be written in it
// (never through a look-alike) and gives bytes no earlier form gave.
#include <gtest/gtest.h>

#include <string>

#include "archive/passwords.h"
#include "platform/posix/native_names.h"
#include "startup/sfx_globals.h"
#include "test_files.h"

TEST(PasswordForms, EachDistinctWritableFormOnce) {
    std::string longest, longest949;  // 79 syllables: the most the box takes, 237 bytes of UTF-8
    for (int i = 0; i < kLongestPassword; ++i) longest += "가", longest949 += "\xB0\xA1";
    const struct {
        uint32_t ansiCodePage;
        std::string password, forms[kPasswordForms];  // empty: not tried
    } cases[] = {
        {949, "비밀", {"\xBA\xF1\xB9\xD0", "", "비밀"}},
        {1252, "비밀", {"", "\xBA\xF1\xB9\xD0", "비밀"}},
        {1252, "café", {"caf\xE9", "", "café"}},
        {932, "日本", {"\x93\xFA\x96\x7B", "\xEC\xED\xDC\xE2", "日本"}},
        {949, "₩100", {"", "", "₩100"}},
        {1252, "secret", {"secret", "", ""}},
        {949, "", {"", "", ""}},
        {949, longest, {longest949, "", longest}},
    };
    for (const auto& c : cases) {
        SetAnsiCodePage(c.ansiCodePage);
        Text password = Counted(c.password);
        for (uint32_t index = 0; index < kPasswordForms; ++index) {
            char form[kPasswordBufferSize];
            uint32_t length = PasswordForm(index, password, form, sizeof form);
            EXPECT_EQ(std::string(form, length), c.forms[index])
                << c.password << ", form " << index << ", code page " << c.ansiCodePage;
        }
        ReleaseText(password);
    }
    SetAnsiCodePage(kKoreanCodePage);
}
