#include "tools/input/zip_input.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "archive/aes_member.h"
#include "archive/extra_fields.h"
#include "archive/zip_format.h"
#include "decode/crc32.h"
#include "decode/zip_cipher.h"
#include "platform/platform.h"
#include "tools/common/core_state.h"
#include "tools/common/file_access.h"
#include "tools/common/text_encoding.h"
#include "tools/input/case_twins.h"
#include "tools/input/local_header_walk.h"
#include "tools/input/member_decompression.h"
#include "tools/zip_writer/byte_order.h"
#include "tools/zip_writer/zip_records.h"

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

const uint16_t kMethodDeflate64 = 9;
// Flag bits a rewritten header keeps: encryption, deflate's option bits,
// the UTF-8 mark. Bit 3 stays only on traditionally encrypted members,
// whose check byte it moves to the time field.
const uint16_t kKeptFlags = kFlagEncrypted | 0x0006 | kFlagUtf8Name;
// The level of members recompressed here: zlib's best, which streams.
const int kRecompressionLevel = 9;

// Up to five items of a list for a message, and how many more there are.
std::string ListOf(const std::vector<std::string>& items, const std::string& noun = "member") {
    std::string list;
    for (size_t i = 0; i < items.size() && i < 5; ++i) list += (i ? "; " : "") + items[i];
    if (items.size() > 5) list += "; and " + std::to_string(items.size() - 5) + " more";
    return CountOf(items.size(), noun) + ": " + list;
}

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t count) {
    return fseeko(file, (off_t)offset, SEEK_SET) == 0 && std::fread(buffer, 1, count, file) == count;
}

// One extra-field record, whole, when `extra` has one with `id`.
std::string ExtraRecord(const std::string& extra, uint16_t id) {
    const uint8_t* data;
    uint32_t size;
    if (!FindExtraField((const uint8_t*)extra.data(), (uint32_t)extra.size(), id, &data, &size)) return "";
    std::string record;
    PutLe16(record, id);
    PutLe16(record, (uint16_t)size);
    return record + std::string((const char*)data, size);
}

// The Unicode Path record of a name, as `doromi build` writes it for names
// from files.
std::string UnicodePathRecord(const std::string& headerName, const std::string& utf8Name) {
    std::string body(1, (char)1);
    PutLe32(body, CrcOfBytes((const uint8_t*)headerName.data(), (uint32_t)headerName.size()));
    body += utf8Name;
    std::string record;
    PutLe16(record, kExtraUnicodePath);
    PutLe16(record, (uint16_t)body.size());
    return record + body;
}

// Whether the name has a Unicode Path record that readers take: version
// 1, the CRC of these name bytes, a UTF-8 name.
bool HasUsableUnicodePath(const std::string& name, const std::string& extra) {
    std::string record = ExtraRecord(extra, kExtraUnicodePath);
    if (record.size() < 9 || record[4] != 1) return false;
    uint32_t crc = ReadLittleEndian((const uint8_t*)record.data() + 5, 4);
    return crc == CrcOfBytes((const uint8_t*)name.data(), (uint32_t)name.size()) && IsValidUtf8(record.substr(9));
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (uint8_t)c < 0x80; });
}

struct InputArchive {
    std::string path;
    File file;
    CentralDirectory directory;
    LocalHeaderWalk walk;
};

class Planner {
public:
    Planner(InputArchive& input, const ZipInputOptions& options) : in_(input), options_(options) {}

    ZipInputPlan Plan() {
        plan_.path = in_.path;
        const std::vector<CentralRecord>& records = in_.directory.records;
        if (records.empty()) Refuse("it holds no members");
        if (records.size() > kMostMembers)
            Refuse("it holds " + std::to_string(records.size()) + " members; the stub reads at most 65,535");
        for (size_t i = 0; i < records.size(); ++i) plan_.members.push_back(PlanMember(i, records[i]));
        NameTheMembers();
        std::string whyNot = WhyNotAppendable();
        plan_.rewrite = !whyNot.empty();
        if (plan_.rewrite && options_.noRewrite)
            Refuse(whyNot + "; without --no-rewrite the archive is rewritten into a form the stub walks");
        CheckNames();
        CheckSize();
        return std::move(plan_);
    }

private:
    [[noreturn]] void Refuse(const std::string& why) const {
        throw std::runtime_error("cannot use " + PrintableText(in_.path) + ": " + why);
    }
    [[noreturn]] void RefuseMember(size_t index, const CentralRecord& record, const std::string& why) const {
        Refuse("member " + std::to_string(index + 1) + " (\"" + PrintableText(Utf8WithReplacements(record.name)) +
               "\"): " + why);
    }

    PlannedMember PlanMember(size_t index, const CentralRecord& record) {
        PlannedMember member{};
        member.record = record;
        // Offsets count from the archive's start, which bytes before it
        // move; bytes inserted after the members move the directory alone.
        uint64_t headerOffset = record.localOffset + (uint64_t)in_.directory.shift;
        LocalHeader local;
        auto headerAt = [&](uint64_t offset) {
            return ReadAt(in_.file.get(), offset, &local, sizeof local) && local.signature == kLocalHeaderSignature;
        };
        if (!headerAt(headerOffset) && !(in_.directory.shift != 0 && headerAt(headerOffset = record.localOffset)))
            RefuseMember(index, record,
                         "the archive is damaged: its directory points to offset " + std::to_string(headerOffset) +
                             ", where no local header lies");
        member.headerOffset = headerOffset;
        std::string localExtra(local.extraLength, '\0');
        if (!localExtra.empty() &&
            !ReadAt(in_.file.get(), headerOffset + sizeof local + local.nameLength, &localExtra[0], localExtra.size()))
            RefuseMember(index, record, "the archive is damaged: its local header is cut short");
        member.dataStart = headerOffset + sizeof local + local.nameLength + local.extraLength;
        if (member.dataStart + record.compressedSize > in_.directory.fileSize)
            RefuseMember(index, record, "the archive is damaged: its data runs past the end of the file");
        if (record.compressedSize >= kLastPosition || record.size >= kLastPosition)
            RefuseMember(index, record,
                         "its ZIP64 sizes (" + std::to_string(record.size) + " bytes, " +
                             std::to_string(record.compressedSize) +
                             " compressed) reach 4 GiB, past what the stub and a Windows executable hold");
        member.dosTime = local.dosTime;
        member.dosDate = local.dosDate;
        ZipWrittenMember& w = member.written;
        w.flags = record.flags & kKeptFlags;
        w.method = record.method;
        w.crc = record.crc;
        w.compressedSize = (uint32_t)record.compressedSize;
        w.size = (uint32_t)record.size;
        DecideMethod(index, member, localExtra);
        NameMember(index, member, localExtra);
        return member;
    }

    // Whether the member's data is copied or recompressed; refuses what the
    // stub cannot read and libarchive cannot decompress.
    void DecideMethod(size_t index, PlannedMember& member, const std::string& localExtra) {
        const CentralRecord& record = member.record;
        bool encrypted = record.flags & kFlagEncrypted;
        if (record.flags & kFlagStrongEncryption)
            RefuseMember(index, record,
                         "it uses strong encryption; the stub knows only the traditional ZIP encryption and "
                         "WinZip's AES");
        if (record.method == kMethodAes) {
            AesMember aes;
            std::string extra = ExtraRecord(record.extra, kExtraAes);
            if (extra.empty()) extra = ExtraRecord(localExtra, kExtraAes);
            if (!FindAesField(record.method, record.flags, (const uint8_t*)extra.data(), (uint32_t)extra.size(), aes))
                RefuseMember(index, record,
                             "it is AES-encrypted and compressed with a method the stub does not read (only stored "
                             "and deflated); libarchive decrypts only those two either, so it cannot be "
                             "recompressed, with or without a password");
            member.extra = extra;
            return;
        }
        if (encrypted && (record.flags & kFlagSizesAfterData)) member.written.flags |= kFlagSizesAfterData;
        if (record.method == kMethodStored || record.method == kMethodDeflated) return;
        if (encrypted)
            RefuseMember(index, record,
                         "it is encrypted and compressed with " + CompressionMethodName(record.method) + " (method " +
                             std::to_string(record.method) +
                             "), which the stub does not read; libarchive decrypts only stored and deflated members, "
                             "so it cannot be recompressed, with or without a password");
        if (record.method == kMethodDeflate64)
            RefuseMember(index, record,
                         "it is compressed with Deflate64 (method 9), which neither the stub nor libarchive reads");
        member.recompressed = true;
    }

    // The member's name as both its headers hold it, and the Unicode Path
    // record that goes with it.
    void NameMember(size_t index, PlannedMember& member, const std::string& localExtra) {
        const CentralRecord& record = member.record;
        std::string name = record.name;
        std::string unicodePath = ExtraRecord(record.extra, kExtraUnicodePath);
        if (unicodePath.empty()) unicodePath = ExtraRecord(localExtra, kExtraUnicodePath);
        bool marked = (record.flags & kFlagUtf8Name) || HasUsableUnicodePath(name, unicodePath);
        if (options_.nameEncoding && !marked && !IsAscii(name)) {
            std::optional<std::string> utf8 = CodePageToUtf8(name, *options_.nameEncoding);
            if (!utf8)
                RefuseMember(index, record,
                             "its name is not valid in " + *options_.nameEncoding + ", the --name-encoding given");
            Cp949Result cp949 = Utf8ToCp949(*utf8);
            if (cp949.failure) {
                name = *utf8;
                member.written.flags |= kFlagUtf8Name;
                unicodePath.clear();
            } else {
                name = cp949.bytes;
                unicodePath = UnicodePathRecord(name, *utf8);
            }
            member.reencoded = true;
        }
        member.written.headerName = name;
        member.extra = unicodePath + member.extra;
    }

    // The names as the stub shows them, decided from the headers to be
    // written as the stub decides them from its walk.
    void NameTheMembers() {
        std::vector<WalkedMember> walked;
        for (const PlannedMember& member : plan_.members) {
            WalkedMember w{};
            w.header.flags = member.written.flags;
            w.header.method = member.written.method;
            w.header.nameLength = (uint16_t)member.written.headerName.size();
            w.rawName = member.written.headerName;
            w.extra = member.extra;
            walked.push_back(w);
        }
        unmarkedNamesUtf8_ = DecodeStubNames(walked);
        for (size_t i = 0; i < walked.size(); ++i) {
            plan_.members[i].written.shownName = walked[i].stubName;
            named_.push_back(walked[i]);
        }
    }

    void CheckNames() {
        std::vector<std::string> names;
        for (size_t i = 0; i < named_.size(); ++i) {
            if (named_[i].stubName.empty())
                RefuseMember(i, plan_.members[i].record, "it has an empty name, which ends the stub's walk");
            std::string why = WhyStubRefusesName(named_[i], unmarkedNamesUtf8_);
            plan_.members[i].nameRefusal = why;
            if (!why.empty()) plan_.refusedNames.push_back("\"" + PrintableText(named_[i].stubName) + "\": " + why);
            names.push_back(named_[i].stubName);
        }
        if (!plan_.refusedNames.empty()) {
            std::string list = ListOf(plan_.refusedNames);
            if (!options_.allowRefusedNames)
                Refuse("the stub would refuse " + list + "; --allow-refused-names " +
                       (plan_.rewrite ? "writes" : "appends") + " it all the same");
            plan_.warnings.push_back("the stub will refuse " + list);
        }
        std::string twins = CaseTwinWarning(names);
        if (!twins.empty()) plan_.warnings.push_back(twins);
    }

    // Refuses, before anything is written, an archive that would make the
    // combined file (with a settings block) reach 4 GiB: as it is when it
    // is appended, by the members it copies when it is rewritten.
    void CheckSize() const {
        const uint64_t kEndRecordBytes = kEndRecordFixedSize;
        uint64_t size = in_.directory.fileSize;
        if (plan_.rewrite) {
            size = kEndRecordBytes;
            for (const PlannedMember& m : plan_.members)
                size += 2 * (sizeof(LocalHeader) + m.written.headerName.size() + m.extra.size()) + 16 +
                        (m.recompressed ? 0 : m.record.compressedSize);
        }
        if (size > kLargestCombinedFile - kArchiveBaseWithSettings)
            Refuse("it is too large: a self-extracting file must stay below 4 GiB");
    }

    // The reasons found against appending the archive as it is: each
    // change once, for the summary, and the first reason.
    struct Reasons {
        std::vector<std::string>& changes;
        std::string first;

        void Note(const std::string& change, const std::string& reason) {
            if (!change.empty() && std::find(changes.begin(), changes.end(), change) == changes.end())
                changes.push_back(change);
            if (first.empty()) first = reason;
        }
    };

    // Why the archive cannot be appended as it is (the first reason), or
    // empty when it can; every reason is also noted for the summary.
    std::string WhyNotAppendable() {
        const LocalHeaderWalk& walk = in_.walk;
        const CentralDirectory& directory = in_.directory;
        Reasons reasons{plan_.changes, ""};
        NoteMemberDifferences(reasons);
        if (plan_.members[0].headerOffset != 0 || walk.members.empty())
            reasons.Note("bytes before the first member dropped",
                         walk.members.empty()
                             ? "it does not start with a ZIP local header, so the stub would find no members"
                             : "bytes precede its first member");
        // A member whose size the walk cannot know ends it: what follows
        // was noted with that member.
        bool walkCut = std::any_of(walk.members.begin(), walk.members.end(),
                                   [](const WalkedMember& m) { return m.hidesItsSize; });
        if (!walkCut && (walk.members.size() != plan_.members.size() || walk.end != WalkEnd::CentralDirectory ||
                         walk.endOffset != directory.start)) {
            bool descriptor = !walk.members.empty() && (walk.members.back().header.flags & kFlagSizesAfterData);
            reasons.Note(descriptor ? "data descriptors dropped" : "bytes between members dropped",
                         WhereTheWalkStops());
        }
        if (directory.recordsEnd != directory.fileSize && !options_.trailerAllowed)
            reasons.Note("bytes after the end record dropped",
                         "bytes follow its end record, so the stub's size check would refuse the file");
        if (directory.zip64) reasons.Note("ZIP64 fields dropped", "it has a ZIP64 end record");
        for (const PlannedMember& member : plan_.members)
            if (member.recompressed)
                reasons.Note("other methods recompressed",
                             "member \"" + PrintableText(member.written.shownName) + "\" uses " +
                                 CompressionMethodName(member.record.method) + " (method " +
                                 std::to_string(member.record.method) + "), which the stub does not read");
        return reasons.first;
    }

    // The members' local headers against their central directory records,
    // in the order the walk finds them, up to the first out of order.
    void NoteMemberDifferences(Reasons& reasons) const {
        const LocalHeaderWalk& walk = in_.walk;
        for (size_t i = 0; i < walk.members.size() && i < plan_.members.size(); ++i) {
            const WalkedMember& found = walk.members[i];
            std::string reason = WhyStubCannotHandle(found);
            std::string member = "member " + std::to_string(i + 1) + " (\"" + PrintableText(found.stubName) + "\"): ";
            if (!reason.empty()) reasons.Note(ChangeFor(found), member + reason);
            if (found.extra.size() && ExtraRecord(found.extra, kExtraZip64).size())
                reasons.Note("ZIP64 fields dropped", member + "its local header has a ZIP64 field");
            const PlannedMember& planned = plan_.members[i];
            if (found.headerOffset != planned.headerOffset) {
                reasons.Note("members reordered as the directory lists them",
                             member + "the central directory lists the members in another order than they lie");
                break;
            }
            if (found.rawName != planned.written.headerName ||
                (found.header.flags & kFlagUtf8Name) != (planned.written.flags & kFlagUtf8Name) ||
                ExtraRecord(found.extra, kExtraUnicodePath) != ExtraRecord(planned.extra, kExtraUnicodePath))
                reasons.Note(options_.nameEncoding ? "names written anew"
                                                   : "names and headers taken from the central directory",
                             member +
                                 "its local header differs from its central directory record in name, flags or "
                                 "extra field");
            if (found.header.crc32 != planned.written.crc ||
                found.header.compressedSize != planned.written.compressedSize ||
                found.header.uncompressedSize != planned.written.size)
                reasons.Note("sizes and CRC written into the local headers",
                             member + "its local header's sizes or CRC differ from the central directory's");
        }
    }

    // Where and why the stub's walk stops short of the central directory.
    std::string WhereTheWalkStops() const {
        const LocalHeaderWalk& walk = in_.walk;
        std::string last = walk.members.empty() ? "" : "\"" + PrintableText(walk.members.back().stubName) + "\"";
        if (walk.end == WalkEnd::EndOfFile) return "it ends after member " + last + " without a central directory";
        if (walk.end == WalkEnd::CentralDirectory)
            return "its local headers and its central directory list other members";
        if (walk.members.empty()) return "bytes that are not a ZIP header lie at its start";
        if (walk.members.back().header.flags & kFlagSizesAfterData)
            return "after member " + last + " a data descriptor without its signature, or other bytes, lie at offset " +
                   std::to_string(walk.endOffset) + ", where the stub's walk would stop";
        return "after member " + last + " it holds bytes at offset " + std::to_string(walk.endOffset) +
               " that are not a ZIP header, where the stub's walk would stop";
    }

    // What the rewrite changes for a member the stub could not handle; a
    // method it does not read is noted with the recompressed members.
    static std::string ChangeFor(const WalkedMember& member) {
        if (member.zip64SizesMissing) return "ZIP64 placeholders replaced by real sizes";
        if (member.hidesItsSize) return "sizes and CRC written into the local headers";
        uint16_t method = RealMethod(member);
        if (method != kMethodStored && method != kMethodDeflated) return "";
        return "headers written anew";
    }

    InputArchive& in_;
    const ZipInputOptions& options_;
    ZipInputPlan plan_;
    std::vector<WalkedMember> named_;
    bool unmarkedNamesUtf8_ = false;
};

// ---- Passwords ---------------------------------------------------------------

// Whether `password` passes the traditional cipher's check byte, by the
// stub's own test of it.
bool OpensTraditional(std::FILE* file, const PlannedMember& member, const std::string& password) {
    uint8_t work[2 * kEncryptionHeaderSize];
    if (!ReadAt(file, member.dataStart, work + kEncryptionHeaderSize, kEncryptionHeaderSize)) return false;
    Text key = MakeText(password.data(), (uint32_t)password.size());
    bool opens = CheckPasswordHeader(work, kEncryptionHeaderSize, member.record.flags, member.record.crc,
                                     member.dosTime, key);
    ReleaseText(key);
    return opens;
}

// Whether `password` gives the AES member's 2-byte password verifier.
bool OpensAes(std::FILE* file, const PlannedMember& member, const std::string& password) {
    AesMember aes;
    if (!FindAesField(kMethodAes, kFlagEncrypted, (const uint8_t*)member.extra.data(), (uint32_t)member.extra.size(),
                      aes))
        return false;
    uint32_t keyLength = 8 + 8 * aes.strength, saltLength = keyLength / 2;
    std::string salt(saltLength + 2, '\0');
    if (!ReadAt(file, member.dataStart, &salt[0], salt.size())) return false;
    std::string keys(2 * keyLength + 2, '\0');
    return DerivePbkdf2Sha1((const uint8_t*)password.data(), (uint32_t)password.size(), (const uint8_t*)salt.data(),
                            saltLength, 1000, (uint8_t*)&keys[0], (uint32_t)keys.size()) &&
           keys.compare(2 * keyLength, 2, salt, saltLength, 2) == 0;
}

// Refuses the archive when the password opens none of an encrypted
// member's checks, naming the first such member.
void CheckPassword(std::FILE* file, const ZipInputPlan& plan, const std::pair<std::string, std::string>& forms) {
    size_t encrypted = 0;
    for (const PlannedMember& member : plan.members) {
        if (!(member.record.flags & kFlagEncrypted)) continue;
        ++encrypted;
        bool aes = member.record.method == kMethodAes;
        bool opens = aes ? OpensAes(file, member, forms.second) || OpensAes(file, member, forms.first)
                         : OpensTraditional(file, member, forms.first) || OpensTraditional(file, member, forms.second);
        if (!opens)
            throw std::runtime_error("cannot use " + PrintableText(plan.path) +
                                     ": the password does not open member \"" +
                                     PrintableText(member.written.shownName) + "\"");
    }
    if (encrypted == 0)
        throw std::runtime_error("cannot use " + PrintableText(plan.path) +
                                 " with a password: none of its members is encrypted");
}

// ---- Writing ---------------------------------------------------------------

void CopyBytes(std::FILE* file, uint64_t start, uint64_t count, ArchiveOutput& output, const std::string& path) {
    std::string buffer(kChunk, '\0');
    if (fseeko(file, (off_t)start, SEEK_SET) != 0) throw std::runtime_error("cannot read " + PrintableText(path));
    while (count > 0) {
        size_t piece = (size_t)std::min<uint64_t>(count, buffer.size());
        if (std::fread(&buffer[0], 1, piece, file) != piece)
            throw std::runtime_error("cannot read " + PrintableText(path) + ": it ended or changed while it was read");
        output.Write(buffer.data(), piece);
        count -= piece;
    }
}

uint16_t VersionNeeded(const ZipWrittenMember& member) {
    if (member.method == kMethodAes) return kVersionAes;
    bool folder = !member.headerName.empty() && member.headerName.back() == '/';
    if (member.method == kMethodDeflated || (member.flags & kFlagEncrypted) || folder) return kVersionDeflated;
    return kVersionStored;
}

// Decompresses the member with libarchive and writes it deflated, or
// stored when deflating does not make it smaller; checks its CRC.
void Recompress(std::FILE* file, const std::string& path, PlannedMember& member, ArchiveOutput& output) {
    // Nothing to decompress: some archivers give an empty member a
    // stream that only a decoder's header makes.
    if (member.record.size == 0 && member.record.crc == 0) {
        member.written.method = kMethodStored;
        member.written.compressedSize = 0;
        return;
    }
    PackedMember packed{member.dataStart,
                        (uint32_t)member.record.compressedSize,
                        (uint32_t)member.record.size,
                        member.record.crc,
                        member.record.method,
                        member.record.flags};
    uint32_t start = output.Position();
    std::string name = "member \"" + PrintableText(member.written.shownName) + "\" of " + PrintableText(path);
    for (bool deflate : {true, false}) {
        output.Truncate(start);
        std::optional<Deflater> deflater;
        if (deflate) deflater.emplace(kRecompressionLevel);
        uint32_t crc = 0xFFFFFFFF;
        try {
            DecompressMember(file, packed, [&](const char* bytes, size_t count) {
                UpdateCrcBuffer((const uint8_t*)bytes, (int32_t)count, crc);
                if (deflater) output.Write(deflater->Take(bytes, count, false));
                else output.Write(bytes, count);
            });
        } catch (const std::runtime_error& error) {
            throw std::runtime_error("cannot recompress " + name + ": " + error.what());
        }
        if (deflater) output.Write(deflater->Take(nullptr, 0, true));
        if (~crc != member.record.crc)
            throw std::runtime_error("cannot recompress " + name + ": its content's CRC differs from the one recorded");
        uint32_t written = output.Position() - start;
        if (deflate && written >= member.record.size && member.record.size > 0) continue;
        member.written.method = deflate ? kMethodDeflated : kMethodStored;
        member.written.flags &= (uint16_t)~0x0006;  // the old method's option bits
        member.written.compressedSize = written;
        return;
    }
}

}  // namespace

ZipInputPlan PlanZipInput(const std::string& path, const ZipInputOptions& options) {
    RequireRegularFile(path, "the archive");
    InputArchive input{path, File(std::fopen(path.c_str(), "rb"), std::fclose), {}, {}};
    if (!input.file) throw std::runtime_error("cannot open " + PrintableText(path));
    // An archive that would make the file reach 4 GiB as it is is refused
    // before anything of it is read, even where a rewrite dropping its
    // other bytes might fit: such archives are rare, a long read is not.
    if (fseeko(input.file.get(), 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + PrintableText(path));
    if ((uint64_t)ftello(input.file.get()) > kLargestCombinedFile - kArchiveBaseWithSettings)
        throw std::runtime_error(PrintableText(path) + " is too large: a self-extracting file must stay below 4 GiB");
    PrepareCoreState();
    input.directory = ReadCentralDirectory(input.file.get(), path);
    input.walk = WalkLocalHeaders(input.file.get(), 0);
    ZipInputPlan plan = Planner(input, options).Plan();
    if (options.password) CheckPassword(input.file.get(), plan, *options.password);
    return plan;
}

std::vector<ZipWrittenMember> WriteZipInput(ZipInputPlan& plan, std::FILE* out, uint32_t offsetBase) {
    File file(std::fopen(plan.path.c_str(), "rb"), std::fclose);
    if (!file) throw std::runtime_error("cannot open " + PrintableText(plan.path));
    ArchiveOutput output(out, offsetBase);
    std::vector<ZipWrittenMember> written;
    if (!plan.rewrite) {
        if (fseeko(file.get(), 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + PrintableText(plan.path));
        CopyBytes(file.get(), 0, (uint64_t)ftello(file.get()), output, plan.path);
        for (const PlannedMember& member : plan.members) written.push_back(member.written);
        return written;
    }
    std::vector<CentralEntry> entries;
    for (PlannedMember& member : plan.members) {
        CentralEntry entry{};
        entry.headerOffset = output.Position();
        entry.dosTime = member.dosTime;
        entry.dosDate = member.dosDate;
        entry.extra = member.extra;
        entry.member = member.written;
        entry.version = VersionNeeded(entry.member);
        std::string header;
        PutLe32(header, kLocalHeaderSignature);
        output.Write(header + CommonHeaderFields(entry) + entry.member.headerName + entry.extra);
        if (member.recompressed) {
            Recompress(file.get(), plan.path, member, output);
            entry.member = member.written;
            entry.version = VersionNeeded(entry.member);
            output.Patch(entry.headerOffset + 4, CommonHeaderFields(entry));
        } else {
            CopyBytes(file.get(), member.dataStart, member.record.compressedSize, output, plan.path);
        }
        entry.madeBy = member.reencoded ? VersionMadeByFor(entry.member.flags) : member.record.madeBy;
        entry.internalAttributes = member.record.internalAttributes;
        entry.attributes = member.record.externalAttributes;
        entries.push_back(entry);
        written.push_back(member.written);
    }
    WriteCentralDirectory(output, entries);
    return written;
}

std::string ZipInputSummary(const ZipInputPlan& plan) {
    if (!plan.rewrite) return PrintableText(plan.path) + " appended unchanged";
    std::string line = PrintableText(plan.path) + " rewritten into the form the stub walks (";
    for (size_t i = 0; i < plan.changes.size(); ++i) line += (i ? ", " : "") + plan.changes[i];
    line += ")";
    std::vector<std::string> recompressed;
    for (const PlannedMember& member : plan.members)
        if (member.recompressed)
            recompressed.push_back("\"" + PrintableText(member.written.shownName) + "\" (" +
                                   CompressionMethodName(member.record.method) + ")");
    if (!recompressed.empty()) line += "; recompressed " + ListOf(recompressed);
    return line;
}
