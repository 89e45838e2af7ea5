// How far behind a detected face the scene beside it lies. A head stands out from what is
// behind it; a face-like pattern on a wall, a poster or a screen does not: beside it at eye level
// the surface goes on at the pattern's own depth. The strips looked at lie one and a half to two
// box widths from the box's centre, beyond the head whose face the box frames and beyond the band
// beside it that one camera of a stereo pair cannot see, over the middle third of the box's rows;
// medians keep stereo noise and holes out of them.
#pragma once

#include <opencv2/core.hpp>

// The larger of the two strips' gaps behind faceDepth, a strip's gap being its median depth less
// faceDepth. A strip reaching out of the frame or with (almost) no depth says nothing; NaN when
// neither strip does. Pixels count where the mask is non-zero and the depth positive and finite.
// depth: CV_32FC1; mask: CV_8UC1 of the same size.
double BackgroundGap(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& box, double faceDepth);
