#include "synth/Hand.h"

#include <algorithm>
#include <cmath>

#include "synth/HeadScene.h"

namespace {

constexpr double kSubOffset[2] = {-0.25, 0.25};

// Skin: a bright base with soft creases, darker towards the rim where the palm turns away.
float SkinIntensity(double u, double v, double rimSquared) {
    const double creases = 9.0 * std::sin(0.23 * u + 0.09 * v) * std::cos(0.17 * v) + 5.0 * std::sin(0.61 * u - 0.37 * v);
    return static_cast<float>((165.0 + creases) * (0.8 + 0.2 * (1.0 - rimSquared)));
}

}  // namespace

std::string HandPass::Problem() const {
    if (!Any()) return "";
    if (frames < 1) return "the hand must take at least one frame to cross";
    if (!(semiAxesMm.width > 0.0) || !(semiAxesMm.height > 0.0) || !std::isfinite(semiAxesMm.width) ||
        !std::isfinite(semiAxesMm.height))
        return "the hand's semi-axes must be positive";
    if (!(inFrontMm >= 0.0) || !std::isfinite(inFrontMm)) return "the hand must not be behind the head centre";
    if (restFrames < 0 || !std::isfinite(restXMm)) return "the hand's rest must not be negative and its place finite";
    return "";
}

void DrawHand(const HandPass& hand, const StereoRig& rig, const CRigidMotion& headPose, unsigned frame,
              double originX, double rowShift, cv::Mat& intensity, cv::Mat* x, cv::Mat* y, cv::Mat* z,
              cv::Mat* headMask) {
    if (!hand.Any() || frame < static_cast<unsigned>(hand.firstFrame) ||
        frame > static_cast<unsigned>(hand.firstFrame + hand.frames + hand.restFrames))
        return;
    const cv::Vec3d head = headPose.Translation();
    const double planeZ = head[2] - hand.inFrontMm;
    if (!(planeZ > 1.0)) return;
    const double a = hand.semiAxesMm.width, b = hand.semiAxesMm.height;
    // From just out of the left camera's view to just out of it on the other side.
    const double edge = planeZ * (rig.centreX + 2.0) / rig.focalPx + a;
    const double far = planeZ * (rig.width - rig.centreX + 2.0) / rig.focalPx + a;
    const double path = edge + far;
    const double restS = std::clamp((hand.restXMm + edge) / path, 0.0, 1.0);
    const double step = static_cast<double>(frame - hand.firstFrame);
    const double s = step <= restS * hand.frames ? step / hand.frames
                     : step <= restS * hand.frames + hand.restFrames
                         ? restS
                         : (step - hand.restFrames) / hand.frames;
    const cv::Point2d centre(-edge + s * path, head[1]);

    for (int j = 0; j < rig.height; ++j) {
        float* row = intensity.ptr<float>(j);
        for (int i = 0; i < rig.width; ++i) {
            double covered = 0.0, skin = 0.0;
            for (int k = 0; k < 4; ++k) {
                const double u = originX + planeZ * (i + kSubOffset[k & 1] - rig.centreX) / rig.focalPx - centre.x;
                const double v = planeZ * (j + kSubOffset[k >> 1] - rig.centreY - rowShift) / rig.focalPx - centre.y;
                const double rim = (u / a) * (u / a) + (v / b) * (v / b);
                if (rim > 1.0) continue;
                covered += 0.25;
                skin += 0.25 * SkinIntensity(u, v, rim);
            }
            if (covered == 0.0) continue;
            row[i] = static_cast<float>((1.0 - covered) * row[i] + skin);
            if (!x) continue;
            const double px = planeZ * (i - rig.centreX) / rig.focalPx, py = planeZ * (j - rig.centreY) / rig.focalPx;
            const double du = (px - centre.x) / a, dv = (py - centre.y) / b;
            if (du * du + dv * dv > 1.0) continue;
            x->at<float>(j, i) = static_cast<float>(px);
            y->at<float>(j, i) = static_cast<float>(py);
            z->at<float>(j, i) = static_cast<float>(planeZ);
            headMask->at<uchar>(j, i) = 0;
        }
    }
}
