#pragma once
// How the tool opens what it is given: every input's kind is checked before
// it is opened, so that only a first line is read from a FIFO (whose open
// waits for a writer) and a device is never read without bound, and small
// inputs are read no further than they can be used.
#include <cstdint>
#include <stdexcept>
#include <string>

// A file that could not be read at all (doromi info's exit status 3).
struct ReadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws ReadFailure unless `path` is a regular file (symbolic links
// followed); `what` names it in the message ("the archive", ...).
void RequireRegularFile(const std::string& path, const std::string& what);

// The first line of a small text file, a pipe or standard input
// ("/dev/stdin"), without its line end, reading at most `longest` bytes and
// a line end; a longer line, a folder or a device is refused.
std::string ReadFirstLine(const std::string& path, size_t longest, const std::string& what);

// The whole of a regular file that must be exactly `size` bytes, read no
// further than one byte past that size.
std::string ReadExactly(const std::string& path, size_t size, const std::string& what);
