// The inflate decoder against zlib and other real encoders: every level and
// strategy, window-sized outputs, matches across the window's end, stored
// blocks between compressed ones, and code shapes zlib never makes.
#include <stdlib.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "crc_table.h"
#include "decode/zip_cipher.h"
#include "deflate_streams.h"
#include "member_run.h"
#include "test_files.h"
#include "zip_builder.h"

class InflateTest : public WithCrcTable {
protected:
    // Decodes `stream` as a member followed by more archive bytes and
    // checks the output, its CRC and that no byte past the member was read.
    void ExpectDecodes(const std::string& stream, const std::string& data, const std::string& what) {
        MemberSetup setup;
        setup.data = stream;
        setup.following = std::string("PK\3\4") + NoiseBytes(5000, 9);
        MemberResult result = RunMember(Decoder::Inflate, setup);
        EXPECT_EQ(result.status, kInflateOk) << what;
        EXPECT_EQ(result.output.size(), data.size()) << what;
        EXPECT_TRUE(result.output == data) << what;
        EXPECT_EQ(result.crc, ZlibCrc(data)) << what;
        EXPECT_LE(result.bytesRead, stream.size()) << what;
    }

    // Decodes a hand-made stream and checks it against zlib's reading.
    void ExpectDecodesLikeZlib(const std::string& stream, const std::string& what) {
        std::string expected;
        ASSERT_TRUE(ZlibInflate(stream, expected)) << what;
        ExpectDecodes(stream, expected, what);
    }
};

TEST_F(InflateTest, EveryLevelAndStrategyOfZlib) {
    const std::vector<std::string> corpus = {
        "", "a", TextLike(3, 1), TextLike(70000, 2), BinaryLike(120000, 3), NoiseBytes(40000, 4),
        RepeatingPeriod(90000, 1500, 5),
    };
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (int level = 0; level <= 9; ++level)
        for (int strategy : strategies)
            for (size_t i = 0; i < corpus.size(); ++i)
                ExpectDecodes(ZlibDeflate(corpus[i], level, strategy), corpus[i],
                              "level " + std::to_string(level) + ", strategy " +
                                  std::to_string(strategy) + ", input " + std::to_string(i));
}

TEST_F(InflateTest, FullWindowsLeaveInWholeWritesWithoutAnEmptyFinalWrite) {
    const struct {
        size_t size;
        std::vector<size_t> writes;
    } cases[] = {
        {0, {}},
        {32767, {32767}},
        {32768, {32768}},
        {65536, {32768, 32768}},
        {70000, {32768, 32768, 70000 - 65536}},
    };
    for (const auto& c : cases) {
        std::string data = BinaryLike(c.size, 11);
        MemberSetup setup;
        setup.data = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
        setup.sink = Sink::CountWrites;
        MemberResult result = RunMember(Decoder::Inflate, setup);
        EXPECT_EQ(result.status, kInflateOk) << c.size;
        EXPECT_EQ(result.writes, c.writes) << c.size;
        EXPECT_TRUE(result.output == data) << c.size;
    }
}

// Stored blocks fill the window to a chosen position, then fixed-code
// matches run across its end, from before and after the wrap.
TEST_F(InflateTest, MatchesAcrossTheWindowEnd) {
    std::string noise = NoiseBytes(40000, 21);
    {   // a match that starts 10 bytes before the window's end: two pieces
        BitWriter out;
        out.StoredBlock(false, noise.substr(0, 32758));
        out.BlockHeader(true, 1);
        out.FixedMatch(20, 100);
        out.FixedLiteral(256);
        std::string stream = out.Finish();
        ExpectDecodesLikeZlib(stream, "destination crosses the end");
        MemberSetup setup;
        setup.data = stream;
        setup.sink = Sink::CountWrites;
        EXPECT_EQ(RunMember(Decoder::Inflate, setup).writes, (std::vector<size_t>{32768, 10}));
    }
    {   // after the wrap: sources that cross the window's end, the farthest
        // distance, and one byte repeated 258 times
        BitWriter out;
        out.StoredBlock(false, noise.substr(0, 32000));
        out.StoredBlock(false, noise.substr(32000, 8000));
        out.BlockHeader(true, 1);
        out.FixedMatch(258, 7240);   // source 8 bytes before the end, then from 0
        out.FixedMatch(100, 32768);  // the byte written 32,768 bytes earlier
        out.FixedMatch(258, 40);     // overlapping
        out.FixedMatch(258, 1);
        for (int i = 0; i < 300; ++i) out.FixedMatch(3 + i % 250, 1 + (i * 977) % 32768);
        out.FixedLiteral(256);
        ExpectDecodesLikeZlib(out.Finish(), "sources across the end");
    }
    {   // a match that ends exactly at the window's end, then more symbols
        BitWriter out;
        out.StoredBlock(false, noise.substr(0, 32768 - 258));
        out.BlockHeader(false, 1);
        out.FixedMatch(258, 1000);
        for (int i = 0; i < 200; ++i) out.FixedLiteral('a' + i % 26);
        out.FixedLiteral(256);
        out.BlockHeader(true, 1);
        out.FixedMatch(258, 32768 - 258);
        out.FixedLiteral(256);
        ExpectDecodesLikeZlib(out.Finish(), "a match ending at the window's end");
    }
    std::string periodic = RepeatingPeriod(300000, 32700, 22);  // distances close to the window
    ExpectDecodes(ZlibDeflate(periodic, 9, Z_DEFAULT_STRATEGY), periodic, "long distances");
}

TEST_F(InflateTest, StoredBlocksBetweenCompressedOnesKeepTheWindow) {
    std::string a = NoiseBytes(20000, 31), b = TextLike(30000, 32);
    // Later segments repeat earlier ones, so matches copy bytes that came
    // from stored blocks and the other way round.
    std::vector<std::string> segments = {a, b, a + b, b.substr(1000) + a, a};
    std::string data;
    for (const std::string& s : segments) data += s;
    ExpectDecodes(ZlibDeflateSegments(segments, {0, 9, 0, 6, 1}), data, "segments");

    BitWriter out;  // an empty stored block, then a fixed block copying from a stored one
    out.StoredBlock(false, "");
    out.StoredBlock(false, "stored bytes");
    out.BlockHeader(false, 1);
    out.FixedMatch(12, 12);
    out.FixedLiteral(256);
    out.StoredBlock(true, "");
    ExpectDecodesLikeZlib(out.Finish(), "hand-made stored and fixed");
}

TEST_F(InflateTest, SeveralFixedBlocksAndEmptyMembers) {
    BitWriter out;
    for (int block = 0; block < 4; ++block) {
        out.BlockHeader(block == 3, 1);
        for (unsigned symbol : {0u, 143u, 144u, 250u}) out.FixedLiteral(symbol + block);
        if (block > 0) out.FixedMatch(3 + block, 4);
        out.FixedLiteral(256);
    }
    ExpectDecodesLikeZlib(out.Finish(), "four fixed blocks");

    BitWriter emptyStored, emptyFixed;
    emptyStored.StoredBlock(true, "");
    emptyFixed.BlockHeader(true, 1);
    emptyFixed.FixedLiteral(256);
    for (const std::string& stream : {emptyStored.Finish(), emptyFixed.Finish()}) {
        MemberSetup setup;
        setup.data = stream;
        setup.sink = Sink::CountWrites;
        MemberResult result = RunMember(Decoder::Inflate, setup);
        EXPECT_EQ(result.status, kInflateOk);
        EXPECT_TRUE(result.writes.empty());
    }
}

// A literal/length code in which only end-of-block has a length (one bit):
// complete as a single one-bit code, and its other pattern is invalid.
TEST_F(InflateTest, CodeOfOnlyEndOfBlock) {
    const std::vector<unsigned> codeLengthCode = {1, 2, 0, 0, 0, 0, 0, 0, 0, 0,
                                                  0, 0, 0, 0, 0, 0, 0, 0, 2};
    const std::vector<LengthSymbol> lengths = {{18, 127}, {18, 107}, {1, 0}, {0, 0}};
    for (unsigned pattern : {0u, 1u}) {
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 257, 1, codeLengthCode, lengths);
        out.Bits(pattern, 1);
        MemberSetup setup;
        setup.data = out.Finish();
        MemberResult result = RunMember(Decoder::Inflate, setup);
        EXPECT_EQ(result.status, pattern == 0 ? kInflateOk : kDataError);
        EXPECT_TRUE(result.output.empty());
        if (pattern == 0) ExpectDecodesLikeZlib(setup.data, "only end of block");
    }
}

// Dynamic blocks with short codes: the end-of-block code shapes the root
// table, a distance code may be empty when no match uses it, and codes of
// 15 bits go through sub-tables.
TEST_F(InflateTest, DynamicCodesOfUnusualShapes) {
    {   // literals only, the distance code empty
        std::vector<unsigned> literal(257, 0), distance = {0};
        literal['x'] = 1;
        literal[256] = 1;
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 257, 1, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                           PlainLengths(literal, distance));
        for (int i = 0; i < 5; ++i) WriteSymbol(out, literal, 'x');
        WriteSymbol(out, literal, 256);
        ExpectDecodesLikeZlib(out.Finish(), "empty distance code");
    }
    {   // lengths 1, 2, ..., 15, 15: the longest codes possible
        std::vector<unsigned> literal(286, 0), distance(30, 0);
        const unsigned symbols[] = {'e', 256, 't', 257, 'a', 270, 'o', 284, 'i', 285, 'n', 'z', 260, 'q', 0, 255};
        for (unsigned i = 0; i < 16; ++i) literal[symbols[i]] = i < 15 ? i + 1 : 15;
        for (unsigned i = 0; i < 30; ++i) distance[i] = i < 2 ? 4 : 5;  // complete
        std::vector<unsigned> codeLengthCode(19, 0);
        for (unsigned s = 0; s <= 15; ++s) codeLengthCode[s] = 4;
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 286, 30, codeLengthCode, PlainLengths(literal, distance));
        for (unsigned s : {101u, 116u, 97u, 111u, 105u, 110u, 122u, 113u, 0u, 255u}) WriteSymbol(out, literal, s);
        for (unsigned s : {257u, 270u, 284u, 285u, 260u}) {
            WriteSymbol(out, literal, s);
            out.Bits(0, s == 270 ? 2 : s == 284 ? 5 : 0);
            WriteSymbol(out, distance, 3);
        }
        WriteSymbol(out, literal, 256);
        ExpectDecodesLikeZlib(out.Finish(), "codes of 15 bits");
    }
}

// Streams from other encoders, taken out of the archives they write.
class OtherEncoders : public InflateTest {
protected:
    struct Member {
        uint16_t flags = 0, method = 0;
        std::string header, data;  // encryption header, then the data
    };
    static Member FirstMember(const std::string& zip) {
        Member member;
        FirstHeader header = ReadFirstHeader(zip);
        member.flags = header.flags;
        member.method = header.method;
        size_t size = header.compressedSize;
        if (member.flags & 8) size = zip.size() - header.dataStart;  // sizes after the data: take the rest
        std::string bytes = zip.substr(header.dataStart, size);
        size_t headerSize = (member.flags & 1) ? 12 : 0;
        member.header = bytes.substr(0, headerSize);
        member.data = bytes.substr(headerSize);
        return member;
    }
    std::string Archive(const std::string& command, const TempDir& dir) {
        std::string full = "cd '" + dir.path() + "' && rm -f out.zip && " + command + " >/dev/null 2>&1";
        EXPECT_EQ(system(full.c_str()), 0) << command;
        return ReadWholeFile(dir / "out.zip");
    }
};

TEST_F(OtherEncoders, InfoZipAndSevenZip) {
    TempDir dir;
    std::string source = TextLike(150000, 41) + BinaryLike(200000, 42) + NoiseBytes(30000, 43) +
                         RepeatingPeriod(100000, 20000, 44);
    WriteWholeFile(dir / "source.bin", source);
    for (const char* command : {"zip -q -9 out.zip source.bin", "zip -q -1 out.zip source.bin",
                                "7z a -tzip -mx=9 out.zip source.bin", "7z a -tzip -mx=1 out.zip source.bin",
                                "7z a -tzip -mx=5 -mm=Deflate64 out.zip source.bin"}) {
        Member member = FirstMember(Archive(command, dir));
        if (member.method == 9) continue;  // Deflate64 is not ours; the command checks 7z's variety
        ASSERT_EQ(member.method, 8) << command;
        ExpectDecodes(member.data, source, command);
    }
}

TEST_F(OtherEncoders, EncryptedDeflatedMember) {
    TempDir dir;
    std::string source = TextLike(100000, 51) + BinaryLike(60000, 52);
    WriteWholeFile(dir / "source.bin", source);
    Member member = FirstMember(Archive("zip -q -6 -P doromi out.zip source.bin", dir));
    ASSERT_EQ(member.flags & 1, 1);
    MemberSetup setup;
    setup.data = member.data;
    setup.password = "doromi";
    setup.encryptionHeader = member.header;
    MemberResult result = RunMember(Decoder::Inflate, setup);
    EXPECT_EQ(result.status, kInflateOk);
    EXPECT_TRUE(result.output == source);
    EXPECT_EQ(result.crc, ZlibCrc(source));
}
