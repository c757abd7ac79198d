#include "archive/aes_member.h"

#include <string.h>

#include "archive/extra_fields.h"
#include "archive/passwords.h"
#include "decode/aes_ctr.h"
#include "decode/member_io.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"
#include "util/archive_position.h"

static const uint32_t kIterations = 1000;
enum : uint32_t {
    kVerifierSize = 2,
    kCodeSize = 10,  // the authentication code: the first 10 bytes of the HMAC-SHA1
    kLongestKey = 32,
    kLongestSalt = 16,
};

static uint32_t KeyLength(const AesMember& member) { return 8 + 8 * member.strength; }   // 16, 24, 32
static uint32_t SaltLength(const AesMember& member) { return 4 + 4 * member.strength; }  // 8, 12, 16

// The field's data: the vendor version, "AE", the strength, the real method.
bool FindAesField(uint16_t method, uint16_t flags, const uint8_t* extra, uint32_t length, AesMember& member) {
    const uint8_t* field;
    uint32_t size;
    if (method != kMethodAes || !(flags & kFlagEncrypted) || !FindExtraField(extra, length, kExtraAes, &field, &size))
        return false;
    if (size < 7 || field[2] != 'A' || field[3] != 'E') return false;
    member.version = (uint16_t)ReadLittleEndian(field, 2);
    member.strength = field[4];
    member.method = (uint16_t)ReadLittleEndian(field + 5, 2);
    return (member.version == 1 || member.version == 2) && member.strength >= 1 && member.strength <= 3 &&
           (member.method == kMethodStored || member.method == kMethodDeflated);
}

// The last key derivation: archivers that give every member of an archive
// the same salt then cost one derivation, not one per member.
static struct {
    char password[kPasswordBufferSize];
    uint32_t passwordLength;
    uint8_t salt[kLongestSalt];
    uint8_t strength;
    uint8_t keys[2 * kLongestKey + kVerifierSize];
} lastDerivation;

static bool DeriveOrRecall(const char* password, uint32_t length, const uint8_t* salt, const AesMember& member,
                           uint8_t* keys) {
    uint32_t saltLength = SaltLength(member), keysLength = 2 * KeyLength(member) + kVerifierSize;
    if (length > sizeof lastDerivation.password) return false;
    if (lastDerivation.strength == member.strength && lastDerivation.passwordLength == length &&
        memcmp(lastDerivation.password, password, length) == 0 && memcmp(lastDerivation.salt, salt, saltLength) == 0) {
        memcpy(keys, lastDerivation.keys, keysLength);
        return true;
    }
    if (!DerivePbkdf2Sha1((const uint8_t*)password, length, salt, saltLength, kIterations, keys, keysLength))
        return false;
    memcpy(lastDerivation.password, password, length);
    lastDerivation.passwordLength = length;
    memcpy(lastDerivation.salt, salt, saltLength);
    lastDerivation.strength = member.strength;
    memcpy(lastDerivation.keys, keys, keysLength);
    return true;
}

// The key material of one password: the AES key, the HMAC key, then the
// verifier; true when the verifier matches the member's.
static bool DeriveKeys(const char* password, uint32_t length, const uint8_t* saltAndVerifier, const AesMember& member,
                       uint8_t* keys) {
    uint32_t keyLength = KeyLength(member);
    return length > 0 && DeriveOrRecall(password, length, saltAndVerifier, member, keys) &&
           memcmp(keys + 2 * keyLength, saltAndVerifier + SaltLength(member), kVerifierSize) == 0;
}

// What a password form is tried against: the member's salt and verifier,
// and where its keys go.
struct AesKeyRequest {
    const uint8_t* saltAndVerifier;
    const AesMember* member;
    uint8_t* keys;
};

static bool OpensAesMember(const char* form, uint32_t length, void* context) {
    const AesKeyRequest* request = (const AesKeyRequest*)context;
    return DeriveKeys(form, length, request->saltAndVerifier, *request->member, request->keys);
}

// Reads the encrypted data once for its HMAC-SHA1 and compares it with the
// authentication code that follows the data, before anything is written.
static bool IsAuthentic(const uint8_t* hmacKey, uint32_t keyLength, uint32_t dataLength) {
    CryptoHandle hmac = StartHmacSha1(hmacKey, keyLength);
    uint8_t* buffer = (uint8_t*)AllocateBlock(kChunkSize);
    bool read = hmac && buffer;
    for (uint32_t left = dataLength; read && left > 0;) {
        uint32_t chunk = left < kChunkSize ? left : kChunkSize;
        read = ReadFromFile(Sfx.ArchiveHandle, buffer, chunk) == chunk && UpdateHmacSha1(hmac, buffer, chunk);
        left -= chunk;
    }
    uint8_t stored[kCodeSize], computed[20];
    read = read && ReadFromFile(Sfx.ArchiveHandle, stored, kCodeSize) == kCodeSize;
    bool finished = hmac && FinishHmacSha1(hmac, computed);
    ReleaseBlock(buffer);
    return read && finished && memcmp(stored, computed, kCodeSize) == 0;
}

AesStepOutcome PrepareAesMember(const AesMember& member, uint32_t dataPosition, bool askFirst) {
    if (!CryptoAvailable()) {
        ShowError(TEXT_AES_UNAVAILABLE, TEXT_ERROR_CAPTION);
        return kAesUnavailable;
    }
    uint32_t keyLength = KeyLength(member), head = SaltLength(member) + kVerifierSize;
    if (Sfx.Header.compressedSize < head + kCodeSize) return kAesUnauthentic;
    uint32_t dataLength = Sfx.Header.compressedSize - head - kCodeSize;
    uint8_t saltAndVerifier[kLongestSalt + kVerifierSize] = {};
    ReadFromFile(Sfx.ArchiveHandle, saltAndVerifier, head);
    uint8_t keys[2 * kLongestKey + kVerifierSize];
    AesKeyRequest request = {saltAndVerifier, &member, keys};
    if (!FindPassword(askFirst, OpensAesMember, &request)) return kAesNoPassword;

    SeekArchive(dataPosition + head);
    bool authentic = IsAuthentic(keys + keyLength, keyLength, dataLength);
    SeekArchive(dataPosition + head);
    bool started = authentic && StartAesStream(keys, keyLength);
    memset(keys, 0, sizeof keys);
    Sfx.CompressedLeft = dataLength;
    return started ? kAesReady : kAesUnauthentic;
}
