#include "tracking/MotionLoss.h"

#include "tracking/TrackerParameters.h"

LossThresholds LossThresholds::From(const CTrackerParameters& parameters) {
    LossThresholds thresholds;
    thresholds.minInlierShare = parameters.minInlierShare;
    thresholds.minFaceShare = parameters.minFaceShare;
    thresholds.maxResidual = parameters.maxResidual;
    thresholds.requireConvergence = parameters.requireConvergence;
    if (parameters.occlusionGap > 0.0f) thresholds.maxHiddenShare = kMaxHiddenShare;
    return thresholds;
}

bool LossThresholds::Accepts(const MotionLoss& loss) const {
    if (!loss.estimated) return true;
    if (loss.matchedRows < 1 || loss.jumped) return false;
    // Written as negations, so that a NaN share or scale fails.
    if (!(loss.inlierShare >= minInlierShare) || !(loss.faceShare >= minFaceShare)) return false;
    if (loss.HiddenShare() > maxHiddenShare || !(loss.foundHiddenShare <= maxHiddenShare)) return false;
    if (maxResidual > 0.0f && !(loss.brightnessScale <= maxResidual && loss.depthScale <= maxResidual)) return false;
    return loss.converged || !requireConvergence;
}
