// The core's front end in the doromi tool: what the stub shows in message
// boxes goes to the terminal, converted from code page 949 to UTF-8, and
// its questions are asked there.
#include "tools/console_frontend.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/native_names.h"
#include "startup/sfx_globals.h"
#include "tools/progress.h"
#include "tools/text_encoding.h"
#include "ui/texts.h"

// A code page 949 text of the core's, which may carry a name from the
// archive, as it may reach a terminal.
static std::string Shown(const char* text) { return PrintableText(Cp949ToUtf8(text)); }

ConsoleAnswers& Answers() {
    static ConsoleAnswers answers;
    return answers;
}

void ShowError(const char* text, const char* caption) {
    std::string line = Shown(caption) + ": " + Shown(text) + "\n";
    std::fputs(line.c_str(), stderr);
}

void ShowNotice(const char* text, const char*) {
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

// The password from the command line, or typed in UTF-8; either way it
// reaches the core as code page 949, cut to the 79 bytes the stub's
// prompt takes.
void AskPassword() {
    std::string password;
    ++Answers().passwordsAsked;
    if (Answers().password) {
        password = *Answers().password;
    } else {
        std::fputs("암호를 입력하세요: ", stderr);
        std::fflush(stderr);
        Cp949Result converted = Utf8ToCp949(ReadAnswer(true));
        password = converted.bytes;
    }
    password.resize(std::min<size_t>(password.size(), kPasswordBufferSize - 1));
    std::memcpy(Sfx.PasswordBuffer, password.c_str(), password.size() + 1);
    Sfx.PasswordLength = (int32_t)password.size();
}

// y: overwrite this file; n (or nothing): keep it; Y / N: the same for
// every later file too.
void AskOverwrite() {
    std::string name(Sfx.ExistingFileName.bytes ? Sfx.ExistingFileName.bytes : "", Sfx.ExistingFileName.length);
    std::string question = Shown(name.c_str()) + " 파일이 이미 존재합니다, 겹쳐 쓰시겠습니까? [y/n/Y=모두/N=모두 아니오] ";
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

// The member whose file the pass has just created. The core's texts are
// code page 949; this file's literals are UTF-8.
static void NoteMemberStarted(const char* text) {
    static const std::string prefix = Utf8ToCp949(TEXT_EXTRACTING).bytes;
    if (std::strncmp(text, prefix.c_str(), prefix.size()) != 0) return;
    ++Watch().membersStarted;
    char* native = NativeName(text + prefix.size());
    size_t length = native ? std::strlen(native) : 0;
    if (length >= sizeof Watch().currentPath) length = 0;
    std::memcpy(Watch().currentPath, native ? native : "", length);
    Watch().currentPath[length] = 0;
    std::free(native);
}

// One line per member written, with "/" between path components.
void ShowProgress(WindowHandle, const char* text) {
    NoteMemberStarted(text);
    if (Answers().quiet) return;
    if (Watch().progress) Watch().progress->Finish();
    std::string line = Shown(text);
    std::replace(line.begin(), line.end(), '\\', '/');
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The tool has no main dialog; its commands drive the core themselves.
void RunMainDialog() {}
