// Member names that would put a file outside the target directory, or
// somewhere else than the name says, are told apart from ordinary ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/member_names.h"
#include "crc_table.h"
#include "platform/posix/native_names.h"
#include "test_files.h"
#include "util/utf8.h"
#include "zip_builder.h"

static bool Safe(const std::string& name) {
    Text text = Counted(name);
    bool safe = IsSafeMemberName(text);
    ReleaseText(text);
    return safe;
}

TEST(MemberNames, OnlyNamesThatStayInTheirPlacePass) {
    struct Case {
        bool safe;
        std::vector<const char*> names;
    } cases[] = {
        {true, {"a.txt", "dir/", "dir/sub/file.bin", "dir\\file", "..name", "a..b", "a//b", ".hidden", "CONSOLE.txt",
                "COM10", "LPT0.txt", "COMA", "nul1", "con_x", "./x", "a/./b",
                "\xb5\xb5\xb7\xce\xb9\xcc/\xbe\xc8\xb3\xbb.txt"}},
        // climbing out or rooted
        {false, {"../x", "a/../../x", "a\\..\\x", "..", "a/..", "/abs", "\\abs", "a/.../x", "a/. ./x", "a/.. /x"}},
        // drives, streams, trailing dots or blanks
        {false, {"C:x", "c:\\x", "file.txt:stream", "dir/a.", "dir./a", "a ", "dir /a"}},
        // characters no Windows name holds, in a folder part or the file part
        {false, {"a/b*c/x.txt", "a?/x", "d\"q/x", "l<t/x", "g>t/x", "p|p/x", "tab\t/x", "x*.txt", "nl\n"}},
        // device names in any case and place
        {false, {"CON", "con.txt", "dir/Prn.log", "aux", "NUL.tar.gz", "COM1", "com9.x", "LPT1", "lpt9/inner.txt",
                 "nul .txt"}},
        {false, {""}},
    };
    for (const Case& c : cases)
        for (const char* name : c.names) EXPECT_EQ(Safe(name), c.safe) << name;
}

// ---- What a header's name becomes ---------------------------------------

namespace {

const uint16_t kUtf8Flag = 0x0800;
// "한글 폴더/문서.txt" in UTF-8 and in code page 949.
const std::string kKoreanUtf8 = "\xED\x95\x9C\xEA\xB8\x80 \xED\x8F\xB4\xEB\x8D\x94/\xEB\xAC\xB8\xEC\x84\x9C.txt";
const std::string kKorean949 = "\xC7\xD1\xB1\xDB \xC6\xFA\xB4\xF5/\xB9\xAE\xBC\xAD.txt";

struct Decoded {
    std::string name;
    bool usable;
};

Decoded Decode(const std::string& bytes, uint16_t flags = 0, const std::string& extra = "") {
    RawMemberName raw = WholeRawName(bytes.data(), (uint32_t)bytes.size(), flags, (const uint8_t*)extra.data(),
                                     (uint32_t)extra.size());
    char work[kNameWorkBytes];
    Text name = {};
    bool usable = DecodeMemberName(raw, false, work, name);
    return {Take(name), usable};
}

class NameDecoding : public WithCrcTable {
protected:
    void TearDown() override {
        SetAnsiCodePage(949);
        WithCrcTable::TearDown();
    }
};

}  // namespace

// One table: the header's bytes and flag, what the stub makes of them on a
// Korean Windows, and whether the bytes pass the strict UTF-8 test.
TEST_F(NameDecoding, NamesBecomeCodePage949OrAreRefused) {
    struct Case {
        std::string bytes;
        uint16_t flags;
        std::string name;  // code page 949, or the form shown for a refused name
        bool usable;
        bool strictUtf8;
    } cases[] = {
        {"plain/a.txt", 0, "plain/a.txt", true, true},
        {"plain/a.txt", kUtf8Flag, "plain/a.txt", true, true},
        {kKoreanUtf8, kUtf8Flag, kKorean949, true, true},
        {kKoreanUtf8, 0, kKorean949, true, true},  // Info-ZIP's zip in a UTF-8 locale sets no flag
        {kKorean949, 0, kKorean949, true, false},  // code page 949 bytes are no UTF-8
        // Shown with one "?" for each character that cannot be shown.
        {kKorean949, kUtf8Flag, "??? ???" "/??.txt", false, false},
        {"\xEF\xBC\x8F\xEF\xBC\x9A.txt", kUtf8Flag, "\xA3\xAF\xA3\xBA.txt", true, true},  // fullwidth ／ and ：
        {"\xE2\x82\xA9.txt", 0, "?.txt", false, true},  // the won sign: best fit would make it "\"
        {"caf\xC3\xA9.txt", kUtf8Flag, "caf?.txt", false, true},  // best fit would make it "e"
        {"\xC0\xAF.txt", kUtf8Flag, "?.txt", false, false},       // an overlong "/"
        {"\xC0\xAF.txt", 0, "\xC0\xAF.txt", true, false},
        {"\xED\xA0\x80.txt", kUtf8Flag, "?.txt", false, false},  // a surrogate
        {"\xF4\x90\x80\x80", kUtf8Flag, "?", false, false},      // above U+10FFFF
        {"\xE1\x84", kUtf8Flag, "?", false, false},              // cut short
        {std::string("a\0b", 3), kUtf8Flag, "a", true, true},      // cut at its first NUL
        {std::string(128, 'x') + "\xEA\xB0\x80", 0, std::string(128, 'x') + "\xB0\xA1", true, true},
    };
    for (const Case& c : cases) {
        Decoded decoded = Decode(c.bytes, c.flags);
        EXPECT_EQ(decoded.name, c.name) << c.bytes;
        EXPECT_EQ(decoded.usable, c.usable) << c.bytes;
        EXPECT_EQ(IsStrictUtf8(c.bytes.data(), (uint32_t)c.bytes.size()), c.strictUtf8) << c.bytes;
    }
}

// The limit holds for the converted name: 128 syllables are 384 bytes of
// UTF-8 but 256 of code page 949; one more is refused, never cut.
TEST_F(NameDecoding, LengthLimitAppliesToTheConvertedName) {
    std::string syllables;
    for (int i = 0; i < 128; ++i) syllables += "\xEA\xB0\x80";
    EXPECT_TRUE(Decode(syllables, kUtf8Flag).usable);
    EXPECT_EQ(Decode(syllables, kUtf8Flag).name.size(), 256u);
    Decoded longer = Decode(syllables + "\xEA\xB0\x80", kUtf8Flag);
    EXPECT_FALSE(longer.usable);
    EXPECT_EQ(longer.name.size(), 256u);
    EXPECT_FALSE(Decode(std::string(257, 'a')).usable);
    EXPECT_FALSE(Decode(std::string(800, 'a'), kUtf8Flag).usable);
}

TEST_F(NameDecoding, UnicodePathFieldCountsOnlyWhenItsCrcMatches) {
    std::string header = "placeholder.txt";
    std::string matching = UnicodePathField(kKoreanUtf8, Crc32Of(header));
    std::string stale = UnicodePathField(kKoreanUtf8, Crc32Of(header) ^ 1);
    std::string unholdable = UnicodePathField("\xE2\x82\xA9.txt", Crc32Of(header));
    std::string afterAnother = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9) + matching;
    EXPECT_EQ(Decode(header, 0, matching).name, kKorean949);
    EXPECT_EQ(Decode(header, 0, afterAnother).name, kKorean949);
    EXPECT_EQ(Decode(header, 0, stale).name, header);
    EXPECT_EQ(Decode(header, 0, unholdable).name, header);  // the header's name stands
    EXPECT_TRUE(Decode(header, 0, unholdable).usable);
    EXPECT_EQ(Decode(kKoreanUtf8, 0, UnicodePathField("x", 0)).name, kKorean949);  // stale: the rule applies
}

// Where Windows' ANSI code page is UTF-8 itself, WideCharToMultiByte
// refuses the no-best-fit flag: a valid UTF-8 name is used as it stands.
TEST_F(NameDecoding, Utf8AnsiCodePageTakesValidUtf8AsItStands) {
    SetAnsiCodePage(kUtf8CodePage);
    EXPECT_EQ(Decode(kKoreanUtf8, kUtf8Flag).name, kKoreanUtf8);
    EXPECT_EQ(Decode("\xE2\x82\xA9.txt", kUtf8Flag).name, "\xE2\x82\xA9.txt");
    Decoded invalid = Decode("a\xC0\xAF.txt", kUtf8Flag);
    EXPECT_EQ(invalid.name, "a??.txt");
    EXPECT_FALSE(invalid.usable);
}
