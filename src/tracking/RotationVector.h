// Rotations as vectors (axis times angle in radians) and as matrices, converted in closed form.
// OpenCV's Rodrigues decomposes every matrix into singular values first, which cost a tracking
// step more than some of its iterations; a rotation matrix needs no such care.
#pragma once

#include <opencv2/core.hpp>

cv::Matx33d RotationFromVector(const cv::Vec3d& vector);

// The vector of the rotation nearest `rotation` (through its quaternion, so angles near 180 degrees
// come out as well as small ones), its angle in [0, pi]. NaN in, NaN out.
cv::Vec3d VectorFromRotation(const cv::Matx33d& rotation);
