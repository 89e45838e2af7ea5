// Helpers shared by the parts of the stereo library; not for use outside src/platform/svs.
#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "platform/svs/svs.h"

namespace svs_internal {

constexpr int kMaxImageSide = 4096;

// Subsampling factor s = decimation * binning.
inline int Subsampling(const svsParameterBlock& block) { return block.decimation * block.binning; }

// True when the delivered image size, windows and disparity count are ones the rectifier and the
// matcher can work with (the ranges the parameter file admits).
bool GeometryIsUsable(const svsParameterBlock& block);

// svsWarpImage with an explicit block: the grabber rectifies the colour image with the block
// capture was started with.
int WarpWith(const svsParameterBlock& block, unsigned char* dst, const unsigned char* src, int side,
             int format);

// A disparity without a match (OpenCV's matchers give (minDisparity - 1) * 16; we search from 0).
constexpr std::int16_t kNoMatch = -16;

// Disparities (CV_16S, 1/16 pixel, kNoMatch where none) of left pixel (x, y) against right pixel
// (x - d, y): the block's matcher, its recheck near depth edges and its left-right check. Throws
// cv::Exception on failure.
cv::Mat MatchPair(const svsParameterBlock& block, const cv::Mat& left, const cv::Mat& right);

// Refines every matched disparity to the sub-pixel shift that best aligns a window x window
// square of the right image with the left one. With surfaceJump > 0, a window reaching a
// disparity more than surfaceJump pixels from the pixel's own counts only the pixels of its own
// surface: the other surface's texture would pull the shift.
void RefineSubpixel(const cv::Mat& left, const cv::Mat& right, cv::Mat& disparity, int window, int surfaceJump = 0);

// Drops the disparities within margin pixels of a jump of more than jump pixels between neighbours,
// on both sides; along a row a hole counts as the farther of the disparities bounding it.
void DropAroundJumps(cv::Mat& disparity, int margin, int jump);

// Matches the disparities within margin pixels of such a jump again, with the best of the squares
// of window x window pixels that hold the pixel rather than the one centred on it, and drops those
// that the farthest disparity within the margin matches better: the nearer surface's disparity
// dragged over the farther one.
void RecheckAroundJumps(const cv::Mat& left, const cv::Mat& right, cv::Mat& disparity, int window, int margin,
                        int jump);

// How the right image departs from the left one: its row at left pixel (x, y) lies
// RowShift(x / width - 0.5, y / height - 0.5) pixels lower, and its grey levels are
// gain * left + offset. points: the corners it was measured from (0: nothing measured).
struct RightAlignment {
    int points = 0;
    double rows[3] = {0.0, 0.0, 0.0};  // offset, and per image width and height
    double gain = 1.0;
    double offset = 0.0;
    double RowShift(double u, double v) const;
    // Whether the rows (somewhere in the image) or the exposure (somewhere between dark and bright
    // grey) differ by more than a measurement's noise.
    bool RowsDiffer() const;
    bool ExposureDiffers() const;
};

// Measures what `what` (SVS_ALIGN_* flags) asks from corners of the left image followed into the right
// one, matches at most maxDisparity pixels apart along a row.
RightAlignment MeasureRightAlignment(const cv::Mat& left, const cv::Mat& right, int what, int maxDisparity);

// The right image with the alignment undone, as far as it stands above the measurement's noise
// (the image itself when nothing does or nothing was measured).
cv::Mat AlignRight(const cv::Mat& right, const RightAlignment& alignment);

// Expands a file pattern holding exactly one %d or %0Nd (N 1..9) and any number of "%%".
// False, with out unchanged, for any other pattern.
bool FormatPattern(const std::string& pattern, int index, std::string& out);

}  // namespace svs_internal
