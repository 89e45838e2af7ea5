// Geometry of the synthetic head worked out apart from the renderer, for the renderer's tests.
#pragma once

#include <cmath>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

namespace headtest {

// Distance along the ray (slopeX, slopeY, 1) from the left camera to the ellipsoid, or -1 when the
// ray misses; solved in camera coordinates, apart from the renderer's head-frame solution.
inline double EllipsoidHit(const CRigidMotion& pose, const cv::Vec3d& axes, double slopeX, double slopeY) {
    const cv::Matx33d inverseSquares =
        cv::Matx33d::diag({1 / (axes[0] * axes[0]), 1 / (axes[1] * axes[1]), 1 / (axes[2] * axes[2])});
    const cv::Matx33d form = pose.Rotation() * inverseSquares * pose.Rotation().t();
    const cv::Vec3d d(slopeX, slopeY, 1.0), w = -pose.Translation();
    const double a = d.dot(form * d), b = 2.0 * d.dot(form * w), c = w.dot(form * w) - 1.0;
    const double discriminant = b * b - 4 * a * c;
    return discriminant < 0 ? -1.0 : (-b - std::sqrt(discriminant)) / (2 * a);
}

}  // namespace headtest
