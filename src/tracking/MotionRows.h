// The rows of one iteration of the iterated estimator, made from the points it matched: per point
// a brightness row and a depth row, each a Jacobian over the increment (tx, ty, tz, wx, wy, wz)
// and a residual over its noise.
//
// Matching (moving, projecting and sampling each reference point) goes point by point; the rows
// are then made eight points at a time from the matches laid out column by column.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

// What matching found for each matched point; every column holds Size() values.
struct MatchedPoints {
    // The reference point moved by the current estimate.
    std::vector<float> x, y, z;
    // The current frame sampled where the moved point projects.
    std::vector<float> level, levelGradX, levelGradY, depth, depthGradX, depthGradY;
    // The reference's own values at the point.
    std::vector<float> referenceLevel, referenceGradX, referenceGradY, referenceDepthGradX, referenceDepthGradY;
    // With separate points (RowModel::separatePoints), the brightness row's own point, moved: the
    // same reference ray at the depth its grey levels follow. The level and its gradients are
    // then sampled where it projects.
    std::vector<float> bx, by, bz;
    // The current frame's depth weight where the point lands (PyramidLevel::depthWeight), 0 to 1.
    std::vector<float> depthWeight;
    // Points that landed on usable pixels but behind something nearer (RowModel::occlusionGap).
    int hidden = 0;

    void Resize(int count, bool separate = false);
    int Size() const { return static_cast<int>(x.size()); }
};

// How the rows are made from the matches.
struct RowModel {
    bool perspective = false;
    bool separatePoints = false;              // brightness rows from MatchedPoints::bx, by, bz
    float columnGain = 0.0f, rowGain = 0.0f;  // signed pixels of the level per unit of X/Z, Y/Z
                                              // (perspective) or of X, Y (weak perspective)
    bool averaged = false;                    // gradients averaged over both frames (GRADIENT: DOUBLE)
    bool averagedDepth = false;               // derivatives at the depth averaged over both frames
    float gradientGain = 1.0f;                // the exposure gain the reference's gradients are scaled by
    float levelGain = 1.0f;                   // the one its grey levels are scaled by
    // With a field (BRIGHTNESS: SHADING) the gains vary across the face: gain + along[0] X / Z +
    // along[1] Y / Z at the brightness row's moved point.
    bool gainField = false;
    float gradientGainAlong[2] = {0.0f, 0.0f}, levelGainAlong[2] = {0.0f, 0.0f};
    cv::Vec3f centre;                         // the rotation's centre, moved
    float brightnessNoise = 1.0f;
    float depthNoisePerSquare = 1.0f;         // a depth row's noise over its depth squared
    float occlusionGap = 0.0f;                // matching: nearer than the moved point by more is
                                              // something in front of it (0: nothing is)
    const float* nearestAround = nullptr;     // per current level pixel, the nearest depth within
                                              // the kernels' reach (null: not looked at)
    float occluderDepth = 0.0f;               // nearer than this is not the face: a point landing
                                              // within reach of it is hidden
};

struct MotionRows {
    std::vector<float> brightnessJacobian[6], depthJacobian[6];  // column by column
    std::vector<float> brightness, depth;                        // residuals over their noise
    std::vector<float> brightnessNoise, depthNoise;

    void Resize(int count);
    int Size() const { return static_cast<int>(brightness.size()); }
};

// Rows for every match, in the order of the matches.
void MakeRows(const MatchedPoints& matches, const RowModel& model, MotionRows& rows);
