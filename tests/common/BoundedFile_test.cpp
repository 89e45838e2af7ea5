#include "common/BoundedFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Scratch(const std::string& name) {
    return ::testing::TempDir() + "bounded_" + std::to_string(::getpid()) + "_" + name;
}

TEST(BoundedFile, ReadsARegularFileWithinItsCeilingWhole) {
    const std::string path = Scratch("small.cfg");
    std::ofstream(path, std::ios::binary) << std::string(100, 'x') << std::string("\0end", 4);
    std::string text, why;
    EXPECT_EQ(ReadBoundedFile(path, 105, text, why), BoundedRead::Ok);
    EXPECT_EQ(text.size(), 104u);
    EXPECT_EQ(why, "");
    EXPECT_EQ(ReadBoundedFile(path, 103, text, why), BoundedRead::TooLarge);
    EXPECT_EQ(text, "");
    EXPECT_EQ(why, "larger than 103 bytes");
    std::remove(path.c_str());
}

TEST(BoundedFile, DropsAByteOrderMarkThatWouldHideTheFirstKeyword) {
    const std::string path = Scratch("marked.cfg");
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF" "CAMERA_TYPE: FILES\r\n";
    std::string text, why;
    ASSERT_EQ(ReadBoundedFile(path, 100, text, why), BoundedRead::Ok);
    EXPECT_EQ(text, "CAMERA_TYPE: FILES\r\n");
    std::ofstream(path, std::ios::binary) << "A\xEF\xBB\xBF";
    ASSERT_EQ(ReadBoundedFile(path, 100, text, why), BoundedRead::Ok);
    EXPECT_EQ(text, "A\xEF\xBB\xBF");
    std::remove(path.c_str());
}

TEST(BoundedFile, RefusesWhatIsNoRegularFileWithoutWaitingOrReadingItsFill) {
    const std::string fifo = Scratch("pipe");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string text, why;
    for (const std::string& path : {std::string("/dev/zero"), fifo, ::testing::TempDir()}) {
        EXPECT_EQ(ReadBoundedFile(path, kMaxConfigFileBytes, text, why), BoundedRead::NotRegular) << path;
        EXPECT_EQ(why, "not a regular file");
    }
    EXPECT_EQ(ReadBoundedFile(Scratch("missing"), kMaxConfigFileBytes, text, why), BoundedRead::CannotOpen);
    EXPECT_EQ(why, "does not open: No such file or directory");
    std::remove(fifo.c_str());
}

}  // namespace
