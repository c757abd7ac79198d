#include "tools/zip_writer/member_reading.h"

#include <fcntl.h>
#include <nettle/sha2.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "decode/crc32.h"
#include "tools/common/text_encoding.h"

MemberInput::MemberInput(const ZipMemberSource& source) : source_(source) {
    if (source.dataSource) {
        source.dataSource->Open(source);
        return;
    }
    fd_ = open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Fail(std::strerror(errno));
}

MemberInput::~MemberInput() {
    if (fd_ >= 0) close(fd_);
}

size_t MemberInput::Next(char* buffer, size_t capacity) {
    for (;;) {
        ssize_t got = source_.dataSource ? (ssize_t)source_.dataSource->Read(buffer, capacity)
                                         : read(fd_, buffer, capacity);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(std::strerror(errno));
        done_ += (uint64_t)got;
        if (done_ > source_.size || (got == 0 && done_ != source_.size))
            Fail(source_.dataSource
                     ? "its data is not the " + std::to_string(source_.size) +
                           " bytes its header gives; the archive is damaged"
                     : "it changed while it was read (" + std::to_string(source_.size) + " bytes when collected)");
        return (size_t)got;
    }
}

void MemberInput::Fail(const std::string& reason) {
    throw std::runtime_error("cannot read " + PrintableText(source_.path) + ": " + reason);
}

namespace {

// The CRC-32 and SHA-256 of bytes handed in pieces.
class Digester {
public:
    Digester() { sha256_init(&sha_); }
    void Update(const char* bytes, size_t count) {
        UpdateCrcBuffer((const uint8_t*)bytes, (int32_t)count, crc_);
        sha256_update(&sha_, count, (const uint8_t*)bytes);
    }
    FileDigest Finish() {
        FileDigest digest{~crc_, std::string(SHA256_DIGEST_SIZE, '\0')};
        sha256_digest(&sha_, SHA256_DIGEST_SIZE, (uint8_t*)&digest.sha256[0]);
        return digest;
    }

private:
    sha256_ctx sha_;
    uint32_t crc_ = 0xFFFFFFFF;
};

}  // namespace

FileDigest DigestOfBytes(const std::string& content) {
    Digester digester;
    digester.Update(content.data(), content.size());
    return digester.Finish();
}

FileDigest DigestOfFile(const ZipMemberSource& source) {
    std::vector<char> buffer(kChunk);
    MemberInput input(source);
    Digester digester;
    while (size_t got = input.Next(buffer.data())) digester.Update(buffer.data(), got);
    return digester.Finish();
}

std::string ReadWholeMember(const ZipMemberSource& source) {
    std::string content(source.size + 1, '\0');  // the spare byte catches a file that grew
    MemberInput input(source);
    size_t filled = 0;
    while (size_t got = input.Next(&content[filled], content.size() - filled)) filled += got;
    content.resize(filled);
    return content;
}
