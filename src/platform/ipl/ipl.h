// Image headers in the layout of the Intel Image Processing Library, which this platform lacks.
//
// Only the header structure, its creation and release, regions of interest and a zero-copy
// cv::Mat view live here; the pixel operations are written on OpenCV by the image layer.
// Pixels are interleaved (dataOrder 0), rows start on 8-byte boundaries (align 8).
// 1-bit images hold 8 pixels a byte, the leftmost pixel in the most significant bit.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

// Pixel depth codes. A 16-bit image is unsigned unless IPL_DEPTH_SIGN is set in its tag.
constexpr int IPL_DEPTH_SIGN = static_cast<int>(0x80000000u);
constexpr int IPL_DEPTH_1U = 1;
constexpr int IPL_DEPTH_8U = 8;
constexpr int IPL_DEPTH_16U = 16;
constexpr int IPL_DEPTH_32F = 32;
constexpr int IPL_DEPTH_8S = IPL_DEPTH_SIGN | 8;
constexpr int IPL_DEPTH_16S = IPL_DEPTH_SIGN | 16;

constexpr int IPL_DATA_ORDER_PIXEL = 0;
constexpr int IPL_ORIGIN_TL = 0;
constexpr int IPL_ALIGN_QWORD = 8;

// Parts released by iplDeallocate.
constexpr int IPL_IMAGE_HEADER = 1;
constexpr int IPL_IMAGE_DATA = 2;
constexpr int IPL_IMAGE_ROI = 4;
constexpr int IPL_IMAGE_TILE = 8;
constexpr int IPL_IMAGE_MASK = 16;
constexpr int IPL_IMAGE_ALL = 31;

struct IplROI {
    int coi;  // channel of interest, 0 = all channels
    int xOffset;
    int yOffset;
    int width;
    int height;
};

struct IplTileInfo;

struct IplImage {
    int nSize;
    int ID;
    int nChannels;
    int alphaChannel;
    int depth;
    char colorModel[4];
    char channelSeq[4];
    int dataOrder;
    int origin;
    int align;
    int width;
    int height;
    IplROI* roi;
    IplImage* maskROI;
    void* imageId;
    IplTileInfo* tileInfo;
    int imageSize;       // bytes of the pixel block, heightStep * height
    char* imageData;     // first pixel; owned when allocated by iplAllocateImage*
    int widthStep;       // bytes from one row to the next
    int BorderMode[4];
    int BorderConst[4];
    char* imageDataOrigin;
};

// Returns null when the sizes are negative or the pixel block would not fit in an int.
IplImage* iplCreateImageHeader(int nChannels, int alphaChannel, int depth, const char* colorModel,
                               const char* channelSeq, int dataOrder, int origin, int align, int width,
                               int height, IplROI* roi, IplImage* maskROI, void* imageId,
                               IplTileInfo* tileInfo);

// Allocate the pixel block of a header (fill it when doFill is non-zero).
void iplAllocateImage(IplImage* image, int doFill, int fillValue);
void iplAllocateImageFP(IplImage* image, int doFill, float fillValue);

// Releases the pixel block the header owns.
void iplDeallocateImage(IplImage* image);

// Releases the parts named by flag (IPL_IMAGE_* bits); the header last.
void iplDeallocate(IplImage* image, int flag);

// Deep copy of header and pixels; the copy has no region of interest.
IplImage* iplCloneImage(const IplImage* image);

IplROI* iplCreateROI(int coi, int xOffset, int yOffset, int width, int height);
void iplDeleteROI(IplROI* roi);

// Bytes of one sample (0 for 1-bit images, which pack 8 pixels a byte).
int iplBytesPerSample(int depth);

// OpenCV element type of an 8-, 16- or 32-bit image; -1 for 1-bit images.
int iplCvType(const IplImage* image);

// Zero-copy view of the pixels, restricted to the attached region of interest when there is one
// (the region is clipped to the image). 1-bit images are viewed as their raw bytes, one row
// of widthStep bytes per image row.
cv::Mat iplView(const IplImage* image);
cv::Mat iplFullView(const IplImage* image);

// Bit access for 1-bit images; x and y are pixel coordinates inside the image.
inline bool iplGetBit(const IplImage* image, int x, int y) {
    const auto* row = reinterpret_cast<const std::uint8_t*>(image->imageData) + static_cast<long>(y) * image->widthStep;
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}
inline void iplSetBit(IplImage* image, int x, int y, bool value) {
    auto* row = reinterpret_cast<std::uint8_t*>(image->imageData) + static_cast<long>(y) * image->widthStep;
    const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
    row[x >> 3] = value ? (row[x >> 3] | bit) : (row[x >> 3] & static_cast<std::uint8_t>(~bit));
}
