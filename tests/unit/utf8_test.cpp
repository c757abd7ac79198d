// UTF-8, the core's text form: which bytes are UTF-8, how many UTF-16
// units a text makes and where a text is cut to some of them, and the
// composition of conjoining Hangul jamo.
#include <gtest/gtest.h>

#include <string>

#include "util/utf8.h"

TEST(Utf8, OnlyStrictFormsAreUtf8) {
    const struct {
        std::string bytes;
        bool strict;
    } cases[] = {
        {"", true}, {"a.txt", true}, {"é한😀", true}, {"\xE0\xA0\x80", true}, {"\xF4\x8F\xBF\xBF", true},
        // overlong forms, one of them "/"
        {"\xC0\xAF", false}, {"\xC1\xBF", false}, {"\xE0\x9F\xBF", false}, {"\xF0\x8F\xBF\xBF", false},
        // surrogates, and beyond U+10FFFF
        {"\xED\xA0\x80", false}, {"\xED\xBF\xBF", false}, {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false},
        // cut short, or a continuation byte alone
        {"\xE1\x84", false}, {"a\xC3", false}, {"\xC3(", false}, {"\x80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsStrictUtf8(c.bytes.data(), (uint32_t)c.bytes.size()), c.strict) << c.bytes;
}

// A character above U+FFFF is two units, and a cut never parts them.
TEST(Utf8, UnitsAndCutsKeepCharactersWhole) {
    const struct {
        std::string text;
        uint32_t units, within, bytes;  // `bytes` of `text` make at most `within` units
    } cases[] = {
        {"", 0, 5, 0},        {"abc", 3, 2, 2},    {"abc", 3, 9, 3},     {"가나다", 3, 2, 6},
        {"가나다", 3, 0, 0},  {"a😀b", 4, 1, 1},   {"a😀b", 4, 2, 1},    {"a😀b", 4, 3, 5},
        {"é€😀", 4, 2, 5},   {"é€😀", 4, 3, 5},  {"é€😀", 4, 4, 9},
    };
    for (const auto& c : cases) {
        uint32_t length = (uint32_t)c.text.size();
        EXPECT_EQ(Utf16Units(c.text.data(), length), c.units) << c.text;
        EXPECT_EQ(BytesWithinUnits(c.text.data(), length, c.within), c.bytes) << c.text << " within " << c.within;
    }
}

TEST(Utf8, ConjoiningJamoBecomeSyllables) {
    const struct {
        std::string jamo, composed;
    } cases[] = {
        {"\u1100\u1161", "가"},                        // lead and vowel
        {"\u1112\u1161\u11AB\u1100\u1173\u11AF", "한글"},  // with trailing consonants
        {"가\u11A8", "각"},                             // a precomposed syllable and a trailing consonant
        {"\u1112\u1175\u11C2", "힣"},                   // the last of each kind
        {"a\u1100\u1161.txt", "a가.txt"},
        {"\u1100\u1100\u1161", "\u1100가"},             // a lone lead before a pair
        // left alone: lone jamo, a syllable that has its trailing consonant,
        // archaic jamo outside the composed ranges, other combining marks
        {"\u1100", "\u1100"},
        {"\u1161\u11A8", "\u1161\u11A8"},
        {"각\u11A8", "각\u11A8"},
        {"\u1113\u1161", "\u1113\u1161"},
        {"\u1100\u1176", "\u1100\u1176"},
        {"\u1100\u1161\u11C3", "가\u11C3"},
        {"e\u0301", "e\u0301"},
    };
    for (const auto& c : cases) {
        std::string text = c.jamo;
        uint32_t length = ComposeHangulJamo(&text[0], (uint32_t)text.size());
        EXPECT_EQ(text.substr(0, length), c.composed) << c.jamo;
    }
}
