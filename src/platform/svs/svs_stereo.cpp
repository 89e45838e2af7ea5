// The stereo computation: the pair aligned by the offsets and, when asked, by what the pair
// itself shows of the right camera's rows and exposure, matched, refined, cleaned, stored in
// the library's disparity layout.
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <algorithm>

using svs_internal::kNoMatch;

int svsCalcStereo(std::int16_t* dst, const unsigned char* left, const unsigned char* right,
                  const svsParameterBlock* block) {
    if (!dst || !block) return -1;
    const svsParameterBlock& b = *block;
    const bool sizeKnown = b.width >= 8 && b.width <= svs_internal::kMaxImageSide && b.height >= 8 &&
                           b.height <= svs_internal::kMaxImageSide;
    if (!sizeKnown) return -1;
    const int pixels = b.width * b.height;
    std::fill(dst, dst + pixels, kNoMatch);
    if (!left || !right || !svs_internal::GeometryIsUsable(b)) return -1;

    const cv::Mat leftImage(b.height, b.width, CV_8UC1, const_cast<unsigned char*>(left));
    cv::Mat rightImage(b.height, b.width, CV_8UC1, const_cast<unsigned char*>(right));
    if (b.offsetX != 0 || b.offsetY != 0) {  // shifted(x, y) = right(x + ox, y + oy)
        cv::Mat shifted = cv::Mat::zeros(rightImage.size(), CV_8UC1);
        const cv::Rect frame(0, 0, b.width, b.height);
        const cv::Rect from = frame & (frame + cv::Point(b.offsetX, b.offsetY));
        if (!from.empty()) rightImage(from).copyTo(shifted(from - cv::Point(b.offsetX, b.offsetY)));
        rightImage = shifted;
    }

    cv::Mat disparity;
    try {
        if (b.matching.autoAlign != 0) {
            const int reach = b.numDisparities + std::abs(b.offsetX);
            rightImage = svs_internal::AlignRight(
                rightImage, svs_internal::MeasureRightAlignment(leftImage, rightImage, b.matching.autoAlign, reach));
        }
        disparity = svs_internal::MatchPair(b, leftImage, rightImage);
        if (b.matching.subpixelWindow > 0)
            svs_internal::RefineSubpixel(leftImage, rightImage, disparity, b.matching.subpixelWindow,
                                         b.matching.recheckMargin > 0 ? b.matching.recheckJump : 0);
        if (b.matching.edgeMargin > 0)
            svs_internal::DropAroundJumps(disparity, b.matching.edgeMargin, b.matching.edgeJump);
    } catch (const cv::Exception&) {
        return -1;
    }

    // Store from the valid window's first pixel on; disparities past n were not asked for.
    const int limit = 16 * b.numDisparities;
    const svsValidWindow window = svsGetValidWindow(b);
    const int start = window.y0 * b.width + window.x0;
    const auto* values = disparity.ptr<std::int16_t>();
    for (int k = start; k < pixels; ++k) {
        const std::int16_t d = values[k];
        dst[k - start] = d >= limit || d < 0 ? kNoMatch : d;
    }
    return 0;
}
