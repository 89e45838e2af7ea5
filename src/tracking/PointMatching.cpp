#include "tracking/PointMatching.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/HotPath.h"
#include "image/RectMorphology.h"

namespace {

constexpr int kPacked = CFramePyramid::kSampleChannels;

// Cubic convolution weights (a = -0.5) of the four samples around a point at fraction t.
inline void CubicWeights(float t, float weights[4]) {
    const float t2 = t * t, t3 = t2 * t;
    weights[0] = -0.5f * (t3 - 2.0f * t2 + t);
    weights[1] = 1.5f * t3 - 2.5f * t2 + 1.0f;
    weights[2] = -1.5f * t3 + 2.0f * t2 + 0.5f * t;
    weights[3] = 0.5f * (t3 - t2);
}

// The interleaved channels at (c0 + fc, r0 + fr), `at` pointing at pixel (c0, r0). Cubic rather than
// bilinear: a bilinear sample of a curved depth map lies off the surface by up to an eighth of
// its curvature per pixel, always on the same side; on a round head that reads as a turn, and
// exact depth weighs so much that the turn is believed.
// Inlined into each build of MatchPoints: called, it made the caller keep all it holds in memory.
__attribute__((always_inline)) inline void SampleCubic(const float* at, int width, float fc, float fr,
                                                       float sample[kPacked]) {
    static_assert(kPacked == 8, "one vector of eight channels");
    // All channels at once, written out: left to itself the compiler gathers the taps one by one.
    // Eight lanes are one instruction with AVX, two without.
    using Lanes = float __attribute__((vector_size(32)));
    float columnWeights[4], rowWeights[4];
    CubicWeights(fc, columnWeights);
    CubicWeights(fr, rowWeights);
    Lanes total = {}, tap;
    const float* corner = at - static_cast<std::ptrdiff_t>(width + 1) * kPacked;
    for (int dr = 0; dr < 4; ++dr) {
        Lanes line = {};
        const float* pixel = corner + static_cast<std::ptrdiff_t>(dr) * width * kPacked;
        for (int dc = 0; dc < 4; ++dc) {
            std::memcpy(&tap, pixel + dc * kPacked, sizeof tap);
            line += columnWeights[dc] * tap;
        }
        total += rowWeights[dr] * line;
    }
    std::memcpy(sample, &total, sizeof total);
}

// (x, y, z) moved by (r, t).
__attribute__((always_inline)) inline void Move(const cv::Matx33f& r, const cv::Vec3f& t, float x, float y, float z,
                                                float& mx, float& my, float& mz) {
    mx = r(0, 0) * x + r(0, 1) * y + r(0, 2) * z + t[0];
    my = r(1, 0) * x + r(1, 1) * y + r(1, 2) * z + t[1];
    mz = r(2, 0) * x + r(2, 1) * y + r(2, 2) * z + t[2];
}

}  // namespace

void ReferencePoints::Clear() {
    for (auto* values : {&column, &row, &x, &y, &z, &xOverZ, &yOverZ, &intensity, &intensityGradX, &intensityGradY,
                         &depthGradX, &depthGradY, &brightnessZ})
        values->clear();
    centroid = cv::Vec3d::all(0.0);
    radius = 0.0;
}

void NearestAround(const cv::Mat& depth, int reach, cv::Mat& out) {
    CV_Assert(depth.type() == CV_32FC1);
    // One pass and the scratch kept: the pyramids ask for this at every level of every frame.
    static thread_local cv::Mat measured;
    measured.create(depth.size(), CV_32FC1);
    constexpr float kNone = std::numeric_limits<float>::max();
    for (int row = 0; row < depth.rows; ++row) {
        const float* in = depth.ptr<float>(row);
        float* kept = measured.ptr<float>(row);
        for (int col = 0; col < depth.cols; ++col) kept[col] = in[col] > 0.0f ? in[col] : kNone;
    }
    image_kernels::RectMorphology(measured, out, image_kernels::Morphology::kErode, reach, kNone);
}

void CollectReference(const PyramidLevel& level, const cv::Rect& faceBox, int stride, ReferencePoints& points,
                      float nearest, int nearerReach) {
    points.Clear();
    const int scale = 1 << level.level;
    // Level pixel i sits on frame pixel scale * i: the box's pixels at this level.
    const int firstColumn = (faceBox.x + scale - 1) / scale, lastColumn = (faceBox.x + faceBox.width - 1) / scale;
    const int firstRow = (faceBox.y + scale - 1) / scale, lastRow = (faceBox.y + faceBox.height - 1) / scale;
    const cv::Mat& usable = level.usable;
    // The box in the level's window, clamped to it.
    const int rowBegin = std::max(firstRow - level.origin.y, 0);
    const int rowEnd = std::min(lastRow - level.origin.y + 1, usable.rows);
    const int columnBegin = std::max(firstColumn - level.origin.x, 0);
    const int columnEnd = std::min(lastColumn - level.origin.x + 1, usable.cols);
    // The nearest depth around the box's pixels, over the box and the reach around it.
    cv::Mat nearestAround;
    cv::Point aroundOrigin;
    if (nearest > 0.0f && nearerReach > 0 && rowBegin < rowEnd && columnBegin < columnEnd) {
        const cv::Rect around = cv::Rect(columnBegin - nearerReach, rowBegin - nearerReach,
                                         columnEnd - columnBegin + 2 * nearerReach,
                                         rowEnd - rowBegin + 2 * nearerReach) &
                                cv::Rect(0, 0, level.depth.cols, level.depth.rows);
        NearestAround(level.depth(around), nearerReach, nearestAround);
        aroundOrigin = around.tl();
    }
    // Room for every pixel of the box: growing thirteen columns point by point cost more than
    // collecting the points.
    const std::size_t most = rowBegin < rowEnd && columnBegin < columnEnd
                                 ? static_cast<std::size_t>(rowEnd - rowBegin) *
                                       static_cast<std::size_t>((columnEnd - columnBegin + stride - 1) / stride)
                                 : 0;
    for (auto* values : {&points.column, &points.row, &points.x, &points.y, &points.z, &points.xOverZ, &points.yOverZ,
                         &points.intensity, &points.intensityGradX, &points.intensityGradY, &points.depthGradX,
                         &points.depthGradY})
        values->reserve(most);
    if (!level.brightnessDepth.empty()) points.brightnessZ.reserve(most);
    cv::Vec3d sum(0, 0, 0);
    for (int localRow = rowBegin; localRow < rowEnd; ++localRow) {
        const int row = localRow + level.origin.y;
        const unsigned char* use = usable.ptr<unsigned char>(localRow);
        const float* depth = level.depth.ptr<float>(localRow);
        const float* rayX = level.rayX.ptr<float>(localRow);
        const float* rayY = level.rayY.ptr<float>(localRow);
        const float* intensity = level.intensity.ptr<float>(localRow);
        const float* intensityGradX = level.intensityGradX.ptr<float>(localRow);
        const float* intensityGradY = level.intensityGradY.ptr<float>(localRow);
        const float* depthGradX = level.depthGradX.ptr<float>(localRow);
        const float* depthGradY = level.depthGradY.ptr<float>(localRow);
        const float* brightnessDepth =
            level.brightnessDepth.empty() ? nullptr : level.brightnessDepth.ptr<float>(localRow);
        const float* around =
            nearestAround.empty() ? nullptr : nearestAround.ptr<float>(localRow - aroundOrigin.y);
        // The frame's own pixel grid picks the pixels, whatever the window: (row + column) % stride.
        const int skip = ((row + level.origin.x + columnBegin) % stride + stride) % stride;
        const int start = columnBegin + (skip ? stride - skip : 0);
        for (int localColumn = start; localColumn < columnEnd; localColumn += stride) {
            if (!use[localColumn]) continue;
            const float z = depth[localColumn];
            if (!(z > 0.0f) || z < nearest || (around && around[localColumn - aroundOrigin.x] < nearest)) continue;
            const float x = rayX[localColumn] * z, y = rayY[localColumn] * z;
            points.column.push_back(static_cast<float>(localColumn + level.origin.x));
            points.row.push_back(static_cast<float>(row));
            points.x.push_back(x);
            points.y.push_back(y);
            points.z.push_back(z);
            // Where the point projects before any motion, for the perspective rows.
            points.xOverZ.push_back(x / z);
            points.yOverZ.push_back(y / z);
            points.intensity.push_back(intensity[localColumn]);
            points.intensityGradX.push_back(intensityGradX[localColumn]);
            points.intensityGradY.push_back(intensityGradY[localColumn]);
            points.depthGradX.push_back(depthGradX[localColumn]);
            points.depthGradY.push_back(depthGradY[localColumn]);
            if (brightnessDepth) {
                const float zb = brightnessDepth[localColumn];
                points.brightnessZ.push_back(zb > 0.0f && std::isfinite(zb) ? zb : z);
            }
            sum += cv::Vec3d(x, y, z);
        }
    }
    const int n = points.Size();
    if (n == 0) return;
    points.centroid = sum / n;
    double spread = 0.0;
    for (int k = 0; k < n; ++k) {
        const cv::Vec3d d = cv::Vec3d(points.x[k], points.y[k], points.z[k]) - points.centroid;
        spread += d.dot(d);
    }
    points.radius = std::sqrt(spread / n);
}

VANTOREL_HOT_PATH void MatchPoints(const ReferencePoints& points, const RowModel& model, const cv::Matx33f& r,
                                   const cv::Vec3f& t, const PyramidLevel& current, const cv::Mat& interleaved,
                                   MatchedPoints& matches, std::vector<unsigned char>* hiddenPoints,
                                   bool decideHidden) {
    // Room for every point, cut down to the matched ones at the end.
    const bool separate = model.separatePoints;
    matches.Resize(points.Size(), separate);
    int matched = 0, hidden = 0;
    const bool perspective = model.perspective;
    const float columnGain = model.columnGain, rowGain = model.rowGain;
    const int width = interleaved.cols, height = interleaved.rows;
    const unsigned char* usable = current.usable.ptr<unsigned char>();
    const float* samples = interleaved.ptr<float>();
    const cv::Point origin = current.origin;
    const float gain = model.gradientGain;  // the gain before this iteration's fit
    const float hiddenBehind = model.occlusionGap;
    const bool depthWeighted = !current.depthWeight.empty();
    const bool gated = hiddenBehind > 0.0f && hiddenPoints;
    const bool decide =
        gated && (decideHidden || hiddenPoints->size() != static_cast<std::size_t>(points.Size()));
    if (decide) hiddenPoints->assign(static_cast<std::size_t>(points.Size()), 0);
    // Where the reference point k moved to (mx, my, mz) lands in the current level: the corner of
    // its pixel `at` and the fractions; false when it does not land on usable pixels.
    const auto land = [&](int k, float px, float py, float mx, float my, float mz, std::size_t& at, float& fc,
                          float& fr) {
        float column, row;
        if (perspective) {
            const float inverse = 1.0f / mz;
            column = points.column[k] + columnGain * (mx * inverse - points.xOverZ[k]);
            row = points.row[k] + rowGain * (my * inverse - points.yOverZ[k]);
        } else {
            column = points.column[k] + columnGain * (mx - px);
            row = points.row[k] + rowGain * (my - py);
        }
        const float localColumn = column - static_cast<float>(origin.x);
        const float localRow = row - static_cast<float>(origin.y);
        if (!(localColumn >= 0.0f && localRow >= 0.0f)) return false;
        const int c0 = static_cast<int>(localColumn), r0 = static_cast<int>(localRow);
        // The cubic reads one pixel more on every side of the four around the point.
        if (c0 < 1 || r0 < 1 || c0 + 2 >= width || r0 + 2 >= height) return false;
        at = static_cast<std::size_t>(r0) * width + c0;
        fc = localColumn - c0;
        fr = localRow - r0;
        return usable[at] && usable[at + 1] && usable[at + width] && usable[at + width + 1];
    };
    for (int k = 0; k < points.Size(); ++k) {
        if (gated && !decide && (*hiddenPoints)[k]) {
            ++hidden;
            continue;
        }
        const float px = points.x[k], py = points.y[k], pz = points.z[k];
        float mx, my, mz;
        Move(r, t, px, py, pz, mx, my, mz);
        if (!(mz > 0.0f)) continue;
        std::size_t at;
        float fc, fr;
        if (!land(k, px, py, mx, my, mz, at, fc, fr)) continue;
        float sample[kPacked];
        SampleCubic(samples + at * kPacked, width, fc, fr, sample);
        if (separate) {
            // The same ray at the brightness's depth: the grey levels sampled where that point lands.
            const float scale = points.brightnessZ[k] / pz;
            const float qx = px * scale, qy = py * scale, qz = points.brightnessZ[k];
            float bx, by, bz;
            Move(r, t, qx, qy, qz, bx, by, bz);
            if (!(bz > 0.0f) || !land(k, qx, qy, bx, by, bz, at, fc, fr)) continue;
            float brightnessSample[kPacked];
            SampleCubic(samples + at * kPacked, width, fc, fr, brightnessSample);
            std::copy(brightnessSample, brightnessSample + 3, sample);
            matches.bx[matched] = bx;
            matches.by[matched] = by;
            matches.bz[matched] = bz;
        }
        if (!std::isfinite(sample[0] - gain * points.intensity[k]) || !std::isfinite(sample[3] - mz)) continue;
        // Hidden behind something nearer: its grey level and depth are the occluder's, and a
        // hand over half the face would otherwise inflate both blocks' scales until it is kept.
        if (gated && (sample[3] < mz - hiddenBehind ||
                       (model.nearestAround && model.nearestAround[at] < model.occluderDepth))) {
            (*hiddenPoints)[k] = 1;
            ++hidden;
            continue;
        }
        matches.x[matched] = mx;
        matches.y[matched] = my;
        matches.z[matched] = mz;
        matches.level[matched] = sample[0];
        matches.levelGradX[matched] = sample[1];
        matches.levelGradY[matched] = sample[2];
        matches.depth[matched] = sample[3];
        matches.depthGradX[matched] = sample[4];
        matches.depthGradY[matched] = sample[5];
        // The cubic overshoots a step's edges.
        matches.depthWeight[matched] = depthWeighted ? std::clamp(sample[6], 0.0f, 1.0f) : 1.0f;
        matches.referenceLevel[matched] = points.intensity[k];
        matches.referenceGradX[matched] = points.intensityGradX[k];
        matches.referenceGradY[matched] = points.intensityGradY[k];
        matches.referenceDepthGradX[matched] = points.depthGradX[k];
        matches.referenceDepthGradY[matched] = points.depthGradY[k];
        ++matched;
    }
    matches.Resize(matched, separate);
    matches.hidden = hidden;
}
