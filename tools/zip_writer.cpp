#include "tools/zip_writer.h"

#include <zlib.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "decode/crc32.h"
#include "decode/zip_cipher.h"
#include "startup/sfx_globals.h"
#include "tools/core_state.h"
#include "tools/zip_format.h"

namespace {

const uint16_t kVersionStored = 10;   // 1.0: stored, no encryption
const uint16_t kVersionDeflated = 20; // 2.0: deflate, encryption, directories
const uint16_t kVersionMadeBy = 20;   // host 0 (MS-DOS and Windows), 2.0
const uint32_t kDosAttributeDirectory = 0x10;
const uint32_t kDosAttributeArchive = 0x20;
const size_t kMostMembers = 0xFFFF;   // more needs ZIP64

uint32_t ZipCrc(const std::string& data) {
    uint32_t crc = 0xFFFFFFFF;
    const uint8_t* bytes = (const uint8_t*)data.data();
    for (size_t left = data.size(); left > 0;) {
        int32_t chunk = left > 0x40000000 ? 0x40000000 : (int32_t)left;
        UpdateCrcBuffer(bytes, chunk, crc);
        bytes += chunk;
        left -= chunk;
    }
    return ~crc;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    if (in) data << in.rdbuf();
    if (!in || in.bad()) throw std::runtime_error("cannot read " + path);
    std::string bytes = data.str();
    if (bytes.size() > kLargestCombinedFile)
        throw std::runtime_error(path + " is larger than the 2 GiB a self-extracting file can hold");
    return bytes;
}

// Raw deflate (no zlib wrapper) of the whole buffer at `level`.
std::string Deflate(const std::string& data, int level) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot start compressing");
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = (Bytef*)data.data();
    stream.avail_in = (uInt)data.size();
    stream.next_out = (Bytef*)&out[0];
    stream.avail_out = (uInt)out.size();
    int result = deflate(&stream, Z_FINISH);
    size_t produced = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("zlib could not compress a member");
    out.resize(produced);
    return out;
}

// 64-bit FNV-1a, to seed encryption headers from a member's content.
uint64_t Fnv1a(uint64_t hash, const void* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        hash ^= ((const unsigned char*)bytes)[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// The 11 bytes that start an encryption header before its check byte:
// from the member's name, CRC and size, so that a rebuild gives the same
// file, or from the system's random source.
std::string HeaderFillBytes(const ZipMemberSource& member, uint32_t crc, size_t size, bool random) {
    std::mt19937_64 generator;
    if (random) {
        std::random_device device;
        generator.seed((uint64_t)device() << 32 | device());
    } else {
        uint64_t seed = Fnv1a(0xCBF29CE484222325ull, member.cp949Name.data(), member.cp949Name.size());
        uint64_t numbers[2] = {crc, (uint64_t)size};
        generator.seed(Fnv1a(seed, numbers, sizeof numbers));
    }
    std::string bytes;
    for (int i = 0; i < 11; ++i) bytes += (char)(generator() >> 56);
    return bytes;
}

// Encrypts the 12-byte header and the data with the traditional cipher;
// the header's last byte is the CRC's high byte, which extractors check
// the password against.
std::string Encrypt(const std::string& data, const std::string& password, const std::string& fill, uint32_t crc) {
    Text key = MakeText(password.data(), (uint32_t)password.size());
    InitKeys(key);
    ReleaseText(key);
    std::string plain = fill + (char)(crc >> 24) + data;
    for (char& c : plain) {
        uint8_t p = (uint8_t)c;
        c = (char)(p ^ DecryptByte());
        UpdateKeys(p);
    }
    return plain;
}

// Info-ZIP Unicode Path extra field: version 1, the CRC of the name as
// stored in the header, the UTF-8 name.
std::string UnicodePathField(const ZipMemberSource& member) {
    std::string body;
    body += (char)1;
    PutLe32(body, ZipCrc(member.cp949Name));
    body += member.utf8Name;
    std::string field;
    PutLe16(field, kExtraUnicodePath);
    PutLe16(field, (uint16_t)body.size());
    return field + body;
}

struct CentralEntry {
    ZipWrittenMember member;
    uint16_t version;
    uint16_t dosTime, dosDate;
    uint32_t attributes;
    uint32_t headerOffset;
    std::string extra;
};

// The fields the local and the central header share, from "version
// needed" to the extra-field length.
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
    PutLe16(out, (uint16_t)entry.member.cp949Name.size());
    PutLe16(out, (uint16_t)entry.extra.size());
    return out;
}

class ArchiveOutput {
public:
    ArchiveOutput(std::FILE* out, uint32_t base) : out_(out), position_(base) {}

    void Write(const std::string& bytes) {
        if (position_ + bytes.size() > kLargestCombinedFile)
            throw std::runtime_error("the self-extracting file would be larger than 2 GiB, which the stub cannot walk");
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size())
            throw std::runtime_error("cannot write the output file");
        position_ += bytes.size();
    }
    uint32_t Position() const { return (uint32_t)position_; }

private:
    std::FILE* out_;
    uint64_t position_;
};

CentralEntry WriteMember(ArchiveOutput& output, const ZipMemberSource& source, const ZipWriteOptions& options) {
    CentralEntry entry{};
    entry.member.cp949Name = source.cp949Name;
    entry.member.shownName = source.cp949Name;
    entry.dosTime = source.dosTime;
    entry.dosDate = source.dosDate;
    entry.headerOffset = output.Position();
    entry.extra = UnicodePathField(source);

    std::string payload;
    if (source.isDirectory) {
        entry.attributes = kDosAttributeDirectory;
        entry.member.method = kMethodStored;
        entry.version = kVersionDeflated;
    } else {
        entry.attributes = kDosAttributeArchive;
        std::string data = ReadWholeFile(source.path);
        entry.member.crc = ZipCrc(data);
        entry.member.size = (uint32_t)data.size();
        entry.member.method = kMethodStored;
        payload = std::move(data);
        if (!options.store && !payload.empty()) {
            std::string packed = Deflate(payload, options.level);
            if (packed.size() < payload.size()) {  // members that do not shrink stay stored
                payload = std::move(packed);
                entry.member.method = kMethodDeflated;
            }
        }
        if (!options.password.empty()) {
            std::string fill = HeaderFillBytes(source, entry.member.crc, entry.member.size, options.randomHeaders);
            payload = Encrypt(payload, options.password, fill, entry.member.crc);
            entry.member.flags |= kFlagEncrypted;
        }
        bool plainStored = entry.member.method == kMethodStored && !(entry.member.flags & kFlagEncrypted);
        entry.version = plainStored ? kVersionStored : kVersionDeflated;
    }
    entry.member.compressedSize = (uint32_t)payload.size();

    std::string header;
    PutLe32(header, kLocalHeaderSignature);
    header += CommonHeaderFields(entry);
    output.Write(header + source.cp949Name + entry.extra);
    output.Write(payload);
    return entry;
}

void WriteCentralDirectory(ArchiveOutput& output, const std::vector<CentralEntry>& entries) {
    uint32_t start = output.Position();
    for (const CentralEntry& entry : entries) {
        std::string header;
        PutLe32(header, kCentralHeaderSignature);
        PutLe16(header, kVersionMadeBy);
        header += CommonHeaderFields(entry);
        PutLe16(header, 0);  // comment length
        PutLe16(header, 0);  // disk number
        PutLe16(header, 0);  // internal attributes
        PutLe32(header, entry.attributes);
        PutLe32(header, entry.headerOffset);
        output.Write(header + entry.member.cp949Name + entry.extra);
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
    PutLe16(end, 0);  // no comment: the size check needs the record to end the file
    output.Write(end);
}

}  // namespace

std::vector<ZipWrittenMember> WriteZipArchive(std::FILE* out, const std::vector<ZipMemberSource>& members,
                                              const ZipWriteOptions& options) {
    if (members.size() > kMostMembers)
        throw std::runtime_error("an archive without ZIP64 holds at most 65,535 members");
    PrepareCoreState();  // the core's CRC and cipher work on Sfx
    ArchiveOutput output(out, options.offsetBase);
    std::vector<CentralEntry> entries;
    for (const ZipMemberSource& member : members) entries.push_back(WriteMember(output, member, options));
    WriteCentralDirectory(output, entries);

    std::vector<ZipWrittenMember> written;
    for (const CentralEntry& entry : entries) written.push_back(entry.member);
    return written;
}
