// The cryptography of AES-encrypted members in the stub, from CNG. bcrypt.dll
// is loaded by its full path in the system directory, when an AES member
// first needs it, so that the stub still starts where it is missing (the
// member then gets a box) and no DLL planted beside the stub is taken.
#include <windows.h>
#include <bcrypt.h>

#include "platform/platform.h"

namespace {

struct Cng {
    bool tried, ready;
    decltype(&BCryptOpenAlgorithmProvider) open;
    decltype(&BCryptSetProperty) setProperty;
    decltype(&BCryptDeriveKeyPBKDF2) pbkdf2;
    decltype(&BCryptCreateHash) createHash;
    decltype(&BCryptHashData) hashData;
    decltype(&BCryptFinishHash) finishHash;
    decltype(&BCryptDestroyHash) destroyHash;
    decltype(&BCryptGenerateSymmetricKey) generateKey;
    decltype(&BCryptEncrypt) encrypt;
    decltype(&BCryptDestroyKey) destroyKey;
    BCRYPT_ALG_HANDLE hmacSha1, aesEcb;
};
Cng cng;

template <typename Call>
bool Find(HMODULE dll, const char* name, Call& call) {
    call = (Call)(void*)GetProcAddress(dll, name);
    return call != 0;
}

bool LoadCng() {
    WCHAR path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    lstrcpyW(path + length, L"\\bcrypt.dll");
    HMODULE dll = LoadLibraryW(path);
    return dll && Find(dll, "BCryptOpenAlgorithmProvider", cng.open) &&
           Find(dll, "BCryptSetProperty", cng.setProperty) && Find(dll, "BCryptDeriveKeyPBKDF2", cng.pbkdf2) &&
           Find(dll, "BCryptCreateHash", cng.createHash) && Find(dll, "BCryptHashData", cng.hashData) &&
           Find(dll, "BCryptFinishHash", cng.finishHash) && Find(dll, "BCryptDestroyHash", cng.destroyHash) &&
           Find(dll, "BCryptGenerateSymmetricKey", cng.generateKey) && Find(dll, "BCryptEncrypt", cng.encrypt) &&
           Find(dll, "BCryptDestroyKey", cng.destroyKey) &&
           cng.open(&cng.hmacSha1, BCRYPT_SHA1_ALGORITHM, 0, BCRYPT_ALG_HANDLE_HMAC_FLAG) == 0 &&
           cng.open(&cng.aesEcb, BCRYPT_AES_ALGORITHM, 0, 0) == 0 &&
           cng.setProperty(cng.aesEcb, BCRYPT_CHAINING_MODE, (PUCHAR)BCRYPT_CHAIN_MODE_ECB,
                           sizeof BCRYPT_CHAIN_MODE_ECB, 0) == 0;
}

}  // namespace

bool CryptoAvailable() {
    if (!cng.tried) {
        cng.tried = true;
        cng.ready = LoadCng();
    }
    return cng.ready;
}

bool DerivePbkdf2Sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                      uint32_t iterations, uint8_t* out, uint32_t outLength) {
    return CryptoAvailable() && cng.pbkdf2(cng.hmacSha1, (PUCHAR)password, passwordLength, (PUCHAR)salt, saltLength,
                                           iterations, out, outLength, 0) == 0;
}

CryptoHandle StartHmacSha1(const uint8_t* key, uint32_t keyLength) {
    BCRYPT_HASH_HANDLE hash = 0;
    if (!CryptoAvailable() || cng.createHash(cng.hmacSha1, &hash, 0, 0, (PUCHAR)key, keyLength, 0) != 0) return 0;
    return hash;
}

bool UpdateHmacSha1(CryptoHandle hmac, const uint8_t* data, uint32_t length) {
    return cng.hashData(hmac, (PUCHAR)data, length, 0) == 0;
}

bool FinishHmacSha1(CryptoHandle hmac, uint8_t* code) {
    bool done = cng.finishHash(hmac, code, 20, 0) == 0;
    cng.destroyHash(hmac);
    return done;
}

CryptoHandle StartAes(const uint8_t* key, uint32_t keyLength) {
    BCRYPT_KEY_HANDLE handle = 0;
    if (!CryptoAvailable() || cng.generateKey(cng.aesEcb, &handle, 0, 0, (PUCHAR)key, keyLength, 0) != 0) return 0;
    return handle;
}

bool EncryptAesBlocks(CryptoHandle aes, const uint8_t* in, uint8_t* out, uint32_t blocks) {
    ULONG written = 0;
    return cng.encrypt(aes, (PUCHAR)in, blocks * 16, 0, 0, 0, out, blocks * 16, &written, 0) == 0 &&
           written == blocks * 16;
}

void EndAes(CryptoHandle aes) { cng.destroyKey(aes); }
