// The core's front end in the doromi tool: what the stub shows in message
// boxes goes to the terminal (the core's texts are UTF-8, as the
// terminal's), and its questions are asked there.
#include "tools/output/console_frontend.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/native_names.h"
#include "startup/sfx_globals.h"
#include "tools/common/text_encoding.h"
#include "tools/common/usage_error.h"
#include "tools/output/progress.h"
#include "ui/texts.h"
#include "util/utf8.h"

// A text of the core's, which may carry a name from the archive, as it may
// reach a terminal.
static std::string Shown(const char* text) { return PrintableText(text); }

// A text of the core's that holds a path, with "/" between its components
// as this system writes them (the core writes "\\" as on Windows), made
// safe before it is printed.
static std::string ShownPath(const char* text) {
    std::string native = text;
    std::replace(native.begin(), native.end(), '\\', '/');
    return PrintableText(native);
}

void CheckPasswordArgument(const std::string& utf8) {
    if (utf8.empty()) throw UsageError("the password is empty");
    if (!IsValidUtf8(utf8)) throw UsageError("the password is not valid UTF-8");
    uint32_t units = Utf16Units(utf8.data(), (uint32_t)utf8.size());
    if (units > kLongestPassword)
        throw UsageError("the password is too long: " + std::to_string(units) + " characters (UTF-16 units), " +
                         std::to_string(units - kLongestPassword) + " more than the " +
                         std::to_string(kLongestPassword) + " the stub's password box takes");
}

ConsoleAnswers& Answers() {
    static ConsoleAnswers answers;
    return answers;
}

void ShowError(const char* text, const char* caption) {
    ClearProgressLine();
    std::string line = Shown(caption) + ": " + ShownPath(text) + "\n";
    // A file that cannot be opened because a symbolic link is in its way
    // (the core's check of the directories, or O_NOFOLLOW).
    if (std::strcmp(caption, TEXT_CANNOT_OPEN_FILE) == 0 && LastSystemError() == ELOOP)
        line += "  a symbolic link is in the way; it is left as it is\n";
    // Windows takes 255 UTF-16 units a part, which in UTF-8 may be up to 765
    // bytes, more than Linux file systems take.
    bool pathFailed = std::strcmp(caption, TEXT_CANNOT_OPEN_FILE) == 0 ||
                      std::strcmp(caption, TEXT_DIRECTORY_ERROR) == 0;
    if (pathFailed && LastSystemError() == ENAMETOOLONG)
        line += "  the path is longer than this system takes (on Linux: 255 bytes a part, 4,095 the whole path)\n";
    std::fputs(line.c_str(), stderr);
}

void ShowNotice(const char* text, const char*) {
    ClearProgressLine();
    std::string line = Shown(text) + "\n";
    std::fputs(line.c_str(), stdout);
}

// A line from standard input; typed without echo when it is a terminal.
static std::string ReadAnswer(bool hidden) {
    termios saved{};
    bool masked = hidden && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (masked) {
        termios quiet = saved;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (masked) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    // The answer ends the question's line unless the terminal echoed it.
    if (masked || !isatty(STDIN_FILENO)) std::fputs("\n", stderr);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The password from the command line (checked when it was given), or
// typed in UTF-8 and cut, as the stub's box cuts it, to the
// kLongestPassword UTF-16 units it takes.
void AskPassword() {
    std::string password;
    ++Answers().passwordsAsked;
    if (Answers().password) {
        password = *Answers().password;
    } else {
        ClearProgressLine();
        std::fputs("암호를 입력하세요: ", stderr);
        std::fflush(stderr);
        password = ReadAnswer(true);
        password.resize(BytesWithinUnits(password.data(), (uint32_t)password.size(), kLongestPassword));
    }
    password.resize(std::min<size_t>(password.size(), kPasswordBufferSize - 1));
    std::memcpy(Sfx.PasswordBuffer, password.c_str(), password.size() + 1);
    Sfx.PasswordLength = (int32_t)password.size();
}

// y: overwrite this file; n (or nothing): keep it; Y / N: the same for
// every later file too.
void AskOverwrite() {
    std::string name(Sfx.ExistingFileName.bytes ? Sfx.ExistingFileName.bytes : "", Sfx.ExistingFileName.length);
    ClearProgressLine();
    std::string question = Shown(name.c_str()) +
                           " 파일이 이미 존재합니다, 겹쳐 쓰시겠습니까? [y/n/Y=모두/N=모두 아니오] ";
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    std::string answer = ReadAnswer(false);
    char choice = answer.empty() ? 'n' : answer[0];
    RecordOverwriteAnswer(choice == 'y' || choice == 'Y', choice == 'Y' || choice == 'N');
}

void PumpOneMessage() {}

ExtractionWatch& Watch() {
    static ExtractionWatch watch;
    return watch;
}

// The member whose file the pass has just created.
static void NoteMemberStarted(const char* text) {
    static const std::string prefix = TEXT_EXTRACTING;
    if (std::strncmp(text, prefix.c_str(), prefix.size()) != 0) return;
    ++Watch().membersStarted;
    Answers().passwordsAsked = 0;  // the passwords asked for this member were taken
}

// One line per member written, with "/" between path components.
void ShowProgress(WindowHandle, const char* text) {
    NoteMemberStarted(text);
    if (Answers().quiet) return;
    ClearProgressLine();
    std::string line = ShownPath(text);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The tool has no main dialog; its commands drive the core themselves.
void RunMainDialog() {}
