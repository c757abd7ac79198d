// Initial values of the shared state: they are the program's behaviour
// when the combined file carries no settings block.
#include <gtest/gtest.h>

#include <cstring>

#include "fixed_values.h"
#include "startup/sfx_globals.h"

TEST(SfxGlobals, ResetGivesTheNoSettingsBehaviour) {
    Sfx.ShowRunChoice = false;
    Sfx.AutoStart = true;
    Sfx.ArchiveBase = 1;
    std::strcpy(Sfx.ExtractDir, "C:\\old");
    ResetSfxGlobals();

    EXPECT_EQ(Sfx.ArchiveHandle, kInvalidFile);
    EXPECT_EQ(Sfx.OutputHandle, kInvalidFile);
    EXPECT_EQ(Sfx.ArchiveBase, kExpectedStubSize);
    EXPECT_TRUE(Sfx.ShowRunChoice);
    EXPECT_TRUE(Sfx.AllowMemberChoice);
    EXPECT_FALSE(Sfx.HideOverwriteChoice);
    EXPECT_EQ(Sfx.DefaultOverwriteButton, IDC_ASK);
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
