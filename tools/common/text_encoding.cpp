#include "tools/common/text_encoding.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>

#include <cstdio>
#include <cwctype>
#include <stdexcept>

#include "tools/common/usage_error.h"
#include "util/utf8.h"

namespace {

// One iconv conversion descriptor for the life of a call.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == (iconv_t)-1)
            throw std::runtime_error(std::string("the system cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of [in, in + inLeft) as it can, appending to `out`.
    // Returns false at the first byte sequence it cannot convert, leaving
    // `in` and `inLeft` at that sequence.
    bool Convert(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* inPtr = const_cast<char*>(in);
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t result = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
            int error = errno;
            out.append(buffer, outPtr - buffer);
            in = inPtr;
            if (result == (size_t)-1 && error != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t handle_;
};

// Length of the UTF-8 sequence that starts with `lead`, 0 for a byte that
// cannot start one: the core's rule.
size_t SequenceLength(unsigned char lead) {
    uint32_t following = FollowingBytes(lead);
    return following == kNotALeadByte ? 0 : following + 1;
}

uint32_t DecodeCodePoint(const std::string& character) {
    size_t length = character.size();
    uint32_t value = (unsigned char)character[0];
    if (length == 2) value &= 0x1F;
    if (length == 3) value &= 0x0F;
    if (length == 4) value &= 0x07;
    for (size_t i = 1; i < length; ++i) value = value << 6 | ((unsigned char)character[i] & 0x3F);
    return value;
}

std::string EncodeCodePoint(uint32_t value) {
    std::string out;
    if (value < 0x80) {
        out += (char)value;
    } else if (value < 0x800) {
        out += (char)(0xC0 | value >> 6);
        out += (char)(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += (char)(0xE0 | value >> 12);
        out += (char)(0x80 | ((value >> 6) & 0x3F));
        out += (char)(0x80 | (value & 0x3F));
    } else {
        out += (char)(0xF0 | value >> 18);
        out += (char)(0x80 | ((value >> 12) & 0x3F));
        out += (char)(0x80 | ((value >> 6) & 0x3F));
        out += (char)(0x80 | (value & 0x3F));
    }
    return out;
}

// The UTF-8 sequence at `i` of `text` when it is a well-formed character,
// else 0.
size_t CharacterAt(const std::string& text, size_t i) {
    size_t length = SequenceLength((unsigned char)text[i]);
    return length && i + length <= text.size() && IsStrictUtf8(text.data() + i, (uint32_t)length) ? length : 0;
}

const char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

bool IsValidUtf8(const std::string& text) { return IsStrictUtf8(text.data(), (uint32_t)text.size()); }

std::string Utf8WithReplacements(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        size_t length = CharacterAt(bytes, i);
        out += length ? bytes.substr(i, length) : kReplacementCharacter;
        i += length ? length : 1;
    }
    return out;
}

std::string HexOf(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string CountOf(size_t count, const std::string& singular) {
    return std::to_string(count) + " " + singular + (count == 1 ? "" : "s");
}

std::string PrintableText(const std::string& utf8, bool keepNewlines) {
    std::string out;
    char escaped[12];
    for (size_t i = 0; i < utf8.size();) {
        size_t length = CharacterAt(utf8, i);
        if (length == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)utf8[i]);
            out += escaped;
            ++i;
            continue;
        }
        std::string character = utf8.substr(i, length);
        uint32_t value = DecodeCodePoint(character);
        bool control = value < 0x20 || (value >= 0x7F && value <= 0x9F);
        bool bidi = (value >= 0x202A && value <= 0x202E) || (value >= 0x2066 && value <= 0x2069);
        if ((control && !(keepNewlines && value == '\n')) || bidi) {
            std::snprintf(escaped, sizeof escaped, value < 0x100 ? "\\x%02X" : "\\u%04X", (unsigned)value);
            out += escaped;
        } else {
            out += character;
        }
        i += length;
    }
    return out;
}

std::string FoldedForWindows(const std::string& utf8) {
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = SequenceLength((unsigned char)utf8[i]);
        if (length == 0 || i + length > utf8.size()) {
            out += utf8[i++];
            continue;
        }
        uint32_t value = DecodeCodePoint(utf8.substr(i, length));
        if (unicode) value = (uint32_t)towupper_l((wint_t)value, unicode);
        out += EncodeCodePoint(value);
        i += length;
    }
    return out;
}

std::string CodePointLabel(const std::string& utf8Character) {
    char label[16];
    std::snprintf(label, sizeof label, "U+%04X", (unsigned)DecodeCodePoint(utf8Character));
    return label;
}

Cp949Result Utf8ToCp949(const std::string& utf8) {
    Cp949Result result;
    if (!IsValidUtf8(utf8)) {
        result.failure = EncodingFailure{"", 0};
        return result;
    }
    Converter converter("CP949", "UTF-8");
    const char* in = utf8.data();
    size_t inLeft = utf8.size();
    if (converter.Convert(in, inLeft, result.bytes)) return result;

    size_t offset = in - utf8.data();
    size_t index = 0;
    for (size_t i = 0; i < offset; i += SequenceLength((unsigned char)utf8[i])) ++index;
    result.failure = EncodingFailure{utf8.substr(offset, SequenceLength((unsigned char)utf8[offset])), index};
    result.bytes.clear();
    return result;
}

std::string Cp949Argument(const std::string& utf8, const std::string& what) {
    Cp949Result converted = Utf8ToCp949(utf8);
    if (!converted.failure) return converted.bytes;
    const EncodingFailure& failure = *converted.failure;
    if (failure.character.empty()) throw UsageError(what + " is not valid UTF-8");
    throw UsageError(what + " cannot be written in code page 949: character " +
                     std::to_string(failure.characterIndex + 1) + ", \"" + failure.character + "\" (" +
                     CodePointLabel(failure.character) + "), has no code page 949 form");
}

std::string Cp949ToUtf8(const std::string& cp949, bool* replaced) {
    Converter converter("UTF-8", "CP949");
    std::string out;
    const char* in = cp949.data();
    size_t inLeft = cp949.size();
    if (replaced) *replaced = false;
    while (!converter.Convert(in, inLeft, out)) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)*in);
        out += replaced ? kReplacementCharacter : escaped;
        if (replaced) *replaced = true;
        ++in;
        --inLeft;
    }
    return out;
}

void CheckCodePageName(const std::string& codePage) {
    iconv_t handle = iconv_open("UTF-8", codePage.c_str());
    if (handle == (iconv_t)-1)
        throw UsageError("--name-encoding takes a code page this system's iconv knows (cp437, cp866, cp932, cp949, "
                         "koi8-r, ...), not \"" + PrintableText(codePage) + "\"");
    iconv_close(handle);
}

std::optional<std::string> CodePageToUtf8(const std::string& bytes, const std::string& codePage) {
    Converter converter("UTF-8", codePage.c_str());
    const char* in = bytes.data();
    size_t left = bytes.size();
    std::string utf8;
    if (!converter.Convert(in, left, utf8)) return std::nullopt;
    return utf8;
}
