// CImage: the one image type of the system. It owns an IplImage header and its pixel buffer
// (1-bit, 8-bit, 16-bit or 32-bit float samples; one, three or four interleaved channels) and
// offers construction, ownership, field accessors, regions of interest, a small raw file format
// and the pixel operations the tracker, the stereo frames and the face detector use.
//
// Ownership:
//  - The image owns its header and pixel buffer and releases both when destroyed.
//  - Clone, CreateLike and CopyROI return a new heap image that the caller owns (and deletes).
//  - A region attached with SetROI stays owned by its creator; the image keeps the region's
//    IplROI alive while it is attached and never frees it. Attach for an operation, detach after.
//  - GetIplImage and GetImageData hand out pointers the image keeps owning; they are valid until
//    the header is replaced (CreateHeader, Load, in-place BitonalToGray) or the image is destroyed.
//
// Conventions of the operations:
//  - The object is the first operand and, in the in-place forms, the destination: Add(other)
//    means this = this + other. Forms with two operands (Subtract(a, b)) write a op b into the
//    object; ...To(destination) forms leave the object unchanged.
//  - Scalar forms use the float on float images and the float truncated toward zero on integer
//    images; integer arithmetic saturates.
//  - Every pixel operation works on the attached regions of the images involved (the whole image
//    when none is attached); operands must then agree in size, channel count and depth. Load,
//    Save and the in-place BitonalToGray always take the whole image.
//  - An operation whose operands are missing, header-less, unallocated or do not match writes
//    nothing (Norm returns -1, MinMaxFP gives 0 and 0). No operation throws or aborts.
//  - The channel of interest of a region is honoured by CopyTo into a one-channel destination;
//    the other operations work on all channels.
#pragma once

#include <memory>
#include <string>

#include "image/ImageROI.h"
#include "platform/ipl/ipl.h"

class CImage {
public:
    // 320 x 240, 8-bit, three channels, no pixel buffer.
    CImage();
    // Header only (CreateHeader); no pixel buffer. Without a header when the format is refused.
    CImage(int width, int height, int depth, int nChannels, int dataOrder);
    // Without a header when the file does not load.
    CImage(const char* fileName, int format);
    virtual ~CImage();

    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Replaces the header (and releases the old pixel buffer). 0, and nothing changed, when the
    // channel count is not 1, 3 or 4 for a depth other than 1, or the header cannot be built.
    // Depth 1 always gives a one-channel "GRAY" image with interleaved pixels.
    int CreateHeader(int width, int height, int depth, int nChannels, int dataOrder);
    // Allocates the pixel buffer (contents undefined).
    void Allocate();

    // New allocated images owned by the caller; null when this image has no header.
    CImage* Clone() const;
    // Same width, height and depth; three channels if this image has three, else one.
    CImage* CreateLike() const;
    CImage* CreateLike(int depth) const;
    // An image of the region's size holding the region's pixels (zero where the region leaves
    // the image); channels as CreateLike. Null when the region or this image's pixels are missing.
    CImage* CopyROI(CImageROI* region);

    // Copies the region's pixels into destination, which has the region's size.
    void CopyROIInto(CImage* destination, CImageROI* region);
    void CopyTo(CImage* destination) const;
    // Every sample becomes value (on 1-bit images: 1 for any non-zero value).
    void Set(int value);

    // Raw header fields; a header-less image reads 0 or null and ignores writes. The setters
    // change the field alone: keeping it consistent with the buffer is the caller's business
    // (operations refuse a header whose rows do not fit its buffer).
    int GetWidth() const;
    void SetWidth(int width);
    int GetHeight() const;
    void SetHeight(int height);
    int GetDepth() const;
    void SetDepth(int depth);
    int GetNChannels() const;
    void SetNChannels(int nChannels);
    int GetAlphaChannel() const;
    void SetAlphaChannel(int alphaChannel);
    // Four characters at most.
    std::string GetColorModel() const;
    void SetColorModel(const char* colorModel);
    std::string GetChannelSeq() const;
    void SetChannelSeq(const char* channelSeq);
    int GetDataOrder() const;
    void SetDataOrder(int dataOrder);
    int GetOrigin() const;
    void SetOrigin(int origin);
    int GetAlign() const;
    void SetAlign(int align);
    int GetWidthStep() const;
    void SetWidthStep(int widthStep);
    int GetImageSize() const;
    void SetImageSize(int imageSize);
    // First pixel: float* for depth 32, bytes otherwise. A block handed to SetImageDataOrigin
    // becomes the image's and must come from cv::fastMalloc.
    char* GetImageData() const;
    void SetImageData(char* imageData);
    char* GetImageDataOrigin() const;
    void SetImageDataOrigin(char* imageDataOrigin);
    IplImage* GetIplImage() const { return header_.get(); }

    // Attaches region (null detaches). The image does not own the region.
    void SetROI(CImageROI* region);
    CImageROI* GetROI() const { return region_; }

    // The raw image file format ("P5" 8-bit grey, "P6" 8-bit colour, "P7" float, "P9" 16-bit;
    // Save writes colour as text "P3"). format must be 0 or 2. 1 on success; on failure 0 and
    // the image is left exactly as it was. Only regular files load (never a device or a pipe),
    // of at most kMaxFileSide pixels a side and kMaxFilePixels pixels. why, when given, is set
    // to the reason of a failure ("does not open: ...", "truncated: ...") or cleared.
    static constexpr int kMaxFileSide = 16384;
    static constexpr long long kMaxFilePixels = 1LL << 24;
    int Load(const char* fileName, int format);
    int Load(const char* fileName, int format, std::string* why);
    int Save(const char* fileName, int format) const;

    // Arithmetic (ImageArithmetic.cpp).
    void Add(CImage* other);
    void Subtract(CImage* other);
    void Multiply(CImage* other);
    void Subtract(CImage* a, CImage* b);
    void Multiply(CImage* a, CImage* b);
    // Bitwise and; for the 1-bit masks pixel by pixel.
    void And(CImage* other);
    void AddS(float value);
    // fromScalar true gives value - this.
    void SubtractS(float value, bool fromScalar);
    void SubtractSFP(float value, bool fromScalar);  // float images only
    void MultiplyS(float value);
    void MultiplySFP(float value);                   // float images only
    // this = 1 / this on a one-channel float image; values of magnitude below minimum become
    // 1 / minimum with their sign (0 gives +1 / minimum).
    void InvThresh(float minimum);

    // Conversions and statistics (ImageConversions.cpp).
    // Full range of this integer depth onto the full range of the destination's integer depth.
    void ScaleTo(CImage* destination) const;
    // Between an integer and a float image: the full integer range corresponds linearly to
    // [minimum, maximum]; float to integer rounds and saturates.
    void ScaleFP(CImage* destination, float minimum, float maximum) const;
    // One-channel source into a 1-bit destination: bit = pixel > value (strict).
    void GreaterSFP(CImage* destination, float value) const;
    // bit = pixel < value (strict).
    void LessSFP(CImage* destination, float value) const;
    // In place: the 1-bit image becomes an 8-bit one with a new header (any attached region is
    // detached); 0 bits become zeroValue, 1 bits oneValue.
    void BitonalToGray(int zeroValue, int oneValue);
    void BitonalToGrayTo(CImage* destination, int zeroValue, int oneValue) const;
    // Three- or four-channel colour into a one-channel destination of the same depth, read in
    // the image's channel sequence.
    void ColorToGrayTo(CImage* destination) const;
    void MinMaxFP(float* minimum, float* maximum) const;
    // normType: 1 maximum absolute value, 2 sum of absolute values, 4 Euclidean; with other,
    // the norm of the difference. -1 when the norm type or the operands are not usable.
    double Norm(int normType) const;
    double Norm(CImage* other, int normType) const;

    // Filters and drawing (ImageFilters.cpp); float images unless stated.
    // Box filter; the anchor is the output pixel's place in the columns x rows neighbourhood.
    void BlurTo(CImage* destination, int columns, int rows, int anchorColumn, int anchorRow) const;
    // In place, 3 x 3 rectangular neighbourhood, any depth except 1.
    void Erode(int iterations);
    // Horizontal derivative of the float source into this float image of the same size.
    // kernel 5: 5-tap derivative with 5-tap prefilter; 2: 3 x 3 Sobel; other: 3-tap difference.
    void GradientX(CImage* source, int kernel);
    void GradientY(CImage* source, int kernel);
    // Smoothed copy of this float image into destination. kind 1: 15-tap Gaussian; 2: 7 x 7
    // box; 3: 15 x 15 box; 4 (needs mask): Gaussian of this divided by Gaussian of mask;
    // 5: 5-tap prefilter. Other kinds, and kind 4 without a mask, write nothing.
    void Smooth(CImage* destination, int kind, CImage* mask) const;
    // Corners (x1, y1) and (x2, y2); the outline is thickness pixels wide.
    void DrawRectangle(int x1, int y1, int x2, int y2, int thickness, double value, bool filled);

private:
    struct HeaderRelease {
        void operator()(IplImage* header) const;
    };
    using HeaderPtr = std::unique_ptr<IplImage, HeaderRelease>;

    // Takes over a new header (may be null), releasing the old one; any region is detached.
    void ReplaceHeader(HeaderPtr header);
    int LoadFile(const char* fileName, int format, std::string& why);
    void DetachRegion();

    HeaderPtr header_;
    CImageROI* region_ = nullptr;
    std::shared_ptr<IplROI> attachedRoi_;  // keeps header_->roi valid while attached
};
