#pragma once
// Conversions between the tool's terminal and file-name encoding (UTF-8,
// the core's too) and code page 949, in which the settings block keeps its
// texts and Korean tools read member names.
#include <cstdint>
#include <optional>
#include <string>

// Why a UTF-8 text has no code page 949 form.
struct EncodingFailure {
    std::string character;  // the UTF-8 character that failed, or empty when the input is not UTF-8
    size_t characterIndex;  // counted in characters from 0
};

// The code page 949 bytes of a UTF-8 text, or the first character that
// has none.
struct Cp949Result {
    std::string bytes;
    std::optional<EncodingFailure> failure;
};
Cp949Result Utf8ToCp949(const std::string& utf8);

// A text given on the command line (`what` names it in the message) in
// code page 949; a UsageError when it is not UTF-8 or has a character
// without a code page 949 form.
std::string Cp949Argument(const std::string& utf8, const std::string& what);

// The UTF-8 form of code page 949 bytes. Bytes that are not code page 949
// appear as "\xNN" so that a damaged name can still be shown, or as U+FFFD
// when `replaced` is given, which then tells whether there were any.
std::string Cp949ToUtf8(const std::string& cp949, bool* replaced = nullptr);

// Whether a byte string is well-formed UTF-8 (the stub's strict rule).
bool IsValidUtf8(const std::string& text);

// `bytes` as UTF-8 for a reader that takes nothing else: a byte that does
// not belong to a well-formed UTF-8 character becomes U+FFFD.
std::string Utf8WithReplacements(const std::string& bytes);

// The bytes in lower-case hexadecimal, two digits each.
std::string HexOf(const std::string& bytes);

// "1 member", "2 members": a count with its noun, for messages.
std::string CountOf(size_t count, const std::string& singular);

// A UTF-8 text taken from a file, made safe to print for people: C0 and C1
// control characters, DEL and the bidirectional overrides (U+202A to
// U+202E, U+2066 to U+2069) become "\xNN" or "\u202E", as do bytes that
// are not UTF-8; everything else stays. `keepNewlines` keeps "\n", for
// messages of the tool's own that span lines.
std::string PrintableText(const std::string& utf8, bool keepNewlines = false);

// A UTF-8 name with every character upper-cased by its simple mapping, as
// Windows compares file names without regard to case (all of Unicode, not
// ASCII only). Two names with the same folded form collide on Windows.
std::string FoldedForWindows(const std::string& utf8);

// "U+1F600" for a UTF-8 character, for messages.
std::string CodePointLabel(const std::string& utf8Character);

// Refuses (UsageError) a code page name that iconv does not know.
void CheckCodePageName(const std::string& codePage);

// The UTF-8 form of `bytes` in `codePage` (an iconv name), or nothing when
// they are not valid there.
std::optional<std::string> CodePageToUtf8(const std::string& bytes, const std::string& codePage);
