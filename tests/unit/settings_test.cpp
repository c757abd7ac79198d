// The settings block: flags, texts, the temporary-directory shorthand, the
// size check it may ask for, and files that end inside the block.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/settings.h"
#include "fixed_values.h"
#include "scripted_frontend.h"
#include "startup/sfx_globals.h"
#include "test_files.h"
#include "ui/texts.h"

class Settings : public ::testing::Test {
protected:
    TempDir temp;

    // Writes a combined file, opens it as the archive and reads its block.
    // The text buffers start full of garbage so that missing terminators show.
    void Read(const std::string& afterStub) {
        WriteWholeFile(temp / "combined.exe", StubImage() + afterStub);
        OpenAsArchive(temp / "combined.exe");
        std::memset(Sfx.TitleText, 'G', sizeof Sfx.TitleText);
        std::memset(Sfx.RunCommand, 'G', sizeof Sfx.RunCommand);
        ReadSettings();
    }
    void TearDown() override { CloseArchive(); }
};

// A small archive whose end record matches the end of the file.
const std::string kArchive = std::string("PK member bytes") + EndRecord("comment");

TEST_F(Settings, NoMagicKeepsEveryDefault) {
    for (const std::string& afterStub : {std::string("MPX") + SettingsBlock(0).substr(3), std::string("MP")}) {
        Read(afterStub);
        EXPECT_EQ(Sfx.ArchiveBase, kExpectedStubSize);
        EXPECT_TRUE(Sfx.ShowRunChoice);
        EXPECT_TRUE(Sfx.AllowMemberChoice);
        EXPECT_EQ(Sfx.DefaultOverwriteButton, IDC_ASK);
        EXPECT_FALSE(Sfx.HasTitle);
        EXPECT_FALSE(Sfx.SizeChecked);
        CloseArchive();
    }
}

struct FlagCase {
    unsigned char flags;
    bool showRunChoice, allowMemberChoice, hideOverwriteChoice;
    int overwriteButton;
    bool autoStart;
};

class SettingsFlags : public Settings, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(SettingsFlags, EachBitSetsItsField) {
    const FlagCase& expected = GetParam();
    Read(SettingsBlock(expected.flags));
    EXPECT_EQ(Sfx.ShowRunChoice, expected.showRunChoice);
    EXPECT_EQ(Sfx.AllowMemberChoice, expected.allowMemberChoice);
    EXPECT_EQ(Sfx.HideOverwriteChoice, expected.hideOverwriteChoice);
    EXPECT_EQ(Sfx.DefaultOverwriteButton, expected.overwriteButton);
    EXPECT_EQ(Sfx.AutoStart, expected.autoStart);
}

// Bit 5 is set throughout: these blocks carry no archive to check.
INSTANTIATE_TEST_SUITE_P(Bits, SettingsFlags,
    ::testing::Values(FlagCase{0x20, false, false, false, IDC_ASK, false},
                      FlagCase{0x21, true, false, false, IDC_ASK, false},
                      FlagCase{0x22, false, true, false, IDC_ASK, false},
                      FlagCase{0x23, true, true, false, IDC_ASK, false},
                      FlagCase{0x24, false, false, true, IDC_ASK, false},
                      FlagCase{0x28, false, false, false, IDC_OVERWRITE, false},
                      FlagCase{0x30, false, false, false, IDC_SKIP, false},
                      FlagCase{0x38, false, false, false, IDC_ASK, false},
                      FlagCase{0x60, false, false, false, IDC_ASK, true},
                      FlagCase{0xE3, true, true, false, IDC_ASK, true}),
    [](const ::testing::TestParamInfo<FlagCase>& info) {
        char name[16];
        snprintf(name, sizeof name, "Flags0x%02X", info.param.flags);
        return std::string(name);
    });

// Some syllables, as the block stores them (code page 949) and as read.
static std::string Syllables(int count, bool utf8) {
    std::string text;
    for (int i = 0; i < count; ++i) text += utf8 ? (i % 2 ? "글" : "한") : (i % 2 ? "\xB1\xDB" : "\xC7\xD1");
    return text;
}

// The texts, where the file holds them whole, in part or not at all, and
// what the block says of the archive's start and the size check. The texts
// are code page 949 whatever the system's code page; one that is not valid
// there counts as absent.
TEST_F(Settings, TextsAreReadAndTerminated) {
    std::string cutInTitle = SettingsBlock(0x20, "Complete title", "D:\\target").substr(0, 7 + 8);
    const std::string title949 = "\xB5\xB5\xB7\xCE\xB9\xCC \xBC\xB3\xC4\xA1", title = "도로미 설치";
    const struct {
        const char* label;
        std::string afterStub;
        bool sizeChecked, hasTitle, hasDefaultDir, hasRunCommand;
        std::string title, defaultDir, runCommand;
    } cases[] = {
        {"Flags0x23WithoutTextsChangeNothingButTheBase", SettingsBlock(0x23), false, false, false, false, "", "", ""},
        {"TextsAreReadAndTerminated", SettingsBlock(0x23, title949, "C:\\Program Files\\Doromi", "setup.exe|><"),
         false, true, true, true, title, "C:\\Program Files\\Doromi", "setup.exe|><"},
        {"PassingSizeCheckLeavesTheTextsReadable", SettingsBlock(0x03, "Title", "", "run.exe") + kArchive, true, true,
         false, true, "Title", "", "run.exe"},
        {"FileEndingInsideATextReadsTheMissingPartAsEmpty", cutInTitle, false, true, true, false, "Complete", "", ""},
        {"FileEndingAfterTheFlagsHasNoTexts", SettingsBlock(0x20, "never read").substr(0, 4), false, false, false,
         false, "", "", ""},
        // The longest title the block's room holds, 248 bytes, takes 372 as UTF-8.
        {"LongestTitleIsReadWhole", SettingsBlock(0x20, Syllables(124, false)), false, true, false, false,
         Syllables(124, true), "", ""},
        // A length byte may name more than the room: the text runs on into
        // what follows the block, and its 127 syllables are read whole.
        {"LongestDirectoryIsReadWhole", SettingsBlock(0x20, "", Syllables(127, false)), false, false, true, false, "",
         Syllables(127, true), ""},
        {"TextInvalidInCodePage949IsAbsent", SettingsBlock(0x20, title, "D:\\x", "\xC7."), false, false, true, false,
         "", "D:\\x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Read(c.afterStub);
        EXPECT_EQ(Sfx.ArchiveBase, kExpectedArchiveOffset);
        EXPECT_EQ(Sfx.SizeChecked, c.sizeChecked);
        EXPECT_EQ(Sfx.HasTitle, c.hasTitle);
        EXPECT_EQ(Sfx.HasDefaultDir, c.hasDefaultDir);
        EXPECT_EQ(Sfx.HasRunCommand, c.hasRunCommand);
        EXPECT_EQ(Sfx.TitleText, c.title);
        EXPECT_EQ(Sfx.DefaultDirText, c.defaultDir);
        EXPECT_EQ(Sfx.RunCommand, c.runCommand);
        CloseArchive();
    }
}

TEST_F(Settings, OnlyTheExactShorthandBecomesTheTemporaryDirectory) {
    const char* previous = getenv("TMPDIR");
    std::string saved = previous ? previous : "";
    setenv("TMPDIR", temp.path().c_str(), 1);
    Read(SettingsBlock(0x23, "", "><"));
    std::string expanded = Sfx.DefaultDirText;
    CloseArchive();
    Read(SettingsBlock(0x23, "", "><x"));
    std::string kept = Sfx.DefaultDirText;
    if (previous) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");

    EXPECT_EQ(expanded, CoreForm(temp.path()) + "\\");
    EXPECT_EQ(kept, "><x");
    EXPECT_TRUE(Sfx.HasDefaultDir);
}

using SettingsDeathTest = Settings;

// Reading the block of `afterStub` must end the process with exit code 0
// after exactly the size-mismatch box.
#define EXPECT_SIZE_FAILURE_ENDS_PROCESS(afterStub)                                        \
    EXPECT_EXIT(Read(afterStub), ::testing::ExitedWithCode(0),                              \
                "^" + ShowErrorTrace(TEXT_SIZE_MISMATCH, TEXT_ERROR_CAPTION) + "\n$")

TEST_F(SettingsDeathTest, FailedSizeCheckReportsAndEndsTheProcess) {
    EXPECT_SIZE_FAILURE_ENDS_PROCESS(SettingsBlock(0x03) + kArchive + "x");
    EXPECT_SIZE_FAILURE_ENDS_PROCESS(SettingsBlock(0x03));
    // A block cut right after its magic has flags 0, so the check runs.
    EXPECT_SIZE_FAILURE_ENDS_PROCESS(std::string("MPU"));
}
