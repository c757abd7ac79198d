#pragma once
// The command the settings block names to open after a complete
// extraction: a program piece, optionally "|" and a parameters piece, in
// which every "><" stands for the target directory.
#include <stdint.h>

#include "util/text.h"

enum RunCommandPiece : int {
    kRunProgram = 1,
    kRunParameters = 2,
};

// One piece of Sfx.RunCommand with every "><" replaced by Sfx.ExtractDir,
// which first gains a trailing "\" in place (and keeps it). A piece that
// names an existing file or directory becomes its short form when that is
// shorter. The parameters piece is empty when the command has no "|".
Text ExpandRunCommand(int piece);

// Opens the command through the shell, once, when the run check box
// reports 1 (ticked) and the settings block gave a command. Nothing is
// reported when it cannot be started.
void RunAfterExtraction(intptr_t checkState);

// The run check box's text: "압축 푼 후 실행 : ", the file name of the
// program piece, a blank and the file name of the parameters piece.
Text RunChoiceCaption();
