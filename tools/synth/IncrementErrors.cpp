#include "synth/IncrementErrors.h"

#include <cmath>

#include "synth/RigidMotion.h"

IncrementErrors MeasureIncrements(const std::vector<TrackedFrameResult>& results) {
    IncrementErrors out;
    cv::Vec3d sum(0.0, 0.0, 0.0), sumOfSquares(0.0, 0.0, 0.0);
    for (std::size_t k = 1; k < results.size(); ++k) {
        const TrackedFrameResult &before = results[k - 1], &after = results[k];
        if (after.index != before.index + 1) continue;
        const CRigidMotion estimated = RelativeMotion(before.estimated, after.estimated);
        const CRigidMotion truth = RelativeMotion(before.truth, after.truth);
        const cv::Vec3d error = RelativeMotion(truth, estimated).RotationVector() * (180.0 / CV_PI);
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
