// Broken deflate streams: each case pairs a good stream with a broken
// variant of it. The broken one must end decoding with the expected
// status, never hang or leave its buffers, and leave a CRC that differs
// from the good stream's output, so the extraction refuses the member.
#include <functional>
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

std::string Literals(unsigned count) {
    return FixedStream([count](BitWriter& out) {
        for (unsigned i = 0; i < count; ++i) out.FixedLiteral(200 + i % 50);
    });
}

struct BrokenCase {
    const char* name;
    std::string good, broken;
    InflateStatus status;
};

std::vector<BrokenCase> Cases() {
    std::vector<BrokenCase> cases;
    auto add = [&](const char* name, std::string good, std::string broken, InflateStatus status) {
        cases.push_back({name, std::move(good), std::move(broken), status});
    };
    auto noTail = [](BitWriter&) {};
    add("block type 3", FixedStream(noTail), FixedStream(noTail, 3), kDataError);
    {
        BitWriter good, broken;
        good.StoredBlock(true, "stored");
        broken.BlockHeader(true, 0);
        broken.AlignToByte();
        broken.Bits(6, 16);
        broken.Bits(~6u & 0xFFFE, 16);  // one bit of the complement wrong
        add("stored length complement", good.Finish(), broken.Finish() + "stored", kDataError);
    }
    for (unsigned symbol : {286u, 287u})
        add("fixed literal/length symbol 286 or 287", FixedStream(noTail),
            FixedStream([symbol](BitWriter& out) { out.FixedLiteral(symbol); }), kDataError);
    for (unsigned symbol : {30u, 31u})
        add("fixed distance symbol 30 or 31",
            FixedStream([](BitWriter& out) { out.FixedMatch(3, 1); }),
            FixedStream([symbol](BitWriter& out) {
                out.FixedLiteral(257);
                out.FixedDistance(symbol);
            }),
            kDataError);
    add("distance before the first byte", FixedStream([](BitWriter& out) { out.FixedMatch(3, 3); }),
        FixedStream([](BitWriter& out) { out.FixedMatch(3, 4); }), kDataError);
    // The same with input enough before and after for the fast path to decode it.
    auto farMatch = [](unsigned distance) {
        return FixedStream([distance](BitWriter& out) {
            for (unsigned i = 0; i < 300; ++i) out.FixedLiteral(200 + i % 50);
            out.FixedMatch(3, distance);
            for (unsigned i = 0; i < 300; ++i) out.FixedLiteral(200 + i % 50);
        });
    };
    add("distance before the first byte, in the fast path", farMatch(303), farMatch(304), kDataError);

    SmallCode good;
    std::string goodDynamic = DynamicStream(good);
    {
        SmallCode code;
        code.literal[257] = 0;  // three codes of two bits: incomplete
        add("incomplete literal/length code", DynamicStream(good, false), DynamicStream(code, false),
            kDataError);
    }
    {
        SmallCode code;
        code.literal['c'] = 2;  // five codes of two bits
        add("over-subscribed literal/length code", goodDynamic, DynamicStream(code), kOverSubscribed);
    }
    {
        SmallCode code;
        code.codeLength[2] = 3;  // 1/2 + 1/4 + 1/8
        add("incomplete code-length code", goodDynamic, DynamicStream(code), kDataError);
    }
    {
        SmallCode code;
        code.codeLength[0] = 1;
        code.codeLength[1] = code.codeLength[2] = 1;
        add("over-subscribed code-length code", goodDynamic, DynamicStream(code), kOverSubscribed);
    }
    {
        BitWriter out;
        out.BlockHeader(true, 2);
        WriteDynamicHeader(out, 258, 2, std::vector<unsigned>(19, 0), {});
        add("empty code-length code", goodDynamic, out.Finish() + std::string(80, '\x55'), kDataError);
    }
    {
        SmallCode code;
        code.distance = {0, 0};
        add("length with an empty distance code", goodDynamic, DynamicStream(code), kDataError);
    }
    {
        SmallCode code;
        code.literal.assign(258, 0);
        code.codeLength = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        add("empty literal/length code", DynamicStream(good, false), DynamicStream(code, false),
            kDataError);
    }
    {   // 138 + 138 zeros where 258 lengths are due
        std::vector<unsigned> codeLength(19, 0);
        codeLength[0] = codeLength[18] = 1;
        BitWriter brokenOut;
        brokenOut.BlockHeader(true, 2);
        WriteDynamicHeader(brokenOut, 257, 1, codeLength, {{18, 127}, {18, 127}});
        add("repeat past the lengths' count", goodDynamic, brokenOut.Finish() + "ab", kDataError);
    }

    // Streams that end early. A fixed block of one-bits reads as the
    // literal 255 over and over: the decoder must stop at the member's end.
    std::string literals = Literals(3000);
    add("member ends inside a fixed block", literals, literals.substr(0, literals.size() / 2), kDataError);
    add("member ends inside a dynamic header", goodDynamic, goodDynamic.substr(0, 20), kDataError);
    {
        BitWriter good, broken;
        good.StoredBlock(true, std::string(1000, 's'));
        broken.StoredBlock(true, std::string(1000, 's'));
        add("member ends inside a stored block", good.Finish(), broken.Finish().substr(0, 600), kDataError);
    }
    {
        BitWriter out;
        out.StoredBlock(false, "not the last block");
        std::string notLast = out.Finish();
        BitWriter last;
        last.StoredBlock(false, "not the last block");
        last.StoredBlock(true, "and the last");
        add("member ends after a block that is not the last", last.Finish(), notLast, kDataError);
    }
    return cases;
}

}  // namespace

class BrokenStreams : public WithCrcTable {};

TEST_F(BrokenStreams, EndWithAFailureAndAFailedCrc) {
    for (const BrokenCase& c : Cases()) {
        std::string goodOutput;
        ASSERT_TRUE(ZlibInflate(c.good, goodOutput)) << c.name;
        MemberSetup setup;
        setup.data = c.good;
        EXPECT_EQ(RunMember(Decoder::Inflate, setup).status, kInflateOk) << c.name;

        setup.data = c.broken;
        setup.following = c.good;  // the archive goes on: nothing of it may be read
        MemberResult result = RunMember(Decoder::Inflate, setup);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_NE(result.crc, ZlibCrc(goodOutput)) << c.name;
        EXPECT_LE(result.bytesRead, c.broken.size()) << c.name;
    }
}
