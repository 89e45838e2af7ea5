#include "synth/SequenceWriter.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <unistd.h>

#include "common/ConfigReader.h"
#include "image/Image.h"
#include "platform/imagefile/imagefile.h"

namespace {

namespace fs = std::filesystem;

// Keyword -> the tokens after it, read through the system's own token reader.
using Config = std::map<std::string, std::vector<std::string>>;
Config ReadConfig(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    CConfigReader reader(&in);
    Config config;
    std::string token, keyword;
    while (reader.NextToken(token))
        if (token.back() == ':') config[keyword = token].clear();
        else if (!keyword.empty()) config[keyword].push_back(token);
    return config;
}

float Value(const Config& config, const std::string& keyword, std::size_t position = 0) {
    return std::stof(config.at(keyword).at(position));
}

// The file a recorded camera configured by `config` opens for `index`.
std::string RecordedName(const Config& config, int index, const std::string& suffix) {
    return config.at("INPUT_IMAGE_PATH:")[0] + PaddedIndex(index, std::stoi(config.at("NB_PADDING_ZERO:")[0])) + suffix;
}

cv::Mat LoadImageFile(const std::string& path, int depth) {
    CImage image(path.c_str(), 0);
    EXPECT_TRUE(image.GetIplImage() && image.GetDepth() == depth && image.GetWidth() == 320) << path;
    return image.GetIplImage() ? iplFullView(image.GetIplImage()).clone() : cv::Mat();
}

class SequenceWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        ASSERT_NE(scene, nullptr);
        frame_ = new RenderedFrame(scene->Render(CRigidMotion::FromRotationVector({0.1, 0.3, 0}, {20, 10, 950})));
    }
    static void TearDownTestSuite() { delete frame_; }
    void TearDown() override { fs::remove_all(folder_); }

    // Writes frame 9 of a sequence 9..11 and the configuration; the folder is given untidily.
    Config Write(unsigned forms, const std::string& camera, bool yUp = false, const std::string& subfolder = "") {
        SequenceOptions options;
        options.folder = folder_ + "/" + subfolder + "/./";
        options.yUp = yUp;
        options.firstIndex = 9;
        options.frameCount = 3;
        options.forms = forms;
        options.trackerCamera = camera;
        std::string error;
        const auto writer = CSequenceWriter::Create(options, &error);
        EXPECT_NE(writer, nullptr) << error;
        if (!writer) return Config();
        EXPECT_TRUE(writer->WriteFrame(9, *frame_, &error) && writer->WriteConfiguration(&error)) << error;
        const std::string folder = folder_ + (subfolder.empty() ? "" : "/" + subfolder);
        EXPECT_EQ(ReadConfig(folder + "/Param.cfg").at("CONFIG_FILENAME:")[0], folder + "/camera-" + camera + ".cfg");
        return ReadConfig(folder + "/camera-" + camera + ".cfg");
    }

    static RenderedFrame* frame_;
    const std::string folder_ = (fs::temp_directory_path() / ("vantorel_sequence_" + std::to_string(::getpid()))).string();
};

RenderedFrame* SequenceWriterTest::frame_ = nullptr;

TEST(PaddedIndex, PadsLikeTheRecordedCamera) {
    EXPECT_EQ(PaddedIndex(7, 4), "0007");
    EXPECT_EQ(PaddedIndex(0, 4), "0000");
    EXPECT_EQ(PaddedIndex(12345, 4), "12345");
    EXPECT_EQ(PaddedIndex(7, 1), "7");
}

TEST_F(SequenceWriterTest, XyzFilesLoadBackAsTheRenderedFrameAndTheFlagTurnsYAlone) {
    const Config down = Write(kFormPgm, "xyz", false, "down"), up = Write(kFormPgm, "xyz", true, "up");
    EXPECT_EQ(down.at("DISPARITY_WRITTEN:")[0], "NO");
    EXPECT_EQ(RecordedName(down, 9, "-x.pgm"), folder_ + "/down/frame0009-x.pgm");
    const struct {
        const char* channel;
        const cv::Mat* rendered;
        int depth;
    } channels[] = {{"INTENSITY", &frame_->left, IPL_DEPTH_8U}, {"X_COORD", &frame_->x, IPL_DEPTH_32F},
                    {"Y_COORD", &frame_->y, IPL_DEPTH_32F}, {"DEPTH", &frame_->z, IPL_DEPTH_32F}};
    for (const auto& c : channels) {
        const std::string written = std::string(c.channel) + "_WRITTEN:", suffix = std::string(c.channel) + "_SUFFIX:";
        EXPECT_EQ(down.at(written)[0], "YES");
        const cv::Mat fromDown = LoadImageFile(RecordedName(down, 9, down.at(suffix)[0]), c.depth);
        const cv::Mat fromUp = LoadImageFile(RecordedName(up, 9, up.at(suffix)[0]), c.depth);
        const cv::Mat expectedUp = c.rendered == &frame_->y ? cv::Mat(-frame_->y) : *c.rendered;
        EXPECT_EQ(cv::norm(fromDown, *c.rendered, cv::NORM_INF), 0.0) << c.channel;
        EXPECT_EQ(cv::norm(fromUp, expectedUp, cv::NORM_INF), 0.0) << c.channel;
    }
}

TEST_F(SequenceWriterTest, DisparityAgreesWithDepthAndReconstructsThePointsYUp) {
    const Config camera = Write(kFormPgm | kFormDisparity, "disparity");
    EXPECT_EQ(camera.at("DEPTH_WRITTEN:")[0], "NO");
    const cv::Mat disparity = LoadImageFile(RecordedName(camera, 9, camera.at("DISPARITY_SUFFIX:")[0]), IPL_DEPTH_16U);
    ASSERT_EQ(disparity.type(), CV_16UC1);
    const float focal = Value(camera, "FOCAL:"), baseline = Value(camera, "BASELINE:");
    const float centreX = Value(camera, "IMAGE_CENTER:"), centreY = Value(camera, "IMAGE_CENTER:", 1);
    for (int j = 0; j < 240; ++j)
        for (int i = 0; i < 320; ++i) {
            const float z = frame_->z.at<float>(j, i);
            const int d16 = disparity.at<unsigned short>(j, i);
            ASSERT_EQ(d16, std::lround(16.0 * 380.0 * 90.0 / z)) << i << ", " << j;
            // The recorded camera's disparity reconstruction: rows counted from the bottom, Y up.
            const float zBack = (1.0f / static_cast<float>(d16)) * (focal * baseline);
            const float tolerance = 0.51f * zBack / d16 + 1e-3f;
            ASSERT_NEAR(zBack, z, tolerance);
            ASSERT_NEAR((i - centreX) * (1.0f / focal) * zBack, frame_->x.at<float>(j, i), tolerance);
            ASSERT_NEAR(((239 - j) - centreY) * (1.0f / focal) * zBack, -frame_->y.at<float>(j, i), tolerance);
        }
}

TEST_F(SequenceWriterTest, IffFramesReplayThePointsThroughTheInverseDepthReconstruction) {
    const Config camera = Write(kFormIff | kFormPng, "iff");
    EXPECT_EQ(camera.at("FILE_FORMAT:")[0], "FORMAT_IFF");
    EXPECT_EQ(camera.count("RECORDED_CAMERA:"), 0u);  // no stereo processor wanted
    const float focal = Value(camera, "FOCAL:");
    const float centreX = Value(camera, "IMAGE_CENTER:"), centreY = Value(camera, "IMAGE_CENTER:", 1);
    // The recorded camera's reading: its controls, Z = 1 / range, rows counted from the bottom with Y turned.
    ILfile* file = ILopen(RecordedName(camera, 9, ".iff").c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ILgettype(file), IL_TYPE_GRAY | IL_TYPE_RANGE);
    ILctrl(file, IL_CTRL_RGBA, 1);
    std::vector<unsigned char> pixels(320 * 240 * 4);
    std::vector<float> range(320 * 240);
    ASSERT_EQ(ILload(file, pixels.data(), range.data()), 0);
    ILclose(file);
    for (int j = 0; j < 240; ++j)
        for (int i = 0; i < 320; ++i) {
            const float z = 1.0f / range[j * 320 + i];
            ASSERT_EQ(pixels[j * 320 + i], frame_->left.at<unsigned char>(j, i));
            ASSERT_NEAR(z, frame_->z.at<float>(j, i), 1e-3f * z);
            ASSERT_NEAR((i - centreX) * (1.0f / focal) * z, frame_->x.at<float>(j, i), 1e-3f * z) << i << ", " << j;
            ASSERT_NEAR(((239 - j) - centreY) * (-1.0f / focal) * z, frame_->y.at<float>(j, i), 1e-3f * z) << i << ", " << j;
        }
    EXPECT_EQ(cv::norm(cv::imread(folder_ + "/left-0009.png", cv::IMREAD_UNCHANGED), frame_->left, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(cv::imread(folder_ + "/right-0009.png", cv::IMREAD_UNCHANGED), frame_->right, cv::NORM_INF), 0.0);
    EXPECT_FALSE(fs::exists(folder_ + "/camera-xyz.cfg"));  // its files are not written
    EXPECT_EQ(ReadConfig(folder_ + "/ParamTrackerZBCCE.cfg").at("POSES_FILE:")[0], folder_ + "/poses.txt");
}

TEST_F(SequenceWriterTest, RefusesFoldersTheConfigurationCannotName) {
    std::string error;
    SequenceOptions options;
    options.forms = kFormIff;
    options.trackerCamera = "iff";
    options.folder = folder_ + "/with blank";
    EXPECT_EQ(CSequenceWriter::Create(options, &error), nullptr);
    EXPECT_NE(error.find("white space"), std::string::npos);
    options.folder = folder_ + "/" + std::string(200, 'a');
    EXPECT_EQ(CSequenceWriter::Create(options, &error), nullptr);
    EXPECT_NE(error.find("too long"), std::string::npos);
    options.folder = folder_;
    options.trackerCamera = "xyz";  // its files are not among the forms
    EXPECT_EQ(CSequenceWriter::Create(options, &error), nullptr);
    EXPECT_FALSE(fs::exists(folder_));
}

}  // namespace
