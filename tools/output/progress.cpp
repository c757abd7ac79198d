#include "tools/output/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/common/text_encoding.h"

namespace {

// The line on the terminal now, which the next output must clear.
ProgressLine* drawnLine = nullptr;

}  // namespace

ProgressLine::ProgressLine(const char* doing, size_t members, uint64_t bytes, bool quiet)
    : doing_(doing), members_(members), bytes_(bytes), enabled_(!quiet && isatty(STDERR_FILENO)),
      started_(Clock::now()), lastDrawn_(started_) {}

void ProgressLine::Update(size_t membersDone, uint64_t bytesDone) {
    if (!enabled_) return;
    Clock::time_point now = Clock::now();
    if (now - started_ < std::chrono::seconds(1) || now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    drawn_ = true;
    drawnLine = this;
    double percent = bytes_ ? 100.0 * (double)bytesDone / (double)bytes_ : 100.0;
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%zu of %s, %.1f of %.1f MB (%.0f%%)", membersDone,
                  CountOf(members_, "member").c_str(), (double)bytesDone / 1e6, (double)bytes_ / 1e6, percent);
    std::string line = PrintableText(std::string(doing_) + ": " + numbers);
    // "\r" goes back to the line's start and "\033[K" erases what a longer
    // line before it left.
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

void ProgressLine::Finish() {
    if (drawnLine == this) drawnLine = nullptr;
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

void ClearProgressLine() {
    if (drawnLine) drawnLine->Finish();
}
