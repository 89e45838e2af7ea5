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
    void TearDown() override { fs::remove_all(folder_); }

    int Run(const std::string& arguments) {
        const std::string log = folder_ + ".log";
        const int status = std::system((std::string(VANTOREL_BUILD_DIR) + "/tools/render_sequence " + arguments +
                                        " > " + log + " 2>&1").c_str());
        std::ifstream in(log);
        output_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        fs::remove(log);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string folder_ = (fs::temp_directory_path() / ("vantorel_render_" + std::to_string(::getpid()))).string();
    std::string output_;
};

TEST_F(RenderSequenceTest, WritesEveryFormTheConfigurationAndTheGroundTruth) {
    ASSERT_EQ(Run(folder_ + " --trajectory roll --frames 6 --still-frames 2 --preview --shading 0.4 --light -1,-1,-2"
                            " --disparity-noise 0.2 --holes 2 --dropout 0.01 --background grass.png"),
              0)
        << output_;
    for (const char* name : {"Param.cfg", "ParamInit.cfg", "ParamTrackerZBCCE.cfg", "camera-xyz.cfg",
                             "camera-disparity.cfg", "camera-iff.cfg", "ground-truth.txt", "preview.png",
                             "frame0001-i.pgm", "frame0001-x.pgm", "frame0001-y.pgm", "frame0001-z.pgm",
                             "frame0006-d.pgm", "frame0006.iff", "left-0006.png", "right-0001.png"})
        EXPECT_TRUE(fs::exists(folder_ + "/" + name)) << name;
    EXPECT_FALSE(fs::exists(folder_ + "/frame0007-i.pgm"));
    CGroundTruth truth;
    std::string error;
    ASSERT_TRUE(truth.Read(folder_ + "/ground-truth.txt", &error)) << error;
    ASSERT_EQ(truth.Frames().size(), 6u);
    EXPECT_EQ(truth.Frames()[0].index, 1);
    EXPECT_NEAR(truth.Frames()[2].pose.RotationVector()[2], 0.3490658503988659, 1e-9);  // the roll's peak
}

TEST_F(RenderSequenceTest, RefusesBadArgumentsWithUsage) {
    for (const std::string& arguments : {std::string(""), folder_ + " --frames x", folder_ + " --trajectory spin",
                                         folder_ + " --center 1", folder_ + " --forms pgm,jpeg", folder_ + " --frames",
                                         folder_ + " --head cube", folder_ + " --light 1,2"}) {
        EXPECT_EQ(Run(arguments), 2) << arguments;
        EXPECT_NE(output_.find("usage: render_sequence"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(fs::exists(folder_));
    for (const char* unusable : {" --shading 2", " --light 0,0,1", " --dropout -0.1", " --background -5"}) {
        EXPECT_EQ(Run(folder_ + unusable), 1) << unusable;
        EXPECT_NE(output_.find("render_sequence: "), std::string::npos) << unusable;
    }
}

}  // namespace
