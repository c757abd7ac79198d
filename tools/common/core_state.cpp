#include "tools/common/core_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "decode/crc32.h"
#include "platform/posix/native_names.h"
#include "startup/sfx_globals.h"

void EnsureCrcTable() {
    static uint32_t* table = nullptr;
    if (!table) {
        table = (uint32_t*)AllocateBlock(kCrcBlockSize);
        if (!table) throw std::bad_alloc();
        Sfx.CrcTable = table;
        BuildCrcTable();
    }
    Sfx.CrcTable = table;
}

void PrepareCoreState() {
    ResetSfxGlobals();
    EnsureCrcTable();
}

FileHandle OpenWithCore(const std::string& nativePath) {
    // The core takes UTF-8 names. Any other path is reached through its
    // descriptor's /proc name, which is short and plain ASCII, after the
    // tool has opened it itself.
    if (char* coreName = CoreName(nativePath.c_str())) {
        FileHandle file = OpenFileForReading(coreName);
        std::free(coreName);
        return file;
    }
    int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kInvalidFile;
    std::string procName = "\\proc\\self\\fd\\" + std::to_string(fd);
    FileHandle file = OpenFileForReading(procName.c_str());
    close(fd);
    return file;
}
