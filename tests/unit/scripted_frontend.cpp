#include "scripted_frontend.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "test_files.h"

ScriptedFrontend& Frontend() {
    static ScriptedFrontend frontend;
    return frontend;
}

void ResetFrontend() {
    Frontend() = ScriptedFrontend();
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

static std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += (char)c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

void PrintTo(const FrontendEvent& event, std::ostream* out) {
    static const char* const kinds[] = {"error", "notice", "password prompt", "overwrite question"};
    *out << kinds[event.kind] << " [" << Printable(event.text) << "] [" << Printable(event.caption) << "]";
}

void ShowError(const char* text, const char* caption) {
    Frontend().events.push_back({FrontendEvent::kError, text, caption});
    std::fprintf(stderr, "%s\n", ShowErrorTrace(text, caption).c_str());
}

void ShowNotice(const char* text, const char* caption) {
    Frontend().events.push_back({FrontendEvent::kNotice, text, caption});
}

// Typed text is cut to the 79 characters the prompt takes.
void AskPassword() {
    ScriptedFrontend& frontend = Frontend();
    frontend.events.push_back({FrontendEvent::kPasswordPrompt, "", ""});
    std::string typed;
    if (!frontend.passwords.empty()) {
        typed = frontend.passwords.front();
        frontend.passwords.pop_front();
    }
    typed = typed.substr(0, kPasswordBufferSize - 1);
    std::memcpy(Sfx.PasswordBuffer, typed.c_str(), typed.size() + 1);
    Sfx.PasswordLength = (int32_t)typed.size();
}

void AskOverwrite() {
    ScriptedFrontend& frontend = Frontend();
    frontend.events.push_back({FrontendEvent::kOverwriteQuestion, Bytes(Sfx.ExistingFileName), ""});
    OverwriteReply reply{false, false};
    if (!frontend.overwrites.empty()) {
        reply = frontend.overwrites.front();
        frontend.overwrites.pop_front();
    }
    if (reply.switchToOverwrite) Sfx.OverwriteMode = kOverwrite;
    RecordOverwriteAnswer(reply.overwrite, reply.neverAskAgain);
}

void PumpOneMessage() { ++Frontend().pumped; }

void ShowProgress(WindowHandle, const char* text) { Frontend().progress.push_back(text); }

void RunMainDialog() {}
