// Helpers shared by CImage's implementation files: checked zero-copy views of a header's pixels
// (restricted to its attached region), the packed 1-bit images and the exception fence.
//
// Nothing here owns memory: views and rectangles refer to the header's own buffer.
#pragma once

#include <new>

#include <opencv2/core.hpp>

#include "platform/ipl/ipl.h"

namespace image_pixels {

// True when the header has a buffer and its rows fit in it, so views cannot read past it.
bool HasPixels(const IplImage* header);
inline bool IsBitonal(const IplImage* header) { return header && header->depth == IPL_DEPTH_1U; }
inline bool IsFloat(const IplImage* header) { return header && header->depth == IPL_DEPTH_32F; }

// The pixels an operation covers: the attached region clipped to the image, else the image.
// Empty when the image has no pixels.
cv::Rect Area(const IplImage* header);

// Zero-copy view of Area; empty for 1-bit images and images without pixels.
cv::Mat View(const IplImage* header);

// The bits of area as a CV_8UC1 matrix of 0 and 1.
cv::Mat UnpackBits(const IplImage* header, const cv::Rect& area);
// Writes 1 where values (CV_8UC1, area's size) is non-zero, 0 elsewhere.
void PackBits(IplImage* header, const cv::Rect& area, const cv::Mat& values);

// Views of two operands that agree in size and element type; false otherwise.
bool MatchingViews(const IplImage* a, const IplImage* b, cv::Mat& viewA, cv::Mat& viewB);

// OpenCV reports bad arguments and short memory by exceptions, which must never reach the Java
// host: an operation that fails this way leaves its destination as far as it got and returns.
template <typename Operation>
bool Guarded(Operation&& operation) {
    try {
        operation();
        return true;
    } catch (const cv::Exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace image_pixels
