#include "tools/zip_writer/zip_writer.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <nettle/hmac.h>
#include <nettle/sha2.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "archive/aes_member.h"
#include "archive/zip_format.h"
#include "decode/aes_ctr.h"
#include "decode/crc32.h"
#include "decode/zip_cipher.h"
#include "tools/common/core_state.h"
#include "tools/common/text_encoding.h"
#include "tools/output/progress.h"
#include "tools/zip_writer/byte_order.h"
#include "tools/zip_writer/zip_records.h"

namespace {

const uint32_t kDosAttributeDirectory = 0x10;
const uint32_t kDosAttributeArchive = 0x20;

// The highest level of zlib, which compresses the members too large to be
// read whole.
const int kHighestStreamingLevel = 9;

// One read of a member's file (or its data source's entry) from its
// start, in chunks, checking that it is still the file that was
// collected: a read error or a size other than the one collected ends the
// build with the file's name and the reason.
class MemberInput {
public:
    explicit MemberInput(const ZipMemberSource& source) : source_(source) {
        if (source.dataSource) {
            source.dataSource->Open(source);
            return;
        }
        fd_ = open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) Fail(std::strerror(errno));
    }
    ~MemberInput() {
        if (fd_ >= 0) close(fd_);
    }
    MemberInput(const MemberInput&) = delete;
    MemberInput& operator=(const MemberInput&) = delete;

    // The next bytes into `buffer`, at most `capacity`; 0 at the end of
    // the file.
    size_t Next(char* buffer, size_t capacity = kChunk) {
        for (;;) {
            ssize_t got = source_.dataSource ? (ssize_t)source_.dataSource->Read(buffer, capacity)
                                             : read(fd_, buffer, capacity);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) Fail(std::strerror(errno));
            done_ += (uint64_t)got;
            if (done_ > source_.size || (got == 0 && done_ != source_.size))
                Fail(source_.dataSource ? "its data is not the " + std::to_string(source_.size) +
                                              " bytes its header gives; the archive is damaged"
                                        : "it changed while it was read (" + std::to_string(source_.size) +
                                              " bytes when collected)");
            return (size_t)got;
        }
    }

private:
    [[noreturn]] void Fail(const std::string& reason) {
        throw std::runtime_error("cannot read " + PrintableText(source_.path) + ": " + reason);
    }

    const ZipMemberSource& source_;
    int fd_ = -1;
    uint64_t done_ = 0;
};

// What one read of a member's file gives before its data is written: the
// CRC-32, and the SHA-256 that an AES salt is derived from.
struct FileDigest {
    uint32_t crc;
    std::string sha256;
};

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

// A member's whole content, read once.
std::string ReadWholeMember(const ZipMemberSource& source) {
    std::string content(source.size + 1, '\0');  // the spare byte catches a file that grew
    MemberInput input(source);
    size_t filled = 0;
    while (size_t got = input.Next(&content[filled], content.size() - filled)) filled += got;
    content.resize(filled);
    return content;
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
        uint64_t seed = Fnv1a(0xCBF29CE484222325ull, member.headerName.data(), member.headerName.size());
        uint64_t numbers[2] = {crc, (uint64_t)size};
        generator.seed(Fnv1a(seed, numbers, sizeof numbers));
    }
    std::string bytes;
    for (int i = 0; i < 11; ++i) bytes += (char)(generator() >> 56);
    return bytes;
}

// How a member's data is encrypted as it streams: a header before it, the
// bytes themselves, a trailer after it.
class MemberCipher {
public:
    virtual ~MemberCipher() = default;
    virtual std::string Header() = 0;
    virtual void Apply(std::string& bytes) = 0;
    virtual std::string Trailer() { return ""; }
};

// The traditional cipher. Its 12-byte header ends with the CRC's high
// byte, which extractors check the password against.
class TraditionalCipher : public MemberCipher {
public:
    TraditionalCipher(const std::string& password, const std::string& fill, uint32_t crc) {
        Text key = MakeText(password.data(), (uint32_t)password.size());
        InitKeys(key);
        ReleaseText(key);
        header_ = fill + (char)(crc >> 24);
        Apply(header_);
    }
    std::string Header() override { return header_; }
    void Apply(std::string& bytes) override {
        for (char& c : bytes) {
            uint8_t p = (uint8_t)c;
            c = (char)(p ^ DecryptByte());
            UpdateKeys(p);
        }
    }

private:
    std::string header_;
};

// WinZip AES through the core's own seam, as the stub decrypts it: keys
// from PBKDF2-HMAC-SHA1 (1,000 iterations), counter mode, and the first
// 10 bytes of an HMAC-SHA1 over the encrypted data after it.
class AesCipher : public MemberCipher {
public:
    AesCipher(const std::string& password, const std::string& salt, uint32_t keyLength) : salt_(salt) {
        std::string keys(2 * keyLength + 2, '\0');
        bool ready = DerivePbkdf2Sha1((const uint8_t*)password.data(), (uint32_t)password.size(),
                                      (const uint8_t*)salt.data(), (uint32_t)salt.size(), 1000, (uint8_t*)&keys[0],
                                      (uint32_t)keys.size()) &&
                     StartAesStream((const uint8_t*)keys.data(), keyLength) &&
                     (hmac_ = StartHmacSha1((const uint8_t*)keys.data() + keyLength, keyLength)) != nullptr;
        verifier_ = keys.substr(2 * keyLength);
        if (!ready) throw std::runtime_error("cannot set up AES encryption");
    }
    ~AesCipher() override {
        uint8_t code[20];
        if (hmac_) FinishHmacSha1(hmac_, code);
        EndAesStream();
    }
    std::string Header() override { return salt_ + verifier_; }
    void Apply(std::string& bytes) override {
        if (!ApplyAesStream((uint8_t*)&bytes[0], (uint32_t)bytes.size()) ||
            !UpdateHmacSha1(hmac_, (const uint8_t*)bytes.data(), (uint32_t)bytes.size()))
            throw std::runtime_error("the AES encryption failed");
    }
    std::string Trailer() override {
        uint8_t code[20];
        bool done = FinishHmacSha1(hmac_, code);
        hmac_ = nullptr;
        if (!done) throw std::runtime_error("the AES encryption failed");
        return std::string((const char*)code, 10);
    }

private:
    std::string salt_, verifier_;
    CryptoHandle hmac_ = nullptr;
};

uint32_t AesKeyLength(Encryption encryption) { return encryption == Encryption::Aes128 ? 16 : 32; }

// An AES member's salt: random, or derived from the password, the member's
// name and its content with HMAC-SHA-256 keyed with the password, so that
// rebuilds are identical, different contents never share a key, and nobody
// without the password can test a guess of the content against the salt.
std::string AesSalt(const ZipWriteOptions& options, const ZipMemberSource& source, const FileDigest& digest) {
    size_t length = AesKeyLength(options.encryption) / 2;  // 8 or 16 bytes: 128 or 256-bit keys
    std::string salt(32, '\0');
    if (options.randomHeaders) {
        std::random_device device;
        for (char& c : salt) c = (char)device();
    } else {
        std::string message = source.headerName + '\0' + digest.sha256;
        hmac_sha256_ctx hmac;
        hmac_sha256_set_key(&hmac, options.password.size(), (const uint8_t*)options.password.data());
        hmac_sha256_update(&hmac, message.size(), (const uint8_t*)message.data());
        hmac_sha256_digest(&hmac, SHA256_DIGEST_SIZE, (uint8_t*)&salt[0]);
    }
    return salt.substr(0, length);
}

// The AES extra field (0x9901): AE-2, the key strength, the real method.
std::string AesField(Encryption encryption, uint16_t method) {
    std::string field;
    PutLe16(field, kExtraAes);
    PutLe16(field, 7);
    PutLe16(field, 2);
    field += "AE";
    field += (char)(encryption == Encryption::Aes128 ? 1 : 3);
    PutLe16(field, method);
    return field;
}

// Info-ZIP Unicode Path extra field: version 1, the CRC of the name as
// stored in the header, the UTF-8 name. An ASCII name reads the same in
// every code page, so it gets none (as Info-ZIP zip does), which saves
// 18 bytes and twice the name's length a member; nor does a name stored in
// UTF-8, which its flag already marks.
std::string UnicodePathField(const ZipMemberSource& member) {
    bool ascii = std::all_of(member.utf8Name.begin(), member.utf8Name.end(), [](char c) { return (uint8_t)c < 0x80; });
    if (ascii || member.utf8Header) return "";
    std::string body;
    body += (char)1;
    PutLe32(body, CrcOfBytes((const uint8_t*)member.headerName.data(), (uint32_t)member.headerName.size()));
    body += member.utf8Name;
    std::string field;
    PutLe16(field, kExtraUnicodePath);
    PutLe16(field, (uint16_t)body.size());
    return field + body;
}

// The size of the finished file when every member is stored, known from
// the sizes of the inputs before any of them is read: each member's local
// and central headers with its name and extra fields, its data with what
// its encryption adds, and the end record.
uint64_t StoredFileSize(const std::vector<ZipMemberSource>& members, const ZipWriteOptions& options) {
    const uint64_t kLocalHeader = 30, kCentralHeader = 46, kEndRecord = 22, kAesVerifierAndCode = 2 + 10;
    uint64_t size = options.offsetBase + kEndRecord;
    for (const ZipMemberSource& source : members) {
        bool encrypted = !source.isDirectory && !options.password.empty();
        bool aes = encrypted && options.encryption != Encryption::Traditional;
        uint64_t named = source.headerName.size() + UnicodePathField(source).size() +
                         (aes ? AesField(options.encryption, kMethodStored).size() : 0);
        uint64_t cipher = !encrypted ? 0 : aes ? AesKeyLength(options.encryption) / 2 + kAesVerifierAndCode
                                                : (uint64_t)kEncryptionHeaderSize;
        size += kLocalHeader + kCentralHeader + 2 * named + (source.isDirectory ? 0 : source.size + cipher);
    }
    return size;
}

// Raw deflate (no zlib wrapper) of whole members with libdeflate, which
// compresses better than zlib at its higher levels but takes only whole
// buffers. One compressor serves every member of an archive.
class WholeDeflater {
public:
    explicit WholeDeflater(int level) : compressor_(libdeflate_alloc_compressor(level)) {
        if (!compressor_) throw std::runtime_error("libdeflate cannot start compressing");
    }
    ~WholeDeflater() { libdeflate_free_compressor(compressor_); }
    WholeDeflater(const WholeDeflater&) = delete;
    WholeDeflater& operator=(const WholeDeflater&) = delete;

    // The deflated bytes, or nothing when they would not be fewer than
    // `content`'s (libdeflate gives up once its output is full).
    std::optional<std::string> Deflate(const std::string& content) {
        if (content.empty()) return std::nullopt;
        // Left uninitialised: only the pages libdeflate writes take memory.
        size_t room = content.size() - 1;
        std::unique_ptr<char[]> out(new char[room]);
        size_t size = libdeflate_deflate_compress(compressor_, content.data(), content.size(), out.get(), room);
        if (size == 0) return std::nullopt;
        return std::string(out.get(), size);
    }

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

// The cipher for a member's data when there is a password, given the
// digest of its content; null otherwise.
std::unique_ptr<MemberCipher> CipherFor(const ZipWriteOptions& options, const ZipMemberSource& source,
                                        const FileDigest& digest) {
    if (options.password.empty()) return nullptr;
    if (options.encryption == Encryption::Traditional)
        return std::make_unique<TraditionalCipher>(
            options.password, HeaderFillBytes(source, digest.crc, source.size, options.randomHeaders), digest.crc);
    return std::make_unique<AesCipher>(options.password, AesSalt(options, source, digest),
                                       AesKeyLength(options.encryption));
}

// A member small enough to be read whole: deflated with libdeflate when
// that makes it smaller, stored otherwise, encrypted when asked.
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

// A member too large to be read whole: streamed through zlib, and once
// more stored when that did not make it smaller (a file on disk). An
// encrypted member's data is read once before, for the digest its header
// needs.
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

CentralEntry WriteMember(MemberContext& context, const ZipMemberSource& source) {
    const ZipWriteOptions& options = context.options;
    ArchiveOutput& output = context.output;
    CentralEntry entry{};
    entry.member.headerName = source.headerName;
    entry.member.shownName = source.utf8Name;
    entry.dosTime = source.dosTime;
    entry.dosDate = source.dosDate;
    entry.headerOffset = output.Position();
    entry.member.method = kMethodStored;
    entry.attributes = source.isDirectory ? kDosAttributeDirectory : kDosAttributeArchive;
    entry.version = source.isDirectory ? kVersionDeflated : kVersionStored;
    entry.member.size = (uint32_t)source.size;
    if (source.utf8Header) entry.member.flags |= kFlagUtf8Name;
    entry.madeBy = VersionMadeByFor(entry.member.flags);
    bool encrypted = !source.isDirectory && !options.password.empty();
    bool aes = encrypted && options.encryption != Encryption::Traditional;
    if (encrypted) {
        entry.member.flags |= kFlagEncrypted;
        entry.version = aes ? kVersionAes : kVersionDeflated;
    }
    auto extra = [&](uint16_t method) { return UnicodePathField(source) + (aes ? AesField(options.encryption, method) : ""); };
    entry.extra = extra(kMethodStored);

    std::string header;
    PutLe32(header, kLocalHeaderSignature);
    header += CommonHeaderFields(entry);  // sizes and methods are patched once known
    output.Write(header + source.headerName + entry.extra);
    if (source.isDirectory) return entry;

    uint32_t dataStart = output.Position();
    uint64_t largestWhole = source.dataSource ? kLargestWholeEntry : kLargestWholeMember;
    WrittenData data = source.size <= largestWhole ? WriteWholeMember(context, source)
                                                   : WriteStreamedMember(context, source);
    // AE-2 records no CRC: the authentication code stands for it, and a
    // small file's CRC would give its content away.
    entry.member.crc = aes ? 0 : data.crc;
    entry.member.method = aes ? (uint16_t)kMethodAes : data.method;
    entry.extra = extra(data.method);
    entry.member.compressedSize = output.Position() - dataStart;
    if (data.method == kMethodDeflated && !aes) entry.version = kVersionDeflated;
    output.Patch(entry.headerOffset + 4, CommonHeaderFields(entry) + source.headerName + entry.extra);
    return entry;
}

}  // namespace

std::vector<ZipWrittenMember> WriteZipArchive(std::FILE* out, const std::vector<ZipMemberSource>& members,
                                              const ZipWriteOptions& options) {
    if (members.size() > kMostMembers)
        throw std::runtime_error("an archive without ZIP64 holds at most 65,535 members");
    PrepareCoreState();  // the core's CRC and cipher work on Sfx
    if (options.store && StoredFileSize(members, options) > kLargestCombinedFile)
        throw std::runtime_error("the self-extracting file would be " + std::to_string(StoredFileSize(members, options)) +
                                 " bytes, 4 GiB or more, which Windows does not start");
    ArchiveOutput output(out, options.offsetBase);
    std::optional<WholeDeflater> deflater;
    if (!options.store) deflater.emplace(options.level);
    MemberContext context{output, options, deflater ? &*deflater : nullptr, {}};
    std::vector<CentralEntry> entries;
    for (const ZipMemberSource& member : members) {
        entries.push_back(WriteMember(context, member));
        ++context.done.members;
        context.done.bytes += member.size;
    }
    WriteCentralDirectory(output, entries);

    std::vector<ZipWrittenMember> written;
    for (const CentralEntry& entry : entries) written.push_back(entry.member);
    return written;
}
