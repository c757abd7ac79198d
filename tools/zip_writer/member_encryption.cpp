#include "tools/zip_writer/member_encryption.h"

#include <nettle/hmac.h>
#include <nettle/sha2.h>

#include <random>
#include <stdexcept>

#include "archive/zip_format.h"
#include "decode/aes_ctr.h"
#include "decode/zip_cipher.h"
#include "tools/zip_writer/byte_order.h"

namespace {

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

}  // namespace

uint32_t AesKeyLength(Encryption encryption) { return encryption == Encryption::Aes128 ? 16 : 32; }

std::unique_ptr<MemberCipher> CipherFor(const ZipWriteOptions& options, const ZipMemberSource& source,
                                        const FileDigest& digest) {
    if (options.password.empty()) return nullptr;
    if (options.encryption == Encryption::Traditional)
        return std::make_unique<TraditionalCipher>(
            options.password, HeaderFillBytes(source, digest.crc, source.size, options.randomHeaders), digest.crc);
    return std::make_unique<AesCipher>(options.password, AesSalt(options, source, digest),
                                       AesKeyLength(options.encryption));
}

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
