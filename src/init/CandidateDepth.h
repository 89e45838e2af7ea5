// What a detected face's depth says about whether it is a head. Pixels count where the depth is
// positive and finite (and, beside the face, the mask non-zero). depth: CV_32FC1; mask: CV_8UC1
// of the same size.
#pragma once

#include <opencv2/core.hpp>

// How far behind a detected face the scene beside it lies. A head stands out from what is
// behind it; a face-like pattern on a wall, a poster or a screen does not: beside it at eye level
// the surface goes on at the pattern's own depth. The strips looked at lie one and a half to two
// box widths from the box's centre, beyond the head whose face the box frames and beyond the band
// beside it that one camera of a stereo pair cannot see, over the middle third of the box's rows;
// medians keep stereo noise and holes out of them.
// The larger of the two sides' gaps behind faceDepth, a strip's gap being its median depth less
// faceDepth. A strip with (almost) no depth gives way to the strip half a box width beyond it; a
// side whose strips reach out of the frame or have no depth says nothing; NaN when neither side
// does.
double BackgroundGap(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& box, double faceDepth);

// How much of a detected face's box lies at the depths its face region will keep. A box that
// straddles a head and the wall behind it (over the hair, or a face found half on the head) has a
// mean depth between the two: the region's depth range around that mean then keeps neither, and
// tracking starts on a face with no pixels to follow. So does a face nearer than the search's
// depth range: masked out, it leaves the box's depth to the wall beside it.
// The share of box's pixels with depth, in the mask or not, within [nearest, farthest]; NaN when
// the box, cut to the image, has none.
double FaceDepthShare(const cv::Mat& depth, const cv::Rect& box, double nearest, double farthest);
