#pragma once
// How the tool's front end answers the core's questions when a command
// drives an extraction: a password given on the command line, or asked on
// the terminal; overwrite questions asked on the terminal.
#include <cstddef>
#include <optional>
#include <string>

#include "startup/sfx_globals.h"

// The longest password the stub's password box takes, in code page 949
// bytes, and the longest UTF-8 line that can become one: a character of
// two code page 949 bytes has at most three in UTF-8.
const size_t kLongestPasswordBytes = kPasswordBufferSize - 1;
const size_t kLongestPasswordLine = kLongestPasswordBytes + 1;

struct ConsoleAnswers {
    std::optional<std::string> password;  // code page 949 bytes
    bool quiet = false;                   // no progress lines
    int passwordsAsked = 0;
};

ConsoleAnswers& Answers();

class ProgressLine;

// What the pass is writing: how many members it has started, the native
// path of the latest (kept in a fixed buffer, so that a signal handler can
// remove a member cut short), and the progress line to clear before a
// member's line is printed.
struct ExtractionWatch {
    size_t membersStarted = 0;
    char currentPath[4096] = {};
    ProgressLine* progress = nullptr;
};

ExtractionWatch& Watch();
