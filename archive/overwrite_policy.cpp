// The answer to "overwrite this existing file?" and what it does to the
// overwrite policy of the rest of the run (RecordOverwriteAnswer is part of
// the seam in platform/platform.h).
#include "platform/platform.h"
#include "startup/sfx_globals.h"

void RecordOverwriteAnswer(bool overwrite, bool neverAskAgain) {
    if (neverAskAgain) {
        Sfx.OverwriteMode = overwrite ? kOverwrite : kSkip;
        Sfx.OverwriteAnswer = overwrite;
    } else if (Sfx.OverwriteMode != kOverwrite) {
        Sfx.OverwriteAnswer = overwrite;
    }
}
