// The archive-size check: the end record whose comment ends exactly at the
// end of the file decides; anything cut short or appended fails.
#include <gtest/gtest.h>

#include "archive/size_check.h"
#include "startup/sfx_globals.h"
#include "test_files.h"

class SizeCheck : public ::testing::Test {
protected:
    TempDir temp;

    // Whether a combined file with a settings block and `archive` after it
    // passes the check.
    bool Passes(const std::string& archive) {
        WriteWholeFile(temp / "combined.exe", StubImage() + SettingsBlock(0) + archive);
        FileHandle file = OpenFileForReading(CoreForm(temp / "combined.exe").c_str());
        EXPECT_NE(file, kInvalidFile);
        bool matches = ArchiveSizeMatches(file, kArchiveBaseWithSettings);
        CloseFile(file);
        return matches;
    }
};

const std::string kMembers = "member data that precedes the end record";

TEST_F(SizeCheck, CommentMustEndExactlyAtTheEndOfTheFile) {
    EXPECT_TRUE(Passes(kMembers + EndRecord()));
    EXPECT_TRUE(Passes(kMembers + EndRecord("made by doromi")));
    EXPECT_FALSE(Passes(kMembers + EndRecord("made by doromi") + "x"));
    EXPECT_FALSE(Passes(kMembers + EndRecord("made by doromi", 20)));
}

TEST_F(SizeCheck, FalseEndRecordInMemberDataIsPassedOver) {
    std::string falseRecord = EndRecord("", 3);
    EXPECT_TRUE(Passes(kMembers + falseRecord + kMembers + EndRecord("real")));
    EXPECT_FALSE(Passes(kMembers + falseRecord + kMembers + EndRecord("real") + "!"));
}

TEST_F(SizeCheck, LongestCommentIsStillFound) {
    std::string comment(0xFFFF, 'c');
    EXPECT_TRUE(Passes(kMembers + EndRecord(comment)));
    EXPECT_FALSE(Passes(kMembers + EndRecord(comment) + "x"));
}

TEST_F(SizeCheck, NeedsMoreThan22BytesPastTheBase) {
    EXPECT_FALSE(Passes(EndRecord()));        // exactly 22 bytes
    EXPECT_TRUE(Passes("z" + EndRecord()));   // 23 bytes
    EXPECT_FALSE(Passes(""));

    WriteWholeFile(temp / "short.exe", StubImage());
    FileHandle file = OpenFileForReading(CoreForm(temp / "short.exe").c_str());
    EXPECT_FALSE(ArchiveSizeMatches(file, kArchiveBaseWithSettings));
    CloseFile(file);
}

// ---- Signed files ----------------------------------------------------------

namespace {

void Put32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = (char)(value >> (8 * i));
}

// A stub image with a PE header whose security directory names `start`
// and `size`; `magic` picks the 32-bit or the 64-bit optional header.
std::string ImageNaming(uint32_t start, uint32_t size, uint16_t magic = 0x10B) {
    const size_t pe = 0x80, optional = pe + 24, directories = optional + (magic == 0x20B ? 112 : 96);
    std::string image = StubImage();
    image[0] = 'M', image[1] = 'Z';
    Put32(image, 0x3C, pe);
    image.replace(pe, 4, std::string("PE\0\0", 4));
    image[pe + 4 + 16] = (char)(magic == 0x20B ? 0xF0 : 0xE0);  // the optional header's size
    image[optional] = (char)(magic & 0xFF), image[optional + 1] = (char)(magic >> 8);
    Put32(image, directories - 4, 16);  // NumberOfRvaAndSizes
    Put32(image, directories + 32, start);
    Put32(image, directories + 36, size);
    return image;
}

const std::string kTable(1234, 'T');

}  // namespace

class SignedSizeCheck : public SizeCheck {
protected:
    // A combined file with `archive`, `padding` and a certificate table of
    // kTable's size at its end, named by the header unless `start` is given.
    bool SignedPasses(const std::string& archive, const std::string& padding, int64_t start = -1,
                      uint32_t size = (uint32_t)kTable.size(), uint16_t magic = 0x10B) {
        std::string body = SettingsBlock(0) + archive + padding;
        uint32_t tableStart = start >= 0 ? (uint32_t)start : (uint32_t)(StubImage().size() + body.size());
        WriteWholeFile(temp / "signed.exe", ImageNaming(tableStart, size, magic) + body + kTable);
        FileHandle file = OpenFileForReading(CoreForm(temp / "signed.exe").c_str());
        bool matches = ArchiveSizeMatches(file, kArchiveBaseWithSettings);
        CloseFile(file);
        return matches;
    }
};

TEST_F(SignedSizeCheck, TableAfterTheArchiveWithUpToSevenZerosOfAlignmentPasses) {
    for (size_t padding = 0; padding <= 8; ++padding) {
        EXPECT_EQ(SignedPasses(kMembers + EndRecord("c"), std::string(padding, '\0')), padding <= 7) << padding;
        EXPECT_EQ(SignedPasses(kMembers + EndRecord("c"), std::string(padding, '\0'), -1, (uint32_t)kTable.size(),
                               0x20B),
                  padding <= 7)
            << "64-bit image, padding " << padding;
    }
    // A comment of zero length ends in zero bytes of its own.
    EXPECT_TRUE(SignedPasses(kMembers + EndRecord(), std::string(3, '\0')));
    EXPECT_FALSE(SignedPasses(kMembers + EndRecord("c"), std::string("\0\0x\0", 4)));
    EXPECT_FALSE(SignedPasses(kMembers + EndRecord("c") + "x", ""));
    // A comment that runs over the table to the very end of the file passes
    // as it would in an unsigned file.
    EXPECT_TRUE(SignedPasses(kMembers + EndRecord("", (int)kTable.size()), ""));
}

TEST_F(SignedSizeCheck, TableAnywhereElseFails) {
    std::string archive = kMembers + EndRecord("c");
    uint32_t end = (uint32_t)(StubImage().size() + SettingsBlock(0).size() + archive.size());
    EXPECT_TRUE(SignedPasses(archive, "", end));
    EXPECT_FALSE(SignedPasses(archive, "", end - 1));                          // not ending at the end
    EXPECT_FALSE(SignedPasses(archive, "", end, (uint32_t)kTable.size() - 1));  // nor ending there
    EXPECT_FALSE(SignedPasses(archive, "", kStubImageSize + 10, end + kTable.size() - kStubImageSize - 10));
    EXPECT_FALSE(SignedPasses(archive, "", 0xFFFFFF00u, 0x200));  // wraps round 2^32
    EXPECT_FALSE(SignedPasses(archive, "", end, 0xFFFFFFFFu));
}

// A PE header that is cut off, or names no security directory, leaves the
// plain check.
TEST_F(SignedSizeCheck, FilesWithoutAUsableHeaderAreCheckedAsUnsigned) {
    std::string beyond = ImageNaming(100, 100);
    Put32(beyond, 0x3C, 0xFFFFFFF0u);  // e_lfanew beyond the file
    std::string archive = kMembers + EndRecord("c");
    for (const std::string& image : {beyond, ImageNaming(0, 0), StubImage()}) {
        for (const std::string& trailer : {std::string(), std::string("x")}) {
            WriteWholeFile(temp / "plain.exe", image + SettingsBlock(0) + archive + trailer);
            FileHandle file = OpenFileForReading(CoreForm(temp / "plain.exe").c_str());
            EXPECT_EQ(ArchiveSizeMatches(file, kArchiveBaseWithSettings), trailer.empty());
            uint32_t start = 0, size = 0;
            EXPECT_EQ(FindCertificateTable(file, 0x90, &start, &size), kNotSigned);  // cut inside the header
            CloseFile(file);
        }
    }
}
