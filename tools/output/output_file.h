#pragma once
// The finished file is written under a temporary name next to its final
// one and renamed only when complete and checked, so that an interrupted
// or refused build never leaves a half-written file behind.
#include <cstdio>
#include <string>

class TemporaryOutput {
public:
    // Creates the temporary file next to `finalPath`.
    explicit TemporaryOutput(const std::string& finalPath);
    // Removes the temporary file unless it was committed.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    std::FILE* Stream() { return stream_; }
    const std::string& Path() const { return temporaryPath_; }

    // Flushes the data to disk and closes the stream; the file stays under
    // its temporary name so that it can be checked.
    void Finish();

    // Gives the finished file its final name, with the permissions of the
    // file it replaces (without the set-ID bits when the owner or the group
    // changes) or else the usual ones.
    void Commit();

private:
    std::string finalPath_;
    std::string temporaryPath_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};
