// A picture of matched depth against the truth, side by side: the left image, the matched depth
// (grey, nearer brighter, over the range the truth spans; black without depth) and the error
// (green within limitMm, red beyond, black without depth), with the head's outline in blue; cropped
// around the head and enlarged.
#pragma once

#include <opencv2/core.hpp>

cv::Mat DepthPicture(const cv::Mat& left, const cv::Mat& measuredZ, const cv::Mat& trueZ, const cv::Mat& headMask,
                     double limitMm);
