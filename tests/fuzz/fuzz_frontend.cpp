// The fuzz targets' front end: every box is silent, the password prompt
// always answers the seed archives' password and the overwrite question
// alternates between yes and no.
#include <string.h>

#include "platform/platform.h"
#include "startup/sfx_globals.h"

const char kFuzzPassword[] = "fuzz";

void ShowError(const char*, const char*) {}
void ShowNotice(const char*, const char*) {}

void AskPassword() {
    memcpy(Sfx.PasswordBuffer, kFuzzPassword, sizeof kFuzzPassword);
    Sfx.PasswordLength = (int32_t)(sizeof kFuzzPassword - 1);
}

void AskOverwrite() {
    static bool overwrite;
    overwrite = !overwrite;
    RecordOverwriteAnswer(overwrite, false);
}

void PumpOneMessage() {}
void ShowProgress(WindowHandle, const char*) {}
void RunMainDialog() {}
