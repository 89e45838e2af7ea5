// The relief head as rendered: every pixel on the true surface and nearest on its ray, the face's
// features where a face has them and where the photograph shows them, a turned head hiding part
// of itself.
#include "synth/FaceRelief.h"

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "support/HeadGeometry.h"
#include "synth/HeadScene.h"
#include "synth/HeadSurface.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const CRigidMotion kFrontal = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
const CRigidMotion kTurned = CRigidMotion::FromRotationVector({0, 30 * kPi / 180, 0}, {0, 0, 950});

class FaceReliefTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        scene_ = CHeadScene::Create(SceneOptions(), &error).release();
        ASSERT_NE(scene_, nullptr) << error;
        ASSERT_NE(scene_->Surface().Relief(), nullptr);  // the default head
    }
    static void TearDownTestSuite() { delete scene_; }

    // A pixel's ray in head coordinates: origin + s direction, s the camera's Z.
    struct Ray {
        cv::Vec3d origin, direction;
        cv::Vec3d At(double s) const { return origin + s * direction; }
    };
    static Ray PixelRay(const CRigidMotion& pose, int i, int j) {
        const StereoRig& c = scene_->Options().camera;
        const cv::Matx33d back = pose.Rotation().t();
        return {back * -pose.Translation(), back * cv::Vec3d((i - c.centreX) / c.focalPx, (j - c.centreY) / c.focalPx, 1)};
    }
    // Longest run of samples 0.2 mm apart inside the head, along the ray from `from` to `to`.
    static int LongestInsideRun(const Ray& ray, double from, double to) {
        int run = 0, longest = 0;
        for (double s = from; s < to; s += 0.2) {
            run = scene_->Surface().Inside(ray.At(s)) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return longest;
    }
    static cv::Vec3d Point(const RenderedFrame& f, int i, int j) {
        return {f.x.at<float>(j, i), f.y.at<float>(j, i), f.z.at<float>(j, i)};
    }

    static CHeadScene* scene_;
};

CHeadScene* FaceReliefTest::scene_ = nullptr;

TEST_F(FaceReliefTest, EveryHeadPixelSeesTheNearestPointOfTheTrueSurfaceOnItsOwnRay) {
    const CHeadSurface& surface = scene_->Surface();
    const CFaceRelief& relief = *surface.Relief();
    const cv::Vec3d axes = scene_->Options().headSemiAxesMm;
    for (const CRigidMotion& pose : {kFrontal, CRigidMotion::FromRotationVector({0.2, -0.6, 0.3}, {-40, 30, 820})}) {
        const RenderedFrame frame = scene_->Render(pose);
        const double centre = pose.Translation()[2];
        int onRelief = 0;
        for (int j = 0; j < 240; ++j)
            for (int i = 0; i < 320; ++i) {
                const Ray ray = PixelRay(pose, i, j);
                const cv::Vec3d seen = Point(frame, i, j);
                const bool head = frame.headMask.at<unsigned char>(j, i);
                const double closest = -ray.origin.dot(ray.direction) / ray.direction.dot(ray.direction);
                if (cv::norm(ray.At(closest)) > surface.Reach()) {
                    ASSERT_FALSE(head) << i << ", " << j;
                    continue;
                }
                // Nothing of the head before the point seen, nor anywhere along a ray that misses it.
                const double from = centre - surface.Reach(), to = head ? seen[2] - 0.05 : centre + surface.Reach();
                if (to > from) {
                    ASSERT_LT(LongestInsideRun(ray, from, to), 3) << i << ", " << j;
                }
                if (!head) continue;
                ASSERT_LT(cv::norm(ray.At(seen[2]) - pose.Inverse().Apply(seen)), 1e-3) << i << ", " << j;
                const cv::Vec3d p = pose.Inverse().Apply(seen);
                const ReliefBox& box = relief.Box();
                if (p[0] > box.xMin && p[0] < box.xMax && p[1] > box.yMin && p[1] < box.yMax && p[2] < box.zFar) {
                    ASSERT_NEAR(p[2], relief.Front(p[0], p[1]), 0.01) << i << ", " << j;
                    onRelief += relief.Height(p[0], p[1]) != 0.0;
                } else {
                    const cv::Vec3d q(p[0] / axes[0], p[1] / axes[1], p[2] / axes[2]);
                    ASSERT_NEAR(std::sqrt(q.dot(q)), 1.0, 1e-4) << i << ", " << j;
                }
            }
        EXPECT_GT(onRelief, 1000);
    }
}

TEST_F(FaceReliefTest, TheNoseStandsProudAndTheEyeSocketsSinkBelowTheBrowWhereThePhotographShowsThem) {
    const SceneOptions& o = scene_->Options();
    const FaceMapping& m = o.face;
    const RenderedFrame frame = scene_->Render(kFrontal);
    cv::Point nearest;
    cv::minMaxLoc(frame.z, nullptr, nullptr, &nearest, nullptr, frame.headMask);
    // Straight ahead of the frontal head, head x, y are camera X, Y.
    auto pixelOf = [&](const cv::Point2d& photo, double z) {
        return cv::Point2d(o.camera.centreX + o.camera.focalPx * (photo.x - m.photoCentrePx.x) / m.photoPxPerMm / z,
                           o.camera.centreY + o.camera.focalPx * (photo.y - m.photoCentrePx.y) / m.photoPxPerMm / z);
    };
    const double tipZ = frame.z.at<float>(nearest);
    const double beneath = headtest::EllipsoidHit(kFrontal, o.headSemiAxesMm, (nearest.x - 160) / 380.0,
                                                  (nearest.y - 120) / 380.0);
    EXPECT_GE(beneath - tipZ, 20.0);
    EXPECT_LE(beneath - tipZ, 28.0);
    EXPECT_LT(cv::norm(cv::Point2d(nearest) - pixelOf(m.noseTipPx, tipZ)), 1.5);
    // Moved on the head with the photograph, the relief follows it: 6 photograph pixels to the
    // right put the face about 5 mm further left on the head.
    SceneOptions moved;
    moved.face.photoCentrePx.x += 6.0;
    const auto shifted = CHeadScene::Create(moved, nullptr);
    ASSERT_NE(shifted, nullptr);
    const RenderedFrame other = shifted->Render(kFrontal);
    cv::Point movedTip;
    cv::minMaxLoc(other.z, nullptr, nullptr, &movedTip, nullptr, other.headMask);
    EXPECT_NEAR(frame.x.at<float>(nearest) - other.x.at<float>(movedTip), 6.0 / m.photoPxPerMm, 1.0);
    EXPECT_NEAR(movedTip.y, nearest.y, 1);

    for (const cv::Point2d& eye : {m.leftEyePx, m.rightEyePx}) {
        const cv::Point2d at = pixelOf(eye, 950 - 80);
        const int column = static_cast<int>(std::lround(at.x)), row = static_cast<int>(std::lround(at.y));
        const double eyeY = frame.y.at<float>(row, column);
        // The brow: the nearest point of the 5 to 25 mm above the eye.
        double brow = 1e9;
        for (int j = row; j >= 0; --j) {
            const double above = eyeY - frame.y.at<float>(j, column);
            if (above >= 5.0 && above <= 25.0) brow = std::min(brow, static_cast<double>(frame.z.at<float>(j, column)));
        }
        const double socket = frame.z.at<float>(row, column) - brow;
        EXPECT_GE(socket, 8.0) << eye;
        EXPECT_LE(socket, 12.0) << eye;
    }

}

TEST_F(FaceReliefTest, TurnedThirtyDegreesTheNoseHidesPartOfTheCheek) {
    const CFaceRelief& relief = *scene_->Surface().Relief();
    // Pixels that see the nose while their ray, once out of the nose, meets the face again behind it.
    auto hiding = [&](const CRigidMotion& pose, int& nose) {
        const RenderedFrame frame = scene_->Render(pose);
        int hidden = 0;
        nose = 0;
        for (int j = 0; j < 240; ++j)
            for (int i = 0; i < 320; ++i) {
                if (!frame.headMask.at<unsigned char>(j, i)) continue;
                const cv::Vec3d p = pose.Inverse().Apply(Point(frame, i, j));
                if (relief.Height(p[0], p[1]) < 10.0) continue;
                ++nose;
                const Ray ray = PixelRay(pose, i, j);
                bool left = false;
                for (double s = frame.z.at<float>(j, i) + 0.1; s < frame.z.at<float>(j, i) + 60.0; s += 0.1) {
                    const bool inside = scene_->Surface().Inside(ray.At(s));
                    if (!inside) left = true;
                    if (inside && left) {
                        ++hidden;
                        break;
                    }
                }
            }
        return hidden;
    };
    int noseFrontal = 0, noseTurned = 0;
    EXPECT_EQ(hiding(kFrontal, noseFrontal), 0);
    EXPECT_GT(hiding(kTurned, noseTurned), 10);
    EXPECT_GT(noseFrontal, 10);
    EXPECT_GT(noseTurned, 10);
}

}  // namespace
