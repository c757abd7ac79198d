#include "scripted_frontend.h"

#include <cstdio>

#include "ui/frontend.h"

std::vector<ShownError>& ShownErrors() {
    static std::vector<ShownError> shown;
    return shown;
}

static std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string ShowErrorTrace(const std::string& text, const std::string& caption) {
    return "ShowError text=" + Hex(text) + " caption=" + Hex(caption);
}

void ShowError(const char* text, const char* caption) {
    ShownErrors().push_back({text, caption});
    std::fprintf(stderr, "%s\n", ShowErrorTrace(text, caption).c_str());
}

void RunMainDialog() {}
