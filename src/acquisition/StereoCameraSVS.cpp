#include "acquisition/StereoCameraSVS.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "image/Image.h"
#include "platform/ipl/ipl.h"

namespace {

constexpr int kGrabTimeoutMs = 400;

bool HasPixels(const CImage* image) { return image && image->GetIplImage() && image->GetImageData(); }

bool IsPlane(const CImage* image, int width, int height, int depth, int channels) {
    return HasPixels(image) && image->GetWidth() == width && image->GetHeight() == height &&
           image->GetDepth() == depth && image->GetNChannels() == channels;
}

// Disparities are read and written as width * height consecutive 16-bit values, whatever the
// image's row padding: the library's layout is linear.
bool HoldsDisparity(const CImage* image, int width, int height) {
    return HasPixels(image) && (image->GetDepth() & ~IPL_DEPTH_SIGN) == 16 && image->GetNChannels() == 1 &&
           image->GetImageSize() >= width * height * 2;
}

// Copies a packed width x height image with channels bytes a pixel into dst's rows.
void CopyInto(CImage* dst, const unsigned char* pixels, int width, int height, int channels) {
    const cv::Mat packed(height, width, CV_8UC(channels), const_cast<unsigned char*>(pixels));
    cv::Mat view = iplFullView(dst->GetIplImage());
    packed.copyTo(view);
}

}  // namespace

// From the library's defaults, not from svsParams: each rectification leaves the last camera's block
// there, which a camera whose file is refused would otherwise take over, capture source and all.
CStereoCameraSVS::CStereoCameraSVS(const char* paramFileName) : parameters(svsDefaultParameters()) {
    svsReadParamFile(paramFileName, &parameters);
    OpenCamera();
}

CStereoCameraSVS::~CStereoCameraSVS() { Close(); }

void CStereoCameraSVS::OpenCamera() {
    mode = parameters.colour ? 3 : 1;
    width = parameters.width;
    height = parameters.height;
    bufferWidth = std::max(width, 0);
    bufferHeight = std::max(height, 0);
    warpedLeft = std::make_unique<unsigned char[]>(Pixels());
    warpedRight = std::make_unique<unsigned char[]>(Pixels());

    // The calibration is in full-resolution pixels; the images are subsampled by s.
    const double s = parameters.decimation * parameters.binning;
    if (s > 0 && parameters.pixelWidth > 0) {
        SetCalibration(static_cast<float>(parameters.leftFocal / (s * parameters.pixelWidth)),
                       static_cast<float>(parameters.baseline),
                       static_cast<float>((parameters.leftCenterX + parameters.rightCenterX) / (2 * s)),
                       static_cast<float>(parameters.leftCenterY / s));
    }

    if (svsVideoOpen(&parameters) < 0) {
        ReportError(GRABBER_OPEN_FAILED, 0);
        return;
    }
    grabberOpen = true;
    const int checked = svsVideoCheckParameters(&parameters);
    if (checked < 0) {
        ReportError(PARAMETERS_REFUSED, checked);
        return;
    }
    if (svsVideoStartContinuous(&parameters) < 0) ReportError(CAPTURE_START_FAILED, 0);
}

int CStereoCameraSVS::GrabFrame() {
    // A camera whose grabber did not open must not take another camera's images.
    if (!grabberOpen || svsVideoWaitImage(kGrabTimeoutMs) == 0) return ReportError(NO_IMAGE, 0);
    svsVideoGetImage(&leftImage, &rightImage, &colorImage);
    if (!leftImage || !rightImage) return ReportError(NO_IMAGE, 0);
    Rectify();
    disparity = nullptr;
    return OK;
}

void CStereoCameraSVS::Rectify() {
    if (!BlockFitsBuffers()) return;
    svsParams = parameters;
    // An image the library cannot rectify stays as it came.
    if (svsWarpImage(warpedLeft.get(), leftImage, 1, 0) == 0) std::memcpy(leftImage, warpedLeft.get(), Pixels());
    if (svsWarpImage(warpedRight.get(), rightImage, 2, 0) == 0) std::memcpy(rightImage, warpedRight.get(), Pixels());
}

int CStereoCameraSVS::ComputeStereo() {
    if (!disparity || !BlockFitsBuffers()) return ReportError(NO_IMAGE, 0);
    // Without an image pair the library marks every pixel as unmatched.
    if (svsCalcStereo(disparity, leftImage, rightImage, &parameters) != 0) return ReportError(NO_IMAGE, 0);
    return OK;
}

int CStereoCameraSVS::GetIntensity(CImage* dst, int kind) {
    unsigned char* source = nullptr;
    int channels = 1;
    switch (kind) {
        case 0:
        case 2:
        case 5:
            source = leftImage;
            break;
        case 1:
            source = rightImage;
            break;
        case 32:
            if (mode == 3) {
                source = colorImage;
                channels = 4;
            } else {
                source = leftImage;
            }
            break;
        default:
            return OK;
    }
    if (!source) return ReportError(NO_IMAGE, 0);
    if (!IsPlane(dst, bufferWidth, bufferHeight, IPL_DEPTH_8U, channels)) return NOT_SUPPORTED;
    CopyInto(dst, source, bufferWidth, bufferHeight, channels);
    return OK;
}

int CStereoCameraSVS::GetImage(CImage* dst, int kind) { return GetIntensity(dst, kind); }

int CStereoCameraSVS::GetDisparity(CImage* dst, int depth) {
    if (depth != 16) return NOT_SUPPORTED;
    if (!leftImage || !rightImage) return ReportError(NO_IMAGE, 0);
    if (!HoldsDisparity(dst, bufferWidth, bufferHeight)) return NOT_SUPPORTED;
    disparity = reinterpret_cast<std::int16_t*>(dst->GetImageData());
    ComputeStereo();
    disparity = nullptr;  // dst stays the caller's: no later computation may write into it
    return OK;
}

int CStereoCameraSVS::GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparityImage) {
    const svsParameterBlock& p = parameters;
    const int W = p.width, H = p.height;
    if (!BlockFitsBuffers() || !IsPlane(x, W, H, IPL_DEPTH_32F, 1) || !IsPlane(y, W, H, IPL_DEPTH_32F, 1) ||
        !IsPlane(z, W, H, IPL_DEPTH_32F, 1))
        return NOT_SUPPORTED;
    if (disparityImage && !HoldsDisparity(disparityImage, W, H)) return NOT_SUPPORTED;

    // The valid window: where the correlation and prefilter windows and the disparity search fit.
    const auto [x0, x1, y0, y1] = svsGetValidWindow(p);
    const int n = p.numDisparities;

    std::unique_ptr<CImage> computed;
    const std::int16_t* values = nullptr;
    if (!disparityImage) {
        computed = std::make_unique<CImage>(W, H, IPL_DEPTH_16S, 1, 0);
        computed->Allocate();
        if (!HasPixels(computed.get())) return NOT_SUPPORTED;
        disparity = reinterpret_cast<std::int16_t*>(computed->GetImageData());
        ComputeStereo();
        values = disparity;
    } else {
        values = reinterpret_cast<const std::int16_t*>(disparityImage->GetImageData());
    }

    const std::int16_t limit = static_cast<std::int16_t>(16 * n - 1);
    const long count = static_cast<long>(W) * H;
    for (int j = std::max(y0, 0); j < std::min(y1, H); ++j) {
        auto row = [j](CImage* image) {
            return reinterpret_cast<float*>(image->GetImageData() + static_cast<long>(j) * image->GetWidthStep());
        };
        float* rowX = row(x);
        float* rowY = row(y);
        float* rowZ = row(z);
        for (int i = std::max(x0, 0); i < std::min(x1, W); ++i) {
            const long k = static_cast<long>(j - y0) * W + (i - x0);
            const std::int16_t d = k < count ? values[k] : -1;
            if (d < 0 || d >= limit) {
                rowX[i] = rowY[i] = rowZ[i] = 0.0f;
            } else {
                svsReconstruct3DFast(&rowX[i], &rowY[i], &rowZ[i], static_cast<float>(i), static_cast<float>(j),
                                     static_cast<float>(d), &parameters);
            }
        }
    }
    disparity = nullptr;
    return OK;
}

int CStereoCameraSVS::Close() {
    if (grabberOpen) {
        svsVideoHaltContinuous();
        svsVideoClose();
        grabberOpen = false;
    }
    // The grabber's buffers are gone.
    leftImage = rightImage = colorImage = nullptr;
    disparity = nullptr;
    return OK;
}

void CStereoCameraSVS::Project(float x, float y, float z, float& u, float& v) {
    const float* m = parameters.projection;
    const float s = static_cast<float>(parameters.decimation * parameters.binning);
    const float up = m[0] * x + m[1] * y + m[2] * z + m[3];
    const float vp = m[4] * x + m[5] * y + m[6] * z + m[7];
    const float wp = m[8] * x + m[9] * y + m[10] * z + m[11];
    u = up / wp / s;
    v = vp / wp / s;
}

void CStereoCameraSVS::SetMode(int newMode) {
    mode = newMode;
    parameters.colour = newMode == 3 ? 1 : 0;
    // A grabber restarted at another image size would hand out buffers the camera overruns.
    if (!grabberOpen || !BlockFitsBuffers()) {
        ReportError(CAPTURE_START_FAILED, 0);
        return;
    }
    svsVideoHaltContinuous();
    if (svsVideoStartContinuous(&parameters) < 0) ReportError(CAPTURE_START_FAILED, 0);
}

int CStereoCameraSVS::ReportError(int code, int detail) {
    switch (code) {
        case GRABBER_OPEN_FAILED:
            std::cout << "Can't open frame grabber" << std::endl;
            break;
        case PARAMETERS_REFUSED: {
            const char* what = detail == VIDEO_ERROR_FRAME_SIZE ? "VIDEO_ERROR_FRAME_SIZE"
                               : detail == VIDEO_ERROR_SUBWINDOW ? "VIDEO_ERROR_SUBWINDOW"
                               : detail == VIDEO_ERROR_BIN_MODE  ? "VIDEO_ERROR_BIN_MODE"
                               : detail == VIDEO_ERROR_DEC_MODE  ? "VIDEO_ERROR_DEC_MODE"
                                                                 : "";
            std::cout << "Error in acquisition parameters: " << what << std::endl;
            break;
        }
        case CAPTURE_START_FAILED:
            std::cout << "Can't start continuous capture" << std::endl;
            break;
        case NO_IMAGE:
            std::cout << "No image, timed out..." << std::endl;
            break;
        default:
            break;
    }
    return code;
}
