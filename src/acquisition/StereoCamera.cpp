#include "acquisition/StereoCamera.h"

#include <memory>

#include "image/Image.h"
#include "image/ImageROI.h"
#include "platform/ipl/ipl.h"

namespace {

bool IsFloatPlane(const CImage* image, int width, int height) {
    return image && image->GetIplImage() && image->GetImageData() && image->GetDepth() == IPL_DEPTH_32F &&
           image->GetNChannels() == 1 && image->GetWidth() == width && image->GetHeight() == height;
}

// Scale range that maps each disparity sample onto its own value.
bool DisparityRange(int depth, float& minimum, float& maximum) {
    if (depth == IPL_DEPTH_8U) {
        minimum = 0.0f;
        maximum = 255.0f;
        return true;
    }
    if (depth == IPL_DEPTH_16S || depth == IPL_DEPTH_16U) {
        minimum = -32768.0f;
        maximum = 32767.0f;
        return true;
    }
    return false;
}

}  // namespace

void CStereoCamera::PrintCalibration(std::ostream& out) {
    out << "BASELINE: " << baseline << '\n';
    out << "FOCAL: " << focal << '\n';
    out << "IMAGE_CENTER: " << imageCenterX << " " << imageCenterY << '\n';
}

void CStereoCamera::Project(float x, float y, float z, float& u, float& v) {
    u = x * focal / z + imageCenterX;
    v = y * focal / z + imageCenterY;
}

// With a region attached to the disparity, the outputs hold that region only: output pixel
// (c, r) belongs to disparity column xOffset + c, and the row values run from
// yOffset + height - 1 in the first output row down to yOffset in the last.
int CStereoCamera::GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparity) {
    if (!disparity || !disparity->GetIplImage() || !disparity->GetImageData() || disparity->GetNChannels() != 1)
        return NOT_SUPPORTED;
    float minimum = 0.0f, maximum = 0.0f;
    if (!DisparityRange(disparity->GetDepth(), minimum, maximum)) return NOT_SUPPORTED;

    CImageROI* region = disparity->GetROI();
    int left = 0, top = 0, columns = width, rows = height;
    if (region) {
        left = region->GetXOffset();
        top = region->GetYOffset();
        columns = region->GetWidth();
        rows = region->GetHeight();
        if (left < 0 || top < 0 || columns < 1 || rows < 1 || left + columns > disparity->GetWidth() ||
            top + rows > disparity->GetHeight())
            return NOT_SUPPORTED;
    } else if (disparity->GetWidth() != width || disparity->GetHeight() != height) {
        return NOT_SUPPORTED;
    }
    if (!IsFloatPlane(x, columns, rows) || !IsFloatPlane(y, columns, rows) || !IsFloatPlane(z, columns, rows))
        return NOT_SUPPORTED;

    std::unique_ptr<CImage> regionCopy;
    CImage* source = disparity;
    if (region) {
        regionCopy.reset(disparity->CopyROI(region));
        disparity->SetROI(region);  // CopyROI detaches it; the caller's image keeps its region
        if (!regionCopy) return NOT_SUPPORTED;
        source = regionCopy.get();
    }
    // Unsigned 16-bit disparities are read as signed: the tag is switched for the conversion only.
    const int depthTag = source->GetDepth();
    if (depthTag == IPL_DEPTH_16U) source->SetDepth(IPL_DEPTH_16S);
    source->ScaleFP(z, minimum, maximum);
    if (depthTag == IPL_DEPTH_16U) source->SetDepth(IPL_DEPTH_16U);

    z->InvThresh(1.0f);
    z->MultiplySFP(focal * baseline);

    const float inverseFocal = 1.0f / focal;
    for (int r = 0; r < rows; ++r) {
        const auto* zRow = reinterpret_cast<const float*>(z->GetImageData() + static_cast<long>(r) * z->GetWidthStep());
        auto* xRow = reinterpret_cast<float*>(x->GetImageData() + static_cast<long>(r) * x->GetWidthStep());
        auto* yRow = reinterpret_cast<float*>(y->GetImageData() + static_cast<long>(r) * y->GetWidthStep());
        const float rowValue = (static_cast<float>(top + rows - 1 - r) - imageCenterY) * inverseFocal;
        for (int c = 0; c < columns; ++c) {
            xRow[c] = ((static_cast<float>(left + c) - imageCenterX) * inverseFocal) * zRow[c];
            yRow[c] = rowValue * zRow[c];
        }
    }
    return OK;
}
