#include "synth/IncrementErrors.h"

#include <cmath>

IncrementErrors MeasureIncrements(const std::vector<TrackedFrameResult>& results) {
    IncrementErrors out;
    cv::Vec3d sum(0.0, 0.0, 0.0), sumOfSquares(0.0, 0.0, 0.0);
    for (std::size_t k = 1; k < results.size(); ++k) {
        const TrackedFrameResult &before = results[k - 1], &after = results[k];
        if (after.index != before.index + 1) continue;
        const cv::Matx33d estimated = after.estimated.Rotation() * before.estimated.Rotation().t();
        const cv::Matx33d truth = after.truth.Rotation() * before.truth.Rotation().t();
        const cv::Vec3d error =
            CRigidMotion(estimated * truth.t(), cv::Vec3d(0.0, 0.0, 0.0)).RotationVector() * (180.0 / CV_PI);
        for (int axis = 0; axis < 3; ++axis) {
            sum[axis] += error[axis];
            sumOfSquares[axis] += error[axis] * error[axis];
        }
        ++out.pairs;
    }
    if (out.pairs == 0) return out;
    for (int axis = 0; axis < 3; ++axis) {
        out.meanDeg[axis] = sum[axis] / out.pairs;
        out.rmsDeg[axis] = std::sqrt(sumOfSquares[axis] / out.pairs);
    }
    return out;
}
