#include "tracking/MotionRows.h"

#include <algorithm>
#include <cstring>

#include "common/HotPath.h"
#include "tracking/RowLanes.h"

namespace {

using row_lanes::kLanes;
using row_lanes::Lanes;
using row_lanes::Load;
using row_lanes::Store;

// Eight matches, column by column; past the last match, depths of 1 and zeros.
struct Block {
    Lanes x, y, z, bx, by, bz, level, levelGradX, levelGradY, depth, depthGradX, depthGradY;
    Lanes referenceLevel, referenceGradX, referenceGradY, referenceDepthGradX, referenceDepthGradY;
};

__attribute__((always_inline)) inline void LoadBlock(const MatchedPoints& m, int from, int left, bool separate,
                                                      Block& block) {
    Load(m.x, from, left, 0.0f, block.x);
    Load(m.y, from, left, 0.0f, block.y);
    Load(m.z, from, left, 1.0f, block.z);
    if (separate) {
        Load(m.bx, from, left, 0.0f, block.bx);
        Load(m.by, from, left, 0.0f, block.by);
        Load(m.bz, from, left, 1.0f, block.bz);
    } else {
        block.bx = block.x;
        block.by = block.y;
        block.bz = block.z;
    }
    Load(m.level, from, left, 0.0f, block.level);
    Load(m.levelGradX, from, left, 0.0f, block.levelGradX);
    Load(m.levelGradY, from, left, 0.0f, block.levelGradY);
    Load(m.depth, from, left, 1.0f, block.depth);
    Load(m.depthGradX, from, left, 0.0f, block.depthGradX);
    Load(m.depthGradY, from, left, 0.0f, block.depthGradY);
    Load(m.referenceLevel, from, left, 0.0f, block.referenceLevel);
    Load(m.referenceGradX, from, left, 0.0f, block.referenceGradX);
    Load(m.referenceGradY, from, left, 0.0f, block.referenceGradY);
    Load(m.referenceDepthGradX, from, left, 0.0f, block.referenceDepthGradX);
    Load(m.referenceDepthGradY, from, left, 0.0f, block.referenceDepthGradY);
}

// The projection's derivatives along X', Y', Z' at a moved point (the column's on X' and Z', the
// row's on Y' and Z').
struct Projection {
    Lanes dcx, dcz, dry, drz;
};

__attribute__((always_inline)) inline void Derivatives(const RowModel& model, const Lanes& mx, const Lanes& my,
                                                       const Lanes& mz, Projection& p) {
    if (model.perspective) {
        const Lanes inverse = 1.0f / mz;
        p.dcx = model.columnGain * inverse;
        p.dcz = -model.columnGain * mx * inverse * inverse;
        p.dry = model.rowGain * inverse;
        p.drz = -model.rowGain * my * inverse * inverse;
    } else {
        p.dcx = Lanes{} + model.columnGain;
        p.dcz = Lanes{};
        p.dry = Lanes{} + model.rowGain;
        p.drz = Lanes{};
    }
}

// The depth rows' nominal noise (of the difference of two frames) the midway point may move by.
constexpr float kMidwayReach = 2.0f;

// How far along its ray the point midway between the moved reference point and the current
// frame's surface lies. The half difference is held within `reach` either way: beyond it the row
// is an outlier (a hand, the background) whose derivatives stay at the reference's point.
__attribute__((always_inline)) inline void MidwayScale(const Lanes& movedDepth, const Lanes& currentDepth,
                                                       const Lanes& reach, Lanes& scale) {
    const Lanes half = 0.5f * (currentDepth - movedDepth);
    const Lanes low = -reach;
    const Lanes floored = half > low ? half : low;  // a NaN takes the floor
    scale = 1.0f + (floored < reach ? floored : reach) / movedDepth;
}

}  // namespace

void MatchedPoints::Resize(int count, bool separate) {
    for (auto* column : {&x, &y, &z, &level, &levelGradX, &levelGradY, &depth, &depthGradX, &depthGradY,
                         &referenceLevel, &referenceGradX, &referenceGradY, &referenceDepthGradX, &referenceDepthGradY,
                         &depthWeight})
        column->resize(static_cast<std::size_t>(count));
    for (auto* column : {&bx, &by, &bz}) column->resize(separate ? static_cast<std::size_t>(count) : 0);
}

void MotionRows::Resize(int count) {
    const std::size_t n = static_cast<std::size_t>(count);
    for (int i = 0; i < 6; ++i) {
        brightnessJacobian[i].resize(n);
        depthJacobian[i].resize(n);
    }
    for (auto* column : {&brightness, &depth, &brightnessNoise, &depthNoise}) column->resize(n);
}

VANTOREL_HOT_PATH void MakeRows(const MatchedPoints& matches, const RowModel& model, MotionRows& rows) {
    const int n = matches.Size();
    rows.Resize(n);
    for (int from = 0; from < n; from += kLanes) {
        const int left = n - from;
        Block block;
        LoadBlock(matches, from, left, model.separatePoints, block);
        Lanes gradientGain = Lanes{} + model.gradientGain, levelGain = Lanes{} + model.levelGain;
        if (model.gainField) {
            const Lanes inverse = 1.0f / block.bz;
            const Lanes u = block.bx * inverse, v = block.by * inverse;
            gradientGain += model.gradientGainAlong[0] * u + model.gradientGainAlong[1] * v;
            levelGain += model.levelGainAlong[0] * u + model.levelGainAlong[1] * v;
        }
        const Lanes movedZ = block.z;
        const Lanes depthNoise = model.depthNoisePerSquare * movedZ * movedZ;
        // With the depth averaged, each point is taken midway between the two frames' surfaces
        // on its ray: the reference's depth noise enters the residual, and the derivatives taken
        // at the reference's point alone correlate with it and bias the solve (a still head seen
        // by a stereo camera drifts), while the average's two noises cancel. As GRADIENT: DOUBLE,
        // it agrees with the reference's point at the solution. The residual keeps the moved point.
        if (model.averagedDepth) {
            Lanes scale;
            MidwayScale(movedZ, block.depth, kMidwayReach * depthNoise, scale);
            for (Lanes* coordinate : {&block.x, &block.y, &block.z, &block.bx, &block.by, &block.bz})
                *coordinate *= scale;
        }
        const Lanes &mx = block.x, &my = block.y, &mz = block.z;
        Projection depthPoint, brightnessPoint;
        Derivatives(model, mx, my, mz, depthPoint);
        if (model.separatePoints)
            Derivatives(model, block.bx, block.by, block.bz, brightnessPoint);
        else
            brightnessPoint = depthPoint;
        // DOUBLE averages both frames' gradients, as the single step does: at the solution they
        // describe the same surface, and the average makes the step second-order accurate.
        // The reference's gradients as the current exposure shows them.
        Lanes gix = gradientGain * block.referenceGradX, giy = gradientGain * block.referenceGradY;
        Lanes gzx = block.referenceDepthGradX, gzy = block.referenceDepthGradY;
        if (model.averaged) {
            gix = 0.5f * (gix + block.levelGradX);
            giy = 0.5f * (giy + block.levelGradY);
            gzx = 0.5f * (gzx + block.depthGradX);
            gzy = 0.5f * (gzy + block.depthGradY);
        }
        // d(residual)/d(moved point): the brightness through the projection; the depth also
        // loses the moved point's own change of depth.
        const Projection& d = depthPoint;
        const Projection& e = brightnessPoint;
        const Lanes a[3] = {gix * e.dcx, giy * e.dry, gix * e.dcz + giy * e.drz};
        const Lanes b[3] = {gzx * d.dcx, gzy * d.dry, gzx * d.dcz + gzy * d.drz - 1.0f};
        // The increment moves a point by v + w x q, q its offset from the moved centroid.
        const Lanes q[3] = {mx - model.centre[0], my - model.centre[1], mz - model.centre[2]};
        const Lanes qb[3] = {block.bx - model.centre[0], block.by - model.centre[1], block.bz - model.centre[2]};
        const Lanes brightnessRow[6] = {a[0], a[1], a[2], qb[1] * a[2] - qb[2] * a[1], qb[2] * a[0] - qb[0] * a[2],
                                        qb[0] * a[1] - qb[1] * a[0]};
        const Lanes depthRow[6] = {b[0], b[1], b[2], q[1] * b[2] - q[2] * b[1], q[2] * b[0] - q[0] * b[2],
                                   q[0] * b[1] - q[1] * b[0]};
        for (int i = 0; i < 6; ++i) {
            Store(brightnessRow[i], rows.brightnessJacobian[i], from, left);
            Store(depthRow[i], rows.depthJacobian[i], from, left);
        }
        const Lanes brightnessResidual = block.level - levelGain * block.referenceLevel;
        const Lanes depthResidual = block.depth - movedZ;
        Store(brightnessResidual / model.brightnessNoise, rows.brightness, from, left);
        Store(depthResidual / depthNoise, rows.depth, from, left);
        Store(Lanes{} + model.brightnessNoise, rows.brightnessNoise, from, left);
        Store(depthNoise, rows.depthNoise, from, left);
    }
}
