#pragma once
// How the tool's front end answers the core's questions when a command
// drives an extraction: a password given on the command line, or asked on
// the terminal; overwrite questions asked on the terminal.
#include <optional>
#include <string>

struct ConsoleAnswers {
    std::optional<std::string> password;  // code page 949 bytes
    bool quiet = false;                   // no progress lines
    int passwordsAsked = 0;
};

ConsoleAnswers& Answers();
