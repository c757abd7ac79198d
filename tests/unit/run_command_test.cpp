// The run-after-extraction command: splitting at "|", the target-directory
// markers, the check box's caption, and when the command is opened.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/posix/shell_requests.h"
#include "startup/sfx_globals.h"
#include "test_files.h"
#include "ui/texts.h"
#include "util/run_command.h"

namespace fs = std::filesystem;

static void SetRunCommand(const std::string& extractDir, const std::string& command) {
    ResetSfxGlobals();
    std::strcpy(Sfx.ExtractDir, extractDir.c_str());
    std::strcpy(Sfx.RunCommand, command.c_str());
    Sfx.HasRunCommand = !command.empty();
}

struct Expansion {
    const char* command;
    const char* program;
    const char* parameters;
};

class ExpandingWindowsStylePaths : public ::testing::TestWithParam<Expansion> {};

// "C:\out" names nothing on this side, so no short form applies.
TEST_P(ExpandingWindowsStylePaths, SplitsAndReplacesMarkers) {
    const Expansion& expected = GetParam();
    SetRunCommand("C:\\out", expected.command);
    EXPECT_EQ(Take(ExpandRunCommand(kRunProgram)), expected.program);
    EXPECT_STREQ(Sfx.ExtractDir, "C:\\out\\");
    EXPECT_EQ(Take(ExpandRunCommand(kRunParameters)), expected.parameters);
    EXPECT_STREQ(Sfx.ExtractDir, "C:\\out\\");
}

INSTANTIATE_TEST_SUITE_P(RunCommand, ExpandingWindowsStylePaths,
    ::testing::Values(Expansion{"><setup.exe|/s", "C:\\out\\setup.exe", "/s"},
                      Expansion{"readme.txt", "readme.txt", ""},
                      Expansion{"a|b|c", "a", "b|c"},
                      Expansion{"|x", "", "x"},
                      Expansion{"><tool.exe|/dir=><", "C:\\out\\tool.exe", "/dir=C:\\out\\"},
                      Expansion{"><><", "C:\\out\\C:\\out\\", ""},
                      Expansion{">><<|<>><", ">C:\\out\\<", "<>C:\\out\\"}));

TEST(ExpandRunCommand, InsertsADirectoryHoldingMarkersOnlyOnce) {
    SetRunCommand("C:\\a><b\\", "><x|><");
    EXPECT_EQ(Take(ExpandRunCommand(kRunProgram)), "C:\\a><b\\x");
    EXPECT_EQ(Take(ExpandRunCommand(kRunParameters)), "C:\\a><b\\");
}

// The longest command made only of markers, and the longest directory
// that still takes its trailing "\": every marker is replaced in full.
TEST(ExpandRunCommand, SizesTheLongestExpansionExactly) {
    std::string directory(254, 'd');
    std::string command;
    for (int i = 0; i < 127; ++i) command += "><";
    SetRunCommand(directory, command + "|");
    std::string expected;
    for (int i = 0; i < 127; ++i) expected += directory + "\\";
    EXPECT_EQ(Take(ExpandRunCommand(kRunProgram)), expected);
    EXPECT_EQ(Take(ExpandRunCommand(kRunParameters)), "");
}

// Here the target directory and the program exist. On this side a path is
// its own short form, which is not shorter, so the pieces keep their
// expanded text.
TEST(ExpandRunCommand, KeepsExistingPathsWhoseShortFormIsNotShorter) {
    TempDir temp;
    WriteWholeFile(temp / "setup.exe", "program");
    std::string target = CoreForm(temp.path());
    SetRunCommand(target, "><setup.exe|><");
    EXPECT_EQ(Take(ExpandRunCommand(kRunProgram)), target + "\\setup.exe");
    EXPECT_EQ(Take(ExpandRunCommand(kRunParameters)), target + "\\");
    EXPECT_EQ(std::string(Sfx.ExtractDir), target + "\\");
}

TEST(RunChoiceCaption, NamesTheProgramAndTheParametersFileNames) {
    std::string prefix = TEXT_RUN_CHOICE_PREFIX;
    SetRunCommand("C:\\out", "><setup.exe");
    EXPECT_EQ(Take(RunChoiceCaption()), prefix + "setup.exe ");
    SetRunCommand("C:\\out", "><setup.exe|/s");
    EXPECT_EQ(Take(RunChoiceCaption()), prefix + "setup.exe s");
    SetRunCommand("C:\\out", "><bin\\tool.exe|--log=><logs\\run.txt");
    EXPECT_EQ(Take(RunChoiceCaption()), prefix + "tool.exe run.txt");
    EXPECT_STREQ(Sfx.ExtractDir, "C:\\out\\");
}

// How many shell requests a call made, and the latest one.
struct ShellRequests {
    uint32_t before = ShellOpenCount();
    uint32_t Made() const { return ShellOpenCount() - before; }
};

TEST(RunAfterExtraction, OpensTheExpandedCommandWhenTheBoxIsTicked) {
    SetRunCommand("C:\\out", "><tool.exe|/dir=>< /q");
    ShellRequests requests;
    RunAfterExtraction(1);
    ASSERT_EQ(requests.Made(), 1u);
    EXPECT_STREQ(LastShellOpenFile(), "C:\\out\\tool.exe");
    EXPECT_STREQ(LastShellOpenParameters(), "/dir=C:\\out\\ /q");
}

TEST(RunAfterExtraction, PassesEmptyTextsForMissingPieces) {
    SetRunCommand("C:\\out", "|only parameters");
    RunAfterExtraction(1);
    EXPECT_STREQ(LastShellOpenFile(), "");
    SetRunCommand("C:\\out", "readme.txt");
    RunAfterExtraction(1);
    EXPECT_STREQ(LastShellOpenFile(), "readme.txt");
    EXPECT_STREQ(LastShellOpenParameters(), "");
}

TEST(RunAfterExtraction, OpensNothingUnlessTickedWithACommand) {
    ShellRequests requests;
    SetRunCommand("C:\\out", "><tool.exe");
    RunAfterExtraction(0);
    RunAfterExtraction(2);  // BST_INDETERMINATE is not a tick
    SetRunCommand("C:\\out", "");
    RunAfterExtraction(1);
    // A command text left in the buffer without the flag does not count.
    SetRunCommand("C:\\out", "><tool.exe");
    Sfx.HasRunCommand = false;
    RunAfterExtraction(1);
    EXPECT_EQ(requests.Made(), 0u);
}
