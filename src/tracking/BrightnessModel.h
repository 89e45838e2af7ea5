// How the current frame's grey levels relate to the reference's over a frame pair: the same
// (CONSTANT), or scaled by a gain (GAIN), as a camera's automatic exposure scales them when it
// follows the room or the head (a longer exposure or a higher gain multiplies every level, its
// gamma encoding too). Fitted to the matched pixels of each iteration, so that the brightness
// rows compare what the exposure cannot explain.
#pragma once

#include <vector>

class CBrightnessModel {
public:
    // current ~ gain * reference
    float Gain() const { return gain_; }
    void Reset() {
        gain_ = 1.0f;
        fitted_ = false;
    }
    // The ratio of the current levels' sum to the reference's, then again, up to three times,
    // without the pairs beyond three robust deviations of the gain before (a highlight, a hand);
    // after a first fit, the next ones start from its gain (the iterations of a pair refit it to
    // matches that barely move). Keeps the last fit when there are too few pairs or the gain
    // leaves 0.5 to 2.
    void Fit(const std::vector<float>& reference, const std::vector<float>& current);

private:
    float gain_ = 1.0f;
    bool fitted_ = false;
    std::vector<float> misfit_, scratch_;  // scratch of Fit
};
