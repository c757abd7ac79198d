#include "tools/input/local_header_walk.h"

#include <algorithm>
#include <cstring>

#include "archive/aes_member.h"
#include "archive/extra_fields.h"
#include "archive/member_names.h"
#include "archive/zip_format.h"
#include "tools/common/core_state.h"
#include "tools/input/name_rules.h"
#include "util/utf8.h"

namespace {

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t count) {
    return fseeko(file, (off_t)offset, SEEK_SET) == 0 && std::fread(buffer, 1, count, file) == count;
}

// The signature at `offset`, 0 when fewer than four bytes remain.
uint32_t SignatureAt(std::FILE* file, uint64_t offset) {
    uint8_t bytes[4];
    return ReadAt(file, offset, bytes, 4) ? ReadLittleEndian(bytes, 4) : 0;
}

// Fills `bytes` from `offset` as far as the file reaches; how many arrived.
size_t ReadUpTo(std::FILE* file, uint64_t offset, std::string& bytes) {
    if (bytes.empty() || fseeko(file, (off_t)offset, SEEK_SET) != 0) return 0;
    return std::fread(&bytes[0], 1, bytes.size(), file);
}

// The header's name as the stub's walk reads it: no more than
// kLongestRawMemberName bytes, and the extra field only after a name that
// short.
RawMemberName RawNameOf(const WalkedMember& member) {
    bool whole = member.header.nameLength <= kLongestRawMemberName;
    uint32_t length = (uint32_t)std::min<size_t>(member.rawName.size(), kLongestRawMemberName);
    return RawMemberName{member.rawName.data(),
                         length,
                         member.header.nameLength,
                         member.header.flags,
                         whole ? (const uint8_t*)member.extra.data() : nullptr,
                         whole ? (uint32_t)member.extra.size() : 0};
}

// How names without a UTF-8 mark are read in this archive, from the
// headers the stub weighs before it lists anything: up to one with an
// empty name (not weighed) or one whose size is hidden; the walk holds no
// member beyond 4 GiB.
bool DecideUnmarkedNames(const std::vector<WalkedMember>& members) {
    UnmarkedNameEvidence evidence = NoUnmarkedNames();
    for (const WalkedMember& member : members) {
        if (IsEmptyMemberName(RawNameOf(member))) break;
        WeighUnmarkedName(RawNameOf(member), evidence);
        if (member.hidesItsSize) break;
    }
    return UnmarkedNamesAreUtf8(evidence);
}

void DecodeName(WalkedMember& member, bool unmarkedUtf8) {
    char work[kNameWorkBytes];
    Text decoded = {};
    member.nameUsable = DecodeMemberName(RawNameOf(member), unmarkedUtf8, work, decoded);
    member.stubName.assign(decoded.bytes ? decoded.bytes : "", decoded.length);
    ReleaseText(decoded);
}

}  // namespace

LocalHeaderWalk WalkLocalHeaders(std::FILE* file, uint64_t start) {
    LocalHeaderWalk walk{{}, WalkEnd::EndOfFile, start, false};
    uint64_t offset = start;
    for (;;) {
        uint32_t signature = SignatureAt(file, offset);
        while (signature == kDataDescriptorSignature) {
            offset += kDataDescriptorSize;
            signature = SignatureAt(file, offset);
        }
        walk.endOffset = offset;
        // The header as it lies in the file, read as the stub reads it.
        LocalHeader header;
        bool isHeader = signature == kLocalHeaderSignature || signature == kAlternateLocalHeaderSignature;
        if (!isHeader || !ReadAt(file, offset, &header, sizeof header)) {
            bool atEnd = fseeko(file, 0, SEEK_END) == 0 && (uint64_t)ftello(file) <= offset;
            bool central = signature == kCentralHeaderSignature || signature == kEndRecordSignature ||
                           signature == kZip64EndRecordSignature;
            walk.end = central ? WalkEnd::CentralDirectory : atEnd ? WalkEnd::EndOfFile : WalkEnd::OtherBytes;
            break;
        }
        WalkedMember member{};
        member.headerOffset = offset;
        member.header = header;
        // The name and the extra field in one read, as the stub reads them:
        // what arrived counts.
        std::string bytes((size_t)header.nameLength + header.extraLength, '\0');
        size_t arrived = ReadUpTo(file, offset + sizeof(LocalHeader), bytes);
        size_t nameArrived = std::min<size_t>(arrived, header.nameLength);
        member.rawName = bytes.substr(0, nameArrived);
        member.extra = bytes.substr(nameArrived, arrived - nameArrived);
        uint64_t dataStart = offset + sizeof(LocalHeader) + bytes.size();
        // ZIP64 placeholders read from the ZIP64 field, as the stub reads them.
        member.zip64SizesMissing = !TakeZip64Sizes(member.header, (const uint8_t*)member.extra.data(),
                                                   (uint32_t)member.extra.size());
        member.hidesItsSize = member.zip64SizesMissing ||
                              ((member.header.flags & kFlagSizesAfterData) && member.header.compressedSize == 0 &&
                               SignatureAt(file, dataStart) != kDataDescriptorSignature);
        // A member that would end beyond 4 GiB ends the walk before it, as
        // the archive's end does: the stub reads nothing there.
        if (!member.zip64SizesMissing && dataStart + member.header.compressedSize > kLastPosition) {
            walk.end = WalkEnd::EndOfFile;
            break;
        }
        walk.members.push_back(member);
        offset = dataStart + member.header.compressedSize;
        if (arrived != bytes.size()) {
            walk.endOffset = offset;
            walk.end = WalkEnd::EndOfFile;
            break;
        }
    }
    walk.unmarkedNamesUtf8 = DecodeStubNames(walk.members);
    return walk;
}

bool DecodeStubNames(std::vector<WalkedMember>& members) {
    EnsureCrcTable();
    bool unmarkedNamesUtf8 = DecideUnmarkedNames(members);
    for (WalkedMember& member : members) DecodeName(member, unmarkedNamesUtf8);
    return unmarkedNamesUtf8;
}

static bool AesFieldOf(const WalkedMember& member, AesMember& aes) {
    return FindAesField(member.header.method, member.header.flags, (const uint8_t*)member.extra.data(),
                        (uint32_t)member.extra.size(), aes);
}

uint16_t RealMethod(const WalkedMember& member) {
    AesMember aes;
    return AesFieldOf(member, aes) ? aes.method : member.header.method;
}

std::string EncryptionName(const WalkedMember& member) {
    AesMember aes;
    if (AesFieldOf(member, aes))
        return "AES-" + std::to_string(64 + 64 * aes.strength) + " (AE-" + std::to_string(aes.version) + ")";
    return (member.header.flags & kFlagEncrypted) ? "traditional" : "none";
}

// Whether an unusable name was refused for its length: the stub shows such
// a name cut to its limit and marked with "…".
static bool CutForLength(const WalkedMember& member) {
    static const std::string kCutMark = "\xE2\x80\xA6";
    if (member.header.nameLength > kLongestRawMemberName) return true;
    const std::string& shown = member.stubName;
    return shown.size() >= kCutMark.size() &&
           shown.compare(shown.size() - kCutMark.size(), kCutMark.size(), kCutMark) == 0 &&
           Utf16Units(shown.data(), (uint32_t)shown.size()) >= kLongestMemberName - 1;
}

std::string WhyStubRefusesName(const WalkedMember& member, bool unmarkedNamesUtf8) {
    if (!member.nameUsable) {
        if (CutForLength(member))
            return "its name is longer than the " + std::to_string(kLongestMemberName) +
                   " characters (UTF-16 units) the stub takes";
        if ((member.header.flags & kFlagUtf8Name) || unmarkedNamesUtf8)
            return "its name is neither valid UTF-8 nor valid in code page 949, the ANSI code page of a Korean "
                   "Windows";
        return "its name is not valid in code page 949, the ANSI code page of a Korean Windows, in which this "
               "archive's names without a UTF-8 mark are read";
    }
    return NameRefusal(member.stubName);
}

std::string WhyStubCannotHandle(const WalkedMember& member) {
    if (member.stubName.empty()) return "it has an empty name, which ends the stub's walk";
    if (member.zip64SizesMissing)
        return "its local header's sizes are ZIP64 placeholders without sizes the stub can take from its ZIP64 "
               "field, so the stub cannot find the next member";
    if (member.hidesItsSize)
        return "its sizes follow its data (flag bit 3) and its compressed size is zero in its local header, so "
               "the stub cannot find the next member";
    uint16_t method = RealMethod(member);
    if (method != kMethodStored && method != kMethodDeflated)
        return "it uses compression method " + std::to_string(method) +
               "; the stub extracts only stored (0) and deflated (8) members";
    if (member.header.flags & kFlagStrongEncryption)
        return "it uses strong encryption; the stub knows only the traditional ZIP encryption and WinZip's AES";
    return "";
}
