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
