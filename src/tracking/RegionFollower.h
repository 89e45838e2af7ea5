// Moves the face region with the head while it is tracked ("FOLLOW_REGION: YES"). The region the
// face was found in stays where it was found; a head that moves more than its half width from
// there would leave it. The follower keeps the found face's centre (the mean of its 3D points in
// the region) and, for each pose (the motion from the found frame), puts the region where that
// centre has moved: shifted by the centre's image motion, its depth bounds by its depth change.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tracking/IterativeEstimator.h"
#include "tracking/PixelProjection.h"

class CPose;
class CStereoFrame;

// The 3D points of the frame's pixels inside the face's box and depth range, and their mean;
// false when there are none (or the frame has no X, Y and depth images).
bool FaceRegionPoints(const CStereoFrame& frame, const FaceArea& face, std::vector<cv::Vec3d>& points,
                      cv::Vec3d& centre);

class CRegionFollower {
public:
    // Starts from the found frame's face; false (and not started) when the face has no 3D point.
    bool Start(const CStereoFrame& found, const FaceArea& face);
    void Stop() { started_ = false; }
    bool Started() const { return started_; }

    // The region for the head at `pose`, inside an image of the given size; false when the pose
    // puts the centre where no region can follow (behind the camera, or out of the image).
    bool Follow(const CPose& pose, const PixelProjection& projection, int width, int height, FaceArea& next) const;

private:
    bool started_ = false;
    FaceArea start_;
    cv::Vec3d centre_;
};
