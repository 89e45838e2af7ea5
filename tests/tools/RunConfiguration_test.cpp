// The configurations of measured runs: the defaults, the files the sequence writer recommends,
// and keyword lines on top; checked by what the tracker does with them.
#include "synth/RunConfiguration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "evaluation/CaseRuns.h"
#include "evaluation/EvaluationOptions.h"
#include "evaluation/SequenceCase.h"

namespace {

namespace fs = std::filesystem;

class RunConfigurationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = (fs::temp_directory_path() / ("vantorel_runconfig_" + std::to_string(::getpid()))).string();
        SequenceCase sequence;
        sequence.trajectory = "yaw";
        sequence.frames = 14;
        sequence.stillFrames = 4;
        written_ = new WrittenCase;
        std::string error;
        ASSERT_TRUE(WriteSequenceCase(sequence, folder_, *written_, &error)) << error;
    }
    static void TearDownTestSuite() {
        delete written_;
        written_ = nullptr;
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Rotation errors frame by frame of one run with a configuration, or with the legacy options
    // (`iterated`: the iterated estimator's settings the writer recommends).
    static std::vector<double> Run(const RunConfiguration* configuration, float lambda = 1.0f,
                                   bool perspective = false, bool iterated = false) {
        TrackingRunOptions run;
        run.folder = written_->folder;
        run.stillFrames = 4;
        run.region = written_->region;
        if (configuration) run.configuration = *configuration;
        run.tracker.lambda = lambda;
        if (iterated) {
            run.tracker.iterations = 10;
            run.tracker.pyramidLevels = 3;
            run.tracker.rowWeights = CTrackerParameters::ROWS_NOISE;
            run.tracker.robustWeights = CTrackerParameters::ROBUST_TUKEY;
            run.tracker.matchFunction = CTrackerParameters::MATCH_INTENSITY;
            run.tracker.maxBestMatches = 5;
            run.tracker.maxFrameRotationDeg = 12.0f;
            run.tracker.compareRegion = true;
            run.tracker.mergePose = CTrackerParameters::POSE_WEIGHTED_AVERAGE;
            run.tracker.followRegion = true;
            run.tracker.maskErosion = 2;
            run.tracker.brightness = CTrackerParameters::BRIGHTNESS_GAIN;
            run.tracker.fineStride = 2;
            run.tracker.fineSmoothing = 2;
            run.tracker.jacobianDepth = CTrackerParameters::JACOBIAN_DOUBLE;
            run.tracker.depthSmoothing = CTrackerParameters::DEPTH_QUADRATIC;
            run.tracker.occlusionGap = 50.0f;
        }
        run.perspective = perspective;
        std::vector<TrackedFrameResult> results;
        std::string error;
        EXPECT_TRUE(RunTracking(run, written_->truth, results, &error)) << error;
        std::vector<double> errors;
        for (const TrackedFrameResult& r : results) errors.push_back(r.error.rotationDeg);
        return errors;
    }

    static std::string folder_;
    static WrittenCase* written_;
};

std::string RunConfigurationTest::folder_;
WrittenCase* RunConfigurationTest::written_ = nullptr;

TEST_F(RunConfigurationTest, DefaultsLeaveEverySettingAtItsBuiltInValue) {
    RunConfiguration defaults;
    ASSERT_TRUE(LoadRunConfiguration("defaults", folder_, defaults, nullptr));
    EXPECT_EQ(defaults.param + defaults.init + defaults.tracker, "");
    const std::vector<double> errors = Run(&defaults);
    ASSERT_EQ(errors.size(), 10u);
    EXPECT_EQ(errors, Run(nullptr));
}

TEST_F(RunConfigurationTest, RecommendedIsWhatTheWriterWroteAndFollowsItsChanges) {
    RunConfiguration recommended;
    ASSERT_TRUE(LoadRunConfiguration("recommended", folder_, recommended, nullptr));
    EXPECT_NE(recommended.tracker.find("LAMBDA: -10"), std::string::npos);
    EXPECT_EQ(recommended.tracker.find("RESULTS_FILE:"), std::string::npos);
    EXPECT_EQ(recommended.param.find("CONFIG_FILENAME:"), std::string::npos);
    const std::string param = recommended.ParamFor(folder_, "live");
    EXPECT_NE(param.find("PROJECTION: PERSPECTIVE"), std::string::npos);
    EXPECT_NE(param.find("CAMERA_TYPE: SRI\nCONFIG_FILENAME: " + folder_ + "/camera-live.cfg"), std::string::npos);
    const std::vector<double> errors = Run(&recommended);
    EXPECT_EQ(errors, Run(nullptr, -10.0f, true, true));
    EXPECT_NE(errors, Run(nullptr));

    // Keyword lines added afterwards win over the file's.
    recommended.AddTrackerKeyword("LAMBDA: 1");
    recommended.AddParamKeyword("PROJECTION: ORTHOGONAL");
    EXPECT_EQ(Run(&recommended), Run(nullptr, 1.0f, false, true));

    // A changed recommendation is followed as written.
    const std::string trackerFile = folder_ + "/ParamTrackerZBCCE.cfg";
    std::string original;
    {
        std::ifstream in(trackerFile);
        original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(trackerFile) << original << "LAMBDA: 0\n";
    RunConfiguration changed;
    ASSERT_TRUE(LoadRunConfiguration("recommended", folder_, changed, nullptr));
    std::ofstream(trackerFile) << original;
    EXPECT_EQ(Run(&changed), Run(nullptr, 0.0f, true, true));

    std::string error;
    EXPECT_FALSE(LoadRunConfiguration("recommended", folder_ + "/missing", changed, &error));
    EXPECT_NE(error.find("Param.cfg"), std::string::npos);
    EXPECT_FALSE(LoadRunConfiguration("tuned", folder_, changed, &error));
}

TEST_F(RunConfigurationTest, TheFaceRegionFollowsTheInitialisersSizes) {
    const FaceRegion standard = written_->RegionFor("");
    EXPECT_EQ(standard.right - standard.left, 120);
    EXPECT_EQ(standard.bottom - standard.top, 110);
    EXPECT_EQ(standard.left, written_->region.left);
    const FaceRegion narrow = written_->RegionFor("SIZE_FACE_X: 40\nSIZE_FACE_Y: 50 20\n");
    EXPECT_EQ(narrow.right - narrow.left, 80);
    EXPECT_EQ(narrow.bottom - narrow.top, 70);
    EXPECT_EQ(narrow.left + narrow.right, standard.left + standard.right);
}

TEST(RunConfiguration, DropsOnlyTheLinesOfTheGivenKeywords) {
    EXPECT_EQ(WithoutKeywords("# c\nRESULTS_FILE: a\n  POSES_FILE: b\nLAMBDA: -10 # RESULTS_FILE: c\n",
                              {"RESULTS_FILE:", "POSES_FILE:"}),
              "# c\nLAMBDA: -10 # RESULTS_FILE: c\n");
}

TEST(EvaluationOptions, KeywordOptionsAddLinesInOrderAndBadValuesAreRefused) {
    const char* argv[] = {"evaluate_tracking", "sequences", "--lambda", "0", "--tracker-keyword", "GRADIENT: DIRECT",
                          "--projection", "orthogonal", "--configs", "defaults,recommended", "--focal", "300,500"};
    EvaluationOptions options;
    std::string error;
    ASSERT_TRUE(ParseEvaluationOptions(12, const_cast<char**>(argv), options, &error)) << error;
    EXPECT_EQ(options.trackerKeywords, (std::vector<std::string>{"LAMBDA: 0", "GRADIENT: DIRECT"}));
    EXPECT_EQ(options.paramKeywords, (std::vector<std::string>{"PROJECTION: ORTHOGONAL"}));
    ASSERT_EQ(options.rigs.size(), 2u);
    EXPECT_EQ(options.rigs[1].distanceMm, 950.0);
    EXPECT_EQ(options.rigs[1].focalPx, 500.0);
    for (const std::vector<const char*>& bad :
         {std::vector<const char*>{"evaluate_tracking", "sequences", "--configs", "tuned"},
          {"evaluate_tracking", "sequences", "--trajectories", "spin"},
          {"evaluate_tracking", "sequences", "--distance", "-5"},
          {"evaluate_tracking", "sequences", "--modes"},
          {"evaluate_tracking", "replay"}}) {
        EvaluationOptions refused;
        EXPECT_FALSE(ParseEvaluationOptions(static_cast<int>(bad.size()), const_cast<char**>(bad.data()), refused,
                                            &error))
            << bad.back();
    }
}

}  // namespace
