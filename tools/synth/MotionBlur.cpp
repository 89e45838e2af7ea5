#include "synth/MotionBlur.h"

namespace {

// The pose a fraction f (0 to 1) of the way from a to b.
CRigidMotion Between(const CRigidMotion& a, const CRigidMotion& b, double f) {
    const CRigidMotion turn(a.Rotation().t() * b.Rotation(), cv::Vec3d());
    const CRigidMotion partTurn = CRigidMotion::FromRotationVector(f * turn.RotationVector(), cv::Vec3d());
    return CRigidMotion(a.Rotation() * partTurn.Rotation(), (1.0 - f) * a.Translation() + f * b.Translation());
}

}  // namespace

std::vector<CRigidMotion> ShutterPoses(const std::vector<CRigidMotion>& poses, std::size_t k, double shutterShare) {
    std::vector<CRigidMotion> open;
    if (!(shutterShare > 0.0) || k >= poses.size()) return open;
    const CRigidMotion& now = poses[k];
    const CRigidMotion& before = k > 0 ? poses[k - 1] : now;
    const CRigidMotion& after = k + 1 < poses.size() ? poses[k + 1] : now;
    for (int s = 0; s < kShutterSamples; ++s) {
        const double t = shutterShare * ((s + 0.5) / kShutterSamples - 0.5);  // frames from the instant
        open.push_back(t < 0.0 ? Between(now, before, -t) : Between(now, after, t));
    }
    return open;
}

RenderedFrame RenderSequenceFrame(const CHeadScene& scene, const std::vector<CRigidMotion>& poses, std::size_t k,
                                  unsigned noiseStream) {
    return scene.Render(poses[k], noiseStream, ShutterPoses(poses, k, scene.Options().shutterShare));
}
