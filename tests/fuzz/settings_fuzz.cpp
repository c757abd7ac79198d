// Fuzz target for the start of a run: arbitrary bytes follow the stub
// image, where the settings block and the archive lie. The settings
// reader and the size check must stay inside their buffers, end, and leave
// every text terminated within its buffer. A file whose size check fails
// ends the process in the stub; here that verdict is taken from the pure
// check, and the reader runs only on files that pass or skip it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "archive/settings.h"
#include "archive/size_check.h"
#include "decode/crc32.h"
#include "startup/sfx_globals.h"
#include "ui/control_ids.h"

static int fileFd = -1;

static void Check(bool condition, const char* what) {
    if (condition) return;
    fprintf(stderr, "settings_fuzz: %s\n", what);
    abort();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fileFd = memfd_create("combined", 0);
    Check(fileFd >= 0, "cannot make a memory file");
    return 0;
}

// The stub image is a hole of zeros before the fuzzed bytes.
static void WriteCombined(const uint8_t* data, size_t size) {
    Check(ftruncate(fileFd, 0) == 0 && ftruncate(fileFd, kStubImageSize) == 0, "cannot reset the file");
    Check(pwrite(fileFd, data, size, kStubImageSize) == (ssize_t)size, "cannot fill the file");
    lseek(fileFd, 0, SEEK_SET);
}

static bool Terminated(const char* text, size_t size) { return memchr(text, 0, size) != nullptr; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 200000) return 0;
    WriteCombined(data, size);
    ResetSfxGlobals();
    Sfx.ArchiveHandle = (FileHandle)(intptr_t)fileFd;

    bool hasBlock = size >= 3 && memcmp(data, "MPU", 3) == 0;
    bool checks = hasBlock && !(size > 3 && (data[3] & 0x20));
    bool fits = ArchiveSizeMatches(Sfx.ArchiveHandle, kArchiveBaseWithSettings);
    if (checks && !fits) return 0;  // the stub reports the damaged download and ends

    ReadSettings();
    Check(Sfx.ArchiveBase == (hasBlock ? kArchiveBaseWithSettings : kStubImageSize), "wrong archive base");
    Check(Sfx.SizeChecked == checks, "size check flag differs from the block");
    Check(Terminated(Sfx.TitleText, sizeof Sfx.TitleText), "title not terminated");
    Check(Terminated(Sfx.DefaultDirText, sizeof Sfx.DefaultDirText), "default directory not terminated");
    Check(Terminated(Sfx.RunCommand, sizeof Sfx.RunCommand), "run command not terminated");
    Check(Sfx.DefaultOverwriteButton >= IDC_OVERWRITE && Sfx.DefaultOverwriteButton <= IDC_ASK, "overwrite button");
    return 0;
}
