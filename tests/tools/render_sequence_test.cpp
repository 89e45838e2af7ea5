// The program end to end: arguments in, a complete folder out.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "synth/GroundTruth.h"

namespace {

namespace fs = std::filesystem;

class RenderSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = (fs::temp_directory_path() / ("vantorel_render_" + std::to_string(::getpid()))).string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    int Run(const std::string& arguments) {
        const std::string command = std::string(VANTOREL_BUILD_DIR) + "/tools/render_sequence " + arguments +
                                    " > " + folder_ + ".log 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream log(folder_ + ".log");
        output_.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
        fs::remove(folder_ + ".log");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string folder_;
    std::string output_;
};

TEST_F(RenderSequenceTest, WritesEveryFormTheConfigurationAndTheGroundTruth) {
    ASSERT_EQ(Run(folder_ + " --trajectory roll --frames 6 --still-frames 2 --preview"), 0) << output_;
    for (const char* name : {"Param.cfg", "ParamInit.cfg", "ParamTrackerZBCCE.cfg", "camera-xyz.cfg",
                             "camera-disparity.cfg", "camera-iff.cfg", "ground-truth.txt", "preview.png",
                             "frame0001-i.pgm", "frame0001-x.pgm", "frame0001-y.pgm", "frame0001-z.pgm",
                             "frame0006-d.pgm", "frame0001.iff", "frame0006.iff", "left-0006.png", "right-0001.png"})
        EXPECT_TRUE(fs::exists(folder_ + "/" + name)) << name;
    EXPECT_FALSE(fs::exists(folder_ + "/frame0007.iff"));
    EXPECT_FALSE(fs::exists(folder_ + "/frame0007-i.pgm"));
    CGroundTruth truth;
    std::string error;
    ASSERT_TRUE(truth.Read(folder_ + "/ground-truth.txt", &error)) << error;
    ASSERT_EQ(truth.Frames().size(), 6u);
    EXPECT_EQ(truth.Frames()[0].index, 1);
    EXPECT_EQ(truth.Frames()[1].pose.RotationAngle(), 0.0);
    EXPECT_GT(truth.Frames()[2].pose.RotationVector()[2], 0.3);  // a roll, at its peak
}

TEST_F(RenderSequenceTest, RefusesBadArgumentsWithUsage) {
    for (const std::string& arguments :
         {std::string(""), folder_ + " --frames x", folder_ + " --trajectory spin", folder_ + " --center 1",
          folder_ + " --forms pgm,jpeg", folder_ + " --frames", folder_ + " --wobble 3"}) {
        EXPECT_EQ(Run(arguments), 2) << arguments;
        EXPECT_NE(output_.find("usage: render_sequence"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(fs::exists(folder_));
}

}  // namespace
