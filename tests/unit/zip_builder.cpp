#include "zip_builder.h"

#include "decode/aes_ctr.h"
#include "decode/crc32.h"
#include "member_run.h"
#include "startup/sfx_globals.h"
#include "test_files.h"

static void Put16(std::string& out, uint32_t value) {
    out += (char)(value & 0xFF);
    out += (char)((value >> 8) & 0xFF);
}

static void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Crc32Of(const std::string& data) { return CrcOfBytes((const uint8_t*)data.data(), (uint32_t)data.size()); }

// Traditional encryption: a 12-byte header whose last byte is the check
// byte, then the data, each byte XORed with the key stream while the keys
// advance over the plain bytes.
static std::string Encrypt(const MemberSpec& member, uint32_t crc, const std::string& plain) {
    std::string header;
    for (int i = 0; i < 11; ++i) header += (char)(0x5A + 13 * i);
    header += (char)(member.sizesAfterData ? member.dosTime >> 8 : crc >> 24);
    return Encrypt(header + plain, member.password);
}

// WinZip AES: salt and verifier, the data in counter mode, the first 10
// bytes of the HMAC-SHA1 over the encrypted data; keys from PBKDF2.
static std::string EncryptAes(const MemberSpec& member, const std::string& plain) {
    uint32_t keyLength = 8 + 8 * member.aesStrength;
    std::string keys(2 * keyLength + 2, '\0');
    DerivePbkdf2Sha1((const uint8_t*)member.password.data(), (uint32_t)member.password.size(),
                     (const uint8_t*)member.salt.data(), (uint32_t)member.salt.size(), 1000, (uint8_t*)&keys[0],
                     (uint32_t)keys.size());
    std::string cipher = plain;
    StartAesStream((const uint8_t*)keys.data(), keyLength);
    ApplyAesStream((uint8_t*)&cipher[0], (uint32_t)cipher.size());
    EndAesStream();
    uint8_t code[20];
    CryptoHandle hmac = StartHmacSha1((const uint8_t*)keys.data() + keyLength, keyLength);
    UpdateHmacSha1(hmac, (const uint8_t*)cipher.data(), (uint32_t)cipher.size());
    FinishHmacSha1(hmac, code);
    return member.salt + keys.substr(2 * keyLength) + cipher + std::string((const char*)code, 10);
}

static std::string AesField(const MemberSpec& member) {
    std::string field;
    Put16(field, 0x9901);
    Put16(field, 7);
    Put16(field, member.aesVersion);
    field += "AE";
    field += (char)member.aesStrength;
    Put16(field, member.method);
    return field;
}

std::string LocalMember(const MemberSpec& member) {
    uint32_t crc = Crc32Of(member.data) ^ (member.wrongCrc ? 1u : 0u);
    std::string body = member.method == 0 ? member.data : member.stored;
    bool aes = member.aesStrength != 0;
    if (aes) body = EncryptAes(member, body);
    else if (!member.password.empty()) body = Encrypt(member, crc, body);
    if (aes && member.aesVersion == 2) crc = 0;
    uint16_t method = aes ? 99 : member.method;
    std::string extra = aes ? member.extra + AesField(member) : member.extra;
    uint16_t flags = (member.password.empty() ? 0 : 1) | (member.sizesAfterData || member.hideSizes ? 8 : 0) |
                     (member.utf8Name ? 0x800 : 0);
    bool hide = member.hideSizes;

    std::string out;
    Put32(out, member.signature);
    Put16(out, 20);
    Put16(out, flags);
    Put16(out, method);
    Put16(out, member.dosTime);
    Put16(out, member.dosDate);
    Put32(out, hide ? 0 : crc);
    Put32(out, hide ? 0 : (uint32_t)body.size());
    uint32_t size = member.declaredSize >= 0 ? (uint32_t)member.declaredSize : (uint32_t)member.data.size();
    Put32(out, hide ? 0 : size);
    Put16(out, (uint32_t)member.name.size());
    Put16(out, (uint32_t)extra.size());
    out += member.name + extra + body;
    for (int i = 0; i < member.descriptors; ++i) {
        Put32(out, 0x08074B50);
        Put32(out, crc);
        Put32(out, (uint32_t)body.size());
        Put32(out, (uint32_t)member.data.size());
    }
    if (member.unsignedDescriptor) {
        Put32(out, crc);
        Put32(out, (uint32_t)body.size());
        Put32(out, (uint32_t)member.data.size());
    }
    return out;
}

std::string UnicodePathField(const std::string& utf8Name, uint32_t nameCrc) {
    std::string field;
    Put16(field, 0x7075);
    Put16(field, 5 + (uint32_t)utf8Name.size());
    field += '\x01';
    Put32(field, nameCrc);
    return field + utf8Name;
}

std::string ArchiveEnd() { return std::string("PK\x01\x02", 4) + std::string(42, '\0') + EndRecord(); }

static uint32_t Little(const std::string& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | (uint8_t)bytes[at + i];
    return value;
}

FirstHeader ReadFirstHeader(const std::string& zip) {
    FirstHeader header;
    if (zip.size() < 30) return header;
    header.flags = (uint16_t)Little(zip, 6, 2);
    header.method = (uint16_t)Little(zip, 8, 2);
    header.timeAndDate = Little(zip, 10, 4);
    header.crc = Little(zip, 14, 4);
    header.compressedSize = Little(zip, 18, 4);
    header.dataStart = 30 + Little(zip, 26, 2) + Little(zip, 28, 2);
    return header;
}
