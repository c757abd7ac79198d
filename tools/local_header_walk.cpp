#include "tools/local_header_walk.h"

#include <algorithm>
#include <cstring>

#include "archive/aes_member.h"
#include "archive/extra_fields.h"
#include "archive/member_names.h"
#include "archive/zip_format.h"
#include "tools/core_state.h"

namespace {

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t count) {
    return fseeko(file, (off_t)offset, SEEK_SET) == 0 && std::fread(buffer, 1, count, file) == count;
}

// The signature at `offset`, 0 when fewer than four bytes remain.
uint32_t SignatureAt(std::FILE* file, uint64_t offset) {
    uint8_t bytes[4];
    return ReadAt(file, offset, bytes, 4) ? ReadLittleEndian(bytes, 4) : 0;
}

bool HasZip64Field(const std::string& extra) {
    const uint8_t* data;
    uint32_t size;
    return FindExtraField((const uint8_t*)extra.data(), (uint32_t)extra.size(), kExtraZip64, &data, &size);
}

}  // namespace

LocalHeaderWalk WalkLocalHeaders(std::FILE* file, uint64_t start) {
    LocalHeaderWalk walk{{}, WalkEnd::EndOfFile, start};
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
            return walk;
        }
        WalkedMember member{};
        member.headerOffset = offset;
        member.versionNeeded = header.versionNeeded;
        member.flags = header.flags;
        member.method = header.method;
        member.dosTime = header.dosTime;
        member.dosDate = header.dosDate;
        member.crc = header.crc32;
        member.compressedSize = header.compressedSize;
        member.size = header.uncompressedSize;
        uint16_t nameLength = header.nameLength, extraLength = header.extraLength;
        std::string name(nameLength, '\0'), extra(extraLength, '\0');
        bool complete = ReadAt(file, offset + sizeof(LocalHeader), &name[0], nameLength) &&
                        ReadAt(file, offset + sizeof(LocalHeader) + nameLength, &extra[0], extraLength);
        member.name = name.substr(0, name.find('\0'));
        member.rawName = name;
        member.extra = extra;
        walk.members.push_back(member);
        offset += sizeof(LocalHeader) + nameLength + extraLength + (uint64_t)member.compressedSize;
        if (!complete) {
            walk.endOffset = offset;
            walk.end = WalkEnd::EndOfFile;
            return walk;
        }
    }
}

StubName StubNameOf(const WalkedMember& member) {
    EnsureCrcTable();
    RawMemberName raw = WholeRawName(member.rawName.data(), (uint32_t)member.rawName.size(), member.flags,
                                     (const uint8_t*)member.extra.data(), (uint32_t)member.extra.size());
    char work[kNameWorkBytes];
    Text decoded = {};
    bool usable = DecodeMemberName(raw, false, work, decoded);
    StubName name{std::string(decoded.bytes ? decoded.bytes : "", decoded.length), usable};
    ReleaseText(decoded);
    return name;
}

static bool AesFieldOf(const WalkedMember& member, AesMember& aes) {
    return FindAesField(member.method, member.flags, (const uint8_t*)member.extra.data(),
                        (uint32_t)member.extra.size(), aes);
}

uint16_t RealMethod(const WalkedMember& member) {
    AesMember aes;
    return AesFieldOf(member, aes) ? aes.method : member.method;
}

std::string EncryptionName(const WalkedMember& member) {
    AesMember aes;
    if (AesFieldOf(member, aes))
        return "AES-" + std::to_string(64 + 64 * aes.strength) + " (AE-" + std::to_string(aes.version) + ")";
    return (member.flags & kFlagEncrypted) ? "traditional" : "none";
}

std::string WhyStubRefusesName(const WalkedMember& member) {
    StubName name = StubNameOf(member);
    if (!name.usable) return "its name holds a character that code page 949 cannot hold, or is not valid UTF-8";
    Text text = MakeText(name.cp949.data(), (uint32_t)name.cp949.size());
    bool safe = IsSafeMemberName(text);
    ReleaseText(text);
    if (!safe)
        return "its name would leave the target folder or names a Windows device (\"..\", a leading \"/\", "
               "\":\", a trailing dot or blank, CON, NUL, COM1, ...)";
    return "";
}

std::string WhyStubCannotHandle(const WalkedMember& member) {
    if (member.name.empty()) return "it has an empty name, which ends the stub's walk";
    StubName name = StubNameOf(member);
    if (name.cp949.size() > kLongestMemberName)
        return "its name is " + std::string(name.usable ? "" : "at least ") + std::to_string(name.cp949.size()) +
               " bytes long in code page 949; the stub takes at most " + std::to_string(kLongestMemberName);
    if (member.compressedSize == 0xFFFFFFFF || member.size == 0xFFFFFFFF || HasZip64Field(member.extra))
        return "it uses ZIP64, which the stub cannot read";
    if ((member.flags & kFlagSizesAfterData) && member.compressedSize == 0 && member.crc == 0 && member.size == 0)
        return "its sizes and CRC follow its data (flag bit 3) and are zero in its local header, so the stub "
               "cannot find the next member";
    uint16_t method = RealMethod(member);
    if (method != kMethodStored && method != kMethodDeflated)
        return "it uses compression method " + std::to_string(method) +
               "; the stub extracts only stored (0) and deflated (8) members";
    if (member.flags & kFlagStrongEncryption)
        return "it uses strong encryption; the stub knows only the traditional ZIP encryption and WinZip's AES";
    return "";
}
