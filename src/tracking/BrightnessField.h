// A gain on the grey levels that varies across the face: current ~ (c + a u + b v) reference,
// u and v the moved point's ray (X / Z, Y / Z). A lamp beside the camera lights a head by how its
// surface faces the lamp; as the head turns, one side brightens and the other darkens, which a
// single gain cannot follow and the brightness rows would read as motion. To first order in the
// turn that change is linear across the face, and an exposure's gain is its constant part.
//
// Fitted to the matched pixels of each iteration, as CBrightnessModel fits its gain.
#pragma once

#include <vector>

class CBrightnessField {
public:
    struct Gains {
        float constant = 1.0f, alongX = 0.0f, alongY = 0.0f;
        float At(float u, float v) const { return constant + alongX * u + alongY * v; }
    };

    const Gains& Field() const { return gains_; }
    void Reset() {
        gains_ = Gains();
        fitted_ = false;
    }
    // Least squares over the pairs, refitted up to three times without those beyond three robust
    // deviations of the last fit; after a first fit, the next ones start from it. A field across
    // too narrow a spread of rays is a gain alone. Keeps the last fit when there are too few
    // pairs or the gain anywhere within the pairs' rays leaves 0.5 to 2. Without `slopes`, a gain
    // alone.
    void Fit(const std::vector<float>& reference, const std::vector<float>& current, const std::vector<float>& u,
             const std::vector<float>& v, bool slopes = true);

private:
    Gains gains_;
    bool fitted_ = false;
    std::vector<float> misfit_, scratch_;  // scratch of Fit
};
