// Fuzz target for the inflate decoder: arbitrary bytes are a deflated
// member's data. Decoding must end (libFuzzer's timeout catches a hang),
// stay inside its buffers and release them (AddressSanitizer with leak
// checking, UndefinedBehaviorSanitizer), fold exactly the output into the
// CRC, and produce exactly what zlib produces whenever zlib decodes the
// stream to its end; when zlib stops at a distance too far back, decoding
// must fail here too, after the same output.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "decode/crc32.h"
#include "decode/inflate.h"
#include "startup/sfx_globals.h"
#include "tests/unit/zlib_reference.h"

static int archiveFd = -1, outputFd = -1;

static FileHandle Handle(int fd) { return (FileHandle)(intptr_t)fd; }

static void Check(bool condition, const char* what) {
    if (condition) return;
    fprintf(stderr, "inflate_fuzz: %s\n", what);
    abort();
}

static void Rewrite(int fd, const uint8_t* data, size_t size) {
    Check(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "cannot reset a memory file");
    for (size_t done = 0; done < size;) {
        ssize_t put = write(fd, data + done, size - done);
        Check(put > 0, "cannot fill the archive");
        done += (size_t)put;
    }
    lseek(fd, 0, SEEK_SET);
}

static std::string ReadAll(int fd) {
    std::string bytes;
    lseek(fd, 0, SEEK_SET);
    char chunk[65536];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, (size_t)got);
    return bytes;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ResetSfxGlobals();
    Sfx.CrcTable = (uint32_t*)malloc(kCrcBlockSize);
    BuildCrcTable();
    archiveFd = memfd_create("archive", 0);
    outputFd = memfd_create("output", 0);
    Check(archiveFd >= 0 && outputFd >= 0, "cannot make memory files");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // The member is followed by more archive: none of it may be read.
    static const uint8_t kFollowing[] = "PK\3\4 next member";
    std::string archive((const char*)data, size);
    archive.append((const char*)kFollowing, sizeof kFollowing);
    Rewrite(archiveFd, (const uint8_t*)archive.data(), archive.size());
    Check(ftruncate(outputFd, 0) == 0 && lseek(outputFd, 0, SEEK_SET) == 0, "cannot reset output");

    Sfx.ArchiveHandle = Handle(archiveFd);
    Sfx.OutputHandle = Handle(outputFd);
    Sfx.Header.flags = 0;
    Sfx.RunningCrc = 0xFFFFFFFF;
    Sfx.OutputLeft = 0xFFFFFFFF;  // no declared size to bound the output
    Sfx.CompressedLeft = (uint32_t)size;
    InflateStatus status = DecodeMember();

    Check(status <= kOutOfMemory, "status out of range");
    Check(lseek(archiveFd, 0, SEEK_CUR) <= (off_t)size, "read past the member's data");
    std::string output = ReadAll(outputFd);
    uint32_t crc = (uint32_t)crc32(0, (const Bytef*)output.data(), (uInt)output.size());
    Check(~Sfx.RunningCrc == crc, "the CRC does not cover exactly the output");

    std::string expected, zlibError;
    if (ZlibInflate(std::string((const char*)data, size), expected, &zlibError)) {
        Check(status == kInflateOk, "zlib decodes a stream that fails here");
        Check(output == expected, "output differs from zlib's");
    } else if (zlibError == "invalid distance too far back") {
        Check(status == kDataError, "zlib finds a distance too far back that decodes here");
        Check(output == expected, "output before a distance too far back differs from zlib's");
    }
    return 0;
}
