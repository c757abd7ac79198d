#pragma once
// How the tool's front end answers the core's questions when a command
// drives an extraction: a password given on the command line, or asked on
// the terminal; overwrite questions asked on the terminal.
#include <cstddef>
#include <optional>
#include <string>

#include "startup/sfx_globals.h"

// The stub's password box takes kLongestPassword UTF-16 units. A password
// file's line is read a little further than the UTF-8 of any password that
// long (three bytes a unit at most), so that a longer one is refused
// with its length.
const size_t kLongestPasswordLine = 4 * kLongestPassword;

// Throws UsageError unless `utf8` is a password the stub's box takes: not
// empty, UTF-8, and no longer than kLongestPassword UTF-16 units.
void CheckPasswordArgument(const std::string& utf8);

struct ConsoleAnswers {
    std::optional<std::string> password;  // UTF-8, as the core takes it
    bool quiet = false;                   // no progress lines
    int passwordsAsked = 0;
};

ConsoleAnswers& Answers();

class ProgressLine;

// What the pass is writing: how many members it has started, and the
// progress line its writes move on.
struct ExtractionWatch {
    size_t membersStarted = 0;
    ProgressLine* progress = nullptr;
};

ExtractionWatch& Watch();
