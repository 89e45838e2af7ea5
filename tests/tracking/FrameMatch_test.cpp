#include "tracking/FrameMatch.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/TrackingFixtures.h"
#include "synth/RigidMotion.h"

namespace {

CRigidMotion Motion(const CPose& p) {
    return CRigidMotion::FromRotationVector({p.GetRotation(0), p.GetRotation(1), p.GetRotation(2)},
                                            {p.GetTranslation(0), p.GetTranslation(1), p.GetTranslation(2)});
}

double Distance(const CPose& pose, const CRigidMotion& expected) {
    const CRigidMotion m = Motion(pose);
    return cv::norm(m.Rotation() - expected.Rotation(), cv::NORM_INF) +
           cv::norm(m.Translation() - expected.Translation());
}

TEST(FrameMatch, AbsolutePosesComposeExactlyInTheFramesOrderEitherWayRound) {
    const RenderedFrame plane = PlaneFrame(8, 8, 1000.0f, 380.0f, [](int, int) { return 0; });
    const CDepthMaskRegion region(0, 8, 0, 8, -1.0f, -1.0f);
    const auto reference = MakeTrackedFrame(plane, region, 1, 380.0f);
    const auto current = MakeTrackedFrame(plane, region, 2, 380.0f);
    CFrameMatch match(reference.get(), current.get(), 3.0f);
    EXPECT_EQ(match.GetAbsolutePose(), nullptr);  // not estimated yet

    const CPose relative(0.3f, -0.2f, 0.1f, 10, -5, 2);
    match.SetRelativePose(new CPose(relative));
    // A reference without a pose counts as the identity.
    EXPECT_LT(Distance(*std::unique_ptr<CPose>(match.GetAbsolutePose()), Motion(relative)), 1e-5);

    // Rotations about different axes: the product, not the sum of rotation vectors.
    auto* referencePose = new CPose(-0.4f, 0.5f, 0.2f, 100, 20, -30);
    referencePose->SetWeight(0.5f);
    reference->SetPose(referencePose);
    const std::unique_ptr<CPose> absolute(match.GetAbsolutePose());
    EXPECT_LT(Distance(*absolute, Motion(relative) * Motion(*referencePose)), 1e-4);
    EXPECT_TRUE(absolute->IsRotationVectorValid());
    EXPECT_EQ(absolute->GetWeight(), 0.5f);

    // Roles exchanged: the reference's pose from the current one and the inverse motion.
    current->SetPose(new CPose(*absolute));
    const std::unique_ptr<CPose> back(match.GetReferenceAbsolutePose());
    EXPECT_LT(Distance(*back, Motion(*referencePose)), 1e-4);
}

}  // namespace
