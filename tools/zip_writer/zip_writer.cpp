#include "tools/zip_writer/zip_writer.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

#include "archive/zip_format.h"
#include "decode/crc32.h"
#include "tools/common/core_state.h"
#include "tools/zip_writer/byte_order.h"
#include "tools/zip_writer/member_encoding.h"
#include "tools/zip_writer/member_encryption.h"
#include "tools/zip_writer/zip_records.h"

namespace {

const uint32_t kDosAttributeDirectory = 0x10;
const uint32_t kDosAttributeArchive = 0x20;

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
