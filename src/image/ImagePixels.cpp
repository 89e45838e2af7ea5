#include "image/ImagePixels.h"

#include <cstdint>

namespace image_pixels {

bool HasPixels(const IplImage* header) {
    if (!header || !header->imageData || header->width < 0 || header->height < 0) return false;
    long packedRow;
    if (header->depth == IPL_DEPTH_1U) {
        packedRow = (static_cast<long>(header->width) + 7) / 8;
    } else {
        const int sample = iplBytesPerSample(header->depth);
        if (sample == 0 || header->nChannels < 1) return false;
        packedRow = static_cast<long>(header->width) * header->nChannels * sample;
    }
    return header->widthStep >= packedRow &&
           static_cast<long>(header->widthStep) * header->height <= static_cast<long>(header->imageSize);
}

cv::Rect Area(const IplImage* header) {
    if (!HasPixels(header)) return cv::Rect();
    const cv::Rect whole(0, 0, header->width, header->height);
    if (!header->roi) return whole;
    const IplROI& roi = *header->roi;
    return cv::Rect(roi.xOffset, roi.yOffset, roi.width, roi.height) & whole;
}

cv::Mat View(const IplImage* header) {
    if (!HasPixels(header) || IsBitonal(header)) return cv::Mat();
    return iplView(header);
}

cv::Mat UnpackBits(const IplImage* header, const cv::Rect& area) {
    cv::Mat bits(area.size(), CV_8UC1);
    for (int y = 0; y < area.height; ++y) {
        auto* out = bits.ptr<std::uint8_t>(y);
        for (int x = 0; x < area.width; ++x) out[x] = iplGetBit(header, area.x + x, area.y + y) ? 1 : 0;
    }
    return bits;
}

void PackBits(IplImage* header, const cv::Rect& area, const cv::Mat& values) {
    for (int y = 0; y < area.height; ++y) {
        const auto* in = values.ptr<std::uint8_t>(y);
        for (int x = 0; x < area.width; ++x) iplSetBit(header, area.x + x, area.y + y, in[x] != 0);
    }
}

bool MatchingViews(const IplImage* a, const IplImage* b, cv::Mat& viewA, cv::Mat& viewB) {
    viewA = View(a);
    viewB = View(b);
    return !viewA.empty() && viewA.size() == viewB.size() && viewA.type() == viewB.type();
}

}  // namespace image_pixels
