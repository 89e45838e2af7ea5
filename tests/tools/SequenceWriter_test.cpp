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

using Config = std::map<std::string, std::vector<std::string>>;

// Keyword -> the tokens after it, read through the system's own token reader.
Config ReadConfig(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    CConfigReader reader(&in);
    Config config;
    std::string token, keyword;
    while (reader.NextToken(token)) {
        if (token.back() == ':') {
            keyword = token;
            config[keyword].clear();
        } else if (!keyword.empty()) {
            config[keyword].push_back(token);
        }
    }
    return config;
}

class SequenceWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        const auto scene = CHeadScene::Create(SceneOptions(), &error);
        ASSERT_NE(scene, nullptr) << error;
        frame_ = new RenderedFrame(scene->Render(CRigidMotion::FromRotationVector({0.1, 0.3, 0}, {20, 10, 950})));
    }
    static void TearDownTestSuite() {
        delete frame_;
        frame_ = nullptr;
    }
    void SetUp() override {
        folder_ = (fs::temp_directory_path() / ("vantorel_sequence_" + std::to_string(::getpid()))).string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::unique_ptr<CSequenceWriter> MakeWriter(unsigned forms, const std::string& camera, bool yUp = false,
                                                const std::string& subfolder = "") {
        SequenceOptions options;
        options.folder = folder_ + "/" + subfolder + "/./";
        options.yUp = yUp;
        options.firstIndex = 9;
        options.frameCount = 3;
        options.forms = forms;
        options.trackerCamera = camera;
        std::string error;
        auto writer = CSequenceWriter::Create(options, &error);
        EXPECT_NE(writer, nullptr) << error;
        return writer;
    }

    static RenderedFrame* frame_;
    std::string folder_;
};

RenderedFrame* SequenceWriterTest::frame_ = nullptr;

TEST(PaddedIndex, PadsLikeTheRecordedCamera) {
    EXPECT_EQ(PaddedIndex(7, 4), "0007");
    EXPECT_EQ(PaddedIndex(0, 4), "0000");
    EXPECT_EQ(PaddedIndex(1000, 4), "1000");
    EXPECT_EQ(PaddedIndex(12345, 4), "12345");
    EXPECT_EQ(PaddedIndex(7, 1), "7");
    EXPECT_EQ(PaddedIndex(7, 0), "7");
}

// The file a recorded camera configured by `config` loads for `index` and `suffix`.
std::string RecordedName(const Config& config, int index, const std::string& suffix) {
    return config.at("INPUT_IMAGE_PATH:")[0] + PaddedIndex(index, std::stoi(config.at("NB_PADDING_ZERO:")[0])) + suffix;
}

cv::Mat LoadImageFile(const std::string& path, int depth) {
    CImage image(path.c_str(), 0);
    EXPECT_NE(image.GetIplImage(), nullptr) << path;
    if (!image.GetIplImage()) return cv::Mat();
    EXPECT_EQ(image.GetDepth(), depth) << path;
    EXPECT_EQ(image.GetWidth(), 320);
    EXPECT_EQ(image.GetHeight(), 240);
    return iplFullView(image.GetIplImage()).clone();
}

TEST_F(SequenceWriterTest, XyzFilesLoadBackAsTheRenderedFrameAndTheFlagTurnsYAlone) {
    const auto down = MakeWriter(kFormPgm, "xyz", false, "down");
    const auto up = MakeWriter(kFormPgm, "xyz", true, "up");
    ASSERT_TRUE(down && up);
    std::string error;
    for (const auto* writer : {down.get(), up.get()}) {
        ASSERT_TRUE(writer->WriteFrame(11, *frame_, &error)) << error;
        ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
    }
    const Config downConfig = ReadConfig(folder_ + "/down/camera-xyz.cfg");
    const Config upConfig = ReadConfig(folder_ + "/up/camera-xyz.cfg");
    for (const char* written : {"INTENSITY_WRITTEN:", "X_COORD_WRITTEN:", "Y_COORD_WRITTEN:", "DEPTH_WRITTEN:"})
        EXPECT_EQ(downConfig.at(written)[0], "YES") << written;
    EXPECT_EQ(downConfig.at("DISPARITY_WRITTEN:")[0], "NO");
    EXPECT_EQ(RecordedName(downConfig, 11, downConfig.at("X_COORD_SUFFIX:")[0]), folder_ + "/down/frame0011-x.pgm");

    const struct {
        const char* suffixKey;
        const cv::Mat* rendered;
        int depth;
        double ySign;
    } files[] = {{"INTENSITY_SUFFIX:", &frame_->left, IPL_DEPTH_8U, 1},
                 {"X_COORD_SUFFIX:", &frame_->x, IPL_DEPTH_32F, 1},
                 {"Y_COORD_SUFFIX:", &frame_->y, IPL_DEPTH_32F, -1},
                 {"DEPTH_SUFFIX:", &frame_->z, IPL_DEPTH_32F, 1}};
    for (const auto& f : files) {
        const cv::Mat fromDown = LoadImageFile(RecordedName(downConfig, 11, downConfig.at(f.suffixKey)[0]), f.depth);
        const cv::Mat fromUp = LoadImageFile(RecordedName(upConfig, 11, upConfig.at(f.suffixKey)[0]), f.depth);
        ASSERT_FALSE(fromDown.empty() || fromUp.empty());
        EXPECT_EQ(cv::norm(fromDown, *f.rendered, cv::NORM_INF), 0.0) << f.suffixKey;
        const cv::Mat expectedUp = f.ySign < 0 ? cv::Mat(-*f.rendered) : *f.rendered;
        EXPECT_EQ(cv::norm(fromUp, expectedUp, cv::NORM_INF), 0.0) << f.suffixKey;
    }
    EXPECT_GT(cv::norm(frame_->y, cv::NORM_INF), 100.0);  // the flip is visible
}

TEST_F(SequenceWriterTest, DisparityAgreesWithDepthAndReconstructsThePointsYUp) {
    const auto writer = MakeWriter(kFormPgm | kFormDisparity, "disparity");
    ASSERT_NE(writer, nullptr);
    std::string error;
    ASSERT_TRUE(writer->WriteFrame(9, *frame_, &error)) << error;
    ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
    EXPECT_EQ(ReadConfig(folder_ + "/Param.cfg").at("CONFIG_FILENAME:")[0], folder_ + "/camera-disparity.cfg");
    const Config camera = ReadConfig(folder_ + "/camera-disparity.cfg");
    EXPECT_EQ(camera.at("DISPARITY_WRITTEN:")[0], "YES");
    EXPECT_EQ(camera.at("DEPTH_WRITTEN:")[0], "NO");
    const cv::Mat disparity = LoadImageFile(RecordedName(camera, 9, camera.at("DISPARITY_SUFFIX:")[0]), IPL_DEPTH_16U);
    ASSERT_EQ(disparity.type(), CV_16UC1);
    const float focal = std::stof(camera.at("FOCAL:")[0]), baseline = std::stof(camera.at("BASELINE:")[0]);
    const float centreX = std::stof(camera.at("IMAGE_CENTER:")[0]), centreY = std::stof(camera.at("IMAGE_CENTER:")[1]);
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

TEST_F(SequenceWriterTest, IffFramesReplayTheRenderedPointsThroughTheInverseDepthReconstruction) {
    const auto writer = MakeWriter(kFormIff, "iff");
    ASSERT_NE(writer, nullptr);
    std::string error;
    ASSERT_TRUE(writer->WriteFrame(10, *frame_, &error)) << error;
    ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
    const Config camera = ReadConfig(folder_ + "/camera-iff.cfg");
    ASSERT_EQ(camera.at("IMAGE_CENTER:").size(), 2u);
    const float focal = std::stof(camera.at("FOCAL:")[0]);
    const float centreX = std::stof(camera.at("IMAGE_CENTER:")[0]), centreY = std::stof(camera.at("IMAGE_CENTER:")[1]);
    const std::string name = camera.at("INPUT_IMAGE_PATH:")[0] + PaddedIndex(10, std::stoi(camera.at("NB_PADDING_ZERO:")[0])) + ".iff";
    EXPECT_EQ(name, folder_ + "/frame0010.iff");

    // The recorded camera's reading: its controls, then Z = 1/range, X and Y from rows counted
    // from the bottom with Y's sign turned.
    ILfile* file = ILopen(name.c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ILgettype(file), IL_TYPE_GRAY | IL_TYPE_RANGE);
    ILctrl(file, IL_CTRL_RGBA, 1);
    ILctrl(file, IL_CTRL_FLIP, 0);
    ILctrl(file, IL_CTRL_KEEP16, 0);
    ILctrl(file, IL_CTRL_DEPTH, 0);
    std::vector<unsigned char> pixels(320 * 240 * 4);
    std::vector<float> range(320 * 240);
    ASSERT_EQ(ILload(file, pixels.data(), range.data()), 0);
    ILclose(file);
    for (int j = 0; j < 240; ++j)
        for (int i = 0; i < 320; ++i) {
            const float z = 1.0f / range[j * 320 + i];
            const float x = (i - centreX) * (1.0f / focal) * z;
            const float y = ((239 - j) - centreY) * (-1.0f / focal) * z;
            ASSERT_EQ(pixels[j * 320 + i], frame_->left.at<unsigned char>(j, i));
            ASSERT_NEAR(z, frame_->z.at<float>(j, i), 1e-3f * z);
            ASSERT_NEAR(x, frame_->x.at<float>(j, i), 1e-3f * z) << i << ", " << j;
            ASSERT_NEAR(y, frame_->y.at<float>(j, i), 1e-3f * z) << i << ", " << j;
        }
}

TEST_F(SequenceWriterTest, PngPairsHoldTheLeftAndRightImages) {
    const auto writer = MakeWriter(kFormPng | kFormIff, "iff");
    ASSERT_NE(writer, nullptr);
    std::string error;
    ASSERT_TRUE(writer->WriteFrame(9, *frame_, &error)) << error;
    const cv::Mat left = cv::imread(folder_ + "/left-0009.png", cv::IMREAD_UNCHANGED);
    const cv::Mat right = cv::imread(folder_ + "/right-0009.png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(left.type(), CV_8UC1);
    EXPECT_EQ(cv::norm(left, frame_->left, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(right, frame_->right, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(left, right, cv::NORM_L1), 0.0);
}

TEST_F(SequenceWriterTest, ConfigurationNamesAbsolutePathsInsideTheFolder) {
    const auto writer = MakeWriter(kFormIff, "iff");
    ASSERT_NE(writer, nullptr);
    std::string error;
    ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
    EXPECT_EQ(writer->Options().folder, folder_);

    const Config param = ReadConfig(folder_ + "/Param.cfg");
    EXPECT_EQ(param.at("CAMERA_TYPE:"), std::vector<std::string>{"FILES"});
    EXPECT_EQ(param.at("CONFIG_FILENAME:"), std::vector<std::string>{folder_ + "/camera-iff.cfg"});

    const Config camera = ReadConfig(folder_ + "/camera-iff.cfg");
    EXPECT_EQ(camera.at("FILE_FORMAT:")[0], "FORMAT_IFF");
    EXPECT_EQ(camera.at("FIRST_FILE_INDEX:")[0], "9");
    EXPECT_EQ(camera.at("LAST_FILE_INDEX:")[0], "11");
    EXPECT_EQ(camera.at("TOTAL_FRAME:")[0], "3");
    EXPECT_EQ(camera.at("INTENSITY_WRITTEN:")[0], "YES");
    EXPECT_EQ(camera.count("RECORDED_CAMERA:"), 0u);  // no stereo processor needed
    EXPECT_FALSE(fs::exists(folder_ + "/camera-xyz.cfg"));  // its files are not written

    const Config tracker = ReadConfig(folder_ + "/ParamTrackerZBCCE.cfg");
    EXPECT_EQ(tracker.at("RESULTS_FILE:")[0], folder_ + "/results.txt");
    EXPECT_EQ(tracker.at("POSES_FILE:")[0], folder_ + "/poses.txt");
    const Config init = ReadConfig(folder_ + "/ParamInit.cfg");
    EXPECT_EQ(init.at("SIZE_FACE_Y:").size(), 2u);
    EXPECT_LT(std::stof(init.at("MIN_DEPTH_MASK:")[0]), 860.0f);
    EXPECT_GT(std::stof(init.at("MAX_DEPTH_MASK:")[0]), 950.0f);
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
    options.trackerCamera = "iff";
    options.frameCount = 0;
    EXPECT_EQ(CSequenceWriter::Create(options, &error), nullptr);
    EXPECT_FALSE(fs::exists(folder_));
}

TEST_F(SequenceWriterTest, RefusesFramesOfAnotherSize) {
    const auto writer = MakeWriter(kFormIff, "iff");
    ASSERT_NE(writer, nullptr);
    RenderedFrame small = *frame_;
    small.z = small.z(cv::Rect(0, 0, 100, 100)).clone();
    std::string error;
    EXPECT_FALSE(writer->WriteFrame(9, small, &error));
    EXPECT_FALSE(fs::exists(folder_ + "/frame0009.iff"));
}

}  // namespace
