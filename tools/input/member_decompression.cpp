#include "tools/input/member_decompression.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

#include "archive/zip_format.h"
#include "tools/zip_writer/byte_order.h"
#include "tools/zip_writer/zip_records.h"

namespace {

// What libarchive reads: a local header for the member alone (its real
// sizes, no data descriptor, a plain name), the member's compressed bytes
// from the file, and an empty end record.
class SingleMemberStream {
public:
    SingleMemberStream(std::FILE* file, const PackedMember& member) : file_(file), member_(member) {
        PutLe32(header_, kLocalHeaderSignature);
        PutLe16(header_, 63);                     // version needed: every method here
        PutLe16(header_, member.flags & 0x0006);  // the method's own option bits only
        PutLe16(header_, member.method);
        PutLe16(header_, 0);       // time
        PutLe16(header_, 0x0021);  // 1980-01-01
        PutLe32(header_, member.crc);
        PutLe32(header_, member.compressedSize);
        PutLe32(header_, member.size);
        PutLe16(header_, 1);  // name length
        PutLe16(header_, 0);  // extra length
        header_ += 'm';
        PutLe32(trailer_, kEndRecordSignature);
        trailer_.append(kEndRecordFixedSize - 4, '\0');
        buffer_.resize(kChunk);
    }

    static la_ssize_t Read(struct archive*, void* self, const void** bytes) {
        return static_cast<SingleMemberStream*>(self)->Next(bytes);
    }

private:
    la_ssize_t Next(const void** bytes) {
        if (stage_ == 0) {
            stage_ = 1;
            *bytes = header_.data();
            return (la_ssize_t)header_.size();
        }
        if (stage_ == 1 && done_ < member_.compressedSize) {
            size_t count = (size_t)std::min<uint64_t>(buffer_.size(), member_.compressedSize - done_);
            if (fseeko(file_, (off_t)(member_.dataStart + done_), SEEK_SET) != 0 ||
                std::fread(&buffer_[0], 1, count, file_) != count)
                return -1;
            done_ += count;
            *bytes = buffer_.data();
            return (la_ssize_t)count;
        }
        if (stage_ == 1) {
            stage_ = 2;
            *bytes = trailer_.data();
            return (la_ssize_t)trailer_.size();
        }
        return 0;
    }

    std::FILE* file_;
    const PackedMember& member_;
    std::string header_, trailer_, buffer_;
    int stage_ = 0;
    uint64_t done_ = 0;
};

[[noreturn]] void Fail(struct archive* reader) {
    const char* why = archive_error_string(reader);
    throw std::runtime_error(std::string("libarchive cannot read it: ") + (why ? why : "no reason given"));
}

}  // namespace

void DecompressMember(std::FILE* file, const PackedMember& member,
                      const std::function<void(const char* bytes, size_t count)>& take) {
    std::unique_ptr<struct archive, int (*)(struct archive*)> reader(archive_read_new(), archive_read_free);
    if (!reader) throw std::runtime_error("libarchive cannot start");
    SingleMemberStream stream(file, member);
    archive_read_support_format_zip_streamable(reader.get());
    if (archive_read_open(reader.get(), &stream, nullptr, SingleMemberStream::Read, nullptr) != ARCHIVE_OK)
        Fail(reader.get());
    struct archive_entry* entry;
    if (archive_read_next_header(reader.get(), &entry) != ARCHIVE_OK) Fail(reader.get());
    std::string buffer(kChunk, '\0');
    uint64_t total = 0;
    for (;;) {
        la_ssize_t got = archive_read_data(reader.get(), &buffer[0], buffer.size());
        if (got < 0) Fail(reader.get());
        if (got == 0) break;
        total += (uint64_t)got;
        take(buffer.data(), (size_t)got);
    }
    if (total != member.size)
        throw std::runtime_error("libarchive gives " + std::to_string(total) + " bytes of it, not the " +
                                 std::to_string(member.size) + " its directory records");
}

std::string CompressionMethodName(uint16_t method) {
    switch (method) {
        case 0:
            return "stored";
        case 8:
            return "deflate";
        case 9:
            return "Deflate64";
        case 12:
            return "bzip2";
        case 14:
            return "LZMA";
        case 93:
            return "zstd";
        case 95:
            return "xz";
        case 98:
            return "PPMd";
        case 99:
            return "AES";
        default:
            return "method " + std::to_string(method);
    }
}
