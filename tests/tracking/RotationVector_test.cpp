#include "tracking/RotationVector.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

namespace {

// Against OpenCV's Rodrigues both ways, from no turn through a right angle to half a turn, where
// the axis must come from the diagonal rather than from the matrix's skew part.
TEST(RotationVector, AgreesWithRodriguesFromNoTurnToHalfATurn) {
    cv::RNG rng(7);
    for (const double angle : {0.0, 1e-10, 1e-6, 0.01, 0.3, 1.5707963, 3.0, 3.14159, CV_PI - 1e-9, CV_PI}) {
        for (int draw = 0; draw < 20; ++draw) {
            cv::Vec3d axis(rng.gaussian(1.0), rng.gaussian(1.0), rng.gaussian(1.0));
            axis /= cv::norm(axis);
            const cv::Vec3d vector = axis * angle;
            cv::Matx33d expected;
            cv::Rodrigues(vector, expected);
            const cv::Matx33d rotation = RotationFromVector(vector);
            EXPECT_LT(cv::norm(rotation - expected, cv::NORM_INF), 1e-12) << angle;
            const cv::Vec3d back = VectorFromRotation(rotation);
            // At half a turn v and -v are the same rotation.
            const double error = angle > 3.14 ? std::min(cv::norm(back - vector), cv::norm(back + vector))
                                              : cv::norm(back - vector);
            EXPECT_LT(error, angle > 3.14 ? 1e-6 : 1e-12) << angle;
            EXPECT_LE(cv::norm(back), CV_PI + 1e-12);
        }
    }
}

TEST(RotationVector, TakesTheNearestRotationOfARoundedMatrixAndPassesNaNOn) {
    // A matrix stored in float, as poses keep it.
    const cv::Vec3d vector(0.2, -0.4, 0.1);
    const cv::Matx33d rotation = RotationFromVector(vector);
    cv::Matx33d rounded;
    for (int i = 0; i < 9; ++i) rounded.val[i] = static_cast<float>(rotation.val[i]);
    EXPECT_LT(cv::norm(VectorFromRotation(rounded) - vector), 1e-6);

    cv::Matx33d broken = rotation;
    broken(1, 2) = std::nan("");
    EXPECT_TRUE(std::isnan(cv::norm(VectorFromRotation(broken))));
}

}  // namespace
