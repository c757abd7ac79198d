#include "tools/output/output_file.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tools/common/text_encoding.h"

namespace {

// The temporary file of the build in progress, for removal when the
// process ends some other way (a signal, or the core ending the process).
char pendingPath[4096];

void RemovePending() {
    if (pendingPath[0]) unlink(pendingPath);
    pendingPath[0] = 0;
}

void RemovePendingOnSignal(int signal) {
    RemovePending();  // unlink is safe in a signal handler
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void WatchPending(const std::string& path) {
    static bool installed = false;
    if (!installed) {
        std::atexit(RemovePending);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, RemovePendingOnSignal);
        installed = true;
    }
    if (path.size() >= sizeof pendingPath) throw std::runtime_error("the output path is too long");
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TemporaryOutput::TemporaryOutput(const std::string& finalPath) : finalPath_(finalPath) {
    std::string pattern = DirectoryOf(finalPath) + "/." + NameOf(finalPath) + ".XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0)
        throw std::runtime_error("cannot create a file next to " + PrintableText(finalPath) + ": " +
                                 std::strerror(errno));
    temporaryPath_ = pattern;
    WatchPending(temporaryPath_);
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        close(fd);
        throw std::runtime_error("cannot write " + PrintableText(temporaryPath_));
    }
}

TemporaryOutput::~TemporaryOutput() {
    if (stream_) std::fclose(stream_);
    if (!committed_) unlink(temporaryPath_.c_str());
    pendingPath[0] = 0;
}

void TemporaryOutput::Finish() {
    bool written = std::fflush(stream_) == 0 && fsync(fileno(stream_)) == 0;
    written = std::fclose(stream_) == 0 && written;
    stream_ = nullptr;
    if (!written) throw std::runtime_error("cannot write " + PrintableText(finalPath_) + ": " + std::strerror(errno));
}

void TemporaryOutput::Commit() {
    // mkstemp makes the file private; give it what a new file gets, or the
    // permissions of the file it replaces.
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat replaced, made;
    if (stat(finalPath_.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
        mode = replaced.st_mode & 07777;
        // The new file belongs to whoever runs the build. When that is not
        // the old file's owner and group, their set-user-ID and
        // set-group-ID bits would hand their rights to other content: they
        // are dropped, as cp and install drop them.
        bool sameOwners = stat(temporaryPath_.c_str(), &made) == 0 && made.st_uid == replaced.st_uid &&
                          made.st_gid == replaced.st_gid;
        if (!sameOwners) mode &= ~(mode_t)(S_ISUID | S_ISGID);
    }
    if (chmod(temporaryPath_.c_str(), mode) != 0 || rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0)
        throw std::runtime_error("cannot create " + PrintableText(finalPath_) + ": " + std::strerror(errno));
    committed_ = true;
    pendingPath[0] = 0;
}
