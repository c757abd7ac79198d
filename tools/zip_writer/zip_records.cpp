#include "tools/zip_writer/zip_records.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/zip_writer/byte_order.h"

std::string CommonHeaderFields(const CentralEntry& entry) {
    std::string out;
    PutLe16(out, entry.version);
    PutLe16(out, entry.member.flags);
    PutLe16(out, entry.member.method);
    PutLe16(out, entry.dosTime);
    PutLe16(out, entry.dosDate);
    PutLe32(out, entry.member.crc);
    PutLe32(out, entry.member.compressedSize);
    PutLe32(out, entry.member.size);
    PutLe16(out, (uint16_t)entry.member.headerName.size());
    PutLe16(out, (uint16_t)entry.extra.size());
    return out;
}

void ArchiveOutput::Write(const char* bytes, size_t count) {
    if (position_ + count > kLargestCombinedFile)
        throw std::runtime_error("the self-extracting file would reach 4 GiB, which Windows does not start");
    if (count != 0 && std::fwrite(bytes, 1, count, out_) != count)
        throw std::runtime_error("cannot write the output file: " + std::string(std::strerror(errno)));
    position_ += count;
}

void ArchiveOutput::Truncate(uint32_t position) {
    if (std::fflush(out_) != 0 || ftruncate(fileno(out_), position) != 0 || fseeko(out_, position, SEEK_SET) != 0)
        throw std::runtime_error("cannot rewrite the output file: " + std::string(std::strerror(errno)));
    position_ = position;
}

void ArchiveOutput::Patch(uint32_t position, const std::string& bytes) {
    bool patched = fseeko(out_, position, SEEK_SET) == 0 &&
                   std::fwrite(bytes.data(), 1, bytes.size(), out_) == bytes.size() &&
                   fseeko(out_, (off_t)position_, SEEK_SET) == 0;
    if (!patched) throw std::runtime_error("cannot rewrite the output file: " + std::string(std::strerror(errno)));
}

Deflater::Deflater(int level) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot start compressing");
}

std::string Deflater::Take(const char* bytes, size_t count, bool finish) {
    std::string out;
    char buffer[kChunk];
    stream_.next_in = (Bytef*)bytes;
    stream_.avail_in = (uInt)count;
    int result;
    do {
        stream_.next_out = (Bytef*)buffer;
        stream_.avail_out = sizeof buffer;
        result = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_ERROR) throw std::runtime_error("zlib could not compress a member");
        out.append(buffer, sizeof buffer - stream_.avail_out);
    } while (stream_.avail_out == 0 || (finish && result != Z_STREAM_END));
    return out;
}

void WriteCentralDirectory(ArchiveOutput& output, const std::vector<CentralEntry>& entries) {
    uint32_t start = output.Position();
    for (const CentralEntry& entry : entries) {
        std::string header;
        PutLe32(header, kCentralHeaderSignature);
        PutLe16(header, entry.madeBy);
        header += CommonHeaderFields(entry);
        PutLe16(header, 0);  // comment length
        PutLe16(header, 0);  // disk number
        PutLe16(header, entry.internalAttributes);
        PutLe32(header, entry.attributes);
        PutLe32(header, entry.headerOffset);
        output.Write(header + entry.member.headerName + entry.extra);
    }
    uint32_t size = output.Position() - start;

    std::string end;
    PutLe32(end, kEndRecordSignature);
    PutLe16(end, 0);  // this disk
    PutLe16(end, 0);  // disk with the central directory
    PutLe16(end, (uint16_t)entries.size());
    PutLe16(end, (uint16_t)entries.size());
    PutLe32(end, size);
    PutLe32(end, start);
    PutLe16(end, 0);  // no comment
    output.Write(end);
}
