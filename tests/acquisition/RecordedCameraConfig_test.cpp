#include "acquisition/RecordedCameraConfig.h"

#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "common/ConfigReader.h"

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

TEST(RecordedCameraConfig, RefusesValuesThatCannotWorkNamingTheFileTheKeywordAndTheValue) {
    std::istringstream in("FOCAL: 380 FOCAL: 0 BASELINE: -90 IMAGE_CENTER: 2e6 121 NB_PADDING_ZERO: 2000000000\n"
                          "INPUT_IMAGE_PATH: /short INPUT_IMAGE_PATH: /" + std::string(199, 'a') + "\n");
    CConfigReader::SetOrigin(in, "/rec/camera.cfg");
    C c;
    ::testing::internal::CaptureStderr();
    c.Read(&in);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::make_tuple(c.focal, c.baseline, c.imageCenterX, c.imageCenterY, c.nbPaddingZero, c.inputImagePath),
              std::make_tuple(380.0f, 1.0f, 160.0f, 121.0f, 1, std::string("/short")));
    for (const std::string line :
         {"/rec/camera.cfg: FOCAL: 0 refused", "/rec/camera.cfg: BASELINE: -90 refused",
          "/rec/camera.cfg: IMAGE_CENTER: 2e+06 refused", "/rec/camera.cfg: NB_PADDING_ZERO: 2000000000 refused",
          "/rec/camera.cfg: INPUT_IMAGE_PATH: /aaaa"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
    EXPECT_NE(said.find("longer than 199 characters); keeping \"/short\""), std::string::npos) << said;
}

TEST(RecordedCameraConfig, TakesRelativeFileNamesFromItsOwnFolder) {
    std::istringstream in("INPUT_IMAGE_PATH: frames/f CAMERA_CONFIG_FILENAME: head.ini");
    CConfigReader::SetOrigin(in, "/rec/session/camera.cfg");
    C c;
    c.Read(&in);
    EXPECT_EQ(c.inputImagePath, "/rec/session/frames/f");
    EXPECT_EQ(c.cameraConfigFilename, "/rec/session/head.ini");
    EXPECT_EQ(ReadConfig("INPUT_IMAGE_PATH: frames/f").inputImagePath, "frames/f");  // no origin: as written
}

}  // namespace
