#pragma once
// Conversions between the tool's terminal and file-name encoding (UTF-8)
// and code page 949, the encoding of the stub's texts and member names.
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

// The UTF-8 form of code page 949 bytes. Bytes that are not code page 949
// appear as "\xNN" so that a damaged name can still be shown.
std::string Cp949ToUtf8(const std::string& cp949);

// Whether a byte string is well-formed UTF-8.
bool IsValidUtf8(const std::string& text);

// "U+1F600" for a UTF-8 character, for messages.
std::string CodePointLabel(const std::string& utf8Character);
