// What a header's name becomes, and which names may be joined to the
// target directory. The cases live in tests/data/member_names.tsv, which the
// tests of the stub under Wine read as well; here only what it cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/member_names.h"
#include "crc_table.h"
#include "name_table.h"
#include "platform/posix/native_names.h"
#include "test_files.h"
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
                "COM10", "LPT0.txt", "COMA", "nul1", "con_x", "./x", "a/./b", "도로미/안내.txt"}},
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

// One member of an archive, as the pass has its header.
struct Header {
    std::string name;
    uint16_t flags;
    std::string extra;
};

// What each member of an archive becomes where the ANSI code page is
// `codePage`, by the steps of the listing pass: every name weighed, the
// choice for unmarked names made once, then each name decoded and checked.
// "=" and the name (with "/") for a usable, safe name; "!" and the form
// shown for a refused one; nothing for an empty name, which ends the pass.
std::vector<std::string> Outcomes(uint32_t codePage, const std::vector<Header>& headers) {
    SetAnsiCodePage(codePage);
    std::vector<RawMemberName> raws;
    UnmarkedNameEvidence evidence = NoUnmarkedNames();
    for (const Header& header : headers) {
        raws.push_back(WholeRawName(header.name.data(), (uint32_t)header.name.size(), header.flags,
                                    (const uint8_t*)header.extra.data(), (uint32_t)header.extra.size()));
        WeighUnmarkedName(raws.back(), evidence);
    }
    bool unmarkedUtf8 = UnmarkedNamesAreUtf8(evidence);
    std::vector<std::string> outcomes;
    for (const RawMemberName& raw : raws) {
        char work[kNameWorkBytes];
        Text name = {};
        bool usable = DecodeMemberName(raw, unmarkedUtf8, work, name);
        bool safe = usable && IsSafeMemberName(name);
        std::string text = Take(name);
        for (char& c : text)
            if (safe && c == '\\') c = '/';
        outcomes.push_back(usable && text.empty() ? "" : (safe ? "=" : "!") + text);
    }
    return outcomes;
}

class NameDecoding : public WithCrcTable {
protected:
    void TearDown() override {
        SetAnsiCodePage(kKoreanCodePage);
        WithCrcTable::TearDown();
    }
};

}  // namespace

TEST_F(NameDecoding, TableArchivesBecomeTheirOutcomes) {
    std::vector<NameArchive> archives = ReadNameTable();
    ASSERT_FALSE(archives.empty());
    for (const NameArchive& archive : archives) {
        std::vector<Header> headers;
        std::vector<std::string> expected;
        for (const NameRow& row : archive.members) {
            headers.push_back({row.name, row.flags, row.extra});
            expected.push_back(row.outcome);
        }
        for (uint32_t codePage : archive.codePages)
            EXPECT_EQ(Outcomes(codePage, headers), expected)
                << archive.label << " (line " << archive.members[0].line << ") in code page " << codePage;
    }
}

// Names the table cannot hold: of exactly the longest length (no file
// system takes such a component whole), cut at a NUL, empty, with the field
// after another one, and Windows' UTF-8 mode.
TEST_F(NameDecoding, LimitsNulsAndTheUtf8CodePage) {
    const uint16_t kUtf8 = 0x0800;
    std::string syllables, syllables949, emoji, a1024(1024, 'a');
    for (int i = 0; i < 1024; ++i) syllables += "가", syllables949 += "\xB0\xA1";
    for (int i = 0; i < 512; ++i) emoji += "😀";
    std::string timeField("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
    const struct {
        uint32_t codePage;
        Header header;
        std::string outcome;
    } cases[] = {
        // 1,024 UTF-16 units, however many bytes they take, and no more.
        {949, {a1024, 0, ""}, "=" + a1024},
        {949, {a1024 + "b", 0, ""}, "!" + a1024.substr(1) + "…"},
        {949, {syllables, kUtf8, ""}, "=" + syllables},
        {949, {syllables949, 0, ""}, "=" + syllables},
        {1252, {emoji, kUtf8, ""}, "=" + emoji},
        // 3,073 bytes are more than are read of a name: refused, shown cut.
        {949, {syllables + "b", kUtf8, ""}, "!" + syllables.substr(0, 3 * 1023) + "…"},
        {949, {std::string("a\0b", 3), kUtf8, ""}, "=a"},
        {949, {std::string("\0a", 2), 0, ""}, ""},
        {949, {"x.txt", 0, UnicodePathField(std::string("\0x", 2), Crc32Of("x.txt"))}, ""},
        {949, {"x.txt", 0, timeField + UnicodePathField("한글.txt", Crc32Of("x.txt"))}, "=한글.txt"},
        // Where the ANSI code page is UTF-8, unmarked UTF-8 names are read
        // as they are, and other bytes refused.
        {kUtf8CodePage, {"한글.txt", 0, ""}, "=한글.txt"},
        {kUtf8CodePage, {"\xC7\xD1.txt", 0, ""}, "!??.txt"},
        {kUtf8CodePage, {"\xC7\xD1.txt", kUtf8, ""}, "!??.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Outcomes(c.codePage, {c.header}), std::vector<std::string>{c.outcome}) << c.header.name;
}
