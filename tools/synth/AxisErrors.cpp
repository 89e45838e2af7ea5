#include "synth/AxisErrors.h"

#include <algorithm>
#include <cmath>

#include "synth/RigidMotion.h"

AxisErrors MeasureAxisErrors(const std::vector<TrackedFrameResult>& results) {
    constexpr double kDeg = 180.0 / CV_PI;
    AxisErrors out;
    out.frames = static_cast<int>(results.size());
    if (results.empty()) return out;
    std::vector<cv::Vec3d> truths, errors;
    cv::Vec3d truthSquares(0.0, 0.0, 0.0);
    for (const TrackedFrameResult& r : results) {
        truths.push_back(r.truth.RotationVector() * kDeg);
        errors.push_back(RelativeMotion(r.truth, r.estimated).RotationVector() * kDeg);
        for (int axis = 0; axis < 3; ++axis) truthSquares[axis] += truths.back()[axis] * truths.back()[axis];
    }
    for (int axis = 1; axis < 3; ++axis)
        if (truthSquares[axis] > truthSquares[out.mainAxis]) out.mainAxis = axis;
    const double n = static_cast<double>(results.size()), spread = truthSquares[out.mainAxis];
    for (int axis = 0; axis < 3; ++axis) {
        double cross = 0.0, squares = 0.0;
        for (std::size_t k = 0; k < results.size(); ++k) {
            cross += errors[k][axis] * truths[k][out.mainAxis];
            squares += errors[k][axis] * errors[k][axis];
        }
        // A run that never turns has no slope to fit: all of its error is rest.
        out.slope[axis] = spread > 0.0 ? cross / spread : 0.0;
        out.rmsDeg[axis] = std::sqrt(squares / n);
        out.restRmsDeg[axis] = std::sqrt(std::max(0.0, squares - out.slope[axis] * cross) / n);
    }
    return out;
}
