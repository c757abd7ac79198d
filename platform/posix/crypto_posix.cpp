// The cryptography of AES-encrypted members natively: PBKDF2-HMAC-SHA1
// from Nettle, whose loop keeps the HMAC states (OpenSSL 3's allocates on
// every iteration and takes twice as long, which an archive of 20,000
// members pays 20,000 times); HMAC-SHA1 through EVP_MAC and AES-ECB through
// EVP_CIPHER without padding, from OpenSSL's libcrypto.
#include <nettle/pbkdf2.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include "platform/platform.h"

bool CryptoAvailable() { return true; }

bool DerivePbkdf2Sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                      uint32_t iterations, uint8_t* out, uint32_t outLength) {
    if (iterations == 0 || outLength == 0) return false;
    pbkdf2_hmac_sha1(passwordLength, password, iterations, saltLength, salt, outLength, out);
    return true;
}

CryptoHandle StartHmacSha1(const uint8_t* key, uint32_t keyLength) {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* context = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    EVP_MAC_free(mac);
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END};
    if (context && EVP_MAC_init(context, key, keyLength, params) == 1) return context;
    EVP_MAC_CTX_free(context);
    return nullptr;
}

bool UpdateHmacSha1(CryptoHandle hmac, const uint8_t* data, uint32_t length) {
    return EVP_MAC_update((EVP_MAC_CTX*)hmac, data, length) == 1;
}

bool FinishHmacSha1(CryptoHandle hmac, uint8_t* code) {
    size_t length = 0;
    bool done = EVP_MAC_final((EVP_MAC_CTX*)hmac, code, &length, 20) == 1 && length == 20;
    EVP_MAC_CTX_free((EVP_MAC_CTX*)hmac);
    return done;
}

CryptoHandle StartAes(const uint8_t* key, uint32_t keyLength) {
    const EVP_CIPHER* cipher = keyLength == 16 ? EVP_aes_128_ecb()
                               : keyLength == 24 ? EVP_aes_192_ecb()
                               : keyLength == 32 ? EVP_aes_256_ecb()
                                                 : nullptr;
    EVP_CIPHER_CTX* context = cipher ? EVP_CIPHER_CTX_new() : nullptr;
    if (context && EVP_EncryptInit_ex(context, cipher, nullptr, key, nullptr) == 1 &&
        EVP_CIPHER_CTX_set_padding(context, 0) == 1)
        return context;
    EVP_CIPHER_CTX_free(context);
    return nullptr;
}

bool EncryptAesBlocks(CryptoHandle aes, const uint8_t* in, uint8_t* out, uint32_t blocks) {
    int written = 0;
    return EVP_EncryptUpdate((EVP_CIPHER_CTX*)aes, out, &written, in, (int)(blocks * 16)) == 1 &&
           written == (int)(blocks * 16);
}

void EndAes(CryptoHandle aes) { EVP_CIPHER_CTX_free((EVP_CIPHER_CTX*)aes); }
