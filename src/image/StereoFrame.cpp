#include "image/StereoFrame.h"

#include <opencv2/core.hpp>

#include "image/Image.h"
#include "image/ImageROI.h"
#include "platform/ipl/ipl.h"

namespace {

// 8-bit to float keeping each value's number (v becomes v.0).
constexpr float kByteRangeMin = 0.0f;
constexpr float kByteRangeMax = 255.0f;
constexpr int kCentralDifference = 1;

CImage* ToFloat(CImage* image) {
    if (!image || image->GetDepth() == IPL_DEPTH_32F) return image;
    CImage* converted = image->CreateLike(IPL_DEPTH_32F);
    image->ScaleFP(converted, kByteRangeMin, kByteRangeMax);
    delete image;
    return converted;
}

CImage* CopyOrNull(CImage* image, CImageROI* rectangle) { return image ? image->CopyROI(rectangle) : nullptr; }

CImage* CreateLikeOrNull(const CImage* image) { return image ? image->CreateLike() : nullptr; }

bool SameShape(const CImage* a, const CImage* b) {
    return a->GetWidth() == b->GetWidth() && a->GetHeight() == b->GetHeight();
}

const float* FloatRow(const CImage* image, int row) {
    return reinterpret_cast<const float*>(image->GetImageData() + static_cast<long>(row) * image->GetWidthStep());
}

}  // namespace

CStereoFrame::CStereoFrame() = default;

CStereoFrame::CStereoFrame(CImage* intensityImage, CImage* depthImage, CImage* xImage, CImage* yImage,
                           const CDepthMaskRegion* maskRegion)
    : intensity(ToFloat(intensityImage)), imageX(xImage), imageY(yImage), depth(ToFloat(depthImage)) {
    if (!maskRegion) return;
    region = std::make_unique<CDepthMaskRegion>(
        depth ? maskRegion->ClampedTo(depth->GetWidth(), depth->GetHeight()) : *maskRegion);
    if (!depth) return;
    BuildMask();
    ComputeCentroid();
}

CStereoFrame::~CStereoFrame() {
    intensity.reset();
    imageX.reset();
    imageY.reset();
    depth.reset();
    mask.reset();
    region.reset();
    intensityGradX.reset();
    intensityGradY.reset();
    depthGradX.reset();
    depthGradY.reset();
}

// The mask is made in 8 bits directly: the same 0/1 pixels as comparing into 1-bit images and
// converting, without packing and unpacking bits (half the cost of a frame otherwise).
void CStereoFrame::BuildMask() {
    mask.reset(depth->CreateLike(IPL_DEPTH_8U));
    if (!mask) return;
    const cv::Mat depthView = iplFullView(depth->GetIplImage());
    cv::Mat maskView = iplFullView(mask->GetIplImage());
    if (depthView.empty() || maskView.empty()) return;
    maskView.setTo(1);
    // Strict comparisons: a depth equal to a bound lies outside the mask.
    cv::Mat passes;
    if (region->GetMinDepth() != CDepthMaskRegion::kNoBound) {
        cv::compare(depthView, region->GetMinDepth(), passes, cv::CMP_GT);
        cv::bitwise_and(maskView, passes, maskView);
    }
    if (region->GetMaxDepth() != CDepthMaskRegion::kNoBound) {
        cv::compare(depthView, region->GetMaxDepth(), passes, cv::CMP_LT);
        cv::bitwise_and(maskView, passes, maskView);
    }
}

// Mean X, Y and Z over the masked pixels of the region, each a single-precision sum divided by
// the pixel count. A region without any masked pixel (or an empty one) leaves the centroid at
// (0, 0, 0) instead of dividing by zero.
void CStereoFrame::ComputeCentroid() {
    centroidX = centroidY = centroidZ = 0.0f;
    if (!mask || !imageX || !imageY || region->IsEmpty() || !SameShape(imageX.get(), depth.get()) ||
        !SameShape(imageY.get(), depth.get()))
        return;
    const int left = region->GetXOffset(), top = region->GetYOffset();
    float sumX = 0.0f, sumY = 0.0f, sumZ = 0.0f;
    long count = 0;
    for (int r = top; r < top + region->GetHeight(); ++r) {
        const auto* maskRow = reinterpret_cast<const unsigned char*>(mask->GetImageData()) +
                              static_cast<long>(r) * mask->GetWidthStep();
        const float* xRow = FloatRow(imageX.get(), r);
        const float* yRow = FloatRow(imageY.get(), r);
        const float* zRow = FloatRow(depth.get(), r);
        for (int c = left; c < left + region->GetWidth(); ++c) {
            const float weight = static_cast<float>(maskRow[c]);
            sumX += xRow[c] * weight;
            sumY += yRow[c] * weight;
            sumZ += zRow[c] * weight;
            count += maskRow[c];
        }
    }
    if (count == 0) return;
    const float n = static_cast<float>(count);
    centroidX = sumX / n;
    centroidY = sumY / n;
    centroidZ = sumZ / n;
}

CStereoFrame* CStereoFrame::CreateLike() const {
    auto* frame = new CStereoFrame();
    frame->intensity.reset(CreateLikeOrNull(intensity.get()));
    frame->depth.reset(CreateLikeOrNull(depth.get()));
    frame->imageX.reset(CreateLikeOrNull(imageX.get()));
    frame->imageY.reset(CreateLikeOrNull(imageY.get()));
    return frame;
}

CStereoFrame* CStereoFrame::Crop(const CImageROI* cropRegion) const {
    if (!cropRegion || !depth) return CreateLike();
    CDepthMaskRegion rectangle(cropRegion->GetXOffset(), cropRegion->GetXOffset() + cropRegion->GetWidth(),
                               cropRegion->GetYOffset(), cropRegion->GetYOffset() + cropRegion->GetHeight(),
                               CDepthMaskRegion::kNoBound, CDepthMaskRegion::kNoBound);
    CDepthMaskRegion inside = rectangle.ClampedTo(depth->GetWidth(), depth->GetHeight());
    auto* frame = new CStereoFrame();
    frame->intensity.reset(CopyOrNull(intensity.get(), &inside));
    frame->depth.reset(CopyOrNull(depth.get(), &inside));
    frame->imageX.reset(CopyOrNull(imageX.get(), &inside));
    frame->imageY.reset(CopyOrNull(imageY.get(), &inside));
    frame->mask.reset(CopyOrNull(mask.get(), &inside));
    frame->scaleX = scaleX;
    frame->scaleY = scaleY;
    return frame;
}

CStereoFrame* CStereoFrame::CropOrCreateLike() const { return region ? Crop(region.get()) : CreateLike(); }

void CStereoFrame::Replace(std::unique_ptr<CImage>& slot, CImage* image) {
    if (slot.get() != image) slot.reset(image);
}

void CStereoFrame::ComputeGradientPair(CImage* source, std::unique_ptr<CImage>& gradX,
                                       std::unique_ptr<CImage>& gradY) {
    if (!source) return;
    // A gradient image kept from a frame of another size cannot be overwritten in place.
    if (gradX && !SameShape(gradX.get(), source)) gradX.reset();
    if (gradY && !SameShape(gradY.get(), source)) gradY.reset();
    if (!gradX) gradX.reset(source->CreateLike(IPL_DEPTH_32F));
    if (!gradY) gradY.reset(source->CreateLike(IPL_DEPTH_32F));
    std::unique_ptr<CImage> converted;
    CImage* floatSource = source;
    if (source->GetDepth() != IPL_DEPTH_32F) {
        converted.reset(source->CreateLike(IPL_DEPTH_32F));
        source->ScaleFP(converted.get(), kByteRangeMin, kByteRangeMax);
        floatSource = converted.get();
    }
    gradX->GradientX(floatSource, kCentralDifference);
    // The 3-tap vertical kernel has the opposite sign of a derivative; a frame's gradients are
    // derivatives along the column and along the row alike, as the 5-tap ones are.
    gradY->GradientY(floatSource, kCentralDifference);
    gradY->MultiplySFP(-1.0f);
}

void CStereoFrame::ComputeGradients(CImage* intensitySource, CImage* depthSource) {
    ComputeGradientPair(intensitySource, intensityGradX, intensityGradY);
    ComputeGradientPair(depthSource, depthGradX, depthGradY);
}

void CStereoFrame::SetIntensity(CImage* image, bool computeGradients) {
    if (intensity.get() == image) return;
    intensity.reset(image);
    intensityGradX.reset();
    intensityGradY.reset();
    if (computeGradients) ComputeGradientPair(image, intensityGradX, intensityGradY);
}

void CStereoFrame::SetDepth(CImage* image, bool computeGradients) {
    if (depth.get() == image) return;
    depth.reset(image);
    depthGradX.reset();
    depthGradY.reset();
    if (computeGradients) ComputeGradientPair(image, depthGradX, depthGradY);
}
