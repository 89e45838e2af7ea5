#include "tracking/TrackerParameters.h"

#include <gtest/gtest.h>

#include "common/ConfigReader.h"

#include <sstream>
#include <tuple>

namespace {

CTrackerParameters Parse(const std::string& text) {
    std::istringstream in(text);
    return CTrackerParameters(in);
}

auto Fields(const CTrackerParameters& p) {
    return std::make_tuple(p.resultsFileName, p.posesFileName, p.lambda, p.compareThreshold, p.matchFunction,
                           p.maxBestMatches, p.mergePose, p.gradient);
}

TEST(TrackerParameters, AnEmptyFileKeepsTheDefaults) {
    EXPECT_EQ(Fields(Parse("")), std::make_tuple(std::string(), std::string(), 1.0f, 1.0f, 1, 2, 3, 1));
}

TEST(TrackerParameters, ReadsEveryKeyAndKeywordWithTheLastOccurrenceWinning) {
    const auto p = Parse(
        "RESULTS_FILE: r.txt POSES_FILE: p.txt LAMBDA: 0.25 COMPARE_THRESHOLD: 3.5\n"
        "MATCH_FUNCTION: MATCH_FIRST MATCH_FUNCTION: MATCH_INTENSITY_DYNAMIC\n"
        "NB_MAX_BEST_MATCH: 4 MERGE_POSE: POSE_COVARIANCE GRADIENT: ANALYTIC stray 17 tokens\n");
    EXPECT_EQ(Fields(p), std::make_tuple(std::string("r.txt"), std::string("p.txt"), 0.25f, 3.5f, 6, 4, 4, 3));
    const struct {
        const char* text;
        int match, merge, gradient;
    } keywords[] = {
        {"MATCH_FUNCTION: MATCH_PREVIOUS MERGE_POSE: POSE_AVERAGE GRADIENT: DOUBLE", 1, 1, 1},
        {"MATCH_FUNCTION: MATCH_FIRST_AS_END MERGE_POSE: POSE_WEIGHTED_AVERAGE GRADIENT: DIRECT", 3, 2, 2},
        {"MATCH_FUNCTION: MATCH_INTENSITY_WITH_PREVIOUS MERGE_POSE: POSE_FIRST", 7, 3, 1},
        {"MATCH_FUNCTION: MATCH_COVARIANCE", 8, 3, 1},
        {"MATCH_FUNCTION: MATCH_COVARIANCE_DYNAMIC", 9, 3, 1},
        {"MATCH_FUNCTION: MATCH_INTENSITY", 5, 3, 1},
    };
    for (const auto& k : keywords) {
        const auto q = Parse(k.text);
        EXPECT_EQ(std::make_tuple(q.matchFunction, q.mergePose, q.gradient), std::make_tuple(k.match, k.merge, k.gradient))
            << k.text;
    }
}

TEST(TrackerParameters, MatchesKeysAndKeywordsExactlyAndIgnoresUnknownKeywords) {
    const auto p = Parse(
        "lambda: 5 LAMBDA 6 MATCH_FUNCTION: match_first MATCH_FUNCTION: MATCH_INTENSITY_DYNAMICS "
        "GRADIENT: SOBEL MERGE_POSE: POSE_FIRST_");
    EXPECT_EQ(Fields(p), Fields(CTrackerParameters()));
}

TEST(TrackerParameters, CommentsRunToTheLineEndIncludingOnTheLastLine) {
    const auto p = Parse("# LAMBDA: 7\nLAMBDA: 2 #GRADIENT: DIRECT\nGRADIENT: ANALYTIC\n# NB_MAX_BEST_MATCH: 9");
    EXPECT_EQ(std::make_tuple(p.lambda, p.gradient, p.maxBestMatches), std::make_tuple(2.0f, 3, 2));
}

TEST(TrackerParameters, AValueThatDoesNotParseStopsTheReadingAndKeepsWhatCameBefore) {
    const auto p = Parse("NB_MAX_BEST_MATCH: 5 LAMBDA: fast GRADIENT: DIRECT");
    EXPECT_EQ(std::make_tuple(p.maxBestMatches, p.lambda, p.gradient), std::make_tuple(5, 1.0f, 1));
    EXPECT_EQ(Parse("POSES_FILE: out.txt NB_MAX_BEST_MATCH: x MERGE_POSE: POSE_AVERAGE").mergePose, 3);
    EXPECT_EQ(Parse("LAMBDA:").lambda, 1.0f);  // the file ends where the value should be
}

TEST(TrackerParameters, TheIteratedEstimatorIsOffUntilAskedForAndReadsItsKeys) {
    const auto defaults = Parse("");
    EXPECT_FALSE(defaults.Iterated());
    EXPECT_EQ(std::make_tuple(defaults.pyramidLevels, defaults.robustWeights, defaults.rowWeights,
                              defaults.requireConvergence),
              std::make_tuple(1, 0, 0, false));
    const auto p = Parse(
        "ITERATIONS: 8 PYRAMID_LEVELS: 3 ROBUST_WEIGHTS: TUKEY ROW_WEIGHTS: NOISE MIN_INLIER_SHARE: 0.6\n"
        "MIN_FACE_SHARE: 0.25 MAX_RESIDUAL: 9 REQUIRE_CONVERGENCE: YES ROBUST_WEIGHTS: BISQUARE");
    EXPECT_TRUE(p.Iterated());
    EXPECT_EQ(std::make_tuple(p.iterations, p.pyramidLevels, p.robustWeights, p.rowWeights, p.minInlierShare,
                              p.minFaceShare, p.maxResidual, p.requireConvergence),
              std::make_tuple(8, 3, 2, 1, 0.6f, 0.25f, 9.0f, true));
    EXPECT_EQ(Parse("ROBUST_WEIGHTS: HUBER REQUIRE_CONVERGENCE: maybe").robustWeights, 1);
    EXPECT_FALSE(Parse("ITERATIONS: 0").Iterated());
    EXPECT_FALSE(Parse("REQUIRE_CONVERGENCE: YES REQUIRE_CONVERGENCE: NO").requireConvergence);
    EXPECT_FALSE(defaults.depthNoiseCorrection);
    EXPECT_TRUE(Parse("DEPTH_NOISE_CORRECTION: YES").depthNoiseCorrection);
    EXPECT_EQ(std::make_tuple(defaults.compareRegion, defaults.followRegion), std::make_tuple(false, false));
    const auto moving = Parse("KEYFRAME_COMPARISON: REGION FOLLOW_REGION: YES KEYFRAME_COMPARISON: FACE");
    EXPECT_EQ(std::make_tuple(moving.compareRegion, moving.followRegion), std::make_tuple(true, true));
    ::testing::internal::CaptureStderr();
    const auto refused = Parse("ITERATIONS: 5 ITERATIONS: -1 PYRAMID_LEVELS: 2 PYRAMID_LEVELS: 40");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("PYRAMID_LEVELS: 40 refused"), std::string::npos);
    EXPECT_EQ(std::make_tuple(refused.iterations, refused.pyramidLevels), std::make_tuple(5, 2));
    EXPECT_EQ(defaults.brightness, CTrackerParameters::BRIGHTNESS_CONSTANT);
    EXPECT_EQ(Parse("BRIGHTNESS: GAIN BRIGHTNESS: AFFINE").brightness, CTrackerParameters::BRIGHTNESS_GAIN);
    EXPECT_EQ(Parse("BRIGHTNESS: SHADING").brightness, CTrackerParameters::BRIGHTNESS_SHADING);
    EXPECT_EQ(defaults.depthSmoothing, CTrackerParameters::DEPTH_PLAIN);
    EXPECT_EQ(Parse("DEPTH_SMOOTHING: TEXTURE DEPTH_SMOOTHING: SHARP").depthSmoothing,
              CTrackerParameters::DEPTH_TEXTURE);
    EXPECT_EQ(Parse("DEPTH_SMOOTHING: TEXTURE_BRIGHTNESS").depthSmoothing, CTrackerParameters::DEPTH_TEXTURE_BRIGHTNESS);
    EXPECT_EQ(Parse("DEPTH_SMOOTHING: QUADRATIC").depthSmoothing, CTrackerParameters::DEPTH_QUADRATIC);
    EXPECT_EQ(defaults.jacobianDepth, CTrackerParameters::JACOBIAN_REFERENCE);
    EXPECT_EQ(Parse("JACOBIAN_DEPTH: DOUBLE JACOBIAN_DEPTH: MIDDLE").jacobianDepth, CTrackerParameters::JACOBIAN_DOUBLE);
    EXPECT_EQ(defaults.fineStride, 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("FINE_STRIDE: 2 FINE_STRIDE: 0 FINE_STRIDE: 5").fineStride, 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("FINE_STRIDE: 5 refused"), std::string::npos);
    EXPECT_EQ(defaults.fineSmoothing, 3);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("FINE_SMOOTHING: 2 FINE_SMOOTHING: 0 FINE_SMOOTHING: 4").fineSmoothing, 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("FINE_SMOOTHING: 4 refused"), std::string::npos);
    EXPECT_EQ(defaults.maskErosion, -1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("MASK_EROSION: 2 MASK_EROSION: -3 MASK_EROSION: 17").maskErosion, 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("MASK_EROSION: 17 refused"), std::string::npos);
    EXPECT_EQ(defaults.depthErosion, 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("DEPTH_EROSION: 2 DEPTH_EROSION: -1 DEPTH_EROSION: 17").depthErosion, 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("DEPTH_EROSION: 17 refused"), std::string::npos);
    EXPECT_EQ(defaults.outlineFill, 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("OUTLINE_FILL: 2 OUTLINE_FILL: 9").outlineFill, 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("OUTLINE_FILL: 9 refused"), std::string::npos);
    EXPECT_EQ(defaults.maxFrameRotationDeg, 0.0f);
    ::testing::internal::CaptureStderr();
    const auto limited = Parse("MAX_FRAME_ROTATION: 12 MAX_FRAME_ROTATION: -1 MAX_FRAME_ROTATION: 400");
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(limited.maxFrameRotationDeg, 12.0f);
    EXPECT_NE(said.find("MAX_FRAME_ROTATION: -1 refused"), std::string::npos) << said;
    EXPECT_NE(said.find("MAX_FRAME_ROTATION: 400 refused"), std::string::npos) << said;
    EXPECT_EQ(defaults.occlusionGap, 0.0f);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("OCCLUSION_GAP: 50 OCCLUSION_GAP: -5").occlusionGap, 50.0f);
    const std::string gapSaid = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(gapSaid.find("OCCLUSION_GAP: -5 refused"), std::string::npos) << gapSaid;
}

TEST(TrackerParameters, RefusesALambdaOrAPairCountThatCannotWorkAndSaysSo) {
    ::testing::internal::CaptureStderr();
    const auto p = Parse("LAMBDA: -10 LAMBDA: 3e38 NB_MAX_BEST_MATCH: 10 NB_MAX_BEST_MATCH: 1000 GRADIENT: DIRECT");
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::make_tuple(p.lambda, p.maxBestMatches, p.gradient), std::make_tuple(-10.0f, 10, 2));
    for (const char* line : {"ParamTrackerZBCCE.cfg: LAMBDA: 3e+38 refused", "keeping -10",
                             "ParamTrackerZBCCE.cfg: NB_MAX_BEST_MATCH: 1000 refused"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
}

TEST(TrackerParameters, TakesRelativeOutputFilesFromTheConfigurationsFolder) {
    std::istringstream in("POSES_FILE: out/poses.txt RESULTS_FILE: /abs/results.txt");
    CConfigReader::SetOrigin(in, "/cfg/ParamTrackerZBCCE.cfg");
    const CTrackerParameters p(in);
    EXPECT_EQ(p.posesFileName, "/cfg/out/poses.txt");
    EXPECT_EQ(p.resultsFileName, "/abs/results.txt");
}

}  // namespace
