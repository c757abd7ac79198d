#include "member_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "decode/inflate.h"
#include "decode/member_io.h"
#include "decode/zip_cipher.h"
#include "startup/sfx_globals.h"
#include "test_files.h"

static const std::string kArchivePrefix = "earlier members";

static FileHandle Handle(int fd) { return (FileHandle)(intptr_t)fd; }

void StartKeys(const std::string& password) {
    Text text = Counted(password);
    InitKeys(text);
    ReleaseText(text);
}

std::string Encrypt(const std::string& plain, const std::string& password) {
    StartKeys(password);
    std::string cipher = plain;
    for (char& c : cipher) {
        uint8_t p = (uint8_t)c;
        c = (char)(p ^ DecryptByte());
        UpdateKeys(p);
    }
    return cipher;
}

// The output end the decoder writes to, and how to collect what arrived.
struct Output {
    int writeFd = -1, readFd = -1;
    std::string path;
};

static Output OpenOutput(Sink sink, const TempDir& dir) {
    Output out;
    int fds[2];
    switch (sink) {
    case Sink::File:
        out.path = dir / "member.out";
        out.writeFd = open(out.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        break;
    case Sink::CountWrites:
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
        out.writeFd = fds[0];
        out.readFd = fds[1];
        break;
    case Sink::ShortWrites:
        EXPECT_EQ(pipe2(fds, O_NONBLOCK), 0);
        EXPECT_GT(fcntl(fds[1], F_SETPIPE_SZ, 4096), 0);
        out.readFd = fds[0];
        out.writeFd = fds[1];
        break;
    case Sink::FailedWrites:
        out.writeFd = open("/dev/null", O_RDONLY);
        break;
    }
    EXPECT_GE(out.writeFd, 0);
    return out;
}

// Reads what arrived at the other end; each read of the socket is one write.
static void Collect(Sink sink, Output& out, MemberResult& result) {
    close(out.writeFd);
    if (sink == Sink::File) result.output = ReadWholeFile(out.path);
    if (out.readFd < 0) return;
    std::vector<char> chunk(1 << 17);
    ssize_t got;
    while ((got = read(out.readFd, chunk.data(), chunk.size())) > 0) {
        result.output.append(chunk.data(), (size_t)got);
        result.writes.push_back((size_t)got);
    }
    close(out.readFd);
}

MemberResult RunMember(Decoder decoder, const MemberSetup& setup) {
    TempDir dir;
    std::string archivePath = dir / "archive.bin";
    WriteWholeFile(archivePath, kArchivePrefix + setup.data + setup.following);
    Sfx.ArchiveHandle = OpenFileForReading(CoreForm(archivePath).c_str());
    EXPECT_NE(Sfx.ArchiveHandle, kInvalidFile);
    EXPECT_EQ(SetFilePosition(Sfx.ArchiveHandle, (uint32_t)kArchivePrefix.size(), kFromStart),
              kArchivePrefix.size());

    Output out = OpenOutput(setup.sink, dir);
    Sfx.OutputHandle = Handle(out.writeFd);
    Sfx.Header.flags = setup.password.empty() ? 0 : 1;
    if (!setup.password.empty()) StartKeys(setup.password);
    for (char c : setup.encryptionHeader) DecryptNext((uint8_t)c);
    Sfx.RunningCrc = 0xFFFFFFFF;
    Sfx.OutputLeft = 0xFFFFFFFF;  // no declared size to bound the output
    Sfx.CompressedLeft = (uint32_t)(setup.budget < 0 ? (int64_t)setup.data.size() : setup.budget);

    MemberResult result;
    if (decoder == Decoder::Stored) CopyStoredMember();
    else result.status = DecodeMember();

    result.crc = ~Sfx.RunningCrc;
    result.bytesRead =
        SetFilePosition(Sfx.ArchiveHandle, 0, kFromCurrent) - (uint32_t)kArchivePrefix.size();
    CloseFile(Sfx.ArchiveHandle);
    Sfx.ArchiveHandle = kInvalidFile;
    Sfx.OutputHandle = kInvalidFile;
    Collect(setup.sink, out, result);
    return result;
}
