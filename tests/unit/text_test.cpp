// Counted texts made from fixed buffers.
#include <gtest/gtest.h>

#include <string>

#include "test_files.h"

TEST(TextFromBuffer, CutsBeforeTheFirstNulWithinTheCount) {
    const char buffer[] = {'a', 'b', 'c', 0, 'd', 'e', 'f'};
    Text all = TextFromBuffer(buffer, 7);
    Text two = TextFromBuffer(buffer, 2);
    Text none = TextFromBuffer(buffer, 0);
    EXPECT_EQ(Bytes(all), "abc");
    EXPECT_EQ(Bytes(two), "ab");
    EXPECT_EQ(none.length, 0u);
    EXPECT_EQ(none.bytes, nullptr);
    ReleaseText(all);
    ReleaseText(two);
}

TEST(TextFromBuffer, BufferWithoutNulGivesEveryCountedByteAndATerminator) {
    const char buffer[] = {'x', 'y', 'z'};
    Text text = TextFromBuffer(buffer, 3);
    ASSERT_EQ(Bytes(text), "xyz");
    EXPECT_EQ(text.bytes[3], '\0');
    ReleaseText(text);
    EXPECT_EQ(text.bytes, nullptr);
    EXPECT_EQ(text.length, 0u);
}

TEST(TextLength, CountsToTheNulAndSaturatesInsteadOfWrapping) {
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("C:\\dir"), 6);
    std::string longText(70000, 'a');
    EXPECT_EQ(TextLength(longText.c_str()), 65535);
}
