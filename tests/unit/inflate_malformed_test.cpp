// Broken deflate streams: each case pairs a good stream with a broken
// variant of it. The broken one must end decoding with the expected
// status, never hang or leave its buffers, and leave a CRC that differs
// from the good stream's output, so the extraction refuses the member.
// Each case also says whether zlib refuses the broken stream, which is
// checked: a stream the decoder refuses and zlib takes is a choice made
// on purpose, never by accident.
#include <ctype.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "crc_table.h"
#include "deflate_streams.h"
#include "member_run.h"

namespace {

// A small complete dynamic code: literals 'a' and 'b', end of block and
// length symbol 257 (3 bytes) with two bits each; distances 1 and 2 with
// one bit each. The code-length code sends 0, 1 and 2.
struct SmallCode {
    std::vector<unsigned> literal = std::vector<unsigned>(258, 0);
    std::vector<unsigned> distance = {1, 1};
    std::vector<unsigned> codeLength = std::vector<unsigned>(19, 0);
    SmallCode() {
        literal['a'] = literal['b'] = literal[256] = literal[257] = 2;
        codeLength[0] = 1;
        codeLength[1] = codeLength[2] = 2;
    }
};

// "ab", then a match of 3 at distance 2, then end of block.
std::string DynamicStream(const SmallCode& code, bool withMatch = true) {
    BitWriter out;
    out.BlockHeader(true, 2);
    WriteDynamicHeader(out, (unsigned)code.literal.size(), (unsigned)code.distance.size(),
                       code.codeLength, PlainLengths(code.literal, code.distance));
    WriteSymbol(out, code.literal, 'a');
    WriteSymbol(out, code.literal, 'b');
    if (withMatch) {
        WriteSymbol(out, code.literal, 257);
        WriteSymbol(out, code.distance, 1);
    }
    WriteSymbol(out, code.literal, 256);
    return out.Finish();
}

// A fixed block: "abc", then what `middle` writes, then "end" and the end
// of the block. A break in the middle leaves "end" unwritten.
std::string FixedStream(const std::function<void(BitWriter&)>& middle, unsigned type = 1) {
    BitWriter out;
    out.BlockHeader(true, type);
    for (char c : std::string("abc")) out.FixedLiteral((unsigned char)c);
    middle(out);
    for (char c : std::string("end")) out.FixedLiteral((unsigned char)c);
    out.FixedLiteral(256);
    return out.Finish();
}

void FixedLiterals(BitWriter& out, unsigned count) {
    for (unsigned i = 0; i < count; ++i) out.FixedLiteral(200 + i % 50);
}

std::string Literals(unsigned count) {
    return FixedStream([count](BitWriter& out) { FixedLiterals(out, count); });
}

// Literals enough before and after `middle` that the fast path decodes it:
// it runs while more than 32 input bytes are buffered.
std::string FixedStreamInFastPath(const std::function<void(BitWriter&)>& middle) {
    return FixedStream([&middle](BitWriter& out) {
        FixedLiterals(out, 300);
        middle(out);
        FixedLiterals(out, 300);
    });
}

// A dynamic block with the literal/length code of SmallCode and the
// distance code `distanceLengths` (whose code-length code sends 0, 1, 2
// and 10): 300 literals, the match of 3 bytes that `distance` writes the
// distance code of, 300 literals and the end of block.
std::string DynamicStreamInFastPath(const std::vector<unsigned>& distanceLengths,
                                    const std::function<void(BitWriter&)>& distance) {
    SmallCode code;
    code.distance = distanceLengths;
    code.codeLength[0] = code.codeLength[10] = 2;  // 0, 1, 2 and 10 with two bits each
    BitWriter out;
    out.BlockHeader(true, 2);
    WriteDynamicHeader(out, (unsigned)code.literal.size(), (unsigned)code.distance.size(),
                       code.codeLength, PlainLengths(code.literal, code.distance));
    auto literals = [&] {
        for (unsigned i = 0; i < 300; ++i) WriteSymbol(out, code.literal, i % 2 ? 'a' : 'b');
    };
    literals();
    WriteSymbol(out, code.literal, 257);
    distance(out);
    literals();
    WriteSymbol(out, code.literal, 256);
    return out.Finish();
}

struct BrokenCase {
    std::string name;
    std::string good, broken;
    InflateStatus status;
    bool zlibRejects;
};

// Names the case in test listings rather than dumping its bytes.
void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.name; }

std::vector<BrokenCase> Cases() {
    std::vector<BrokenCase> cases;
    auto add = [&](const std::string& name, std::string good, std::string broken, InflateStatus status,
                   bool zlibRejects) {
        cases.push_back({name, std::move(good), std::move(broken), status, zlibRejects});
    };
    auto noTail = [](BitWriter&) {};
    add("block type 3", FixedStream(noTail), FixedStream(noTail, 3), kDataError, true);
    {
        BitWriter good, broken;
        good.StoredBlock(true, "stored");
        broken.BlockHeader(true, 0);
        broken.AlignToByte();
        broken.Bits(6, 16);
        broken.Bits(~6u & 0xFFFE, 16);  // one bit of the complement wrong
        add("stored length complement", good.Finish(), broken.Finish() + "stored", kDataError, true);
    }
    // Each code the fixed codes have but no symbol, first where the byte
    // reader decodes it, then where the fast path does.
    using Middle = std::function<void(BitWriter&)>;
    using Shape = std::function<std::string(const Middle&)>;
    const std::pair<const char*, Shape> places[] = {
        {"", [](const Middle& middle) { return FixedStream(middle); }},
        {" in the fast path", FixedStreamInFastPath}};
    for (const auto& [where, stream] : places) {
        std::string goodMatch = stream([](BitWriter& out) { out.FixedMatch(3, 1); });
        for (unsigned symbol : {286u, 287u})
            add("fixed literal/length symbol " + std::to_string(symbol) + where, stream(noTail),
                stream([symbol](BitWriter& out) { out.FixedLiteral(symbol); }), kDataError, true);
        for (unsigned symbol : {30u, 31u})
            add("fixed distance symbol " + std::to_string(symbol) + where, goodMatch,
                stream([symbol](BitWriter& out) {
                    out.FixedLiteral(257);
                    out.FixedDistance(symbol);
                }),
                kDataError, true);
    }
    add("distance before the first byte", FixedStream([](BitWriter& out) { out.FixedMatch(3, 3); }),
        FixedStream([](BitWriter& out) { out.FixedMatch(3, 4); }), kDataError, true);
    add("distance before the first byte in the fast path",
        FixedStreamInFastPath([](BitWriter& out) { out.FixedMatch(3, 303); }),
        FixedStreamInFastPath([](BitWriter& out) { out.FixedMatch(3, 304); }), kDataError, true);
    // Distance symbol 1 has a code of 10 bits, longer than the table's root
    // of 8: its root entry links to a sub-table of 2 bits, where the other
    // three patterns are codes no symbol has. The decoder takes the
    // incomplete code until a missing code occurs; zlib refuses the code
    // itself, so the good stream has a complete one.
    add("distance code missing from a sub-table in the fast path",
        DynamicStreamInFastPath({1, 1}, [](BitWriter& out) { out.Code(0, 1); }),
        DynamicStreamInFastPath({1, 10}, [](BitWriter& out) { out.Code(0x201, 10); }), kDataError,
        true);

    SmallCode good;
    std::string goodDynamic = DynamicStream(good);
    {
        SmallCode code;
        code.literal[257] = 0;  // three codes of two bits: incomplete
        add("incomplete literal/length code", DynamicStream(good, false), DynamicStream(code, false),
            kDataError, true);
    }
    {
        SmallCode code;
        code.literal['c'] = 2;  // five codes of two bits
        add("over-subscribed literal/length code", goodDynamic, DynamicStream(code), kOverSubscribed, true);
    }
    {
        SmallCode code;
        code.codeLength[2] = 3;  // 1/2 + 1/4 + 1/8
        add("incomplete code-length code", goodDynamic, DynamicStream(code), kDataError, true);
    }
    {
        SmallCode code;
        code.codeLength[0] = 1;
        code.codeLength[1] = code.codeLength[2] = 1;
        add("over-subscribed code-length code", goodDynamic, DynamicStream(code), kOverSubscribed, true);
    }
    {
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 258, 2, std::vector<unsigned>(19, 0), {});
        add("empty code-length code", goodDynamic, out.Finish() + std::string(80, '\x55'), kDataError,
            true);
    }
    {   // A single code of one bit is taken as complete; its other bit is no code.
        std::vector<unsigned> codeLength(19, 0);
        codeLength[0] = 1;
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 257, 1, codeLength, {});
        out.Bits(1, 1);
        add("single one-bit code-length code sent its other bit", goodDynamic, out.Finish() + "ab",
            kDataError, true);
    }
    {
        SmallCode code;
        code.distance = {0, 0};
        add("length with an empty distance code", goodDynamic, DynamicStream(code), kDataError, true);
    }
    {
        SmallCode code;
        code.literal.assign(258, 0);
        code.codeLength = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        add("empty literal/length code", DynamicStream(good, false), DynamicStream(code, false),
            kDataError, true);
    }
    {   // 138 + 138 zeros where 258 lengths are due
        std::vector<unsigned> codeLength(19, 0);
        codeLength[0] = codeLength[18] = 1;
        BitWriter brokenOut;
        brokenOut.BlockHeader(true, 2);
        WriteDynamicHeader(brokenOut, 257, 1, codeLength, {{18, 127}, {18, 127}});
        add("repeat past the lengths' count", goodDynamic, brokenOut.Finish() + "ab", kDataError, true);
    }

    // Streams that end early. A fixed block of one-bits reads as the
    // literal 255 over and over: the decoder must stop at the member's end.
    std::string literals = Literals(3000);
    add("member ends inside a fixed block", literals, literals.substr(0, literals.size() / 2), kDataError,
        true);
    add("member ends inside a dynamic header", goodDynamic, goodDynamic.substr(0, 20), kDataError, true);
    {
        BitWriter out;
        out.StoredBlock(true, std::string(1000, 's'));
        std::string stored = out.Finish();
        add("member ends inside a stored block", stored, stored.substr(0, 600), kDataError, true);
        // The header byte and LEN and NLEN only: the bit reader has
        // appended a padding byte after NLEN, which the copy must not take.
        add("member ends inside a stored block within the bits held", stored, stored.substr(0, 5),
            kDataError, true);
    }
    {
        BitWriter out;
        out.StoredBlock(false, "not the last block");
        std::string notLast = out.Finish();
        BitWriter last;
        last.StoredBlock(false, "not the last block");
        last.StoredBlock(true, "and the last");
        add("member ends after a block that is not the last", last.Finish(), notLast, kDataError, true);
    }
    return cases;
}

}  // namespace

class BrokenStreams : public WithCrcTable, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenStreams, EndWithAFailureAndAFailedCrc) {
    const BrokenCase& c = GetParam();
    std::string goodOutput, zlibOutput;
    ASSERT_TRUE(ZlibInflate(c.good, goodOutput));
    EXPECT_EQ(!ZlibInflate(c.broken, zlibOutput), c.zlibRejects);
    MemberSetup setup;
    setup.data = c.good;
    EXPECT_EQ(RunMember(Decoder::Inflate, setup).status, kInflateOk);

    setup.data = c.broken;
    setup.following = c.good;  // the archive goes on: nothing of it may be read
    MemberResult result = RunMember(Decoder::Inflate, setup);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.crc, ZlibCrc(goodOutput));
    EXPECT_LE(result.bytesRead, c.broken.size());
}

static std::string CaseName(const ::testing::TestParamInfo<BrokenCase>& info) {
    std::string name;
    for (char c : info.param.name) {
        if (isalnum((unsigned char)c)) name += c;
        else if (name.back() != '_') name += '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Malformed, BrokenStreams, ::testing::ValuesIn(Cases()), CaseName);
