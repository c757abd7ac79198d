#pragma once
// How a member's data goes into the archive: read whole and deflated with
// libdeflate, or streamed through zlib when it is large; stored when that
// does not make it smaller; encrypted when there is a password.
#include <cstdint>
#include <optional>
#include <string>

#include "tools/output/progress.h"
#include "tools/zip_writer/zip_records.h"
#include "tools/zip_writer/zip_writer.h"

struct libdeflate_compressor;

// Raw deflate (no zlib wrapper) of whole members with libdeflate, which
// compresses better than zlib at its higher levels but takes only whole
// buffers. One compressor serves every member of an archive.
class WholeDeflater {
public:
    explicit WholeDeflater(int level);
    ~WholeDeflater();
    WholeDeflater(const WholeDeflater&) = delete;
    WholeDeflater& operator=(const WholeDeflater&) = delete;

    // The deflated bytes, or nothing when they would not be fewer than
    // `content`'s (libdeflate gives up once its output is full).
    std::optional<std::string> Deflate(const std::string& content);

private:
    libdeflate_compressor* compressor_;
};

// Members done and input bytes read, for the progress line.
struct Done {
    size_t members = 0;
    uint64_t bytes = 0;
};

// What writing one member's data needs besides the member itself.
struct MemberContext {
    ArchiveOutput& output;
    const ZipWriteOptions& options;
    WholeDeflater* deflater;  // null with --store
    Done done;

    // Updates the progress line with `read` bytes of the member in hand.
    void ShowProgress(uint64_t read) const {
        if (options.progress) options.progress->Update(done.members, done.bytes + read);
    }
};

// How a member's data was written: its method and the CRC of its content.
struct WrittenData {
    uint16_t method;
    uint32_t crc;
};

// A member small enough to be read whole: deflated with libdeflate when
// that makes it smaller, stored otherwise, encrypted when asked.
WrittenData WriteWholeMember(MemberContext& context, const ZipMemberSource& source);

// A member too large to be read whole: streamed through zlib, and once
// more stored when that did not make it smaller (a file on disk). An
// encrypted member's data is read once before, for the digest its header
// needs.
WrittenData WriteStreamedMember(MemberContext& context, const ZipMemberSource& source);
