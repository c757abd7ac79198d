// Entry point of the stub: opens the program's own file as the archive,
// prepares the shared state, runs the main dialog and cleans up. The exit
// code is 0 on every path.
#include <windows.h>

#include "archive/settings.h"
#include "decode/crc32.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"

// Closes the archive at the end of the run; a failure is reported, not fatal.
static void CloseArchive() {
    if (!CloseFile(Sfx.ArchiveHandle)) ShowError(TEXT_CLOSE_FAILED, TEXT_ERROR_CAPTION);
    Sfx.ArchiveHandle = kInvalidFile;
}

static void RunSelfExtractor() {
    char ownPath[kPathBufferSize];
    OwnExecutablePath(ownPath, sizeof ownPath);

    Sfx.ArchiveHandle = OpenFileForReading(ownPath);
    if (Sfx.ArchiveHandle == kInvalidFile) {
        ShowError(ownPath, TEXT_ARCHIVE_OPEN_FAILED);
        return;
    }
    Sfx.CrcTable = (uint32_t*)AllocateBlock(kCrcBlockSize);
    if (Sfx.CrcTable) {
        BuildCrcTable();
        ReadSettings();
        RunMainDialog();
    } else {
        ShowError(TEXT_OUT_OF_MEMORY, TEXT_ERROR_CAPTION);
    }
    CloseArchive();
    ReleaseBlock(Sfx.CrcTable);
    Sfx.CrcTable = 0;
}

// A downloaded stub usually runs from a folder full of other downloads. A DLL
// planted there under the name of a system DLL would be found first whenever
// the process, or the shell inside it, loads a DLL by name after start-up,
// so the process searches only the system directory for DLLs from here on.
// SetDefaultDllDirectories is missing from older Windows versions, so it is
// looked up rather than imported; where it is missing, SetDllDirectoryW(L"")
// at least takes the current directory out of the search. The static
// imports, resolved before this runs, are all system DLLs.
static void SearchOnlySystemDirectoryForDlls() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryCall)(LPCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    SetDefaultDllDirectoriesCall setDefault =
        (SetDefaultDllDirectoriesCall)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    SetDllDirectoryCall setDirectory = (SetDllDirectoryCall)(void*)GetProcAddress(kernel, "SetDllDirectoryW");
    if (setDirectory) setDirectory(L"");
}

// The process entry. The stub links no C runtime start-up code: it takes no
// command line, needs no static constructors, and calls only functions of
// msvcrt that need no initialisation, so that the image stays small.
extern "C" void WINAPI SfxEntry() {
    SearchOnlySystemDirectoryForDlls();
    ResetSfxGlobals();
    RunSelfExtractor();
    ResetSfxGlobals();  // clears the remembered password and file name
    ExitProcess(0);
}
