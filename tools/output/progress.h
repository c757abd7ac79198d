#pragma once
// A progress line for long work: members and bytes done of the total, on
// standard error, only when that is a terminal and not silenced, redrawn at
// most ten times a second and only once the work has taken a second.
// Whatever else the tool prints while the line is drawn clears it first
// (ClearProgressLine), so that no text is glued to it.
#include <chrono>
#include <cstddef>
#include <cstdint>

class ProgressLine {
public:
    ProgressLine(const char* doing, size_t members, uint64_t bytes, bool quiet);
    ~ProgressLine() { Finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void Update(size_t membersDone, uint64_t bytesDone);
    // Clears the line, so that what is printed next starts on a clean one.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    const char* doing_;
    size_t members_;
    uint64_t bytes_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point started_, lastDrawn_;
};

// Clears the progress line that is drawn, if any; called before any other
// output reaches the terminal.
void ClearProgressLine();
