#include "platform/svs/svs.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "support/RecordingFolder.h"

namespace {

bool SameBlock(const svsParameterBlock& a, const svsParameterBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SvsParams, ReadsAFileOverTheDefaultsAndResolvesItsPathsFromItsFolder) {
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini",
        "# a stereo head\n"
        "SUBSAMPLING: 2 1 COLOR: YES DISPARITIES: 64 #DISPARITIES: 16\n"
        "CORRELATION_WINDOW: 13 OFFSET: -3 1 CORRELATION_WINDOW: 15\n"
        "PIXEL_SIZE: 0.006 FOCAL: 3.6 3.7 PRINCIPAL_POINT_LEFT: 330 250 PRINCIPAL_POINT_RIGHT: 334 251\n"
        "SOURCE: FILES img/left-%04d.png /abs/right-%d.png 5 9\n");
    svsParameterBlock block = svsDefaultParameters();
    block.baseline = 55.0;  // not in the file: back to the default
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(block.decimation * block.binning, 2);
    EXPECT_EQ(block.colour, 1);
    EXPECT_EQ(block.numDisparities, 64);
    EXPECT_EQ(block.corrWindowWidth + block.corrWindowHeight, 30);
    EXPECT_EQ(block.offsetX, -3);
    EXPECT_DOUBLE_EQ(block.baseline, 1.0);
    // The default projection undoes the reconstruction: focal 600 px, centre x the mean of both.
    EXPECT_NEAR(block.projection[0], 600.0f, 1e-3);
    EXPECT_FLOAT_EQ(block.projection[2], 332.0f);
    EXPECT_FLOAT_EQ(block.projection[6], 250.0f);
    EXPECT_EQ(block.source.kind, SVS_SOURCE_FILES);
    EXPECT_EQ(std::string(block.source.left), folder.Path("img/left-%04d.png"));
    EXPECT_EQ(std::string(block.source.right), "/abs/right-%d.png");
    EXPECT_EQ(block.source.lastIndex, 9);
}

TEST(SvsParams, RectifiedProjectionsSupplyTheCalibrationTheFileLeavesOut) {
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini",
        "LEFT_CAMERA_MATRIX: 400 0 158 0 400 121 0 0 1 LEFT_DISTORTION: 5 -0.2 0.05 0 0 0\n"
        "LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0\n"
        "RIGHT_CAMERA_MATRIX: 402 0 161 0 402 119 0 0 1\n"
        "RIGHT_RECTIFIED_PROJECTION: 380 0 162 -34200 0 380 120 0 0 0 1 0\n");
    svsParameterBlock block = svsDefaultParameters();
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(block.rectification[0].distortionCount, 5);
    EXPECT_DOUBLE_EQ(block.rectification[1].rotation[4], 1.0);  // identity by default
    EXPECT_DOUBLE_EQ(block.leftFocal, 380.0);
    EXPECT_DOUBLE_EQ(block.rightCenterX, 162.0);
    EXPECT_DOUBLE_EQ(block.baseline, 90.0);  // 34200 / 380
}

TEST(SvsParams, MatchingOptionsAreOffUnlessTheFileAsksAndTheLastMentionCounts) {
    const svsParameterBlock defaults = svsDefaultParameters();
    EXPECT_EQ(std::make_tuple(defaults.matching.matcher, defaults.matching.leftRightCheck,
                              defaults.matching.smoothnessSmall, defaults.matching.subpixelWindow,
                              defaults.matching.edgeMargin, defaults.matching.recheckMargin, defaults.matching.paths,
                              defaults.matching.autoAlign, defaults.matching.fullWidth),
              std::make_tuple(SVS_MATCHER_BLOCK, -1, 0, 0, 0, 0, 3, 0, 0));
    RecordingFolder folder;
    const std::string file = folder.WriteText("stereo.ini",
        "MATCHER: SEMI_GLOBAL LEFT_RIGHT_CHECK: 2 SMOOTHNESS: 50 200 SUBPIXEL_WINDOW: 7 DEPTH_EDGE: 3 2 EDGE_RECHECK: 4 3 SEMI_GLOBAL_PATHS: 8 "
        "AUTO_ALIGN: BOTH FULL_WIDTH: YES\n");
    svsParameterBlock block = defaults;
    ASSERT_EQ(svsReadParamFile(file.c_str(), &block), 0);
    EXPECT_EQ(std::make_tuple(block.matching.matcher, block.matching.leftRightCheck, block.matching.smoothnessSmall,
                              block.matching.smoothnessLarge, block.matching.subpixelWindow, block.matching.edgeMargin,
                              block.matching.edgeJump, block.matching.recheckMargin, block.matching.recheckJump,
                              block.matching.paths, block.matching.autoAlign, block.matching.fullWidth),
              std::make_tuple(SVS_MATCHER_SEMI_GLOBAL, 2, 50, 200, 7, 3, 2, 4, 3, 8,
                              SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE, 1));
    const std::string undone = folder.WriteText("undone.ini",
        "LEFT_RIGHT_CHECK: 2 LEFT_RIGHT_CHECK: OFF MATCHER: SEMI_GLOBAL MATCHER: BLOCK SUBPIXEL_WINDOW: 0 "
        "AUTO_ALIGN: ROWS AUTO_ALIGN: NONE FULL_WIDTH: NO\n");
    ASSERT_EQ(svsReadParamFile(undone.c_str(), &block), 0);
    EXPECT_TRUE(SameBlock(block, defaults));
}

TEST(SvsParams, RefusesBadFilesAndLeavesTheBlockAsItWas) {
    const char* const bad[] = {
        "DISPARITIES:", "DISPARITIES: many", "DISPARITIES: 0", "DISPARITIES: 48 stray", "BASLINE: 90",
        "CORRELATION_WINDOW: 10", "PREFILTER_WINDOW: 3", "IMAGE_SIZE: 320 99999",
        "IMAGE_SIZE: 64 48",  // no valid window left with 48 disparities
        "SUBSAMPLING: 0 1", "OFFSET: 65 0", "BASELINE: -90", "FOCAL: 1e999 1", "PIXEL_SIZE: 1e-320",
        "COLOR: maybe", "LEFT_DISTORTION: 6 1 2 3 4 5 6", "RIGHT_ROTATION: 1 0 0 0 1 0 0 0 1",
        "LEFT_CAMERA_MATRIX: 0 0 160 0 400 120 0 0 1",
        "LEFT_RECTIFIED_PROJECTION: 1 0 0 0 0 1 0 0 0 0 1 0 RIGHT_RECTIFIED_PROJECTION: 1 0 0 0 0 1 0 0 0 0 1 0 "
        "LEFT_CAMERA_MATRIX: 1 0 0 0 1 0 0 0 1 RIGHT_CAMERA_MATRIX: 1 0 0 0 1 0 0 0 1",  // no baseline
        "SOURCE: CAMERA 0", "SOURCE: FILES left.png right-%d.png 1 2", "SOURCE: FILES l%d%d r%d 1 2",
        "SOURCE: FILES l%s r%d 1 2", "SOURCE: FILES l%d r%d 5 2", "SOURCE: FILES l%d r%d -1 2",
        "FRAME_RATE: -1", "MATCHER: SGBM", "LEFT_RIGHT_CHECK: 65", "LEFT_RIGHT_CHECK: on", "LEFT_RIGHT_CHECK: 1x",
        "SMOOTHNESS: 10 10", "SMOOTHNESS: 0 10", "SUBPIXEL_WINDOW: 4", "SUBPIXEL_WINDOW: 17", "SUBPIXEL_WINDOW: 1",
        "DEPTH_EDGE: 3 0", "DEPTH_EDGE: 17 2", "EDGE_RECHECK: 3", "EDGE_RECHECK: 3 65", "SEMI_GLOBAL_PATHS: 6", "SEMI_GLOBAL_PATHS: 2",
        "AUTO_ALIGN: YES", "AUTO_ALIGN:",
        "IMAGE_SIZE: 4096 4096",  // minutes of matching a grab
    };
    RecordingFolder folder;
    const svsParameterBlock defaults = svsDefaultParameters();
    for (const std::string text : bad) {
        const std::string file = folder.WriteText("bad.ini", "DISPARITIES: 32\n" + text + "\n");
        svsParameterBlock block = defaults;
        testing::internal::CaptureStderr();
        EXPECT_EQ(svsReadParamFile(file.c_str(), &block), -2) << text;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos) << text;
        EXPECT_TRUE(SameBlock(block, defaults)) << text;
    }
    svsParameterBlock block = defaults;
    const std::string longPath = folder.WriteText("long.ini", "SOURCE: DEVICE " + std::string(300, 'a'));
    testing::internal::CaptureStderr();
    EXPECT_EQ(svsReadParamFile(longPath.c_str(), &block), -2);
    EXPECT_EQ(svsReadParamFile(folder.Path("missing.ini").c_str(), &block), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open"), std::string::npos);
    EXPECT_EQ(svsReadParamFile(nullptr, &block), -1);
    // A pipe is refused without waiting for a writer; a device without reading it.
    const std::string pipe = folder.Path("camera.fifo");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& device : {pipe, std::string("/dev/zero")}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(svsReadParamFile(device.c_str(), &block), -2) << device;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("refused: not a regular file"), std::string::npos);
    }
    EXPECT_TRUE(SameBlock(block, defaults));
}

}  // namespace
