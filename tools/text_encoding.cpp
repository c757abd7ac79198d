#include "tools/text_encoding.h"

#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <stdexcept>

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
// cannot start one.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
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

}  // namespace

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        size_t length = SequenceLength((unsigned char)text[i]);
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if (((unsigned char)text[i + k] & 0xC0) != 0x80) return false;
        uint32_t value = DecodeCodePoint(text.substr(i, length));
        bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
        if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return false;
        i += length;
    }
    return true;
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

std::string Cp949ToUtf8(const std::string& cp949) {
    Converter converter("UTF-8", "CP949");
    std::string out;
    const char* in = cp949.data();
    size_t inLeft = cp949.size();
    while (!converter.Convert(in, inLeft, out)) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)*in);
        out += escaped;
        ++in;
        --inLeft;
    }
    return out;
}
