#pragma once
// An archive's index as other tools read it: the end record (and the ZIP64
// end record when there is one) found from the end of the file, then every
// central directory record. Only the directory is held in memory; members'
// data stay in the file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct CentralRecord {
    uint16_t madeBy, flags, method, dosTime, dosDate;
    uint32_t crc;
    uint64_t compressedSize, size;  // ZIP64 sizes taken from their field
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint64_t localOffset;  // as the record says: from the archive's start, which may be past the file's start
    std::string name, extra;
};

struct CentralDirectory {
    std::vector<CentralRecord> records;
    uint64_t fileSize;
    uint64_t start;       // where the first record lies in the file
    uint64_t end;         // where the end records begin (the ZIP64 one when there is one)
    uint64_t recordsEnd;  // just past the end record and its comment
    int64_t shift;        // what to add to the records' offsets: bytes before the archive's start
    bool zip64;           // a ZIP64 end record is there
};

// Reads the directory of the archive `file` (`path` for messages); throws
// std::runtime_error naming what is damaged or missing.
CentralDirectory ReadCentralDirectory(std::FILE* file, const std::string& path);
