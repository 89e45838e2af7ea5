#include "tracking/PointDepthNoise.h"

#include <algorithm>

#include "common/HotPath.h"
#include "tracking/RowLanes.h"

namespace {

using row_lanes::kLanes;
using row_lanes::Lanes;
using row_lanes::Load;

// The sums of A = sum c a a^T: xx, xy, xz, yy, yz, zz.
struct Sums {
    double value[6] = {0, 0, 0, 0, 0, 0};
};

// Eight rows at a time, as the rows are made; a row past the end, or with no positive reference
// depth or a non-finite weight, adds nothing.
VANTOREL_HOT_PATH Sums SumOverRows(const MatchedPoints& matches, const MotionRows& rows,
                                   const std::vector<float>& weights, const PointDepthNoiseInputs& inputs, int n) {
    const cv::Matx33f& r = inputs.rotation;
    const cv::Vec3f& t = inputs.translation;
    // The reference depth of a moved point: the third row of R^T applied to p' - t.
    const float bx = r(0, 2), by = r(1, 2), bz = r(2, 2);
    const float offset = bx * t[0] + by * t[1] + bz * t[2];
    const float cap = inputs.cutOff * inputs.depthScale;
    // The reference's own noise, of the two frames' in the depth residual; averaged, half of it.
    const float share = inputs.averagedDepth ? 0.25f : 0.5f;
    Lanes sums[6] = {};
    Sums total;
    for (int from = 0; from < n; from += kLanes) {
        const int left = n - from;
        Lanes x, y, z, ax, ay, az, noise, residual, weight;
        Load(matches.x, from, left, 0.0f, x);
        Load(matches.y, from, left, 0.0f, y);
        Load(matches.z, from, left, 1.0f, z);
        Load(rows.brightnessJacobian[0], from, left, 0.0f, ax);
        Load(rows.brightnessJacobian[1], from, left, 0.0f, ay);
        Load(rows.brightnessJacobian[2], from, left, 0.0f, az);
        Load(rows.depthNoise, from, left, 0.0f, noise);
        Load(rows.depth, from, left, 0.0f, residual);
        Load(weights, from, left, 0.0f, weight);
        const Lanes depth = bx * x + by * y + bz * z - offset;
        const Lanes magnitude = residual < 0.0f ? -residual : residual;
        const Lanes clipped = magnitude < cap ? magnitude : cap;  // NaN takes the cap
        const Lanes spread = noise * clipped;
        const Lanes inverse = depth > 0.0f ? 1.0f / depth : Lanes{};
        Lanes factor = weight * share * spread * spread * inverse * inverse;
        factor = factor == factor && factor < 1e30f && factor > -1e30f ? factor : Lanes{};  // finite only
        sums[0] += factor * ax * ax;
        sums[1] += factor * ax * ay;
        sums[2] += factor * ax * az;
        sums[3] += factor * ay * ay;
        sums[4] += factor * ay * az;
        sums[5] += factor * az * az;
        // Float lanes over a few hundred rows, then double: the excess is a correction, its last
        // bits do not matter, but thousands of rows in one float would.
        if ((from / kLanes) % 64 == 63 || from + kLanes >= n) {
            for (int i = 0; i < 6; ++i) {
                for (int lane = 0; lane < kLanes; ++lane) total.value[i] += sums[i][lane];
                sums[i] = Lanes{};
            }
        }
    }
    return total;
}

}  // namespace

DepthNoiseExcess PointDepthNoiseExcess(const MatchedPoints& matches, const MotionRows& rows,
                                       const std::vector<float>& brightnessWeights,
                                       const PointDepthNoiseInputs& inputs) {
    DepthNoiseExcess excess;
    const int n = std::min({matches.Size(), rows.Size(), static_cast<int>(brightnessWeights.size())});
    if (n <= 0) return excess;
    const Sums sums = SumOverRows(matches, rows, brightnessWeights, inputs, n);
    const cv::Matx33d a(sums.value[0], sums.value[1], sums.value[2], sums.value[1], sums.value[3], sums.value[4],
                        sums.value[2], sums.value[4], sums.value[5]);
    // M = (I; [u]x) with u = t - c: M^T x = v + w x u for the increment (v, w).
    const cv::Vec3d u = cv::Vec3d(inputs.translation) - cv::Vec3d(inputs.centre);
    const cv::Matx33d cross(0.0, -u[2], u[1], u[2], 0.0, -u[0], -u[1], u[0], 0.0);
    cv::Matx<double, 6, 3> m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            m(i, j) = i == j ? 1.0 : 0.0;
            m(i + 3, j) = cross(i, j);
        }
    excess.hessian = m * a * m.t();
    excess.gradient = m * (a * cv::Vec3d(inputs.translation));
    return excess;
}
