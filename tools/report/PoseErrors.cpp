#include "report/PoseErrors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

YawPitchRoll ToYawPitchRoll(const cv::Matx33d& r) {
    YawPitchRoll angles;
    const double sinPitch = std::clamp(-r(1, 2), -1.0, 1.0);
    angles.pitch = std::asin(sinPitch) * kDegreesPerRadian;
    if (std::abs(r(1, 2)) > 1.0 - 1e-12) {
        // Yaw and roll turn about the same axis: all of it goes to yaw.
        angles.yaw = std::atan2(-r(2, 0), r(0, 0)) * kDegreesPerRadian;
        return angles;
    }
    angles.yaw = std::atan2(r(0, 2), r(2, 2)) * kDegreesPerRadian;
    angles.roll = std::atan2(r(1, 0), r(1, 1)) * kDegreesPerRadian;
    return angles;
}

std::vector<StepTruth> TruthForSteps(const CTrackLog& log, const CGroundTruth& truth, bool yUp) {
    std::vector<StepTruth> truths(log.Steps().size());
    for (std::size_t k = 0; k < truths.size(); ++k) {
        const int anchor = log.AnchorFrame(k);
        if (anchor < 0) continue;
        CRigidMotion motion;
        if (!truth.Motion(anchor, log.Steps()[k].frame, motion)) continue;
        truths[k].valid = true;
        truths[k].motion = yUp ? motion.FlippedY() : motion;
    }
    return truths;
}

TrackingErrors CompareWithTruth(const CTrackLog& log, const std::vector<StepTruth>& truths) {
    TrackingErrors errors;
    for (std::size_t k = 0; k < log.Steps().size() && k < truths.size(); ++k) {
        const TrackLogStep& step = log.Steps()[k];
        if (!step.Tracked() || !truths[k].valid) continue;
        errors.rotationDeg.Add(RotationDifferenceDeg(step.pose.Rotation(), truths[k].motion.Rotation()));
        errors.translationMm.Add(cv::norm(step.pose.Translation() - truths[k].motion.Translation()));
    }
    return errors;
}
