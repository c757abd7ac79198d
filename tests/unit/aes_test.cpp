// The cryptography of AES members through the platform seam and the
// counter mode made on it, against published known answers: PBKDF2-HMAC-
// SHA1 (RFC 6070), HMAC-SHA1 (RFC 2202), AES (FIPS-197).
#include <gtest/gtest.h>

#include <string>

#include "decode/aes_ctr.h"
#include "platform/platform.h"

static std::string Hex(const uint8_t* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < length; ++i) hex += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return hex;
}

static std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) bytes += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
    return bytes;
}

TEST(AesCryptography, Pbkdf2HmacSha1GivesTheRfc6070Answers) {
    struct Case {
        std::string password, salt;
        uint32_t iterations;
        std::string key;
    } cases[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Case& c : cases) {
        uint8_t key[32];
        ASSERT_TRUE(DerivePbkdf2Sha1((const uint8_t*)c.password.data(), (uint32_t)c.password.size(),
                                     (const uint8_t*)c.salt.data(), (uint32_t)c.salt.size(), c.iterations, key,
                                     (uint32_t)c.key.size() / 2));
        EXPECT_EQ(Hex(key, c.key.size() / 2), c.key) << c.password << ", " << c.iterations;
    }
}

TEST(AesCryptography, HmacSha1InPiecesGivesTheRfc2202Answer) {
    std::string key(20, '\x0b');
    CryptoHandle hmac = StartHmacSha1((const uint8_t*)key.data(), 20);
    ASSERT_NE(hmac, nullptr);
    EXPECT_TRUE(UpdateHmacSha1(hmac, (const uint8_t*)"Hi ", 3));
    EXPECT_TRUE(UpdateHmacSha1(hmac, (const uint8_t*)"There", 5));
    uint8_t code[20];
    ASSERT_TRUE(FinishHmacSha1(hmac, code));
    EXPECT_EQ(Hex(code, 20), "b617318655057264e28bc0b6fb378c8ef146be00");
}

// The counter mode's key stream is AES of the counters 1, 2, ... written
// little-endian; AES itself gives FIPS-197's answers for 128 and 256 bits.
TEST(AesCryptography, CounterModeEncryptsLittleEndianCountersFromOne) {
    std::string plain = Bytes("00112233445566778899aabbccddeeff");
    for (const auto& [key, cipher] : {std::pair<std::string, std::string>{"000102030405060708090a0b0c0d0e0f",
                                                                          "69c4e0d86a7b0430d8cdb78070b4c55a"},
                                      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                                       "8ea2b7ca516745bfeafc49904b496089"}}) {
        std::string k = Bytes(key);
        CryptoHandle aes = StartAes((const uint8_t*)k.data(), (uint32_t)k.size());
        ASSERT_NE(aes, nullptr);
        uint8_t out[16];
        ASSERT_TRUE(EncryptAesBlocks(aes, (const uint8_t*)plain.data(), out, 1));
        EXPECT_EQ(Hex(out, 16), cipher);

        // 40,000 bytes cross the key stream's refill; each block is checked.
        std::string stream(40000, '\0');
        ASSERT_TRUE(StartAesStream((const uint8_t*)k.data(), (uint32_t)k.size()));
        ASSERT_TRUE(ApplyAesStream((uint8_t*)&stream[0], 1));  // pieces of any size
        ASSERT_TRUE(ApplyAesStream((uint8_t*)&stream[1], (uint32_t)stream.size() - 1));
        EndAesStream();
        for (uint32_t block : {0u, 1u, 255u, 256u, 2047u, 2048u, 2499u}) {
            uint8_t counter[16] = {};
            for (int i = 0; i < 4; ++i) counter[i] = (uint8_t)((block + 1) >> (8 * i));
            uint8_t expected[16];
            ASSERT_TRUE(EncryptAesBlocks(aes, counter, expected, 1));
            EXPECT_EQ(Hex((const uint8_t*)stream.data() + 16 * block, 16), Hex(expected, 16)) << block;
        }
        EndAes(aes);
    }
}
