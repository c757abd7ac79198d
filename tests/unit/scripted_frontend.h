#pragma once
// The unit tests' front end: every box and question is recorded in order,
// questions are answered from scripted queues, and error boxes are also
// written to standard error so that death tests can see what a dying
// process showed.
#include <deque>
#include <ostream>
#include <string>
#include <vector>

// What ShowError writes to standard error for a text and a caption: both in
// hexadecimal, so that non-ASCII bytes survive a regular expression.
std::string ShowErrorTrace(const std::string& text, const std::string& caption);

struct FrontendEvent {
    enum Kind { kError, kNotice, kPasswordPrompt, kOverwriteQuestion } kind;
    std::string text;     // for a question: the file name it names
    std::string caption;

    bool operator==(const FrontendEvent& other) const {
        return kind == other.kind && text == other.text && caption == other.caption;
    }
};

// Readable test failures: the kind, then the texts with every byte outside
// printable ASCII as \xNN.
void PrintTo(const FrontendEvent& event, std::ostream* out);

struct OverwriteReply {
    bool overwrite;
    bool neverAskAgain;
    bool switchToOverwrite = false;  // the user picks the Overwrite policy while the question is open
};

struct ScriptedFrontend {
    std::vector<FrontendEvent> events;
    std::deque<std::string> passwords;        // an empty queue answers ""
    std::deque<OverwriteReply> overwrites;    // an empty queue answers no
    std::vector<std::string> progress;
    int pumped = 0;
};

// The one scripted front end; Reset empties its record and its queues.
ScriptedFrontend& Frontend();
void ResetFrontend();
