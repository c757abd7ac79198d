// Initial values of the shared state: they are the program's behaviour
// when the combined file carries no settings block.
#include <gtest/gtest.h>

#include <cstring>

#include "startup/sfx_globals.h"

TEST(SfxGlobals, ResetGivesTheNoSettingsBehaviour) {
    Sfx.ShowRunChoice = false;
    Sfx.AutoStart = true;
    Sfx.ArchiveBase = 1;
    std::strcpy(Sfx.ExtractDir, "C:\\old");
    ResetSfxGlobals();

    EXPECT_EQ(Sfx.ArchiveHandle, kInvalidFile);
    EXPECT_EQ(Sfx.OutputHandle, kInvalidFile);
    EXPECT_EQ(Sfx.ArchiveBase, 40448u);
    EXPECT_TRUE(Sfx.ShowRunChoice);
    EXPECT_TRUE(Sfx.AllowMemberChoice);
    EXPECT_FALSE(Sfx.HideOverwriteChoice);
    EXPECT_EQ(Sfx.DefaultOverwriteButton, 503);
    EXPECT_FALSE(Sfx.AutoStart);
    EXPECT_FALSE(Sfx.HasTitle);
    EXPECT_STREQ(Sfx.ExtractDir, "");
    EXPECT_EQ(Sfx.LastListIndex, 0);
}

TEST(SfxGlobals, ResetReleasesTheRememberedPassword) {
    ResetSfxGlobals();
    Sfx.Password.bytes = (char*)AllocateBlock(6);
    std::memcpy(Sfx.Password.bytes, "secret", 6);
    Sfx.Password.length = 6;
    ResetSfxGlobals();
    EXPECT_EQ(Sfx.Password.bytes, nullptr);
    EXPECT_EQ(Sfx.Password.length, 0u);
}

// Texts are UTF-8 and their limits UTF-16 units: a buffer holds its limit
// in three-byte characters (every character of the Basic Multilingual
// Plane; one above it takes four bytes but also two units) and the
// terminator. A settings text holds the UTF-8 form of 261 bytes of code
// page 949 (130 two-byte characters, three bytes each in UTF-8).
TEST(SfxGlobals, FieldWidthsMatchTheirUse) {
    EXPECT_EQ(sizeof Sfx.ExtractDir, 3 * 260 + 1u);  // MAX_PATH units
    EXPECT_EQ(sizeof Sfx.DefaultDirText, sizeof Sfx.ExtractDir);  // it may become the target as it is
    EXPECT_EQ(sizeof Sfx.TitleText, 261 / 2 * 3 + 1u);
    EXPECT_EQ(sizeof Sfx.RunCommand, sizeof Sfx.TitleText);
    EXPECT_EQ(sizeof Sfx.PasswordBuffer, 3 * 79 + 1u);
    EXPECT_EQ(sizeof Sfx.OverwriteMode, 1u);
    EXPECT_EQ(sizeof(LocalHeader), 30u);
}
