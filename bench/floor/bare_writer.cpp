// The floor for the stub's speed under Wine: a bare Win32 program that
// writes the same files from the same archive and does nothing else. It
// walks the local headers, and per member creates the directories that are
// missing (only when the member's directory differs from the last one),
// then CreateFileA, WriteFile, SetFileTime and CloseHandle: no window, no
// list, no existence tests. Stored data is copied in 32 KB chunks (CRC-32
// folded as the stub does); deflated data goes through the core's own
// decoder, so that the floor of a deflated archive is the bare writer plus
// our inflate, in the same process model.
//
//     bare-writer ARCHIVE OFFSET TARGET-DIR
//
// OFFSET is where the archive starts in the file (the stub's image and
// settings block come first in a combined file). Exit status 0 when every
// member was written with the right CRC, 1 otherwise.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "decode/crc32.h"
#include "decode/inflate.h"
#include "decode/member_io.h"
#include "startup/sfx_globals.h"

static char lastDirectory[MAX_PATH];

// Creates `path` and, when its parent is missing, the parent first.
static void MakeDirectories(char* path) {
    if (CreateDirectoryA(path, NULL) || GetLastError() != ERROR_PATH_NOT_FOUND) return;
    char* separator = strrchr(path, '\\');
    if (!separator || separator == path) return;
    *separator = 0;
    MakeDirectories(path);
    *separator = '\\';
    CreateDirectoryA(path, NULL);
}

static void MakeParentOnce(const char* file) {
    char directory[MAX_PATH];
    strcpy(directory, file);
    char* separator = strrchr(directory, '\\');
    if (!separator) return;
    *separator = 0;
    if (strcmp(directory, lastDirectory) == 0) return;
    MakeDirectories(directory);
    strcpy(lastDirectory, directory);
}

static void CopyStored(HANDLE archive, HANDLE output, uint32_t size) {
    static uint8_t buffer[kChunkSize];
    while (size > 0) {
        DWORD want = size < kChunkSize ? size : kChunkSize, got = 0, written = 0;
        if (!ReadFile(archive, buffer, want, &got, NULL) || got == 0) return;
        UpdateCrcBuffer(buffer, (int32_t)got, Sfx.RunningCrc);
        WriteFile(output, buffer, got, &written, NULL);
        size -= got;
    }
}

// Writes one member's data; true when its CRC matches.
static bool WriteData(HANDLE archive, HANDLE output, const LocalHeader& header) {
    Sfx.RunningCrc = 0xFFFFFFFF;
    if (header.method == 0) {
        CopyStored(archive, output, header.compressedSize);
    } else {
        Sfx.ArchiveHandle = archive;
        Sfx.OutputHandle = output;
        Sfx.Header = header;
        Sfx.CompressedLeft = header.compressedSize;
        Sfx.OutputLeft = header.uncompressedSize;
        Sfx.OutputOverrun = false;
        InflateMember();
    }
    return (Sfx.RunningCrc ^ 0xFFFFFFFF) == header.crc32;
}

static void SetTime(HANDLE output, const LocalHeader& header) {
    FILETIME local, universal;
    if (DosDateTimeToFileTime(header.dosDate, header.dosTime, &local) &&
        LocalFileTimeToFileTime(&local, &universal))
        SetFileTime(output, NULL, NULL, &universal);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fputs("usage: bare-writer ARCHIVE OFFSET TARGET-DIR\n", stderr);
        return 2;
    }
    HANDLE archive = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (archive == INVALID_HANDLE_VALUE) return 2;
    Sfx.CrcTable = (uint32_t*)malloc(kCrcBlockSize);
    BuildCrcTable();
    DWORD position = (DWORD)atol(argv[2]);
    int failures = 0;
    for (;;) {
        LocalHeader header;
        DWORD got = 0;
        SetFilePointer(archive, (LONG)position, NULL, FILE_BEGIN);
        if (!ReadFile(archive, &header, sizeof header, &got, NULL) || got != sizeof header ||
            header.signature != 0x04034B50)
            break;
        char name[MAX_PATH], path[MAX_PATH];
        if (header.nameLength >= sizeof name) break;  // no name of the corpora is that long
        ReadFile(archive, name, header.nameLength, &got, NULL);
        name[header.nameLength] = 0;
        SetFilePointer(archive, header.extraLength, NULL, FILE_CURRENT);
        position += sizeof header + header.nameLength + header.extraLength + header.compressedSize;
        snprintf(path, sizeof path, "%s\\%s", argv[3], name);
        for (char* c = path; *c; ++c)
            if (*c == '/') *c = '\\';
        size_t length = strlen(path);
        if (path[length - 1] == '\\') {
            path[length - 1] = 0;
            MakeDirectories(path);
            continue;
        }
        MakeParentOnce(path);
        HANDLE output = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (output == INVALID_HANDLE_VALUE) {
            ++failures;
            continue;
        }
        if (!WriteData(archive, output, header)) ++failures;
        SetTime(output, header);
        CloseHandle(output);
    }
    CloseHandle(archive);
    return failures ? 1 : 0;
}
