#include "synth/HeadSurface.h"

#include <algorithm>
#include <cmath>

namespace {

// Steps along a ray never get shorter than this, so a sliver of the face thinner than this
// along a grazing ray may be missed; every feature is millimetres thick.
constexpr double kMinStepMm = 0.2;
constexpr double kRootToleranceMm = 1e-6;
constexpr double kDepthToleranceMm = 1e-8;
constexpr int kMaxRefinements = 60;

// Ray parameters [enter, leave] within a <= x <= b along one axis; false when the ray misses.
bool ClipSlab(double origin, double direction, double a, double b, double& enter, double& leave) {
    if (direction == 0.0) return origin >= a && origin <= b;
    double t0 = (a - origin) / direction, t1 = (b - origin) / direction;
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
    return enter <= leave;
}

}  // namespace

CHeadSurface::CHeadSurface(const cv::Vec3d& semiAxesMm, std::unique_ptr<CFaceRelief> relief)
    : axes_(semiAxesMm),
      inverseAxes_(1.0 / semiAxesMm[0], 1.0 / semiAxesMm[1], 1.0 / semiAxesMm[2]),
      relief_(std::move(relief)) {
    reach_ = std::max({axes_[0], axes_[1], axes_[2]});
    if (relief_) {
        const ReliefBox& b = relief_->Box();
        reach_ = std::max(reach_, std::sqrt(std::max(b.xMin * b.xMin, b.xMax * b.xMax) +
                                            std::max(b.yMin * b.yMin, b.yMax * b.yMax) + b.zNear * b.zNear));
    }
}

bool CHeadSurface::InReliefColumn(const cv::Vec3d& p) const {
    const ReliefBox& b = relief_->Box();
    return p[0] > b.xMin && p[0] < b.xMax && p[1] > b.yMin && p[1] < b.yMax;
}

bool CHeadSurface::Inside(const cv::Vec3d& p) const {
    if (relief_ && InReliefColumn(p) && p[2] < relief_->Box().zFar) return p[2] >= relief_->Front(p[0], p[1]);
    const cv::Vec3d q = p.mul(inverseAxes_);
    return q.dot(q) <= 1.0;
}

cv::Vec3d CHeadSurface::Normal(const cv::Vec3d& p) const {
    cv::Vec3d n;
    if (relief_ && InReliefColumn(p) && p[2] < relief_->Box().zFar) {
        // Outward is towards the camera side of z = Front(x, y).
        const cv::Vec2d g = relief_->FrontGradient(p[0], p[1]);
        n = cv::Vec3d(g[0], g[1], -1.0);
    } else {
        n = p.mul(inverseAxes_).mul(inverseAxes_);
    }
    return n / cv::norm(n);
}

bool CHeadSurface::Cast(const cv::Vec3d& origin, const cv::Vec3d& direction, double farLimit, double& s) const {
    double best = farLimit;
    const cv::Vec3d os = origin.mul(inverseAxes_), ds = direction.mul(inverseAxes_);
    const double a = ds.dot(ds), b = os.dot(ds), c = os.dot(os) - 1.0;
    const double discriminant = b * b - a * c;
    if (discriminant >= 0.0) {
        const double entry = (-b - std::sqrt(discriminant)) / a;
        // Where the relief may differ from the ellipsoid, the ellipsoid's entry does not count.
        if (entry > 0.0 && entry < best) {
            const cv::Vec3d p = origin + entry * direction;
            if (!relief_ || !InReliefColumn(p) || p[2] < relief_->Box().zNear || p[2] > relief_->Box().zFar)
                best = entry;
        }
    }
    if (relief_) {
        const ReliefBox& box = relief_->Box();
        double enter = 0.0, leave = best;
        if (ClipSlab(origin[0], direction[0], box.xMin, box.xMax, enter, leave) &&
            ClipSlab(origin[1], direction[1], box.yMin, box.yMax, enter, leave) &&
            ClipSlab(origin[2], direction[2], box.zNear, box.zFar, enter, leave)) {
            double hit;
            if (March(origin, direction, enter, leave, hit)) best = std::min(best, hit);
        }
    }
    if (!(best < farLimit)) return false;
    s = best;
    return true;
}

bool CHeadSurface::March(const cv::Vec3d& origin, const cv::Vec3d& direction, double begin, double end,
                         double& s) const {
    // Depth behind the front surface along the ray: negative outside the head, positive inside.
    auto depth = [&](double t) {
        const cv::Vec3d p = origin + t * direction;
        return p[2] - relief_->Front(p[0], p[1]);
    };
    // No step can go further than the depth left divided by how fast the depth can change.
    const double rate = std::abs(direction[2]) + relief_->GradientBound() * std::hypot(direction[0], direction[1]);
    double previous = begin, previousDepth = depth(begin);
    if (previousDepth >= 0.0) {
        s = begin;
        return true;
    }
    for (;;) {
        if (previous >= end) return false;
        const double next = std::min(previous + std::max(-previousDepth / rate, kMinStepMm), end);
        const double nextDepth = depth(next);
        if (nextDepth >= 0.0) {
            // Regula falsi with the Illinois halving: [low, high] always holds the crossing.
            double low = previous, lowDepth = previousDepth, high = next, highDepth = nextDepth;
            double t = high, value = nextDepth;
            int side = 0;
            for (int k = 0; k < kMaxRefinements && high - low > kRootToleranceMm; ++k) {
                t = (low * highDepth - high * lowDepth) / (highDepth - lowDepth);
                value = depth(t);
                if (std::abs(value) < kDepthToleranceMm) break;
                if (value > 0.0) {
                    high = t;
                    highDepth = value;
                    if (side == 1) lowDepth *= 0.5;
                    side = 1;
                } else {
                    low = t;
                    lowDepth = value;
                    if (side == -1) highDepth *= 0.5;
                    side = -1;
                }
            }
            s = std::abs(value) < kDepthToleranceMm ? t : high;
            return true;
        }
        previous = next;
        previousDepth = nextDepth;
    }
}
