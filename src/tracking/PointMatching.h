// The reference frame's face points of one pyramid level, and where they land in the current
// frame's level under a motion: the first half of each iteration of the iterated estimator, the
// rows (MotionRows.h) being made from what it finds.
//
// A reference point is a usable pixel of the level with its 3D point (the pixel's ray at its
// depth) and the reference's own grey level, depth and gradients there. Matching moves each point
// by the motion, projects it into the current level and samples the current images there (cubic,
// all channels at once); points that land off the level's usable pixels are left out.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tracking/FramePyramid.h"
#include "tracking/MotionRows.h"

// One entry per point.
struct ReferencePoints {
    std::vector<float> column, row, x, y, z, xOverZ, yOverZ, intensity, intensityGradX, intensityGradY, depthGradX,
        depthGradY;
    // The depth the brightness row's point takes along the same ray; empty: z.
    std::vector<float> brightnessZ;
    cv::Vec3d centroid;
    double radius = 0.0;  // root mean square distance of the points from their centroid
    void Clear();
    int Size() const { return static_cast<int>(column.size()); }
};

// Per pixel of `depth` (CV_32F), the nearest positive depth within `reach` pixels either way
// (FLT_MAX where there is none): where something nearer lies within the kernels' reach, the
// samples of a smoothed frame mix it in.
void NearestAround(const cv::Mat& depth, int reach, cv::Mat& out);

// The level's usable pixels inside the face box (frame pixels), every one or one in `stride`
// along its rows, shifted by one each row; with `nearest` above 0, none nearer than it, nor any
// within `nearerReach` pixels of such a pixel: the kernels there mix in the nearer surface (a
// hand resting beside the face), and its edge stands still while the face moves.
void CollectReference(const PyramidLevel& level, const cv::Rect& faceBox, int stride, ReferencePoints& points,
                      float nearest = -1.0f, int nearerReach = 0);

// The points moved by p' = r p + t that land on usable pixels of `current` and, with an occlusion
// gap, are not hidden there behind a surface nearer by more than it, sampled in
// `interleaved` (its images as CFramePyramid::Interleave lays them out), into `matches`. The
// model gives the projection's pixel gains, the exposure gain the finiteness check uses and, with
// separatePoints, a second point per ray at brightnessZ whose landing gives the grey levels.
//
// With an occlusion gap and `hiddenPoints`, which points are hidden is decided when decideHidden
// is set (one flag per point) and otherwise only grows: iterating from there, a pose could shed
// the hidden points by moving them where nothing covers them, and a hand over half the face would
// carry it away; yet a point the iterations carry behind the occluder samples it, and a face
// turning under a resting hand was held back by those. Flags that do not fit the points are
// decided anew; without hiddenPoints nothing is hidden.
void MatchPoints(const ReferencePoints& points, const RowModel& model, const cv::Matx33f& r, const cv::Vec3f& t,
                 const PyramidLevel& current, const cv::Mat& interleaved, MatchedPoints& matches,
                 std::vector<unsigned char>* hiddenPoints = nullptr, bool decideHidden = true);
