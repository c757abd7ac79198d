#include "deflate_streams.h"

#include <gtest/gtest.h>

std::string ZlibDeflate(const std::string& data, int level, int strategy) {
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)out.data();
    z.avail_out = (uInt)out.size();
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string ZlibDeflateSegments(const std::vector<std::string>& segments,
                                const std::vector<int>& levels) {
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, levels[0], Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) EXPECT_EQ(deflateParams(&z, levels[i], Z_DEFAULT_STRATEGY), Z_OK);
        z.next_in = (Bytef*)segments[i].data();
        z.avail_in = (uInt)segments[i].size();
        int flush = i + 1 == segments.size() ? Z_FINISH : Z_FULL_FLUSH;
        ZlibDrain(z, out, [&] { return deflate(&z, flush); });
    }
    deflateEnd(&z);
    return out;
}

uint32_t ZlibCrc(const std::string& data) {
    return (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size());
}

// A small linear congruential generator: the same data on every machine.
static uint32_t NextRandom(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return state >> 8;
}

std::string TextLike(size_t size, uint32_t seed) {
    static const char* words[] = {"도로미 ", "the ", "archive ", "member ", "window ",
                                  "inflate ", "block\n", "of ", "codes, ", "42 "};
    std::string text;
    while (text.size() < size) text += words[NextRandom(seed) % 10];
    text.resize(size);
    return text;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = (char)NextRandom(seed);
    return bytes;
}

std::string BinaryLike(size_t size, uint32_t seed) {
    std::string bytes;
    while (bytes.size() < size) {
        uint32_t kind = NextRandom(seed) % 4, length = 1 + NextRandom(seed) % 300;
        if (kind == 0) bytes.append(length, (char)NextRandom(seed));
        if (kind == 1) bytes += NoiseBytes(length, NextRandom(seed));
        if (kind >= 2 && !bytes.empty()) {  // a repeat from up to 40,000 bytes back
            size_t distance = 1 + NextRandom(seed) % std::min<size_t>(bytes.size(), 40000);
            for (uint32_t i = 0; i < length; ++i) bytes += bytes[bytes.size() - distance];
        }
    }
    bytes.resize(size);
    return bytes;
}

std::string RepeatingPeriod(size_t size, size_t period, uint32_t seed) {
    std::string unit = NoiseBytes(period, seed), bytes;
    while (bytes.size() < size) bytes += unit;
    bytes.resize(size);
    return bytes;
}

void BitWriter::Bits(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        pending_ |= ((value >> i) & 1) << pendingBits_;
        if (++pendingBits_ == 8) {
            bytes_ += (char)pending_;
            pending_ = 0;
            pendingBits_ = 0;
        }
    }
}

void BitWriter::Code(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bits((code >> i) & 1, 1);
}

void BitWriter::BlockHeader(bool last, unsigned type) {
    Bits(last ? 1 : 0, 1);
    Bits(type, 2);
}

void BitWriter::FixedLiteral(unsigned symbol) {
    if (symbol < 144) Code(0x30 + symbol, 8);
    else if (symbol < 256) Code(0x190 + symbol - 144, 9);
    else if (symbol < 280) Code(symbol - 256, 7);
    else Code(0xC0 + symbol - 280, 8);
}

static const unsigned kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const unsigned kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const unsigned kDistanceBase[] = {1,    2,    3,    4,    5,    7,     9,     13,    17,   25,
                                         33,   49,   65,   97,   129,  193,   257,   385,   513,  769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

void BitWriter::FixedMatch(unsigned length, unsigned distance) {
    unsigned l = 28;
    while (kLengthBase[l] > length) --l;
    FixedLiteral(257 + l);
    Bits(length - kLengthBase[l], kLengthExtra[l]);
    unsigned d = 29;
    while (kDistanceBase[d] > distance) --d;
    FixedDistance(d);
    Bits(distance - kDistanceBase[d], d < 4 ? 0 : d / 2 - 1);
}

void BitWriter::AlignToByte() {
    if (pendingBits_ > 0) Bits(0, 8 - pendingBits_);
}

void BitWriter::StoredBlock(bool last, const std::string& bytes) {
    BlockHeader(last, 0);
    AlignToByte();
    Bits((uint32_t)bytes.size(), 16);
    Bits(~(uint32_t)bytes.size() & 0xFFFF, 16);
    bytes_ += bytes;
}

std::string BitWriter::Finish() {
    AlignToByte();
    return bytes_;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths) {
    unsigned count[16] = {}, next[16] = {};
    for (unsigned length : lengths) ++count[length];
    count[0] = 0;
    for (unsigned bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

std::vector<LengthSymbol> PlainLengths(const std::vector<unsigned>& literalLengths,
                                       const std::vector<unsigned>& distanceLengths) {
    std::vector<LengthSymbol> sequence;
    for (unsigned length : literalLengths) sequence.push_back({length, 0});
    for (unsigned length : distanceLengths) sequence.push_back({length, 0});
    return sequence;
}

void WriteDynamicHeader(BitWriter& out, unsigned literalCount, unsigned distanceCount,
                        const std::vector<unsigned>& codeLengthLengths,
                        const std::vector<LengthSymbol>& sequence) {
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    out.Bits(literalCount - 257, 5);
    out.Bits(distanceCount - 1, 5);
    out.Bits(19 - 4, 4);
    for (unsigned symbol : order) out.Bits(codeLengthLengths[symbol], 3);
    for (const LengthSymbol& item : sequence) {
        WriteSymbol(out, codeLengthLengths, item.symbol);
        unsigned extraBits = item.symbol == 16 ? 2 : item.symbol == 17 ? 3 : item.symbol == 18 ? 7 : 0;
        out.Bits(item.extra, extraBits);
    }
}

void WriteSymbol(BitWriter& out, const std::vector<unsigned>& lengths, unsigned symbol) {
    out.Code(CanonicalCodes(lengths)[symbol], lengths[symbol]);
}
