// The two matchers over OpenCV (cv::StereoBM, cv::StereoSGBM), their left-right check, and the
// removal of what a window straddling a depth edge drags over it.
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <algorithm>
#include <climits>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace svs_internal {

namespace {

// The matcher searches in steps of 16 disparities.
int SearchedDisparities(const svsParameterBlock& b) { return (b.numDisparities + 15) / 16 * 16; }

cv::Ptr<cv::StereoBM> BlockMatcher(const svsParameterBlock& b) {
    static cv::Ptr<cv::StereoBM> matcher = cv::StereoBM::create();
    matcher->setMinDisparity(0);
    matcher->setNumDisparities(SearchedDisparities(b));
    matcher->setBlockSize(std::max(b.corrWindowWidth, b.corrWindowHeight));
    matcher->setPreFilterType(cv::StereoBM::PREFILTER_NORMALIZED_RESPONSE);
    matcher->setPreFilterSize(std::max(b.prefilterWindowWidth, b.prefilterWindowHeight));
    matcher->setPreFilterCap(31);
    matcher->setTextureThreshold(b.textureThreshold);
    matcher->setUniquenessRatio(b.uniquenessRatio);
    matcher->setSpeckleWindowSize(b.speckleWindow);
    matcher->setSpeckleRange(b.speckleRange * 16);
    matcher->setDisp12MaxDiff(-1);
    return matcher;
}

cv::Ptr<cv::StereoSGBM> SemiGlobalMatcher(const svsParameterBlock& b) {
    static cv::Ptr<cv::StereoSGBM> matcher = cv::StereoSGBM::create();
    const int window = std::max(b.corrWindowWidth, b.corrWindowHeight);
    const bool ownPenalties = b.matching.smoothnessSmall > 0;
    matcher->setMinDisparity(0);
    matcher->setNumDisparities(SearchedDisparities(b));
    matcher->setBlockSize(window);
    matcher->setP1(ownPenalties ? b.matching.smoothnessSmall : 8 * window * window);
    matcher->setP2(ownPenalties ? b.matching.smoothnessLarge : 32 * window * window);
    matcher->setPreFilterCap(63);
    matcher->setUniquenessRatio(b.uniquenessRatio);
    matcher->setSpeckleWindowSize(b.speckleWindow);
    matcher->setSpeckleRange(b.speckleRange * 16);
    // Its own check, from the matching costs of both views at once, is always on (OpenCV checks
    // within at least a pixel) but lets through much of what a nearer surface's smoothness drags
    // over the strip only the left camera sees; the check asked for matches the mirrored pair.
    matcher->setDisp12MaxDiff(b.matching.leftRightCheck);
    // Three paths in one pass: as accurate as five on our measurements, a quarter faster.
    matcher->setMode(cv::StereoSGBM::MODE_SGBM_3WAY);
    return matcher;
}

// Keeps a left disparity only where the right view's disparity at the pixel it points to agrees
// within maxDifference whole pixels (both rounded, as the semi-global matcher compares them).
void KeepConsistent(cv::Mat& leftDisparity, const cv::Mat& rightDisparity, int maxDifference) {
    for (int y = 0; y < leftDisparity.rows; ++y) {
        auto* left = leftDisparity.ptr<std::int16_t>(y);
        const auto* right = rightDisparity.ptr<std::int16_t>(y);
        for (int x = 0; x < leftDisparity.cols; ++x) {
            if (left[x] < 0) continue;
            const int pixels = (left[x] + 8) >> 4;
            const int xr = x - pixels;
            const bool agrees = xr >= 0 && right[xr] >= 0 && std::abs(pixels - ((right[xr] + 8) >> 4)) <= maxDifference;
            if (!agrees) left[x] = kNoMatch;
        }
    }
}

}  // namespace

cv::Mat MatchPair(const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right) {
    cv::Ptr<cv::StereoMatcher> matcher;
    if (b.matching.matcher == SVS_MATCHER_SEMI_GLOBAL) matcher = SemiGlobalMatcher(b);
    else matcher = BlockMatcher(b);
    cv::Mat disparity;
    matcher->compute(left, right, disparity);
    if (b.matching.leftRightCheck < 0) return disparity;
    // The right view's disparities: the mirrored pair matched the same way, mirrored back.
    cv::Mat mirroredLeft, mirroredRight, mirroredDisparity, rightDisparity;
    cv::flip(left, mirroredRight, 1);
    cv::flip(right, mirroredLeft, 1);
    matcher->compute(mirroredLeft, mirroredRight, mirroredDisparity);
    cv::flip(mirroredDisparity, rightDisparity, 1);
    KeepConsistent(disparity, rightDisparity, b.matching.leftRightCheck);
    return disparity;
}

namespace {

// Holes along each row take the farther (smaller) of the two disparities that bound them: a hole is
// mostly what one camera sees behind the other's edge of a nearer surface. SHRT_MAX where a row has
// no disparity on either side.
cv::Mat FillHolesFromBehind(const cv::Mat& disparity) {
    cv::Mat filled = disparity.clone();
    for (int y = 0; y < filled.rows; ++y) {
        const auto* original = disparity.ptr<std::int16_t>(y);
        auto* row = filled.ptr<std::int16_t>(y);
        std::int16_t before = SHRT_MAX;
        for (int x = 0; x < filled.cols; ++x) {
            if (original[x] >= 0) before = original[x];
            else row[x] = before;
        }
        std::int16_t after = SHRT_MAX;
        for (int x = filled.cols - 1; x >= 0; --x) {
            if (original[x] >= 0) after = original[x];
            else row[x] = std::min(row[x], after);
        }
    }
    return filled;
}

}  // namespace

void DropAroundJumps(cv::Mat& disparity, int margin, int jump) {
    const cv::Mat filled = FillHolesFromBehind(disparity);
    // Both pixels of every neighbouring pair whose disparities differ by more than the jump.
    cv::Mat edges = cv::Mat::zeros(disparity.size(), CV_8U);
    const int limit = 16 * jump;
    auto mark = [&](int y0, int x0, int y1, int x1) {
        const int a = filled.at<std::int16_t>(y0, x0), b = filled.at<std::int16_t>(y1, x1);
        if (a != SHRT_MAX && b != SHRT_MAX && std::abs(a - b) > limit)
            edges.at<unsigned char>(y0, x0) = edges.at<unsigned char>(y1, x1) = 1;
    };
    for (int y = 0; y < filled.rows; ++y)
        for (int x = 0; x < filled.cols; ++x) {
            if (x + 1 < filled.cols) mark(y, x, y, x + 1);
            if (y + 1 < filled.rows) mark(y, x, y + 1, x);
        }
    // Then the margin - 1 pixels beyond them, on both sides: a window straddling the edge drags
    // the texture of one surface over the other either way.
    const int size = 2 * margin - 1;
    cv::dilate(edges, edges, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(size, size)));
    disparity.setTo(kNoMatch, edges);
}

}  // namespace svs_internal
