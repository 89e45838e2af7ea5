#include "tracking/TrackerZBCCE.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "image/ImageROI.h"
#include "support/RecordingFolder.h"
#include "support/TrackingFixtures.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"
#include "synth/TrackingRun.h"

namespace {

// Stored frames of uniform grey, so that every intensity distance is known: frame k has the
// value kGrey[k - 1]; frame 6 is the newest.
const int kGrey[] = {12, 61, 45, 90, 27, 40};

class StoredFrames : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<RenderedFrame> frames;
        for (const int grey : kGrey)
            frames.push_back(PlaneFrame(320, 240, 1000.0f, 380.0f, [grey](int, int) { return grey; }));
        std::istringstream param(WriteRecording(folder.Path("grey"), frames, StereoRig()));
        source = std::make_unique<CStereoSource>(&param);
        while (source->GrabImage()) {
        }
        ASSERT_EQ(source->GetFrames().size(), 6u);
    }
    CTrackedFrame* Frame(int index) const {
        for (const auto& frame : source->GetFrames())
            if (frame->GetIndex() == index) return frame.get();
        return nullptr;
    }
    static std::unique_ptr<CTrackerZBCCE> Tracker(const std::string& configuration) {
        std::istringstream in(configuration);
        return std::make_unique<CTrackerZBCCE>(in);
    }
    // (reference index, current index, weight) of every record, front first.
    static std::vector<std::tuple<int, int, float>> Records(const CTrackerZBCCE& tracker) {
        std::vector<std::tuple<int, int, float>> records;
        for (const auto& m : tracker.GetMatches())
            records.emplace_back(m->GetReference()->GetIndex(), m->GetCurrent()->GetIndex(), m->GetWeight());
        return records;
    }
    static float Distance(int a, int b) { return std::sqrt(320.0f * 240.0f) * std::abs(a - b) / 25500.0f; }

    RecordingFolder folder;
    std::unique_ptr<CStereoSource> source;
};

TEST_F(StoredFrames, PreviousFirstAndFirstAsEndPickTheirFrames) {
    const auto tracker = Tracker("");
    CTrackedFrame* newest = Frame(6);
    tracker->SelectMatches(*source, newest, CTrackerParameters::MATCH_PREVIOUS);
    EXPECT_EQ(Records(*tracker), (std::vector<std::tuple<int, int, float>>{{5, 6, 1.0f}}));
    tracker->SelectMatches(*source, newest, CTrackerParameters::MATCH_FIRST);
    EXPECT_EQ(Records(*tracker), (std::vector<std::tuple<int, int, float>>{{1, 6, 0.0f}}));
    tracker->SelectMatches(*source, newest, CTrackerParameters::MATCH_FIRST_AS_END);
    EXPECT_EQ(Records(*tracker), (std::vector<std::tuple<int, int, float>>{{6, 1, 0.0f}}));
}

TEST_F(StoredFrames, IntensityModesKeepTheClosestFramesBestFirst) {
    const auto tracker = Tracker("");  // two best matches
    tracker->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY);
    const auto records = Records(*tracker);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::make_tuple(std::get<0>(records[0]), std::get<0>(records[1])), std::make_tuple(3, 5));
    EXPECT_NEAR(std::get<2>(records[0]), Distance(45, 40), 1e-6);
    EXPECT_NEAR(std::get<2>(records[1]), Distance(27, 40), 1e-6);

    // Fewer than one best match counts as one; more than there are keeps them all.
    Tracker("NB_MAX_BEST_MATCH: 0")->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY);
    const auto one = Tracker("NB_MAX_BEST_MATCH: -3");
    one->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY);
    EXPECT_EQ(Records(*one).size(), 1u);
    const auto all = Tracker("NB_MAX_BEST_MATCH: 9");
    all->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY);
    std::vector<int> order;
    for (const auto& r : Records(*all)) order.push_back(std::get<0>(r));
    EXPECT_EQ(order, (std::vector<int>{3, 5, 2, 1, 4}));
}

// Frame 6 (grey 40) against 5, 4, 3, 2, 1 in that order: once 5 and 4 are in, 3 (closer) makes
// the bound 13 grey levels, which 2 and 1 exceed part-way; the kept scores are whole.
TEST_F(StoredFrames, RegionScoresStopPartWayOnlyForFramesThatCannotBeKept) {
    source->SetRegion(40, 200, 30, 190, -1.0f, -1.0f);
    const auto tracker = Tracker("KEYFRAME_COMPARISON: REGION");
    tracker->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY);
    const CImageROI box(40, 30, 160, 160, 0);
    const auto whole = [&](int index) {
        return CTrackerZBCCE::RegionIntensityDistance(Frame(index)->GetIntensity(), Frame(6)->GetIntensity(), box);
    };
    EXPECT_EQ(Records(*tracker), (std::vector<std::tuple<int, int, float>>{{3, 6, whole(3)}, {5, 6, whole(5)}}));
    EXPECT_NEAR(whole(2), 21 * 160 / 25500.0f, 1e-6);

    const float full = whole(1);
    const float partial = CTrackerZBCCE::RegionIntensityDistance(Frame(1)->GetIntensity(), Frame(6)->GetIntensity(),
                                                                 box, 0.5f * full);
    EXPECT_GT(partial, 0.5f * full);
    EXPECT_LT(partial, full);
    for (const float bound : {full, 2.0f * full, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(CTrackerZBCCE::RegionIntensityDistance(Frame(1)->GetIntensity(), Frame(6)->GetIntensity(), box,
                                                         bound),
                  full)
            << bound;
}

// Faces alike, backgrounds apart: compared over the whole image the background decides, over
// the face region the face does.
TEST(KeyframeComparison, TheRegionKeepsTheBackgroundOutOfTheRanking) {
    const int face[] = {50, 90, 52}, background[] = {10, 200, 200};
    std::vector<RenderedFrame> frames;
    for (int k = 0; k < 3; ++k)
        frames.push_back(PlaneFrame(320, 240, 1000.0f, 380.0f, [&, k](int col, int row) {
            return col >= 100 && col < 220 && row >= 60 && row < 170 ? face[k] : background[k];
        }));
    RecordingFolder folder;
    std::istringstream param(WriteRecording(folder.Path("faces"), frames, StereoRig()));
    CStereoSource source(&param);
    while (source.GrabImage()) {
    }
    source.SetRegion(100, 220, 60, 170, -1.0f, -1.0f);
    CTrackedFrame* newest = source.GetCurrentFrame();
    ASSERT_EQ(newest->GetIndex(), 3);
    for (const bool region : {false, true}) {
        std::istringstream configuration(std::string("NB_MAX_BEST_MATCH: 1\nKEYFRAME_COMPARISON: ") +
                                         (region ? "REGION" : "IMAGE"));
        CTrackerZBCCE tracker(configuration);
        tracker.SelectMatches(source, newest, CTrackerParameters::MATCH_INTENSITY);
        ASSERT_EQ(tracker.GetMatches().size(), 1u);
        EXPECT_EQ(tracker.GetMatches().front()->GetReference()->GetIndex(), region ? 1 : 2) << region;
        if (region) {
            EXPECT_NEAR(tracker.GetMatches().front()->GetWeight(), std::sqrt(120.0f * 110.0f) * 2 / 25500.0f, 1e-6);
        }
    }
}

// Odd widths, a box reaching past the image and one wholly outside it.
TEST(KeyframeComparison, TheRegionDistanceIsTheNormOverTheBoxInsideTheImage) {
    cv::RNG random(7);
    CImage a(37, 29, IPL_DEPTH_32F, 1, 0), b(37, 29, IPL_DEPTH_32F, 1, 0);
    a.Allocate();
    b.Allocate();
    const cv::Mat first = iplFullView(a.GetIplImage()), second = iplFullView(b.GetIplImage());
    random.fill(first, cv::RNG::UNIFORM, 0.0, 0.01);
    random.fill(second, cv::RNG::UNIFORM, 0.0, 0.01);
    for (const cv::Rect box : {cv::Rect(3, 2, 23, 17), cv::Rect(30, 20, 13, 15), cv::Rect(0, 0, 37, 29)}) {
        const double expected = cv::norm(first(box & cv::Rect(0, 0, 37, 29)), second(box & cv::Rect(0, 0, 37, 29)));
        EXPECT_NEAR(CTrackerZBCCE::RegionIntensityDistance(&a, &b, CImageROI(box.x, box.y, box.width, box.height, 0)),
                    expected, 1e-6 * expected)
            << box;
    }
    EXPECT_EQ(CTrackerZBCCE::RegionIntensityDistance(&a, &b, CImageROI(40, 0, 5, 5, 0)), -1.0f);
}

// Frames 1 to 5 were grabbed while the face was searched: none has a pose, and the head may have
// been anywhere in them. Tracking starts from frame 5, so only it can stand for the identity.
TEST_F(StoredFrames, FramesGrabbedBeforeTheSessionsFirstFrameAreNoKeyframes) {
    const auto tracker = Tracker("MATCH_FUNCTION: MATCH_INTENSITY\nNB_MAX_BEST_MATCH: 5\n");
    tracker->Track(*source);
    std::vector<int> references;
    for (const auto& r : Records(*tracker)) references.push_back(std::get<0>(r));
    EXPECT_EQ(references, (std::vector<int>{5}));
    // Nor is the oldest of them the first frame.
    const auto first = Tracker("MATCH_FUNCTION: MATCH_FIRST\n");
    first->Track(*source);
    EXPECT_EQ(Records(*first), (std::vector<std::tuple<int, int, float>>{{5, 6, 0.0f}}));
}

TEST_F(StoredFrames, CovarianceScoresAddThePoseWeightAndCountAMissingPoseAsZero) {
    Frame(3)->SetPose(new CPose());
    Frame(3)->GetPose()->SetWeight(1.0f);  // an uncertain keyframe drops behind
    const auto tracker = Tracker("");
    tracker->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_COVARIANCE);
    const auto records = Records(*tracker);
    ASSERT_EQ(records.size(), 2u);
    const float square = 320.0f * 240.0f / (25500.0f * 25500.0f);
    EXPECT_EQ(std::make_tuple(std::get<0>(records[0]), std::get<0>(records[1])), std::make_tuple(5, 2));
    // Sums of 76800 squares in single precision: about 1e-3 relative.
    EXPECT_NEAR(std::get<2>(records[0]), 13 * 13 * square, 2e-3 * 13 * 13 * square);
    EXPECT_NEAR(std::get<2>(records[1]), 21 * 21 * square, 2e-3 * 21 * 21 * square);
    EXPECT_NEAR(CTrackerZBCCE::SquaredIntensityDifference(Frame(1)->GetIntensity(), Frame(6)->GetIntensity()),
                28 * 28 * square, 2e-3 * 28 * 28 * square);
}

TEST_F(StoredFrames, DynamicModesFallBackToThePreviousFrameUnlessAnOlderKeyframeIsAmongTheBest) {
    const auto tracker = Tracker("");
    for (const int code : {CTrackerParameters::MATCH_INTENSITY_DYNAMIC, CTrackerParameters::MATCH_COVARIANCE_DYNAMIC}) {
        // Frame 6: the best are 3 and 5, and 3 < 6 - 2 is an older keyframe: kept.
        tracker->SelectMatches(*source, Frame(6), code);
        EXPECT_EQ(std::get<0>(Records(*tracker).front()), 3) << code;
        EXPECT_EQ(Records(*tracker).size(), 2u) << code;
        // Frame 4 (grey 90): the best are 2 and 3, neither below 4 - 2: the previous frame alone.
        tracker->SelectMatches(*source, Frame(4), code);
        EXPECT_EQ(Records(*tracker), (std::vector<std::tuple<int, int, float>>{{5, 4, 1.0f}})) << code;
    }
}

TEST_F(StoredFrames, WithPreviousPutsThePreviousFrameFirstInPlaceOfTheBest) {
    const auto two = Tracker("");
    two->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS);
    EXPECT_EQ(Records(*two).size(), 2u);  // 5 is among the best: unchanged
    EXPECT_EQ(std::get<0>(Records(*two).front()), 3);
    const auto one = Tracker("NB_MAX_BEST_MATCH: 1");
    one->SelectMatches(*source, Frame(6), CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS);
    EXPECT_EQ(Records(*one), (std::vector<std::tuple<int, int, float>>{{5, 6, 1.0f}}));
}

TEST_F(StoredFrames, MergesComposeTheReferencePoseThenTheMotionAndAverageTheCandidates) {
    const auto tracker = Tracker("");
    Frame(2)->SetPose(new CPose(0.2f, -0.1f, 0.3f, 40, -20, 10));
    Frame(3)->SetPose(new CPose(0.25f, -0.05f, 0.3f, 42, -18, 12));
    tracker->AddMatch(Frame(3), Frame(6), 4.0f);
    tracker->AddMatch(Frame(2), Frame(6), 2.0f);  // front
    auto matches = tracker->GetMatches().begin();
    (*matches)->SetRelativePose(new CPose(0.01f, 0.02f, -0.03f, 1, 2, 3));
    (*std::next(matches))->SetRelativePose(new CPose(-0.02f, 0.01f, 0.0f, -1, 0, 2));

    // The exact candidates, rel o ref.
    const auto candidate = [](const CPose& ref, const CPose& rel) {
        const auto motion = [](const CPose& p) {
            return CRigidMotion::FromRotationVector({p.GetRotation(0), p.GetRotation(1), p.GetRotation(2)},
                                                    {p.GetTranslation(0), p.GetTranslation(1), p.GetTranslation(2)});
        };
        return motion(rel) * motion(ref);
    };
    const CRigidMotion a = candidate(*Frame(2)->GetPose(), *(*matches)->GetRelativePose());
    const CRigidMotion b = candidate(*Frame(3)->GetPose(), *(*std::next(matches))->GetRelativePose());
    const auto check = [](const CPose& merged, const cv::Vec3d& r, const cv::Vec3d& t, const char* what) {
        EXPECT_LT(cv::norm(cv::Vec3d(merged.GetRotation(0), merged.GetRotation(1), merged.GetRotation(2)) - r), 1e-5)
            << what;
        EXPECT_LT(cv::norm(cv::Vec3d(merged.GetTranslation(0), merged.GetTranslation(1), merged.GetTranslation(2)) - t),
                  1e-4)
            << what;
    };
    const std::unique_ptr<CPose> first(tracker->MergePoses(CTrackerParameters::POSE_FIRST));
    check(*first, a.RotationVector(), a.Translation(), "first");
    const std::unique_ptr<CPose> average(tracker->MergePoses(CTrackerParameters::POSE_AVERAGE));
    check(*average, (a.RotationVector() + b.RotationVector()) / 2, (a.Translation() + b.Translation()) / 2, "average");
    const std::unique_ptr<CPose> weighted(tracker->MergePoses(CTrackerParameters::POSE_WEIGHTED_AVERAGE));
    check(*weighted, (a.RotationVector() / 2 + b.RotationVector() / 4) / 0.75,
          (a.Translation() / 2 + b.Translation() / 4) / 0.75, "weighted");
    const std::unique_ptr<CPose> covariance(tracker->MergePoses(CTrackerParameters::POSE_COVARIANCE));
    check(*covariance, weighted->GetRotation(0) * cv::Vec3d(1, 0, 0) + cv::Vec3d(0, weighted->GetRotation(1), weighted->GetRotation(2)),
          {weighted->GetTranslation(0), weighted->GetTranslation(1), weighted->GetTranslation(2)}, "covariance");
    EXPECT_FLOAT_EQ(covariance->GetWeight(), 1.0f / (1.0f / 2 + 1.0f / 4));
    EXPECT_FLOAT_EQ(first->GetWeight(), 1e-10f);  // the reference pose's

    // A perfect match (weight 0) stands alone under the weighted merges, with weight 0.
    tracker->AddMatch(Frame(4), Frame(6), 0.0f);
    tracker->GetMatches().front()->SetRelativePose(new CPose(0.0f, 0.0f, 0.1f, 5, 6, 7));
    const std::unique_ptr<CPose> perfect(tracker->MergePoses(CTrackerParameters::POSE_COVARIANCE));
    check(*perfect, {0, 0, 0.1}, {5, 6, 7}, "perfect");
    EXPECT_EQ(perfect->GetWeight(), 0.0f);
}

TEST_F(StoredFrames, CovarianceWeightsTwoAndTwoMergeToOne) {
    const auto tracker = Tracker("");
    tracker->AddMatch(Frame(2), Frame(6), 2.0f);
    tracker->AddMatch(Frame(3), Frame(6), 2.0f);
    for (const auto& m : tracker->GetMatches()) m->SetRelativePose(new CPose());
    EXPECT_EQ(std::unique_ptr<CPose>(tracker->MergePoses(CTrackerParameters::POSE_COVARIANCE))->GetWeight(), 1.0f);
}

TEST_F(StoredFrames, WritesOneResultsLinePerPairAndFirstMatchMotionLendsTheFrontPose) {
    const auto tracker = Tracker("");
    EXPECT_EQ(tracker->GetFirstMatchMotion()->TranslationNorm(), 0.0f);  // no pair yet: the identity
    tracker->AddMatch(Frame(4), Frame(6), 3.0f);
    tracker->GetMatches().front()->SetRelativePose(new CPose(0.1f, 0.0f, -0.03f, 1.5f, -2.0f, 0.25f));
    std::ostringstream out;
    tracker->WriteResults(out);
    EXPECT_EQ(out.str(), "4 6 1e-10 1.5 -2 0.25 0.1 0 -0.03\n");
    EXPECT_EQ(tracker->GetFirstMatchMotion(), tracker->GetMatches().front()->GetRelativePose());
}

TEST(TrackerZBCCE, TracksAStillHeadWithExactOutputLinesFromTheFirstStepOn) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    const RenderedFrame still = scene->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950}));
    RecordingFolder folder;
    std::istringstream param(WriteRecording(folder.Path("still"), {still, still, still}, StereoRig()));
    CStereoSource source(&param);  // frame 1, "detecting"
    const FaceRegion r = InitialiserRegion(still, StereoRig(), CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950}));
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    std::istringstream configuration("RESULTS_FILE: " + folder.Path("results.txt") +
                                     " POSES_FILE: " + folder.Path("poses.txt"));
    {
        CTrackerZBCCE tracker(configuration);
        EXPECT_TRUE(tracker.HasResultsFile() && tracker.HasPosesFile());
        while (source.GrabImage()) EXPECT_EQ(tracker.Track(source), 1);
    }
    const auto read = [&](const char* name) {
        std::ifstream in(folder.Path(name));
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read("results.txt"), "1 2 1e-10 0 0 0 0 0 0\n2 3 1e-10 0 0 0 0 0 0\n");
    EXPECT_EQ(read("poses.txt"), "0 0 0 0 0 0\n0 0 0 0 0 0\n");
    std::istringstream unwritable("RESULTS_FILE: " + folder.Path("missing/dir/results.txt"));
    EXPECT_FALSE(CTrackerZBCCE(unwritable).HasResultsFile());
}

// A short rendered sweep through the source, as the host tracks it: a sign error or a broken
// mode shows as errors of several degrees.
TEST(TrackerZBCCE, FollowsARenderedSweepInEveryMatchingModeAndThroughDisparityAndLiveStereo) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    RecordingFolder folder;
    for (const char* name : {"yaw", "pitch"}) {
        TrajectoryOptions trajectory;
        trajectory.name = name;
        trajectory.frameCount = 30;
        trajectory.stillFrames = 2;
        trajectory.amplitudeRad = 8.0 * M_PI / 180.0;
        std::vector<CRigidMotion> poses;
        ASSERT_TRUE(MakeTrajectory(trajectory, poses, nullptr));
        SequenceOptions options;
        options.folder = folder.Path(name);
        options.frameCount = static_cast<int>(poses.size());
        options.forms = kFormPgm | kFormDisparity | kFormPng;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        ASSERT_NE(writer, nullptr);
        CGroundTruth truth;
        FaceRegion region;
        for (std::size_t k = 0; k < poses.size(); ++k) {
            const RenderedFrame frame = scene->Render(poses[k]);
            ASSERT_TRUE(writer->WriteFrame(static_cast<int>(k) + 1, frame, nullptr));
            truth.Add(static_cast<int>(k) + 1, poses[k]);
            if (k == 1) region = InitialiserRegion(frame, options.camera, poses[k]);
        }
        ASSERT_TRUE(writer->WriteConfiguration(nullptr));
        const struct {
            const char* path;
            int match, merge;
            bool perspective;
        } runs[] = {
            {"xyz", CTrackerParameters::MATCH_PREVIOUS, CTrackerParameters::POSE_FIRST, false},
            {"disparity", CTrackerParameters::MATCH_PREVIOUS, CTrackerParameters::POSE_FIRST, false},
            {"xyz", CTrackerParameters::MATCH_INTENSITY, CTrackerParameters::POSE_WEIGHTED_AVERAGE, false},
            {"xyz", CTrackerParameters::MATCH_COVARIANCE, CTrackerParameters::POSE_COVARIANCE, false},
            {"disparity", CTrackerParameters::MATCH_PREVIOUS, CTrackerParameters::POSE_FIRST, true},
            {"live", CTrackerParameters::MATCH_PREVIOUS, CTrackerParameters::POSE_FIRST, true},
        };
        for (const auto& run : runs) {
            TrackingRunOptions options2;
            options2.folder = writer->Options().folder;
            options2.path = run.path;
            options2.stillFrames = 2;
            options2.region = region;
            options2.tracker.lambda = -10.0f;
            options2.tracker.matchFunction = run.match;
            options2.tracker.mergePose = run.merge;
            options2.perspective = run.perspective;
            std::vector<TrackedFrameResult> results;
            std::string error;
            ASSERT_TRUE(RunTracking(options2, truth, results, &error)) << error;
            const TrackingErrors s = Summarise(results);
            EXPECT_EQ(s.rotationDeg.count, 28);
            EXPECT_LT(s.rotationDeg.rms, 1.0) << name << " " << run.path << " " << run.match;
            EXPECT_LT(s.rotationDeg.max, 2.0) << name << " " << run.path << " " << run.match;
            EXPECT_LT(s.translationMm.rms, 15.0) << name << " " << run.path << " " << run.match;
        }
    }
}

}  // namespace

namespace {

// The head leaves the view sideways within a second: the iterated tracker, judging each pair by
// its loss, says the face is lost (its lent motion fails validation) before it reports a pose
// more than a few degrees wrong.
TEST(TrackerZBCCE, DeclaresALeavingHeadLostBeforeItsPoseGoesWrong) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    TrajectoryOptions trajectory;
    trajectory.name = "quickleave";
    trajectory.stillFrames = 3;
    trajectory.frameCount = TimedFrameCount(trajectory);
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(trajectory, poses, nullptr));
    std::vector<RenderedFrame> frames;
    for (const CRigidMotion& pose : poses) frames.push_back(scene->Render(pose));
    RecordingFolder folder;
    std::istringstream param(WriteRecording(folder.Path("leave"), frames, StereoRig()) + "PROJECTION: PERSPECTIVE\n");
    CStereoSource source(&param);
    while (source.GetCurrentFrame()->GetIndex() < trajectory.stillFrames) ASSERT_TRUE(source.GrabImage());
    const FaceRegion r = InitialiserRegion(frames[2], StereoRig(), poses[2]);
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    std::istringstream configuration("ITERATIONS: 10 PYRAMID_LEVELS: 3 ROBUST_WEIGHTS: TUKEY ROW_WEIGHTS: NOISE");
    CTrackerZBCCE tracker(configuration);
    int lost = 0;
    while (!lost && source.GrabImage()) {
        tracker.Track(source);
        const int index = source.GetCurrentFrame()->GetIndex();
        if (!tracker.GetFirstMatchMotion()->IsRotationVectorValid()) {
            lost = index;
            EXPECT_FALSE(tracker.FirstMatchTrusted());
            break;
        }
        const CRigidMotion truth(poses[index - 1].Rotation() * poses[2].Rotation().t(), cv::Vec3d());
        const CRigidMotion estimated = ToMotion(*source.GetCurrentFrame()->GetPose());
        EXPECT_LT(RotationDifferenceDeg(estimated.Rotation(), truth.Rotation()), 3.0) << index;
    }
    EXPECT_GT(lost, 0);
}

// A head that turns 4 degrees, then 14 in one frame: within a 10-degree limit the first step
// is trusted, the second is not, however well its pairs matched. The limit holds for a session's
// first step too, whose previous frame (grabbed while the face was searched) has no pose.
TEST(TrackerZBCCE, AStepTurningFurtherThanTheFrameLimitIsNotTrusted) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    const std::vector<double> sequences[] = {{0, 0, 0, 4, 18}, {0, 0, 0, 14}};
    for (const std::vector<double>& yawDeg : sequences) {
        std::vector<CRigidMotion> poses;
        std::vector<RenderedFrame> frames;
        for (const double yaw : yawDeg) {
            poses.push_back(CRigidMotion::FromRotationVector({0, yaw * CV_PI / 180.0, 0}, {0, 0, 950}));
            frames.push_back(scene->Render(poses.back()));
        }
        const FaceRegion r = InitialiserRegion(frames[2], StereoRig(), poses[2]);
        for (const char* limit : {"", "MAX_FRAME_ROTATION: 10"}) {
            RecordingFolder folder;
            std::istringstream param(WriteRecording(folder.Path("turn"), frames, StereoRig()) +
                                     "PROJECTION: PERSPECTIVE\n");
            CStereoSource source(&param);
            while (source.GetCurrentFrame()->GetIndex() < 3) ASSERT_TRUE(source.GrabImage());
            source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
            std::istringstream configuration(std::string("ITERATIONS: 10 PYRAMID_LEVELS: 3 ROBUST_WEIGHTS: TUKEY ") +
                                             "ROW_WEIGHTS: NOISE " + limit);
            CTrackerZBCCE tracker(configuration);
            std::vector<bool> trusted;
            while (source.GrabImage()) {
                tracker.Track(source);
                trusted.push_back(tracker.FirstMatchTrusted() && tracker.GetFirstMatchMotion()->IsRotationVectorValid());
            }
            std::vector<bool> expected(yawDeg.size() - 3, true);
            if (*limit) expected.back() = false;
            EXPECT_EQ(trusted, expected) << limit << " over " << yawDeg.size() << " frames";
        }
    }
}

// A face found again nearer than its last session's: the occlusion gap measures the new
// session's references against the face as found now, from the first step on (against the old
// one, every pixel of a face 350 mm nearer lay in front of it and none was left).
TEST(TrackerZBCCE, ASessionFoundAgainNearerKeepsItsFacePixelsBehindAHandGap) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    const CRigidMotion far = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
    const CRigidMotion nearer = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 600});
    std::vector<RenderedFrame> frames;
    for (int k = 0; k < 8; ++k) frames.push_back(scene->Render(k < 5 ? far : nearer));
    RecordingFolder folder;
    std::istringstream param(WriteRecording(folder.Path("again"), frames, StereoRig()) + "PROJECTION: PERSPECTIVE\n");
    CStereoSource source(&param);
    while (source.GetCurrentFrame()->GetIndex() < 3) ASSERT_TRUE(source.GrabImage());
    const auto setRegion = [&](const RenderedFrame& frame, const CRigidMotion& pose) {
        const FaceRegion r = InitialiserRegion(frame, StereoRig(), pose);
        source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    };
    setRegion(frames[2], far);
    std::istringstream configuration("ITERATIONS: 10 PYRAMID_LEVELS: 3 ROBUST_WEIGHTS: TUKEY ROW_WEIGHTS: NOISE "
                                     "OCCLUSION_GAP: 50");
    CTrackerZBCCE tracker(configuration);
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(source.GrabImage());
        tracker.Track(source);
        EXPECT_TRUE(tracker.FirstMatchTrusted());
    }
    // The face lost and searched for one frame (no pose), found again at 600 mm.
    ASSERT_TRUE(source.GrabImage());
    ASSERT_TRUE(source.GrabImage());
    setRegion(frames[6], nearer);
    ASSERT_TRUE(source.GrabImage());
    tracker.Track(source);
    ASSERT_FALSE(tracker.GetLosses().empty());
    EXPECT_GT(tracker.GetLosses().front().matchedRows, 1000);
    EXPECT_TRUE(tracker.FirstMatchTrusted());
    const CRigidMotion estimated = ToMotion(*source.GetCurrentFrame()->GetPose());
    EXPECT_LT(RotationDifferenceDeg(estimated.Rotation(), cv::Matx33d::eye()), 0.5);
}

}  // namespace

namespace {

// Reference pixels of the first pair of one step over a slight turn, under these settings.
int ReferencePixels(const std::string& settings) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    std::vector<CRigidMotion> poses;
    std::vector<RenderedFrame> frames;
    for (const double yaw : {0.0, 0.0, 2.0}) {
        poses.push_back(CRigidMotion::FromRotationVector({0, yaw * CV_PI / 180.0, 0}, {0, 0, 950}));
        frames.push_back(scene->Render(poses.back()));
    }
    const FaceRegion r = InitialiserRegion(frames[1], StereoRig(), poses[1]);
    RecordingFolder folder;
    std::istringstream param(WriteRecording(folder.Path("turn"), frames, StereoRig()) + "PROJECTION: PERSPECTIVE\n");
    CStereoSource source(&param);
    while (source.GetCurrentFrame()->GetIndex() < 2) source.GrabImage();
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    std::istringstream configuration("ITERATIONS: 10 PYRAMID_LEVELS: 3 ROW_WEIGHTS: NOISE " + settings);
    CTrackerZBCCE tracker(configuration);
    if (!source.GrabImage()) return -1;
    tracker.Track(source);
    return tracker.GetLosses().empty() ? -1 : tracker.GetLosses()[0].referencePixels;
}

}  // namespace

// The outline's pixels tell a turn best; a thinner erosion keeps them, down to the derivatives'
// own reach.
TEST(TrackerZBCCE, MaskErosionSetsHowMuchOfTheOutlineTheRowsKeep) {
    const int byWidth = ReferencePixels(""), five = ReferencePixels("MASK_EROSION: 5");
    const int two = ReferencePixels("MASK_EROSION: 2"), none = ReferencePixels("MASK_EROSION: 0");
    ASSERT_GT(byWidth, 1000);
    EXPECT_EQ(five, byWidth);  // one per 64 columns of a 320-column camera
    EXPECT_GT(two, byWidth + byWidth / 20);
    EXPECT_EQ(none, two);
}
