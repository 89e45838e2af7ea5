// Robust weights for iteratively reweighted least squares: each block of residuals (brightness,
// depth) gets a scale from its median absolute residual, and each row a weight from its residual
// in that scale, so that rows that fit nothing (a hand in front of the face, hair, a highlight,
// background at the silhouette) stop pulling the pose.
//
// Residuals handed in are already divided by the noise their measurement has, so a scale of 1
// means "as good as the sensor"; the scale never goes below that floor, which keeps a perfect
// fit from turning every small residual into an outlier.
#pragma once

#include <cmath>
#include <vector>

#include "tracking/TrackerParameters.h"

class CRobustWeights {
public:
    static constexpr float kHuberTuning = 1.345f;  // 95 % efficiency on Gaussian noise
    static constexpr float kTukeyTuning = 4.685f;  // the same for the biweight
    static constexpr float kMadToSigma = 1.4826f;  // median absolute value of a unit Gaussian

    // kind: a CTrackerParameters::RobustWeighting code; unknown codes weigh every row 1.
    explicit CRobustWeights(int kind) : kind_(kind) {}

    // kMadToSigma * median |residual|, at least floor; floor for an empty block. `scratch` is
    // working storage the caller keeps between calls.
    static float Scale(const std::vector<float>& residuals, float floor, std::vector<float>& scratch);

    // The weight of a row whose residual is `normalised` scales from zero. Inline: called for
    // every row of every iteration.
    float Weight(float normalised) const {
        const float magnitude = std::fabs(normalised);
        switch (kind_) {
            case CTrackerParameters::ROBUST_HUBER:
                return magnitude <= kHuberTuning ? 1.0f : kHuberTuning / magnitude;
            case CTrackerParameters::ROBUST_TUKEY: {
                if (!(magnitude < kTukeyTuning)) return 0.0f;
                const float u = normalised / kTukeyTuning;
                const float v = 1.0f - u * u;
                return v * v;
            }
            default:
                return 1.0f;
        }
    }
    // A row keeps its weight while its residual is within the biweight's reach, whatever the kind:
    // the share of such rows says how much of the pair the pose explains.
    static bool Keeps(float normalised) { return normalised < kTukeyTuning && normalised > -kTukeyTuning; }

private:
    int kind_;
};
