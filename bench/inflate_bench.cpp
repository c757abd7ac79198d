// In-memory decoding speed: the deflate streams of a .zip decoded by the
// core's inflate, by zlib's and by libdeflate's, and the CRC-32 and the
// decryption over the decoded bytes. Runs alternate between the decoders;
// each figure is the median of the runs, in MB/s of output (1 MB = 2^20
// bytes). Prints one JSON object per line for bench/bench.py; asserts
// nothing.
//
// The core's inflate reads through the platform seam, so its input is a
// memory file (memfd) holding the streams and its output goes to /dev/null:
// the reads copy from memory and the writes cost a system call per 32 KB.
// zlib decodes into a 32 KB buffer, as the core's window; libdeflate
// decodes each stream whole, in one call, into a buffer of the stream's
// known uncompressed size (the only way it decodes).
#include <fcntl.h>
#include <libdeflate.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "decode/crc32.h"
#include "decode/inflate.h"
#include "decode/zip_cipher.h"
#include "startup/sfx_globals.h"
#include "tests/unit/zlib_reference.h"

namespace {

struct Stream {
    size_t offset;  // in the memory file and in `compressed`
    uint32_t size;
    uint32_t outputSize;
    uint32_t crc;
};

uint16_t Get16(const std::string& b, size_t at) { return (uint8_t)b[at] | (uint8_t)b[at + 1] << 8; }
uint32_t Get32(const std::string& b, size_t at) { return Get16(b, at) | (uint32_t)Get16(b, at + 2) << 16; }

// The deflated, unencrypted members of a .zip, found through its central
// directory; their data is appended to `compressed`.
std::vector<Stream> ReadStreams(const std::string& zip, std::string& compressed) {
    size_t end = zip.size() >= 22 ? zip.size() - 22 : 0;
    while (end > 0 && Get32(zip, end) != 0x06054B50) --end;
    if (Get32(zip, end) != 0x06054B50) {
        fprintf(stderr, "inflate-bench: no end record\n");
        exit(2);
    }
    uint32_t entries = Get16(zip, end + 10), at = Get32(zip, end + 16);
    std::vector<Stream> streams;
    for (uint32_t i = 0; i < entries; ++i) {
        uint16_t flags = Get16(zip, at + 8), method = Get16(zip, at + 10);
        uint32_t crc = Get32(zip, at + 16), size = Get32(zip, at + 20), outputSize = Get32(zip, at + 24);
        uint32_t local = Get32(zip, at + 42);
        at += 46 + Get16(zip, at + 28) + Get16(zip, at + 30) + Get16(zip, at + 32);
        if (method != 8 || (flags & 1)) continue;
        size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
        streams.push_back({compressed.size(), size, outputSize, crc});
        compressed.append(zip, data, size);
    }
    return streams;
}

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The core's inflate over every stream. Returns how many came out with a
// CRC other than the recorded one (0 when all is well).
int DecodeWithCore(const std::vector<Stream>& streams, int archiveFd, int nullFd) {
    int wrong = 0;
    Sfx.ArchiveHandle = (FileHandle)(intptr_t)archiveFd;
    Sfx.OutputHandle = (FileHandle)(intptr_t)nullFd;
    Sfx.Header.flags = 0;
    for (const Stream& s : streams) {
        lseek(archiveFd, (off_t)s.offset, SEEK_SET);
        Sfx.CompressedLeft = (uint32_t)s.size;
        Sfx.RunningCrc = 0xFFFFFFFF;
        Sfx.OutputLeft = 0xFFFFFFFF;  // no declared size to bound the output
        DecodeMember();
        if ((Sfx.RunningCrc ^ 0xFFFFFFFF) != s.crc) ++wrong;
    }
    return wrong;
}

// zlib's raw inflate over every stream into a 32 KB buffer, as the core's
// window, optionally with zlib's CRC over each buffer.
int DecodeWithZlib(const std::vector<Stream>& streams, const std::string& compressed, bool withCrc) {
    static unsigned char out[32768];
    z_stream z = {};
    inflateInit2(&z, -15);
    int wrong = 0;
    for (const Stream& s : streams) {
        inflateReset(&z);
        z.next_in = (Bytef*)compressed.data() + s.offset;
        z.avail_in = s.size;
        uLong crc = crc32(0, nullptr, 0);
        int result;
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            result = inflate(&z, Z_NO_FLUSH);
            if (withCrc) crc = crc32(crc, out, (uInt)(sizeof out - z.avail_out));
        } while (result == Z_OK);
        if (result != Z_STREAM_END || (withCrc && crc != s.crc)) ++wrong;
    }
    inflateEnd(&z);
    return wrong;
}

// libdeflate's whole-buffer decoder over every stream, each into `out`
// (as large as the largest stream's output), optionally with libdeflate's
// CRC over the output.
int DecodeWithLibdeflate(libdeflate_decompressor* decompressor, const std::vector<Stream>& streams,
                         const std::string& compressed, std::vector<unsigned char>& out,
                         bool withCrc) {
    int wrong = 0;
    for (const Stream& s : streams) {
        size_t produced = 0;
        libdeflate_result result = libdeflate_deflate_decompress(
            decompressor, compressed.data() + s.offset, s.size, out.data(), s.outputSize, &produced);
        if (result != LIBDEFLATE_SUCCESS || produced != s.outputSize ||
            (withCrc && libdeflate_crc32(0, out.data(), produced) != s.crc))
            ++wrong;
    }
    return wrong;
}

// The byte-wise table CRC, as the core had it before slicing: the reference.
uint32_t ByteWiseCrc(const uint8_t* bytes, size_t count, uint32_t crc) {
    for (size_t i = 0; i < count; ++i) crc = Sfx.CrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

struct Result {
    std::string name;
    std::vector<double> seconds;
    double megabytes;
    int wrong = 0;
};

double Speed(const Result& r) { return r.megabytes / Median(r.seconds); }

// One result; with references, also its speed as a ratio to theirs
// ("vs_zlib", "vs_libdeflate").
void Print(const Result& r, const Result* zlib = nullptr, const Result* libdeflate = nullptr) {
    double median = Median(r.seconds);
    printf("{\"name\": \"%s\", \"mb_per_s\": %.1f, \"median_s\": %.4f, \"runs\": %zu, \"wrong\": %d",
           r.name.c_str(), r.megabytes / median, median, r.seconds.size(), r.wrong);
    if (zlib) printf(", \"vs_zlib\": %.3f", Speed(r) / Speed(*zlib));
    if (libdeflate) printf(", \"vs_libdeflate\": %.3f", Speed(r) / Speed(*libdeflate));
    printf("}\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: inflate-bench FILE.zip [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? atoi(argv[2]) : 5;
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream whole;
    whole << in.rdbuf();
    std::string compressed;
    std::vector<Stream> streams = ReadStreams(whole.str(), compressed);
    double outputMb = 0;
    for (const Stream& s : streams) outputMb += s.outputSize / 1048576.0;

    ResetSfxGlobals();
    Sfx.CrcTable = (uint32_t*)malloc(kCrcBlockSize);
    BuildCrcTable();
    int archiveFd = memfd_create("streams", 0);
    if (write(archiveFd, compressed.data(), compressed.size()) != (ssize_t)compressed.size()) return 1;
    int nullFd = open("/dev/null", O_WRONLY);

    printf("{\"streams\": %zu, \"compressed_mb\": %.1f, \"output_mb\": %.1f}\n", streams.size(),
           compressed.size() / 1048576.0, outputMb);
    Result core{"inflate: doromi (with CRC-32)", {}, outputMb};
    Result zlib{"inflate: zlib", {}, outputMb};
    Result zlibCrc{"inflate: zlib + crc32()", {}, outputMb};
    Result libdeflate{"inflate: libdeflate", {}, outputMb};
    Result libdeflateCrc{"inflate: libdeflate + libdeflate_crc32()", {}, outputMb};
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    uint32_t largest = 0;
    for (const Stream& s : streams) largest = std::max(largest, s.outputSize);
    std::vector<unsigned char> wholeOutput(largest);
    for (int run = 0; run < runs; ++run) {
        double t = Now();
        core.wrong = DecodeWithCore(streams, archiveFd, nullFd);
        core.seconds.push_back(Now() - t);
        t = Now();
        zlib.wrong = DecodeWithZlib(streams, compressed, false);
        zlib.seconds.push_back(Now() - t);
        t = Now();
        zlibCrc.wrong = DecodeWithZlib(streams, compressed, true);
        zlibCrc.seconds.push_back(Now() - t);
        t = Now();
        libdeflate.wrong = DecodeWithLibdeflate(decompressor, streams, compressed, wholeOutput, false);
        libdeflate.seconds.push_back(Now() - t);
        t = Now();
        libdeflateCrc.wrong = DecodeWithLibdeflate(decompressor, streams, compressed, wholeOutput, true);
        libdeflateCrc.seconds.push_back(Now() - t);
    }
    libdeflate_free_decompressor(decompressor);
    for (const Result* r : {&core, &zlib, &zlibCrc, &libdeflate, &libdeflateCrc}) Print(*r, &zlib, &libdeflate);

    // CRC-32 and decryption over the decoded bytes (up to 64 MB of them).
    std::string plain;
    for (const Stream& s : streams) {
        if (plain.size() >= (64u << 20)) break;
        std::string decoded;
        ZlibInflate(compressed.substr(s.offset, s.size), decoded);
        plain += decoded;
    }
    const uint8_t* bytes = (const uint8_t*)plain.data();
    double plainMb = plain.size() / 1048576.0;
    Result byteWise{"crc-32: byte-wise table", {}, plainMb};
    Result sliced{"crc-32: doromi", {}, plainMb};
    Result zlibCrc32{"crc-32: zlib crc32()", {}, plainMb};
    Result libdeflateCrc32{"crc-32: libdeflate_crc32()", {}, plainMb};
    Result decrypt{"decrypt: doromi", {}, plainMb};
    std::string buffer = plain;
    for (int run = 0; run < runs; ++run) {
        double t = Now();
        uint32_t reference = ByteWiseCrc(bytes, plain.size(), 0xFFFFFFFF);
        byteWise.seconds.push_back(Now() - t);
        t = Now();
        uint32_t ours = 0xFFFFFFFF;
        for (size_t at = 0; at < plain.size(); at += 32768)
            UpdateCrcBuffer(bytes + at, (int32_t)std::min<size_t>(32768, plain.size() - at), ours);
        sliced.seconds.push_back(Now() - t);
        sliced.wrong = ours != reference;
        t = Now();
        uLong theirs = crc32(0, bytes, (uInt)plain.size());
        zlibCrc32.seconds.push_back(Now() - t);
        zlibCrc32.wrong = (uint32_t)theirs != (reference ^ 0xFFFFFFFF);
        t = Now();
        uint32_t libdeflates = libdeflate_crc32(0, bytes, plain.size());
        libdeflateCrc32.seconds.push_back(Now() - t);
        libdeflateCrc32.wrong = libdeflates != (reference ^ 0xFFFFFFFF);
        Sfx.Key0 = 0x12345678, Sfx.Key1 = 0x23456789, Sfx.Key2 = 0x34567890;
        t = Now();
        for (size_t at = 0; at < buffer.size(); at += 32768)
            DecryptBuffer((uint8_t*)&buffer[at], (uint32_t)std::min<size_t>(32768, buffer.size() - at));
        decrypt.seconds.push_back(Now() - t);
    }
    for (const Result* r : {&byteWise, &sliced, &zlibCrc32, &libdeflateCrc32})
        Print(*r, &zlibCrc32, &libdeflateCrc32);
    Print(decrypt);
    free(Sfx.CrcTable);
    return 0;
}
