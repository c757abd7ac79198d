#include "tools/progress.h"

#include <unistd.h>

#include <cstdio>

ProgressLine::ProgressLine(const char* doing, size_t members, uint64_t bytes, bool quiet)
    : doing_(doing), members_(members), bytes_(bytes), enabled_(!quiet && isatty(STDERR_FILENO)),
      started_(Clock::now()), lastDrawn_(started_) {}

void ProgressLine::Update(size_t membersDone, uint64_t bytesDone) {
    if (!enabled_) return;
    Clock::time_point now = Clock::now();
    if (now - started_ < std::chrono::seconds(1) || now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    drawn_ = true;
    double percent = bytes_ ? 100.0 * (double)bytesDone / (double)bytes_ : 100.0;
    std::fprintf(stderr, "\r%s: %zu of %zu members, %.1f of %.1f MB (%.0f%%)\033[K", doing_, membersDone, members_,
                 (double)bytesDone / 1e6, (double)bytes_ / 1e6, percent);
    std::fflush(stderr);
}

void ProgressLine::Finish() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}
