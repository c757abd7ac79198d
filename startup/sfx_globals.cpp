#include "startup/sfx_globals.h"

#include <string.h>

#include "ui/control_ids.h"

SfxGlobals Sfx;

void ResetSfxGlobals() {
    ReleaseText(Sfx.ExistingFileName);
    ReleaseText(Sfx.Password);
    memset(&Sfx, 0, sizeof Sfx);

    Sfx.ArchiveHandle = kInvalidFile;
    Sfx.ArchiveBase = kStubImageSize;
    Sfx.ShowRunChoice = true;
    Sfx.AllowMemberChoice = true;
    Sfx.DefaultOverwriteButton = IDC_ASK;
    Sfx.OutputHandle = kInvalidFile;
}
