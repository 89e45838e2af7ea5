// The two matchers over OpenCV (cv::StereoBM, cv::StereoSGBM) and their left-right check.
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <algorithm>
#include <exception>

#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace svs_internal {

namespace {

// The matcher searches in steps of 16 disparities.
int SearchedDisparities(const svsParameterBlock& b) { return (b.numDisparities + 15) / 16 * 16; }

// Each matcher below is one per thread: it keeps its settings and its buffers between calls, and
// two cameras (or the two views of one pair) are matched on different threads at once.
cv::Ptr<cv::StereoBM> BlockMatcher(const svsParameterBlock& b) {
    static thread_local cv::Ptr<cv::StereoBM> matcher = cv::StereoBM::create();
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
    static thread_local cv::Ptr<cv::StereoSGBM> matcher = cv::StereoSGBM::create();
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
    // Three paths in one pass: as accurate a depth as five, a quarter faster. Eight (or four)
    // gather from below as well as from above, which a nod through the camera measures.
    int mode = cv::StereoSGBM::MODE_SGBM_3WAY;
    if (b.matching.paths == 4) mode = cv::StereoSGBM::MODE_HH4;
    else if (b.matching.paths == 5) mode = cv::StereoSGBM::MODE_SGBM;
    else if (b.matching.paths == 8) mode = cv::StereoSGBM::MODE_HH;
    matcher->setMode(mode);
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

// The matcher's disparities of a pair. OpenCV's matchers leave a band as wide as the search at
// the left edge: its pixels cannot be searched over every disparity. Across the whole width, both
// images get that band in front (the right image's outside, its edge column repeated, matches
// nothing that has texture), and each left pixel finds its match wherever it lies inside the right
// image.
void Compute(cv::StereoMatcher& matcher, const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right,
             cv::Mat& disparity) {
    if (!b.matching.fullWidth) {
        matcher.compute(left, right, disparity);
        return;
    }
    const int band = SearchedDisparities(b);
    cv::Mat paddedLeft, paddedRight, padded;
    cv::copyMakeBorder(left, paddedLeft, 0, 0, band, 0, cv::BORDER_REPLICATE);
    cv::copyMakeBorder(right, paddedRight, 0, 0, band, 0, cv::BORDER_REPLICATE);
    matcher.compute(paddedLeft, paddedRight, padded);
    padded(cv::Rect(band, 0, left.cols, left.rows)).copyTo(disparity);
    // A match in the band is no match: nothing of the right image lies there.
    for (int y = 0; y < disparity.rows; ++y) {
        auto* row = disparity.ptr<std::int16_t>(y);
        for (int x = 0; x < std::min(band, disparity.cols); ++x)
            if (row[x] > 16 * x) row[x] = kNoMatch;
    }
}

cv::Ptr<cv::StereoMatcher> Matcher(const svsParameterBlock& b) {
    if (b.matching.matcher == SVS_MATCHER_SEMI_GLOBAL) return SemiGlobalMatcher(b);
    return BlockMatcher(b);
}

// One view's disparities, rechecked around depth jumps when asked.
void MatchView(const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right, cv::Mat& disparity) {
    Compute(*Matcher(b), b, left, right, disparity);
    if (b.matching.recheckMargin > 0)
        RecheckAroundJumps(left, right, disparity, b.corrWindowWidth, b.matching.recheckMargin, b.matching.recheckJump);
}

}  // namespace

cv::Mat MatchPair(const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right) {
    cv::Mat disparity;
    if (b.matching.leftRightCheck < 0) {
        MatchView(b, left, right, disparity);
        return disparity;
    }
    // The right view's disparities: the mirrored pair matched the same way, mirrored back. Rechecked
    // too, what the left camera alone sees behind a nearer surface's edge no longer finds the
    // nearer surface's disparity there to agree with. The two views share nothing, so a second
    // processor matches the mirrored one meanwhile: the results are the same either way.
    cv::Mat mirroredLeft, mirroredRight, mirroredDisparity, rightDisparity;
    cv::flip(left, mirroredRight, 1);
    cv::flip(right, mirroredLeft, 1);
    std::exception_ptr failures[2];
    cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range& views) {
        for (int view = views.start; view < views.end; ++view) {
            try {
                if (view == 0) MatchView(b, left, right, disparity);
                else MatchView(b, mirroredLeft, mirroredRight, mirroredDisparity);
            } catch (...) {
                failures[view] = std::current_exception();
            }
        }
    }, 2);
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
    cv::flip(mirroredDisparity, rightDisparity, 1);
    KeepConsistent(disparity, rightDisparity, b.matching.leftRightCheck);
    return disparity;
}

}  // namespace svs_internal
