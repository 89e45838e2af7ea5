#include "acquisition/RecordedCameraConfig.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

CRecordedCameraConfig ReadConfig(const std::string& text) {
    std::istringstream in(text);
    CRecordedCameraConfig config;
    config.Read(&in);
    return config;
}

TEST(RecordedCameraConfig, DefaultsGiveTwoFramesOfUnwrittenPgmChannels) {
    const CRecordedCameraConfig config = ReadConfig("");
    EXPECT_EQ(config.recordedCamera, CRecordedCameraConfig::RECORDED_NONE);
    EXPECT_EQ(config.fileFormat, CRecordedCameraConfig::FORMAT_NONE);
    EXPECT_EQ(config.firstFileIndex, 100);
    EXPECT_EQ(config.lastFileIndex, 101);
    EXPECT_EQ(config.totalFrame, 2);
    EXPECT_EQ(config.stepFileIndex, 1);
    EXPECT_EQ(config.nbPaddingZero, 1);
    const char* suffixes[] = {"-i.pgm", "-d.pgm", "-x.pgm", "-y.pgm", "-z.pgm"};
    for (int c = 0; c < CRecordedCameraConfig::CHANNEL_COUNT; ++c) {
        EXPECT_FALSE(config.channels[c].written);
        EXPECT_EQ(config.channels[c].suffix, suffixes[c]);
    }
    EXPECT_FLOAT_EQ(config.focal, 1.0f);
    EXPECT_FLOAT_EQ(config.baseline, 1.0f);
    EXPECT_FLOAT_EQ(config.imageCenterX, 160.0f);
    EXPECT_FLOAT_EQ(config.imageCenterY, 120.0f);
}

TEST(RecordedCameraConfig, ReadsEveryKeywordOfARecording) {
    const CRecordedCameraConfig config = ReadConfig(
        "RECORDED_CAMERA: TRICLOPS\nCAMERA_CONFIG_FILENAME: head.ini\nFILE_FORMAT: FORMAT_IFF\n"
        "INPUT_IMAGE_PATH: /data/seq/frame\nFIRST_FILE_INDEX: 3 LAST_FILE_INDEX: 9 STEP_FILE_INDEX: 2\n"
        "NB_PADDING_ZERO: 4\nINTENSITY_WRITTEN: YES DEPTH_WRITTEN: YES DEPTH_SUFFIX: _z.pgm\n"
        "Z_NEAR: 0.25 Z_FAR: 3 IS_DISPARITY: 0 FOCAL: 400.5 BASELINE: 0.09 IMAGE_CENTER: 158.5 121\n");
    EXPECT_EQ(config.recordedCamera, CRecordedCameraConfig::RECORDED_TRICLOPS);
    EXPECT_EQ(config.cameraConfigFilename, "head.ini");
    EXPECT_EQ(config.fileFormat, CRecordedCameraConfig::FORMAT_IFF);
    EXPECT_EQ(config.inputImagePath, "/data/seq/frame");
    EXPECT_EQ(config.firstFileIndex, 3);
    EXPECT_EQ(config.lastFileIndex, 9);
    EXPECT_EQ(config.stepFileIndex, 2);
    EXPECT_EQ(config.totalFrame, 7);  // one pass over the indices, whatever the step
    EXPECT_EQ(config.nbPaddingZero, 4);
    EXPECT_TRUE(config.channels[CRecordedCameraConfig::INTENSITY].written);
    EXPECT_TRUE(config.channels[CRecordedCameraConfig::DEPTH].written);
    EXPECT_FALSE(config.channels[CRecordedCameraConfig::X_COORD].written);
    EXPECT_EQ(config.channels[CRecordedCameraConfig::DEPTH].suffix, "_z.pgm");
    EXPECT_FLOAT_EQ(config.zNear, 0.25f);
    EXPECT_FLOAT_EQ(config.zFar, 3.0f);
    EXPECT_FLOAT_EQ(config.isDisparity, 0.0f);
    EXPECT_FLOAT_EQ(config.focal, 400.5f);
    EXPECT_FLOAT_EQ(config.baseline, 0.09f);
    EXPECT_FLOAT_EQ(config.imageCenterX, 158.5f);
    EXPECT_FLOAT_EQ(config.imageCenterY, 121.0f);
}

TEST(RecordedCameraConfig, SkipsCommentsAndUnknownWordsAndKeepsTheLastOfARepeatedKey) {
    const CRecordedCameraConfig config = ReadConfig(
        "# FIRST_FILE_INDEX: 7\nstray 12 FIRST_FILE_INDEX: 5 first_file_index: 9 FIRST_FILE_INDEX:6\n"
        "LAST_FILE_INDEX: 8 #LAST_FILE_INDEX: 1\nLAST_FILE_INDEX: 10 TOTAL_FRAME: 3");
    EXPECT_EQ(config.firstFileIndex, 5);  // keywords are whole, case-sensitive tokens
    EXPECT_EQ(config.lastFileIndex, 10);
    EXPECT_EQ(config.totalFrame, 3);  // given, so not derived
}

TEST(RecordedCameraConfig, AValueThatDoesNotParseStopsTheReading) {
    const CRecordedCameraConfig config = ReadConfig("FIRST_FILE_INDEX: 4 LAST_FILE_INDEX: ten FOCAL: 5");
    EXPECT_EQ(config.firstFileIndex, 4);
    EXPECT_EQ(config.lastFileIndex, 101);
    EXPECT_FLOAT_EQ(config.focal, 1.0f);
    EXPECT_EQ(config.totalFrame, 98);  // still derived once the reading has stopped

    const CRecordedCameraConfig halfCentre = ReadConfig("IMAGE_CENTER: 150 x FOCAL: 5");
    EXPECT_FLOAT_EQ(halfCentre.imageCenterX, 150.0f);
    EXPECT_FLOAT_EQ(halfCentre.imageCenterY, 120.0f);
    EXPECT_FLOAT_EQ(halfCentre.focal, 1.0f);
}

TEST(RecordedCameraConfig, UnlistedChoiceWordsLeaveTheirFieldUnchanged) {
    const CRecordedCameraConfig config = ReadConfig(
        "INTENSITY_WRITTEN: maybe DISPARITY_WRITTEN: YES DISPARITY_WRITTEN: yes FILE_FORMAT: FORMAT_BMP "
        "RECORDED_CAMERA: sri X_COORD_WRITTEN: YES X_COORD_WRITTEN: NO FIRST_FILE_INDEX: 1");
    EXPECT_FALSE(config.channels[CRecordedCameraConfig::INTENSITY].written);
    EXPECT_TRUE(config.channels[CRecordedCameraConfig::DISPARITY].written);
    EXPECT_FALSE(config.channels[CRecordedCameraConfig::X_COORD].written);
    EXPECT_EQ(config.fileFormat, CRecordedCameraConfig::FORMAT_NONE);
    EXPECT_EQ(config.recordedCamera, CRecordedCameraConfig::RECORDED_NONE);
    EXPECT_EQ(config.firstFileIndex, 1);  // the reading went on
}

TEST(RecordedCameraConfig, RefusesAnInputImagePathLongerThan199Characters) {
    const std::string longest(199, 'a');
    const std::string tooLong(200, 'b');
    EXPECT_EQ(ReadConfig("INPUT_IMAGE_PATH: " + longest).inputImagePath, longest);
    const CRecordedCameraConfig config =
        ReadConfig("INPUT_IMAGE_PATH: seq/ INPUT_IMAGE_PATH: " + tooLong + " FIRST_FILE_INDEX: 2");
    EXPECT_EQ(config.inputImagePath, "seq/");
    EXPECT_EQ(config.firstFileIndex, 2);
}

TEST(RecordedCameraConfig, DerivesTheFrameCountOfADescendingRangeWithoutOverflow) {
    EXPECT_EQ(ReadConfig("FIRST_FILE_INDEX: 9 LAST_FILE_INDEX: 3").totalFrame, 7);
    EXPECT_EQ(ReadConfig("FIRST_FILE_INDEX: -2147483648 LAST_FILE_INDEX: 2147483647").totalFrame, 2147483647);
}

TEST(RecordedCameraConfig, AMissingFileKeepsTheDefaults) {
    CRecordedCameraConfig config;
    config.Read(nullptr);
    EXPECT_EQ(config.totalFrame, 2);
    EXPECT_EQ(config.fileFormat, CRecordedCameraConfig::FORMAT_NONE);
}

}  // namespace
