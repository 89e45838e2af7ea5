#include "acquisition/RecordedCameraConfig.h"

#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using C = CRecordedCameraConfig;

C ReadConfig(const std::string& text) {
    std::istringstream in(text);
    C config;
    config.Read(&in);
    return config;
}

TEST(RecordedCameraConfig, ReadsEveryKeyword) {
    const C c = ReadConfig(
        "RECORDED_CAMERA: TRICLOPS CAMERA_CONFIG_FILENAME: head.ini FILE_FORMAT: FORMAT_IFF INPUT_IMAGE_PATH: s/f\n"
        "FIRST_FILE_INDEX: 3 LAST_FILE_INDEX: 9 STEP_FILE_INDEX: 2 NB_PADDING_ZERO: 4 INTENSITY_WRITTEN: YES\n"
        "DISPARITY_WRITTEN: YES X_COORD_WRITTEN: YES Y_COORD_WRITTEN: YES DEPTH_WRITTEN: YES INTENSITY_SUFFIX: a\n"
        "DISPARITY_SUFFIX: b X_COORD_SUFFIX: c Y_COORD_SUFFIX: d DEPTH_SUFFIX: e Z_NEAR: 0.25 Z_FAR: 3\n"
        "IS_DISPARITY: 0 FOCAL: 400.5 BASELINE: 0.09 IMAGE_CENTER: 158.5 121\n");
    EXPECT_EQ(std::make_tuple(c.recordedCamera, c.cameraConfigFilename, c.fileFormat, c.inputImagePath),
              std::make_tuple(1, std::string("head.ini"), 2, std::string("s/f")));
    // The derived count is one pass over the indices, whatever the step.
    EXPECT_EQ(std::make_tuple(c.firstFileIndex, c.lastFileIndex, c.stepFileIndex, c.totalFrame, c.nbPaddingZero),
              std::make_tuple(3, 9, 2, 7, 4));
    std::string suffixes;
    for (const auto& channel : c.channels) suffixes += channel.written ? channel.suffix : "-";
    EXPECT_EQ(suffixes, "abcde");
    EXPECT_EQ(std::make_tuple(c.zNear, c.zFar, c.isDisparity, c.focal, c.baseline, c.imageCenterX, c.imageCenterY),
              std::make_tuple(0.25f, 3.0f, 0.0f, 400.5f, 0.09f, 158.5f, 121.0f));
}

TEST(RecordedCameraConfig, FollowsTheTokenRules) {
    const C c = ReadConfig(
        "# FIRST_FILE_INDEX: 7\nstray 12 FIRST_FILE_INDEX: 5 first_file_index: 9 FIRST_FILE_INDEX:6\n"
        "LAST_FILE_INDEX: 8 #LAST_FILE_INDEX: 1\nLAST_FILE_INDEX: 10 INTENSITY_WRITTEN: maybe\n"
        "DISPARITY_WRITTEN: YES DISPARITY_WRITTEN: yes X_COORD_WRITTEN: YES X_COORD_WRITTEN: NO\n"
        "FILE_FORMAT: FORMAT_BMP RECORDED_CAMERA: sri INPUT_IMAGE_PATH: seq/ INPUT_IMAGE_PATH: " +
        std::string(200, 'b') + " NB_PADDING_ZERO: 3 IMAGE_CENTER: 150 x NB_PADDING_ZERO: 5");
    EXPECT_EQ(std::make_tuple(c.firstFileIndex, c.lastFileIndex, c.totalFrame), std::make_tuple(5, 10, 6));
    std::string written;
    for (const auto& channel : c.channels) written += channel.written ? "1" : "0";
    EXPECT_EQ(written, "01000");
    EXPECT_EQ(std::make_tuple(c.fileFormat, c.recordedCamera), std::make_tuple(0, 2));
    EXPECT_EQ(c.inputImagePath, "seq/");  // a path of 200 characters is refused and the reading goes on
    EXPECT_EQ(std::make_tuple(c.imageCenterX, c.imageCenterY, c.nbPaddingZero), std::make_tuple(150.0f, 120.0f, 3));
    EXPECT_EQ(ReadConfig("INPUT_IMAGE_PATH: " + std::string(199, 'a')).inputImagePath.size(), 199u);
    EXPECT_EQ(ReadConfig("").totalFrame, 2);
    EXPECT_EQ(ReadConfig("FIRST_FILE_INDEX: -2147483648 LAST_FILE_INDEX: 2147483647").totalFrame, 2147483647);
}

}  // namespace
