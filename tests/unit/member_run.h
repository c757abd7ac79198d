#pragma once
// Runs one member's decoding as the extraction does: the archive is a real
// file positioned at the member's data, the output a real file (or, to
// observe single writes or make them fail, a socket or a pipe), the CRC
// register preset and the budget set. Needs the CRC table (WithCrcTable).
#include <stdint.h>

#include <string>
#include <vector>

#include "decode/decode_table.h"

enum class Decoder { Stored, Inflate };

enum class Sink {
    File,         // a file in a temporary directory
    CountWrites,  // a sequenced-packet socket: every write arrives as one message
    ShortWrites,  // a non-blocking pipe of one page: the first write is cut short, later ones fail
    FailedWrites, // a descriptor open for reading only: every write fails
};

struct MemberSetup {
    std::string data;         // the member's data as it lies in the archive
    std::string following;    // what the archive holds after it
    int64_t budget = -1;      // Sfx.CompressedLeft; -1: the size of `data`
    std::string password;     // non-empty: the member is encrypted and the keys start from it
    std::string encryptionHeader;  // bytes the keys pass over before the data
    Sink sink = Sink::File;
};

struct MemberResult {
    InflateStatus status = kInflateOk;  // always kInflateOk for a stored member
    std::string output;                 // the bytes that reached the output
    uint32_t crc = 0;                   // the CRC as the extraction compares it
    uint32_t bytesRead = 0;             // archive bytes read from the member's start
    std::vector<size_t> writes;         // write sizes, with Sink::CountWrites
};

MemberResult RunMember(Decoder decoder, const MemberSetup& setup);

// Traditional ZIP encryption of `plain` with keys started from `password`.
std::string Encrypt(const std::string& plain, const std::string& password);

// Starts the keys from `password` (InitKeys).
void StartKeys(const std::string& password);
