// How much of a detected face's box lies at the depths its face region will keep. A box that
// straddles a head and the wall behind it (over the hair, or a face found half on the head) has a
// mean depth between the two: the region's depth range around that mean then keeps neither, and
// tracking starts on a face with no pixels to follow.
#pragma once

#include <opencv2/core.hpp>

// The share of box's pixels with depth (mask non-zero, depth positive and finite) whose depth lies
// within [nearest, farthest]; NaN when the box, cut to the images, has none.
// depth: CV_32FC1; mask: CV_8UC1 of the same size.
double FaceDepthShare(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& box, double nearest,
                      double farthest);
