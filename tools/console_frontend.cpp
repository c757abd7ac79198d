// The core's front end in the doromi tool: what the stub shows in message
// boxes goes to the terminal, converted from code page 949 to UTF-8.
#include <cstdio>
#include <string>

#include "tools/text_encoding.h"
#include "ui/frontend.h"

void ShowError(const char* text, const char* caption) {
    std::string line = Cp949ToUtf8(caption) + ": " + Cp949ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
}

// The tool has no main dialog; its commands drive the core themselves.
void RunMainDialog() {}
