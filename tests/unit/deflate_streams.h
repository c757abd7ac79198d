#pragma once
// Deflate streams for tests: made by zlib from generated data, or written
// bit by bit for shapes zlib never makes (and for broken ones).
#include <stdint.h>

#include <string>
#include <vector>

#include "zlib_reference.h"  // ZlibInflate

// Raw deflate (no zlib header) of `data` at `level` with `strategy`
// (Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED).
std::string ZlibDeflate(const std::string& data, int level, int strategy);

// One stream made of segments, each compressed at its own level and ended
// with a full flush, so stored and compressed blocks alternate.
std::string ZlibDeflateSegments(const std::vector<std::string>& segments,
                                const std::vector<int>& levels);

uint32_t ZlibCrc(const std::string& data);

// Deterministic test data of `size` bytes.
std::string TextLike(size_t size, uint32_t seed);    // words from a small vocabulary
std::string NoiseBytes(size_t size, uint32_t seed);  // incompressible
std::string BinaryLike(size_t size, uint32_t seed);  // runs, repeats and noise mixed
std::string RepeatingPeriod(size_t size, size_t period, uint32_t seed);

// Writes a deflate stream bit by bit, the first bit of the stream into
// bit 0 of the first byte.
class BitWriter {
public:
    void Bits(uint32_t value, unsigned count);           // value's low bits, lowest first
    void Code(uint32_t code, unsigned length);           // a prefix code, first bit = its top bit
    void BlockHeader(bool last, unsigned type);
    void FixedLiteral(unsigned symbol);                  // 0 to 287 in the fixed code
    void FixedDistance(unsigned symbol) { Code(symbol, 5); }
    // A match in a fixed block: the length symbol with extra bits, then the
    // distance symbol with extra bits (RFC 1951 tables).
    void FixedMatch(unsigned length, unsigned distance);
    void StoredBlock(bool last, const std::string& bytes);  // aligns first
    void AlignToByte();
    std::string Finish();                                // pads the last byte with zeros

private:
    std::string bytes_;
    uint32_t pending_ = 0;
    unsigned pendingBits_ = 0;
};

// Canonical codes of a set of code lengths (RFC 1951, 3.2.2).
std::vector<uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths);

// One symbol of a code-length sequence with the value of its extra bits
// (2 bits for 16, 3 for 17, 7 for 18, none below 16).
struct LengthSymbol {
    unsigned symbol;
    unsigned extra;
};

// The literal/length then distance code lengths, each sent as itself.
std::vector<LengthSymbol> PlainLengths(const std::vector<unsigned>& literalLengths,
                                       const std::vector<unsigned>& distanceLengths);

// The rest of a dynamic block header after the block header bits: the
// counts, the code-length code (19 lengths in symbol order) and the
// sequence, coded with canonical codes of the code-length code.
void WriteDynamicHeader(BitWriter& out, unsigned literalCount, unsigned distanceCount,
                        const std::vector<unsigned>& codeLengthLengths,
                        const std::vector<LengthSymbol>& sequence);

// Writes `symbol` with the canonical code of `lengths`.
void WriteSymbol(BitWriter& out, const std::vector<unsigned>& lengths, unsigned symbol);
