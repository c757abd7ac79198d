#include "archive/overwrite_policy.h"

#include "startup/sfx_globals.h"

void RecordOverwriteAnswer(bool overwrite, bool neverAskAgain) {
    if (neverAskAgain) {
        Sfx.OverwriteMode = overwrite ? kOverwrite : kSkip;
        Sfx.OverwriteAnswer = overwrite;
    } else if (Sfx.OverwriteMode != kOverwrite) {
        Sfx.OverwriteAnswer = overwrite;
    }
}
