// The bias a noisy depth puts into the brightness rows, taken out of their normal equations.
//
// A brightness row's point sits on its pixel's ray at the reference's depth. Where that depth is
// off by e, the moved point lands off by (d landing / d depth) e, and the residual by s e with
// s = -(a . t) / Z: a the row's derivatives along the moved point, t the motion's translation,
// Z the reference depth. Least squares then pays sigma^2 s^2 more for every motion that moves the
// camera's origin, whatever the images say, and a stereo camera's noisy depth shortens a turn about
// the head (a tenth at 1.1 m with a noisy camera, read as a slide instead). The expected excess
// sum w sigma^2 s^2 is taken out of the objective: its gradient and its Gauss-Newton matrix. Over
// the increment, s moves by -(1/Z) (a, (t - c) x a) . x (c the moved centroid the rotation turns
// about), that is -(1/Z) a . M^T x with M = (I; [t - c]x): the excess's matrix is M A M^T and its
// gradient M A t, with A = sum w sigma^2 a a^T / Z^2, six sums over the rows.
//
// Each point's variance is estimated from its own depth row's residual (the two frames' depth
// noise): a stereo camera's depth is good where the texture is and poor where it is not, and the
// brightness rows that count are the textured ones, so one variance for the whole face would
// overstate theirs. A residual beyond the robust cut-off is an outlier, not noise, and counts as
// the cut-off. With the rows' derivatives at the depth averaged over both frames, half of that
// noise enters them.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tracking/MotionRows.h"

struct PointDepthNoiseInputs {
    cv::Matx33f rotation;   // the motion the rows were made at: p' = rotation p + translation
    cv::Vec3f translation;
    cv::Vec3f centre;       // the moved centroid the increment's rotation turns about
    bool averagedDepth = false;  // RowModel::averagedDepth
    float depthScale = 1.0f;     // the depth block's residual scale in noise units
    float cutOff = 1.0f;         // normalised residual beyond which a depth row is an outlier
};

// The expected excess of the brightness rows made from `matches`, weighted brightnessWeights[k]:
// the matrix and the gradient to take off their normal equations (zero under a weak perspective,
// where the depth does not move the landing, and when no row has a weight).
struct DepthNoiseExcess {
    cv::Matx66d hessian = cv::Matx66d::zeros();
    cv::Vec6d gradient = cv::Vec6d::all(0.0);
};
DepthNoiseExcess PointDepthNoiseExcess(const MatchedPoints& matches, const MotionRows& rows,
                                       const std::vector<float>& brightnessWeights,
                                       const PointDepthNoiseInputs& inputs);
