#include "tools/common/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/common/text_encoding.h"

namespace {

std::string Reason() { return std::strerror(errno); }

// Opens `path` for reading after checking its kind: regular files always,
// pipes and sockets when `streams` allows them.
int OpenChecked(const std::string& path, bool streams, const std::string& what) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        throw ReadFailure("cannot read " + what + " " + PrintableText(path) + ": " + Reason());
    bool stream = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
    if (!S_ISREG(status.st_mode) && !(streams && stream))
        throw ReadFailure(what + " " + PrintableText(path) + " is not a regular file" +
                          (S_ISDIR(status.st_mode) ? " but a folder"
                           : stream                ? " but a pipe"
                                                   : ""));
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ReadFailure("cannot read " + what + " " + PrintableText(path) + ": " + Reason());
    return fd;
}

// Reads up to `limit` bytes; fewer only at the end of the input.
std::string ReadUpTo(int fd, size_t limit, const std::string& path) {
    std::string bytes(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        ssize_t n = read(fd, &bytes[got], limit - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            close(fd);
            throw ReadFailure("cannot read " + PrintableText(path) + ": " + std::strerror(error));
        }
        if (n == 0) break;
        got += (size_t)n;
    }
    close(fd);
    bytes.resize(got);
    return bytes;
}

}  // namespace

void RequireRegularFile(const std::string& path, const std::string& what) { close(OpenChecked(path, false, what)); }

std::string ReadFirstLine(const std::string& path, size_t longest, const std::string& what) {
    // The line, its line end ("\r\n" at most) and one byte to tell a line
    // that is too long.
    std::string bytes = ReadUpTo(OpenChecked(path, true, what), longest + 3, path);
    size_t end = bytes.find('\n');
    std::string line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > longest)
        throw std::runtime_error(what + " " + PrintableText(path) + " holds a line longer than the " +
                                 std::to_string(longest) + " bytes that can be used");
    return line;
}

std::string ReadExactly(const std::string& path, size_t size, const std::string& what) {
    std::string bytes = ReadUpTo(OpenChecked(path, false, what), size + 1, path);
    if (bytes.size() != size)
        throw std::runtime_error(what + " " + PrintableText(path) + " is " + (bytes.size() > size ? "more than " : "") +
                                 std::to_string(bytes.size() > size ? size : bytes.size()) +
                                 " bytes; it must be exactly " + std::to_string(size));
    return bytes;
}
