#include "platform/svs/svs.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RecordingFolder.h"

namespace {


template <typename T>
T At(const svsParameterBlock& block, int offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&block) + offset, sizeof value);
    return value;
}

TEST(SvsParams, FieldsAreReadAtTheOffsetsCallersUse) {
    svsParameterBlock block = svsDefaultParameters();
    block.width = 640;
    block.height = 480;
    block.decimation = 2;
    block.binning = 1;
    block.numDisparities = 64;
    block.leftFocal = 3.5;
    block.pixelWidth = 0.01;
    block.baseline = 120.0;
    block.projection[11] = 7.0f;
    EXPECT_EQ(At<int>(block, 0x80), 640);
    EXPECT_EQ(At<int>(block, 0x84), 480);
    EXPECT_EQ(At<int>(block, 0xB4) * At<int>(block, 0xB8), 2);
    EXPECT_EQ(At<int>(block, 0x1C), 64);
    EXPECT_DOUBLE_EQ(At<double>(block, 0x100) / At<double>(block, 0xD8), 350.0);
    EXPECT_DOUBLE_EQ(At<double>(block, 0x210), 120.0);
    EXPECT_FLOAT_EQ(At<float>(block, 0x144), 7.0f);
}

TEST(SvsParams, DefaultsDescribeAnUncalibratedCameraWithoutSource) {
    const svsParameterBlock block = svsDefaultParameters();
    EXPECT_EQ(block.width, 320);
    EXPECT_EQ(block.height, 240);
    EXPECT_EQ(block.numDisparities, 48);
    EXPECT_DOUBLE_EQ(block.leftFocal / block.pixelWidth, 1.0);
    EXPECT_DOUBLE_EQ((block.leftCenterX + block.rightCenterX) / 2, 160.0);
    EXPECT_DOUBLE_EQ(block.leftCenterY, 120.0);
    EXPECT_EQ(block.source.kind, SVS_SOURCE_NONE);
    EXPECT_EQ(std::memcmp(&block, &svsParams, sizeof block), 0);
}

TEST(SvsParams, ReadsEveryKeywordOfAFullFile) {
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini",
        "# a stereo head\n"
        "IMAGE_SIZE: 320 240  SUBSAMPLING: 2 1  SUBWINDOW: 4 6  COLOR: YES\n"
        "DISPARITIES: 64 CORRELATION_WINDOW: 13 PREFILTER_WINDOW: 7\n"
        "TEXTURE_THRESHOLD: 20 UNIQUENESS: 15 SPECKLE: 100 2 OFFSET: -3 1\n"
        "PIXEL_SIZE: 0.006 FOCAL: 3.6 3.7 PRINCIPAL_POINT_LEFT: 330 250 PRINCIPAL_POINT_RIGHT: 334 251\n"
        "BASELINE: 90 # mm\n"
        "SOURCE: FILES img/left-%04d.png /abs/right-%d.png 5 9 FRAME_RATE: 25\n");
    svsParameterBlock block = svsDefaultParameters();
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(block.decimation, 2);
    EXPECT_EQ(block.windowX, 4);
    EXPECT_EQ(block.windowY, 6);
    EXPECT_EQ(block.colour, 1);
    EXPECT_EQ(block.numDisparities, 64);
    EXPECT_EQ(block.corrWindowWidth, 13);
    EXPECT_EQ(block.corrWindowHeight, 13);
    EXPECT_EQ(block.prefilterWindowHeight, 7);
    EXPECT_EQ(block.speckleWindow, 100);
    EXPECT_EQ(block.offsetX, -3);
    EXPECT_EQ(block.offsetY, 1);
    EXPECT_DOUBLE_EQ(block.rightFocal, 3.7);
    EXPECT_DOUBLE_EQ(block.rightCenterX, 334);
    EXPECT_DOUBLE_EQ(block.baseline, 90);
    // The default projection undoes the reconstruction: focal 600 px, centre x the mean of both.
    EXPECT_NEAR(block.projection[0], 600.0f, 1e-3);
    EXPECT_FLOAT_EQ(block.projection[2], 332.0f);
    EXPECT_FLOAT_EQ(block.projection[6], 250.0f);
    EXPECT_FLOAT_EQ(block.projection[10], 1.0f);
    EXPECT_EQ(block.source.kind, SVS_SOURCE_FILES);
    EXPECT_EQ(std::string(block.source.left), folder.Path("img/left-%04d.png"));  // relative to the file
    EXPECT_EQ(std::string(block.source.right), "/abs/right-%d.png");
    EXPECT_EQ(block.source.firstIndex, 5);
    EXPECT_EQ(block.source.lastIndex, 9);
    EXPECT_DOUBLE_EQ(block.source.frameRate, 25);
}

TEST(SvsParams, RectifiedProjectionsSupplyTheCalibrationTheFileLeavesOut) {
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini",
        "LEFT_CAMERA_MATRIX: 400 0 158 0 400 121 0 0 1\n"
        "LEFT_DISTORTION: 5 -0.2 0.05 0 0 0\n"
        "LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0\n"
        "RIGHT_CAMERA_MATRIX: 402 0 161 0 402 119 0 0 1\n"
        "RIGHT_ROTATION: 1 0 0 0 1 0 0 0 1\n"
        "RIGHT_RECTIFIED_PROJECTION: 380 0 162 -34200 0 380 120 0 0 0 1 0\n");
    svsParameterBlock block = svsDefaultParameters();
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(block.rectification[0].present, 1);
    EXPECT_EQ(block.rectification[0].distortionCount, 5);
    EXPECT_DOUBLE_EQ(block.rectification[0].rotation[4], 1.0);  // identity by default
    EXPECT_DOUBLE_EQ(block.leftFocal, 380.0);
    EXPECT_DOUBLE_EQ(block.rightCenterX, 162.0);
    EXPECT_DOUBLE_EQ(block.baseline, 90.0);  // 34200 / 380
    EXPECT_FLOAT_EQ(block.projection[2], 161.0f);
}

TEST(SvsParams, CommentsRepeatsAndOmittedKeywordsFollowTheConfigurationRules) {
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini", "DISPARITIES: 32 #DISPARITIES: 16\nDISPARITIES: 64 #");
    svsParameterBlock block = svsDefaultParameters();
    block.baseline = 55.0;
    block.source.kind = SVS_SOURCE_DEVICE;
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(block.numDisparities, 64);
    EXPECT_DOUBLE_EQ(block.baseline, 1.0);  // not in the file: the default, not what the block held
    EXPECT_EQ(block.source.kind, SVS_SOURCE_NONE);
}

TEST(SvsParams, RefusesBadFilesAndLeavesTheBlockAsItWas) {
    const std::vector<std::string> bad = {
        "DISPARITIES:",                                  // missing value
        "DISPARITIES: many",                             // not a number
        "DISPARITIES: 0", "DISPARITIES: 257",            // out of range
        "DISPARITIES: 48 extra",                         // stray token
        "BASLINE: 90",                                   // unknown keyword
        "CORRELATION_WINDOW: 10", "PREFILTER_WINDOW: 3", // even, too small
        "IMAGE_SIZE: 320 99999", "IMAGE_SIZE: 64 48",    // too large; too small for 48 disparities
        "SUBSAMPLING: 0 1", "OFFSET: 65 0",
        "BASELINE: -90", "BASELINE: nan", "FOCAL: 1e999 1",
        "PIXEL_SIZE: 1e-320",
        "COLOR: maybe",
        "LEFT_DISTORTION: 6 1 2 3 4 5 6",                // no such coefficient count
        "RIGHT_ROTATION: 1 0 0 0 1 0 0 0 1",             // rotation without camera matrix
        "LEFT_CAMERA_MATRIX: 0 0 160 0 400 120 0 0 1",   // focal 0
        "LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0 "
        "RIGHT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0 "
        "LEFT_CAMERA_MATRIX: 1 0 0 0 1 0 0 0 1 RIGHT_CAMERA_MATRIX: 1 0 0 0 1 0 0 0 1",  // no baseline
        "SOURCE: CAMERA 0",
        "SOURCE: FILES left.png right-%d.png 1 2",       // no conversion
        "SOURCE: FILES left-%d-%d.png right-%d.png 1 2", // two conversions
        "SOURCE: FILES left-%s.png right-%d.png 1 2",    // not a number conversion
        "SOURCE: FILES left-%d.png right-%d.png 5 2",    // first after last
        "SOURCE: FILES left-%d.png right-%d.png -1 2",
        "SOURCE: DEVICE " + std::string(300, 'a'),       // path too long
        "FRAME_RATE: -1",
    };
    RecordingFolder folder;
    for (const std::string& text : bad) {
        const std::string file = folder.WriteText("bad.ini", "DISPARITIES: 32\n" + text + "\n");
        svsParameterBlock block = svsDefaultParameters();
        testing::internal::CaptureStderr();
        EXPECT_EQ(svsReadParamFile(file.c_str(), &block), -2) << text;
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("refused"), std::string::npos) << text;
        const svsParameterBlock defaults = svsDefaultParameters();
        EXPECT_EQ(std::memcmp(&block, &defaults, sizeof block), 0) << text;
    }
}

TEST(SvsParams, AMissingFileOrNameIsReportedAndChangesNothing) {
    svsParameterBlock block = svsDefaultParameters();
    testing::internal::CaptureStderr();
    EXPECT_EQ(svsReadParamFile("/nonexistent/stereo.ini", &block), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open"), std::string::npos);
    EXPECT_EQ(svsReadParamFile(nullptr, &block), -1);
    EXPECT_EQ(svsReadParamFile("x", nullptr), -1);
    const svsParameterBlock defaults = svsDefaultParameters();
    EXPECT_EQ(std::memcmp(&block, &defaults, sizeof block), 0);
}

}  // namespace
