// The traditional ZIP cipher against encryption headers written by real
// tools. The fixtures in tests/data hold one stored member, plain.txt:
//   crc_rule.zip       7-Zip: 7z a -tzip -mx=0 -mem=ZipCrypto -psecret
//                      (bit 3 clear: the check byte is the CRC's top byte)
//   time_rule.zip      Info-ZIP: zip -0 -P k
//                      (bit 3 set: the check byte is the time's high byte)
//   long_password.zip  Info-ZIP: zip -0 -P with LongPassword() below
#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "crc_table.h"
#include "decode/zip_cipher.h"
#include "test_files.h"
#include "zip_builder.h"

static const char kPlainText[] = "Doromi keeps this line secret.\n";

static std::string LongPassword() {
    std::string password;
    for (int i = 0; i < 79; ++i) password += (char)(33 + (i * 7) % 94);
    return password;
}

// The first member of a fixture: its header fields as the extraction hands
// them over, the work area with the raw encryption header in its second
// half, and the encrypted data after the header.
struct EncryptedMember {
    uint16_t flags;
    uint32_t crc;
    uint32_t timeAndDate;
    uint8_t work[24];
    std::string data;

    explicit EncryptedMember(const char* fixture) {
        std::string zip = ReadWholeFile(std::string(DOROMI_TEST_DATA) + "/" + fixture);
        if (zip.size() < 30) ADD_FAILURE() << "fixture missing: " << fixture;
        zip.resize(std::max<size_t>(zip.size(), 30));
        FirstHeader header = ReadFirstHeader(zip);
        flags = header.flags;
        timeAndDate = header.timeAndDate;
        crc = header.crc;
        std::memset(work, 0, sizeof work);
        std::memcpy(work + 12, zip.data() + header.dataStart, 12);
        data = zip.substr(header.dataStart + 12, std::strlen(kPlainText));
    }

    bool Check(const std::string& password, uint16_t withFlags, uint32_t withCrc) {
        Text text = Counted(password);
        bool accepted = CheckPasswordHeader(work, 12, withFlags, withCrc, timeAndDate, text);
        ReleaseText(text);
        return accepted;
    }
    bool Check(const std::string& password) { return Check(password, flags, crc); }

    // Decrypts the member's data with the keys the header check left.
    std::string Decrypt() const {
        std::string plain;
        for (char c : data) plain += (char)DecryptNext((uint8_t)c);
        return plain;
    }
};

using TraditionalCipher = WithCrcTable;

TEST_F(TraditionalCipher, CrcCheckByteWhenSizesAreInTheHeader) {
    EncryptedMember member("crc_rule.zip");
    ASSERT_EQ(member.flags & 8, 0);
    ASSERT_TRUE(member.Check("secret"));
    std::string plain = member.Decrypt();
    EXPECT_EQ(plain, kPlainText);
    uint32_t crc = 0xFFFFFFFF;
    UpdateCrcBuffer((const uint8_t*)plain.data(), (int32_t)plain.size(), crc);
    EXPECT_EQ(crc ^ 0xFFFFFFFF, member.crc);
}

TEST_F(TraditionalCipher, TimeCheckByteWhenSizesFollowTheData) {
    EncryptedMember member("time_rule.zip");
    ASSERT_NE(member.flags & 8, 0);
    ASSERT_NE((member.timeAndDate >> 8) & 0xFF, member.crc >> 24);
    EXPECT_FALSE(member.Check("k", member.flags & ~8, member.crc));
    ASSERT_TRUE(member.Check("k", member.flags, 0));  // the CRC field plays no part
    EXPECT_EQ(member.Decrypt(), kPlainText);
}

TEST_F(TraditionalCipher, LongPasswordIsUsedWhole) {
    EncryptedMember member("long_password.zip");
    std::string password = LongPassword();
    EXPECT_FALSE(member.Check(password.substr(0, 78)));
    ASSERT_TRUE(member.Check(password));
    EXPECT_EQ(member.Decrypt(), kPlainText);
}

TEST_F(TraditionalCipher, SameWorkAreaServesASecondAttempt) {
    EncryptedMember member("crc_rule.zip");
    uint8_t raw[12];
    std::memcpy(raw, member.work + 12, 12);
    EXPECT_FALSE(member.Check("wrong"));
    EXPECT_EQ(std::memcmp(raw, member.work + 12, 12), 0);
    ASSERT_TRUE(member.Check("secret"));
    EXPECT_EQ(member.Decrypt(), kPlainText);
}

TEST_F(TraditionalCipher, EmptyPasswordFailsWithoutTouchingTheKeys) {
    EncryptedMember member("crc_rule.zip");
    Sfx.Key0 = 1;
    Sfx.Key1 = 2;
    Sfx.Key2 = 3;
    EXPECT_FALSE(member.Check(""));
    EXPECT_EQ(Sfx.Key0, 1u);
    EXPECT_EQ(Sfx.Key1, 2u);
    EXPECT_EQ(Sfx.Key2, 3u);
}

// Decrypting a run of bytes at once gives the bytes and the keys that
// decrypting them one by one gives, wherever the runs are cut.
TEST_F(TraditionalCipher, DecryptBufferMatchesByteByByteDecryption) {
    std::mt19937 random(11);
    std::string cipher(70000, '\0');
    for (char& c : cipher) c = (char)random();
    Text password = MakeText("secret", 6);

    InitKeys(password);
    std::string expected = cipher;
    for (char& c : expected) c = (char)DecryptNext((uint8_t)c);
    uint32_t keys[3] = {Sfx.Key0, Sfx.Key1, Sfx.Key2};

    for (int trial = 0; trial < 5; ++trial) {
        InitKeys(password);
        std::string plain = cipher;
        for (size_t at = 0; at < plain.size();) {
            size_t piece = std::min<size_t>(trial == 0 ? 32768 : random() % 5000, plain.size() - at);
            DecryptBuffer((uint8_t*)&plain[at], (uint32_t)piece);
            at += piece;
        }
        EXPECT_EQ(plain, expected);
        EXPECT_EQ(Sfx.Key0, keys[0]);
        EXPECT_EQ(Sfx.Key1, keys[1]);
        EXPECT_EQ(Sfx.Key2, keys[2]);
    }
    ReleaseText(password);
}
