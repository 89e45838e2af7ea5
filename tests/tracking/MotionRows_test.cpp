#include "tracking/MotionRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

namespace {

MatchedPoints Matches(int count) {
    MatchedPoints matches;
    matches.Resize(count);
    for (int k = 0; k < count; ++k) {
        const float s = std::sin(0.7f * static_cast<float>(k) + 0.3f);
        matches.x[k] = 10.0f * s;
        matches.y[k] = -5.0f + static_cast<float>(k);
        matches.z[k] = 900.0f + 7.0f * static_cast<float>(k);
        matches.level[k] = 0.004f + 0.0001f * s;
        matches.levelGradX[k] = 0.0002f * s;
        matches.levelGradY[k] = -0.0001f * static_cast<float>(k % 3);
        matches.depth[k] = matches.z[k] + s;
        matches.depthGradX[k] = 0.3f * s;
        matches.depthGradY[k] = 0.1f;
        matches.referenceLevel[k] = 0.004f;
        matches.referenceGradX[k] = 0.00025f * s;
        matches.referenceGradY[k] = -0.0001f;
        matches.referenceDepthGradX[k] = 0.2f;
        matches.referenceDepthGradY[k] = 0.1f * s;
    }
    return matches;
}

RowModel Model(bool perspective) {
    RowModel model;
    model.perspective = perspective;
    model.columnGain = perspective ? 380.0f : 0.4f;
    model.rowGain = perspective ? -380.0f : -0.4f;
    model.averaged = true;
    model.gradientGain = 1.05f;
    model.levelGain = 1.1f;
    model.centre = cv::Vec3f(1.0f, 2.0f, 950.0f);
    model.brightnessNoise = 5e-5f;
    model.depthNoisePerSquare = 3e-6f;
    return model;
}

// Rows come eight at a time: a count that is no multiple of eight must give every match the row
// it gets alone, and nothing past the last match.
TEST(MotionRows, EveryMatchGetsItsOwnRowsWhateverTheCount) {
    for (const bool perspective : {true, false}) {
        const MatchedPoints all = Matches(19);
        MotionRows rows;
        MakeRows(all, Model(perspective), rows);
        ASSERT_EQ(rows.Size(), 19);
        for (int k = 0; k < 19; ++k) {
            MatchedPoints one = Matches(k + 1);
            for (auto* column : {&one.x, &one.y, &one.z, &one.level, &one.levelGradX, &one.levelGradY, &one.depth,
                                 &one.depthGradX, &one.depthGradY, &one.referenceLevel, &one.referenceGradX,
                                 &one.referenceGradY, &one.referenceDepthGradX, &one.referenceDepthGradY})
                column->erase(column->begin(), column->end() - 1);
            MotionRows alone;
            MakeRows(one, Model(perspective), alone);
            ASSERT_EQ(alone.Size(), 1);
            for (int i = 0; i < 6; ++i) {
                EXPECT_FLOAT_EQ(rows.brightnessJacobian[i][k], alone.brightnessJacobian[i][0]) << k << " " << i;
                EXPECT_FLOAT_EQ(rows.depthJacobian[i][k], alone.depthJacobian[i][0]) << k << " " << i;
            }
            EXPECT_FLOAT_EQ(rows.brightness[k], alone.brightness[0]);
            EXPECT_FLOAT_EQ(rows.depth[k], alone.depth[0]);
            EXPECT_FLOAT_EQ(rows.depthNoise[k], alone.depthNoise[0]);
        }
    }
}

// A flat, untextured patch: the brightness row is zero and the depth row is the point's own
// depth change, -(v_z + (w x q)_z), whose rotation part is (-q_y, q_x, 0).
TEST(MotionRows, AFlatPatchSaysOnlyHowTheMovedPointsDepthChanges) {
    MatchedPoints matches = Matches(1);
    for (auto* column : {&matches.levelGradX, &matches.levelGradY, &matches.depthGradX, &matches.depthGradY,
                         &matches.referenceGradX, &matches.referenceGradY, &matches.referenceDepthGradX,
                         &matches.referenceDepthGradY})
        (*column)[0] = 0.0f;
    const RowModel model = Model(true);
    MotionRows rows;
    MakeRows(matches, model, rows);
    const float qx = matches.x[0] - model.centre[0], qy = matches.y[0] - model.centre[1];
    const float expected[6] = {0.0f, 0.0f, -1.0f, -qy, qx, 0.0f};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rows.brightnessJacobian[i][0], 0.0f) << i;
        EXPECT_NEAR(rows.depthJacobian[i][0], expected[i], 1e-4f) << i;
    }
    const float noise = model.depthNoisePerSquare * matches.z[0] * matches.z[0];
    EXPECT_NEAR(rows.depth[0], (matches.depth[0] - matches.z[0]) / noise, 1e-3f);
    EXPECT_NEAR(rows.brightness[0],
                (matches.level[0] - model.levelGain * matches.referenceLevel[0]) / model.brightnessNoise, 1e-3f);
}

// A still surface seen twice by a stereo camera: each frame's depth has its own noise, and its
// grey levels a noise that goes with it (the matcher's disparity error comes from them). Without
// motion the rows' right-hand side (derivatives times residual) should average to nothing; from
// the reference's point alone its noise meets itself in derivative and residual, and the yaw
// column is biased. For each block, that column's mean over the points in standard errors.
cv::Vec2d StillSurfaceYawBias(bool averagedDepth) {
    constexpr int kCount = 200000;
    constexpr float kDepth = 950.0f, kNoiseMm = 20.0f, kLevelPerMm = 0.5f;
    cv::RNG random(7);
    MatchedPoints matches;
    matches.Resize(kCount);
    for (int k = 0; k < kCount; ++k) {
        // Off the image centre, as a face mostly is.
        const float u = random.uniform(0.1f, 0.4f), v = random.uniform(-0.2f, 0.2f);
        const float referenceNoise = static_cast<float>(random.gaussian(kNoiseMm));
        const float currentNoise = static_cast<float>(random.gaussian(kNoiseMm));
        const float z = kDepth + referenceNoise;
        matches.x[k] = u * z;
        matches.y[k] = v * z;
        matches.z[k] = z;
        matches.depth[k] = kDepth + currentNoise;
        matches.referenceLevel[k] = 100.0f + kLevelPerMm * referenceNoise;
        matches.level[k] = 100.0f + kLevelPerMm * currentNoise;
        matches.referenceGradX[k] = matches.levelGradX[k] = 2.0f;
        matches.referenceGradY[k] = matches.levelGradY[k] = 0.0f;
        matches.referenceDepthGradX[k] = matches.depthGradX[k] = 0.0f;
        matches.referenceDepthGradY[k] = matches.depthGradY[k] = 0.0f;
    }
    RowModel model = Model(true);
    model.levelGain = model.gradientGain = 1.0f;
    model.centre = cv::Vec3f(0.25f * kDepth, 0.0f, kDepth);
    // The noise the rows expect: that of two frames' depths.
    model.depthNoisePerSquare = std::sqrt(2.0f) * kNoiseMm / (kDepth * kDepth);
    model.averagedDepth = averagedDepth;
    MotionRows rows;
    MakeRows(matches, model, rows);
    const auto meanInStandardErrors = [&](const std::vector<float>& yaw, const std::vector<float>& residual) {
        double sum = 0.0, squares = 0.0;
        for (int k = 0; k < kCount; ++k) {
            const double product = static_cast<double>(yaw[k]) * residual[k];
            sum += product;
            squares += product * product;
        }
        const double mean = sum / kCount;
        return mean / std::sqrt((squares / kCount - mean * mean) / kCount);
    };
    return {meanInStandardErrors(rows.brightnessJacobian[4], rows.brightness),
            meanInStandardErrors(rows.depthJacobian[4], rows.depth)};
}

TEST(MotionRows, BothFramesDepthNoiseBiasesTheRowsOnlyWhenTheReferencesDepthAloneIsUsed) {
    const cv::Vec2d reference = StillSurfaceYawBias(false), averaged = StillSurfaceYawBias(true);
    EXPECT_GT(std::fabs(reference[0]), 10.0) << "brightness rows";
    EXPECT_GT(std::fabs(reference[1]), 10.0) << "depth rows";
    EXPECT_LT(std::fabs(averaged[0]), 4.0) << "brightness rows";
    EXPECT_LT(std::fabs(averaged[1]), 4.0) << "depth rows";
}

}  // namespace
