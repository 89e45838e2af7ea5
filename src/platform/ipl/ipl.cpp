#include "platform/ipl/ipl.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

void copyTag(char (&dst)[4], const char* src) {
    std::memset(dst, 0, sizeof dst);
    if (src) std::memcpy(dst, src, std::min<std::size_t>(4, std::strlen(src)));
}

// Bytes of one packed row before alignment, or -1 when it does not fit in an int.
long rowBytes(int depth, int nChannels, int width) {
    if (depth == IPL_DEPTH_1U) return (static_cast<long>(width) + 7) / 8;
    return static_cast<long>(width) * nChannels * iplBytesPerSample(depth);
}

}  // namespace

int iplBytesPerSample(int depth) {
    switch (depth & ~IPL_DEPTH_SIGN) {
        case 8: return 1;
        case 16: return 2;
        case 32: return 4;
        default: return 0;
    }
}

IplImage* iplCreateImageHeader(int nChannels, int alphaChannel, int depth, const char* colorModel,
                               const char* channelSeq, int dataOrder, int origin, int align, int width,
                               int height, IplROI* roi, IplImage* maskROI, void* imageId,
                               IplTileInfo* tileInfo) {
    if (width < 0 || height < 0 || nChannels < 1 || align <= 0) return nullptr;
    if (depth != IPL_DEPTH_1U && iplBytesPerSample(depth) == 0) return nullptr;
    const long packed = rowBytes(depth, nChannels, width);
    const long step = (packed + align - 1) / align * align;
    if (step > INT_MAX || (height > 0 && step > INT_MAX / height)) return nullptr;

    auto* image = new IplImage{};
    image->nSize = sizeof(IplImage);
    image->nChannels = nChannels;
    image->alphaChannel = alphaChannel;
    image->depth = depth;
    copyTag(image->colorModel, colorModel);
    copyTag(image->channelSeq, channelSeq);
    image->dataOrder = dataOrder;
    image->origin = origin;
    image->align = align;
    image->width = width;
    image->height = height;
    image->roi = roi;
    image->maskROI = maskROI;
    image->imageId = imageId;
    image->tileInfo = tileInfo;
    image->widthStep = static_cast<int>(step);
    image->imageSize = static_cast<int>(step * height);
    return image;
}

void iplAllocateImage(IplImage* image, int doFill, int fillValue) {
    if (!image) return;
    iplDeallocateImage(image);
    // Never a null block, so that empty images still have a first pixel address.
    image->imageData = static_cast<char*>(cv::fastMalloc(std::max(image->imageSize, 8)));
    image->imageDataOrigin = image->imageData;
    if (doFill) {
        cv::Mat all = iplFullView(image);
        if (image->depth == IPL_DEPTH_1U) {
            std::memset(image->imageData, fillValue ? 0xFF : 0, image->imageSize);
        } else {
            all.setTo(cv::Scalar::all(fillValue));
        }
    }
}

void iplAllocateImageFP(IplImage* image, int doFill, float fillValue) {
    if (!image) return;
    iplAllocateImage(image, 0, 0);
    if (doFill) iplFullView(image).setTo(cv::Scalar::all(fillValue));
}

void iplDeallocateImage(IplImage* image) {
    if (!image || !image->imageDataOrigin) return;
    cv::fastFree(image->imageDataOrigin);
    image->imageData = nullptr;
    image->imageDataOrigin = nullptr;
}

void iplDeallocate(IplImage* image, int flag) {
    if (!image) return;
    if (flag & IPL_IMAGE_DATA) iplDeallocateImage(image);
    if (flag & IPL_IMAGE_ROI) {
        iplDeleteROI(image->roi);
        image->roi = nullptr;
    }
    // Tiles and mask images are never created on this platform; nothing to release for them.
    if (flag & IPL_IMAGE_HEADER) delete image;
}

IplImage* iplCloneImage(const IplImage* image) {
    if (!image) return nullptr;
    auto* copy = new IplImage(*image);
    copy->roi = nullptr;
    copy->maskROI = nullptr;
    copy->tileInfo = nullptr;
    copy->imageData = nullptr;
    copy->imageDataOrigin = nullptr;
    if (image->imageData) {
        iplAllocateImage(copy, 0, 0);
        std::memcpy(copy->imageData, image->imageData, image->imageSize);
    }
    return copy;
}

IplROI* iplCreateROI(int coi, int xOffset, int yOffset, int width, int height) {
    return new IplROI{coi, xOffset, yOffset, width, height};
}

void iplDeleteROI(IplROI* roi) { delete roi; }

int iplCvType(const IplImage* image) {
    const int n = image->nChannels;
    switch (image->depth) {
        case IPL_DEPTH_8U: return CV_8UC(n);
        case IPL_DEPTH_8S: return CV_8SC(n);
        case IPL_DEPTH_16U: return CV_16UC(n);
        case IPL_DEPTH_16S: return CV_16SC(n);
        case IPL_DEPTH_32F: return CV_32FC(n);
        default: return -1;
    }
}

cv::Mat iplFullView(const IplImage* image) {
    if (!image || !image->imageData) return cv::Mat();
    if (image->depth == IPL_DEPTH_1U)
        return cv::Mat(image->height, image->widthStep, CV_8UC1, image->imageData, image->widthStep);
    const int type = iplCvType(image);
    if (type < 0) return cv::Mat();
    return cv::Mat(image->height, image->width, type, image->imageData, image->widthStep);
}

cv::Mat iplView(const IplImage* image) {
    cv::Mat all = iplFullView(image);
    if (all.empty() || !image->roi || image->depth == IPL_DEPTH_1U) return all;
    const cv::Rect wanted(image->roi->xOffset, image->roi->yOffset, image->roi->width, image->roi->height);
    return all(wanted & cv::Rect(0, 0, all.cols, all.rows));
}
