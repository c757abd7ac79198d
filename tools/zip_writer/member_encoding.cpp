#include "tools/zip_writer/member_encoding.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "archive/zip_format.h"
#include "decode/crc32.h"
#include "tools/common/text_encoding.h"
#include "tools/zip_writer/member_encryption.h"
#include "tools/zip_writer/member_reading.h"

namespace {

// The highest level of zlib, which compresses the members too large to be
// read whole.
const int kHighestStreamingLevel = 9;

// Streams a member's file into the output, compressed when `level` > 0
// and encrypted when `cipher` is given; returns the CRC of what was read
// and the bytes written.
struct StreamedData {
    uint32_t crc;
    uint64_t written;
};

StreamedData StreamMember(MemberContext& context, const ZipMemberSource& source, int level, MemberCipher* cipher) {
    std::vector<char> buffer(kChunk);
    MemberInput input(source);
    std::optional<Deflater> deflater;
    if (level > 0) deflater.emplace(level);
    StreamedData streamed{0xFFFFFFFF, 0};
    uint64_t read = 0;
    auto put = [&](std::string bytes) {
        if (cipher) cipher->Apply(bytes);
        context.output.Write(bytes);
        streamed.written += bytes.size();
    };
    for (;;) {
        size_t got = input.Next(buffer.data());
        UpdateCrcBuffer((const uint8_t*)buffer.data(), (int32_t)got, streamed.crc);
        read += got;
        context.ShowProgress(read);
        if (deflater) put(deflater->Take(buffer.data(), got, got == 0));
        else put(std::string(buffer.data(), got));
        if (got == 0) break;
    }
    streamed.crc = ~streamed.crc;
    return streamed;
}

}  // namespace

WholeDeflater::WholeDeflater(int level) : compressor_(libdeflate_alloc_compressor(level)) {
    if (!compressor_) throw std::runtime_error("libdeflate cannot start compressing");
}

WholeDeflater::~WholeDeflater() { libdeflate_free_compressor(compressor_); }

std::optional<std::string> WholeDeflater::Deflate(const std::string& content) {
    if (content.empty()) return std::nullopt;
    // Left uninitialised: only the pages libdeflate writes take memory.
    size_t room = content.size() - 1;
    std::unique_ptr<char[]> out(new char[room]);
    size_t size = libdeflate_deflate_compress(compressor_, content.data(), content.size(), out.get(), room);
    if (size == 0) return std::nullopt;
    return std::string(out.get(), size);
}

WrittenData WriteWholeMember(MemberContext& context, const ZipMemberSource& source) {
    std::string content = ReadWholeMember(source);
    // Only encryption needs the SHA-256 (an AES salt is derived from it).
    FileDigest digest = context.options.password.empty()
                            ? FileDigest{CrcOfBytes((const uint8_t*)content.data(), (uint32_t)content.size()), ""}
                            : DigestOfBytes(content);
    std::optional<std::string> deflated;
    if (context.deflater) deflated = context.deflater->Deflate(content);
    std::string& data = deflated ? *deflated : content;
    std::unique_ptr<MemberCipher> cipher = CipherFor(context.options, source, digest);
    if (cipher) {
        context.output.Write(cipher->Header());
        cipher->Apply(data);
    }
    context.output.Write(data);
    if (cipher) context.output.Write(cipher->Trailer());
    context.ShowProgress(source.size);
    return {deflated ? kMethodDeflated : kMethodStored, digest.crc};
}

WrittenData WriteStreamedMember(MemberContext& context, const ZipMemberSource& source) {
    std::optional<FileDigest> digest;  // from a read before the data, which every later one must match
    if (!context.options.password.empty()) digest = DigestOfFile(source);
    uint32_t dataStart = context.output.Position();
    bool compress = context.deflater != nullptr;
    int level = std::min(context.options.level, kHighestStreamingLevel);
    for (int attempt = 0;; ++attempt, compress = false) {
        if (attempt > 0) context.output.Truncate(dataStart);
        std::unique_ptr<MemberCipher> cipher = digest ? CipherFor(context.options, source, *digest) : nullptr;
        if (cipher) context.output.Write(cipher->Header());
        StreamedData streamed = StreamMember(context, source, compress ? level : 0, cipher.get());
        if (digest && streamed.crc != digest->crc)
            throw std::runtime_error("cannot read " + PrintableText(source.path) + ": it changed while it was read");
        if (!digest) digest = FileDigest{streamed.crc, ""};
        if (cipher) context.output.Write(cipher->Trailer());
        // Another archive's entry is kept deflated even when that did not
        // shrink it (zlib then writes stored blocks, a few bytes each 16 KiB
        // or more): storing it would read the archive again from its start,
        // once for each such entry, all of it for a solid 7z.
        if (!compress || streamed.written < source.size || source.dataSource)
            return {compress ? kMethodDeflated : kMethodStored, digest->crc};
    }
}
