// The POSIX side of the platform seam must keep the Win32 contracts the
// core relies on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"

TEST(PlatformFiles, MissingFileGivesTheInvalidHandle) {
    EXPECT_EQ(OpenFileForReading("/nonexistent/doromi/file"), kInvalidFile);
}

TEST(PlatformFiles, OpensAndClosesAnExistingFileOnce) {
    char path[] = "/tmp/doromi-platform-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    FileHandle file = OpenFileForReading(path);
    ASSERT_NE(file, kInvalidFile);
    EXPECT_TRUE(CloseFile(file));
    EXPECT_FALSE(CloseFile(kInvalidFile));
    std::remove(path);
}

TEST(PlatformFiles, OwnPathNamesThisExecutableAndNeverOverflows) {
    char path[4096];
    uint32_t length = OwnExecutablePath(path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_NE(std::string(path).find("unit-tests"), std::string::npos);

    char tiny[5];
    std::memset(tiny, 'x', sizeof tiny);
    uint32_t cut = OwnExecutablePath(tiny, sizeof tiny);
    EXPECT_LE(cut, 4u);
    EXPECT_EQ(tiny[cut], '\0');
}
