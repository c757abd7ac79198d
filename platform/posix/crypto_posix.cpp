// The cryptography of AES-encrypted members natively, all from Nettle:
// PBKDF2-HMAC-SHA1 (whose loop keeps the HMAC states), HMAC-SHA1 and
// AES-ECB. One small library: loading OpenSSL's libcrypto as well would
// cost every run of the tool about 1.6 MB of resident memory.
#include <nettle/aes.h>
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>

#include "platform/platform.h"

bool CryptoAvailable() { return true; }

bool DerivePbkdf2Sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                      uint32_t iterations, uint8_t* out, uint32_t outLength) {
    if (iterations == 0 || outLength == 0) return false;
    pbkdf2_hmac_sha1(passwordLength, password, iterations, saltLength, salt, outLength, out);
    return true;
}

CryptoHandle StartHmacSha1(const uint8_t* key, uint32_t keyLength) {
    hmac_sha1_ctx* context = new hmac_sha1_ctx;
    hmac_sha1_set_key(context, keyLength, key);
    return context;
}

bool UpdateHmacSha1(CryptoHandle hmac, const uint8_t* data, uint32_t length) {
    hmac_sha1_update((hmac_sha1_ctx*)hmac, length, data);
    return true;
}

bool FinishHmacSha1(CryptoHandle hmac, uint8_t* code) {
    hmac_sha1_digest((hmac_sha1_ctx*)hmac, SHA1_DIGEST_SIZE, code);
    delete (hmac_sha1_ctx*)hmac;
    return true;
}

namespace {
// An AES key schedule of any of the three sizes.
struct AesKey {
    uint32_t length;
    union {
        aes128_ctx key128;
        aes192_ctx key192;
        aes256_ctx key256;
    };
};
}  // namespace

CryptoHandle StartAes(const uint8_t* key, uint32_t keyLength) {
    if (keyLength != 16 && keyLength != 24 && keyLength != 32) return nullptr;
    AesKey* aes = new AesKey;
    aes->length = keyLength;
    if (keyLength == 16) aes128_set_encrypt_key(&aes->key128, key);
    else if (keyLength == 24) aes192_set_encrypt_key(&aes->key192, key);
    else aes256_set_encrypt_key(&aes->key256, key);
    return aes;
}

bool EncryptAesBlocks(CryptoHandle handle, const uint8_t* in, uint8_t* out, uint32_t blocks) {
    AesKey* aes = (AesKey*)handle;
    size_t length = (size_t)blocks * AES_BLOCK_SIZE;
    if (aes->length == 16) aes128_encrypt(&aes->key128, length, out, in);
    else if (aes->length == 24) aes192_encrypt(&aes->key192, length, out, in);
    else aes256_encrypt(&aes->key256, length, out, in);
    return true;
}

void EndAes(CryptoHandle aes) { delete (AesKey*)aes; }
