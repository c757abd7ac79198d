// The member's byte plumbing: the stored copy, the budget of the buffered
// input, decryption across chunks, and what the CRC covers when the output
// file does not take every byte.
#include <zlib.h>

#include <string>

#include "crc_table.h"
#include "decode/member_io.h"
#include "deflate_streams.h"
#include "member_run.h"
#include "test_files.h"

class MemberIo : public WithCrcTable {};

TEST_F(MemberIo, EmptyStoredMemberReadsAndWritesNothing) {
    for (int64_t budget : {0, -3}) {  // -3: an encrypted member shorter than its header
        MemberSetup setup;
        setup.following = "next member";
        setup.budget = budget;
        setup.sink = Sink::CountWrites;
        MemberResult result = RunMember(Decoder::Stored, setup);
        EXPECT_EQ(result.bytesRead, 0u);
        EXPECT_TRUE(result.writes.empty());
        EXPECT_EQ(result.crc, 0u);  // the preset register inverted: a stored CRC of 0 matches
    }
}

TEST_F(MemberIo, StoredMemberMovesInChunksAndStopsAtItsEnd) {
    for (size_t size : {1u, 32768u, 32769u, 100000u}) {
        MemberSetup setup;
        setup.data = BinaryLike(size, 61);
        setup.following = NoiseBytes(40000, 62);
        setup.sink = Sink::CountWrites;
        MemberResult result = RunMember(Decoder::Stored, setup);
        std::vector<size_t> writes;
        for (size_t left = size; left > 0; left -= std::min<size_t>(left, 32768))
            writes.push_back(std::min<size_t>(left, 32768));
        EXPECT_EQ(result.writes, writes) << size;
        EXPECT_TRUE(result.output == setup.data) << size;
        EXPECT_EQ(result.crc, ZlibCrc(setup.data)) << size;
        EXPECT_EQ(result.bytesRead, size) << size;
    }
}

TEST_F(MemberIo, StoredCopyEndsWhenTheArchiveEndsEarly) {
    std::string member = BinaryLike(50000, 63);
    MemberSetup setup;
    setup.data = member.substr(0, 40000);  // the file ends 10,000 bytes early
    setup.budget = (int64_t)member.size();
    MemberResult result = RunMember(Decoder::Stored, setup);
    EXPECT_TRUE(result.output == setup.data);
    EXPECT_NE(result.crc, ZlibCrc(member));
}

TEST_F(MemberIo, EncryptedMemberDecryptsAlikeInChunksAndByteByByte) {
    std::string plain = BinaryLike(70000, 64);  // three chunks: the keys run across them
    MemberSetup setup;
    setup.data = Encrypt(plain, "pass word");
    setup.password = "pass word";
    MemberResult stored = RunMember(Decoder::Stored, setup);
    EXPECT_TRUE(stored.output == plain);
    EXPECT_EQ(stored.crc, ZlibCrc(plain));

    // The buffered input of a deflated member, asked for one byte at a time.
    TempDir dir;
    WriteWholeFile(dir / "archive", setup.data + "more");
    Sfx.ArchiveHandle = OpenFileForReading(CoreForm(dir / "archive").c_str());
    Sfx.Header.flags = 1;
    StartKeys("pass word");
    Sfx.CompressedLeft = (uint32_t)setup.data.size();
    ASSERT_TRUE(StartCompressedInput());
    std::string bytewise;
    for (int32_t next; (next = NextCompressedByte()) >= 0;) bytewise += (char)next;
    EndCompressedInput();
    CloseFile(Sfx.ArchiveHandle);
    EXPECT_TRUE(bytewise == plain);
}

TEST_F(MemberIo, BufferedInputStaysWithinTheBudget) {
    TempDir dir;
    WriteWholeFile(dir / "archive", "abcdef");
    Sfx.ArchiveHandle = OpenFileForReading(CoreForm(dir / "archive").c_str());
    Sfx.CompressedLeft = 3;
    ASSERT_TRUE(StartCompressedInput());
    std::string got;
    for (int i = 0; i < 3; ++i) got += (char)NextCompressedByte();
    EXPECT_EQ(got, "abc");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(NextCompressedByte(), -1);
    EXPECT_EQ(SetFilePosition(Sfx.ArchiveHandle, 0, kFromCurrent), 3u);  // nothing more was read
    EXPECT_EQ(Sfx.CompressedLeft, 0u);
    EndCompressedInput();
    CloseFile(Sfx.ArchiveHandle);
}

TEST_F(MemberIo, DeflatedMemberReadsNoFurtherThanItsSize) {
    std::string data = TextLike(400000, 65) + BinaryLike(200000, 66);
    std::string stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
    ASSERT_GT(stream.size(), 2u * 32768);
    MemberSetup setup;
    setup.data = stream;
    setup.following = ZlibDeflate(data, 1, Z_DEFAULT_STRATEGY);  // the next member
    MemberResult whole = RunMember(Decoder::Inflate, setup);
    EXPECT_EQ(whole.status, kInflateOk);
    EXPECT_EQ(whole.bytesRead, stream.size());
    EXPECT_EQ(whole.crc, ZlibCrc(data));

    // A budget smaller than the stream: the rest of the stream follows in
    // the file but is never read.
    setup.budget = (int64_t)stream.size() / 2;
    setup.following = stream.substr(stream.size() / 2);
    setup.data = stream.substr(0, stream.size() / 2);
    MemberResult cut = RunMember(Decoder::Inflate, setup);
    EXPECT_EQ(cut.status, kDataError);
    EXPECT_EQ(cut.bytesRead, stream.size() / 2);
    EXPECT_NE(cut.crc, ZlibCrc(data));

    // A budget larger than the file: the read that delivers nothing ends it.
    setup.budget = (int64_t)stream.size() * 2;
    setup.following = "";
    MemberResult beyond = RunMember(Decoder::Inflate, setup);
    EXPECT_EQ(beyond.status, kDataError);
    EXPECT_EQ(beyond.crc, ZlibCrc(beyond.output));
}

// The CRC covers exactly the bytes the output took, so an output file
// that refuses bytes never passes the CRC comparison.
TEST_F(MemberIo, CrcCoversOnlyBytesThatReachedTheFile) {
    std::string data = BinaryLike(80000, 67);
    for (Decoder decoder : {Decoder::Stored, Decoder::Inflate}) {
        MemberSetup setup;
        setup.data = decoder == Decoder::Stored ? data : ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
        for (Sink sink : {Sink::ShortWrites, Sink::FailedWrites}) {
            setup.sink = sink;
            MemberResult result = RunMember(decoder, setup);
            EXPECT_LT(result.output.size(), data.size());
            EXPECT_EQ(result.crc, ZlibCrc(result.output));
            EXPECT_NE(result.crc, ZlibCrc(data));
        }
    }
}
