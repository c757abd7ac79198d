// Fuzz target for the member walk and the extraction: arbitrary bytes are
// the archive. Every member is listed, selected and extracted into a
// private target directory, with the password prompt answered and the
// overwrite question answered yes and no in turn. The pass must end, stay
// inside its buffers, release what it holds, and write nothing outside the
// target directory.
#include <dirent.h>
#include <ftw.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "archive/extraction_pass.h"
#include "decode/crc32.h"
#include "startup/sfx_globals.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"

static int archiveFd = -1;
static uint32_t* crcTable;
static std::string work, target;

static void Check(bool condition, const char* what) {
    if (condition) return;
    fprintf(stderr, "walk_fuzz: %s\n", what);
    abort();
}

static int RemoveEntry(const char* path, const struct stat*, int, FTW*) { return remove(path); }

// Everything in the work directory but the target directory itself.
static int StrayEntries() {
    DIR* dir = opendir(work.c_str());
    Check(dir != nullptr, "the work directory is gone");
    int stray = 0;
    while (dirent* entry = readdir(dir))
        if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..") && strcmp(entry->d_name, "target")) ++stray;
    closedir(dir);
    return stray;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    crcTable = (uint32_t*)malloc(kCrcBlockSize);
    ResetSfxGlobals();
    Sfx.CrcTable = crcTable;
    BuildCrcTable();
    archiveFd = memfd_create("archive", 0);
    char pattern[] = "/dev/shm/doromi-walk-fuzz-XXXXXX";
    Check(archiveFd >= 0 && mkdtemp(pattern) != nullptr, "cannot make the fuzz files");
    work = pattern;
    target = work + "/target";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 300000) return 0;
    Check(ftruncate(archiveFd, 0) == 0 && pwrite(archiveFd, data, size, 0) == (ssize_t)size, "cannot fill");
    nftw(target.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    Check(mkdir(target.c_str(), 0755) == 0, "cannot make the target");

    ResetSfxGlobals();
    Sfx.CrcTable = crcTable;
    Sfx.ArchiveBase = 0;
    Sfx.OverwriteMode = kAsk;
    Sfx.ArchiveHandle = (FileHandle)(intptr_t)archiveFd;
    memcpy(Sfx.ExtractDir, target.c_str(), target.size() + 1);

    NativeDialog dialog;
    ExtractionPass(&dialog, IDC_MEMBER_LIST, true);
    for (NativeMemberItem& item : dialog.memberList.items) item.selected = true;
    ExtractionPass(&dialog, IDC_MEMBER_LIST, false);
    // A second pass meets the files of the first: the overwrite questions.
    ExtractionPass(&dialog, IDC_MEMBER_LIST, false);

    Check(Sfx.OutputHandle == kInvalidFile, "an output file was left open");
    Check(StrayEntries() == 0, "something was written outside the target directory");
    ResetSfxGlobals();  // releases the remembered password and file name for the leak check
    return 0;
}
