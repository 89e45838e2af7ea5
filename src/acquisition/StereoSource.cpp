#include "acquisition/StereoSource.h"

#include <cstdint>
#include <cstring>
#include <iostream>

#include "acquisition/StereoCamera.h"
#include "acquisition/StereoCameraFiles.h"
#include "acquisition/StereoCameraSVS.h"
#include "image/Image.h"
#include "platform/ipl/ipl.h"

namespace {

constexpr int kIntensityKind = 5;
constexpr int kDisparityDepth = 16;

// 1/25500 as the single-precision value the tracker was tuned with (bit pattern 0x38247B86):
// intensities 0..255 become 0..0.01.
float IntensityScale() {
    const std::uint32_t bits = 0x38247B86u;
    float scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return scale;
}

std::unique_ptr<CImage> NewImage(int depth) {
    auto image = std::make_unique<CImage>(CStereoSource::kImageWidth, CStereoSource::kImageHeight, depth, 1, 0);
    image->Allocate();
    return image;
}

const float* FloatRow(const CImage* image, int row) {
    return reinterpret_cast<const float*>(image->GetImageData() + static_cast<long>(row) * image->GetWidthStep());
}

// +1 when the coordinate image grows along the image axis over most neighbouring masked pairs
// (X with the column, or Y with the row), -1 when it shrinks; +1 without evidence either way.
// Recordings carry either convention, so the data say which: reconstructions from disparity
// give Y up, the live camera and range files Y down.
float AxisDirection(const CImage* coordinate, const CImage* mask, const CImageROI* area, bool alongRows) {
    if (!coordinate || !mask || !coordinate->GetImageData() || coordinate->GetDepth() != IPL_DEPTH_32F ||
        coordinate->GetWidth() != mask->GetWidth() || coordinate->GetHeight() != mask->GetHeight())
        return 1.0f;
    int left = 0, top = 0, width = mask->GetWidth(), height = mask->GetHeight();
    if (area && area->GetWidth() > 0 && area->GetHeight() > 0) {
        left = area->GetXOffset();
        top = area->GetYOffset();
        width = area->GetWidth();
        height = area->GetHeight();
    }
    const int stepColumns = alongRows ? 0 : 1;
    const int stepRows = alongRows ? 1 : 0;
    long growing = 0, shrinking = 0;
    for (int row = top; row + stepRows < top + height; ++row) {
        const auto* maskRow = reinterpret_cast<const unsigned char*>(mask->GetImageData()) +
                              static_cast<long>(row) * mask->GetWidthStep();
        const auto* maskNext = maskRow + stepRows * mask->GetWidthStep();
        const float* here = FloatRow(coordinate, row);
        const float* next = FloatRow(coordinate, row + stepRows);
        for (int col = left; col + stepColumns < left + width; ++col) {
            if (!maskRow[col] || !maskNext[col + stepColumns]) continue;
            const float change = next[col + stepColumns] - here[col];
            growing += change > 0.0f;
            shrinking += change < 0.0f;
        }
    }
    return shrinking > growing ? -1.0f : 1.0f;
}

// The camera's own account of a failure, else what the source saw.
std::string Failure(const CStereoCamera& camera, const char* what, int result) {
    if (!camera.GetFailure().empty()) return camera.GetFailure();
    return std::string(what) + ": result code " + std::to_string(result);
}

}  // namespace

CStereoSource::CStereoSource(std::istream* paramFile) { Init(paramFile); }

CStereoSource::~CStereoSource() {
    frames.clear();
    camera.reset();
    disparityProcessor.reset();
    disparityImage.reset();
    region.reset();
}

void CStereoSource::Init(std::istream* paramFile) {
    disparityImage.reset();
    camera.reset();
    disparityProcessor.reset();
    region.reset();
    frameCount = 0;
    if (paramFile) parameters.Read(paramFile);
    ResetRegion();
    CreateCamera();
    if (GrabImage()) frames.front()->SetPose(new CPose());
}

void CStereoSource::CreateCamera() {
    switch (parameters.cameraType) {
        case CStereoSourceParameters::CAMERA_FILES: {
            auto files = std::make_unique<CStereoCameraFiles>(parameters.configFilename.c_str());
            const CRecordedCameraConfig& recorded = files->GetConfig();
            if (recorded.recordedCamera == CRecordedCameraConfig::RECORDED_SRI)
                disparityProcessor = std::make_unique<CStereoCameraSVS>(recorded.cameraConfigFilename.c_str());
            camera = std::move(files);
            break;
        }
        case CStereoSourceParameters::CAMERA_SRI:
            camera = std::make_unique<CStereoCameraSVS>(parameters.configFilename.c_str());
            break;
        default:  // TRICLOPS, or a type no camera exists for
            std::cout << "CStereoSource: CAMERA_TYPE TRICLOPS has no camera; every grab will fail." << std::endl;
            break;
    }
}

int CStereoSource::GrabImage() {
    grabFailure.clear();
    if (!camera) {
        grabFailure = "no camera: CAMERA_TYPE names none this system drives";
        return 0;
    }
    auto intensity = NewImage(IPL_DEPTH_8U);
    auto depth = NewImage(IPL_DEPTH_32F);
    auto imageX = NewImage(IPL_DEPTH_32F);
    auto imageY = NewImage(IPL_DEPTH_32F);
    if (const int result = camera->GrabFrame(); result != 0) {
        grabFailure = Failure(*camera, "no frame from the camera", result);
        return 0;
    }
    // The SVS cameras write 3D inside their valid window only: elsewhere there is no point.
    for (CImage* coordinates : {depth.get(), imageX.get(), imageY.get()}) coordinates->Set(0);

    // A recording without intensity gives black frames rather than whatever the buffer held.
    if (camera->GetImage(intensity.get(), kIntensityKind) != 0) intensity->Set(0);

    // Without 3D data there is no frame to track: a failed reconstruction or an unreadable
    // coordinate file fails the grab instead of handing uninitialised floats to the tracker.
    int xyzResult;
    if (!disparityProcessor) {
        xyzResult = camera->GetXYZ(imageX.get(), imageY.get(), depth.get(), nullptr);
    } else {
        if (!disparityImage) disparityImage = NewImage(IPL_DEPTH_16U);
        if (camera->GetDisparity(disparityImage.get(), kDisparityDepth) == 0)
            xyzResult = disparityProcessor->GetXYZ(imageX.get(), imageY.get(), depth.get(), disparityImage.get());
        else  // recorded without disparity: the recording's own 3D, if it has any
            xyzResult = camera->GetXYZ(imageX.get(), imageY.get(), depth.get(), nullptr);
    }
    if (xyzResult != 0) {
        const CStereoCamera& reconstructing = disparityProcessor && !disparityProcessor->GetFailure().empty()
                                                  ? *disparityProcessor
                                                  : *camera;
        grabFailure = Failure(reconstructing, "no 3D data from the camera", xyzResult);
        return 0;
    }

    ++frameCount;
    AddFrame(intensity.release(), depth.release(), imageX.release(), imageY.release());
    return 1;
}

void CStereoSource::AddFrame(CImage* intensity, CImage* depth, CImage* x, CImage* y) {
    frames.push_front(std::make_unique<CTrackedFrame>(intensity, depth, x, y, region.get(), frameCount));
    CTrackedFrame* frame = frames.front().get();
    ComputePixelScale(frame);
    TrimFrames();
    frame->GetIntensity()->MultiplySFP(IntensityScale());
}

// The metric size of one pixel at the head's depth, signed by how the 3D axes run along the image:
// scaleX = z / f when X grows with the column and scaleY = -z / f when Y grows with the row (the
// live camera's and the range files' axes); each sign turns over for data whose axis runs the
// other way, so that the tracker's image motion has the direction of the data's motion.
void CStereoSource::ComputePixelScale(CTrackedFrame* frame) {
    const float z = frame->GetCentroidZ();
    const float f = camera->GetFocal();
    const float cx = camera->GetImageCenterX();
    const float cy = camera->GetImageCenterY();
    const float w = static_cast<float>(frame->GetIntensity()->GetWidth());
    const float h = static_cast<float>(frame->GetIntensity()->GetHeight());
    const float left = (-z) * (0.0f - cx) / f;
    const float right = (-z) * (w - cx) / f;
    const float bottom = (-z) * (h - cy) / f;
    const float top = (-z) * (0.0f - cy) / f;
    const CImageROI* area = frame->GetRegion();
    const float xDirection = AxisDirection(frame->GetImageX(), frame->GetMask(), area, false);
    const float yDirection = AxisDirection(frame->GetImageY(), frame->GetMask(), area, true);
    frame->SetScaleX(xDirection * (left - right) / w);
    frame->SetScaleY(yDirection * (bottom - top) / h);
}

void CStereoSource::TrimFrames() {
    if (frames.size() <= 2 || static_cast<long>(frames.size()) <= parameters.maxFrames) return;
    frames.erase(std::prev(frames.end(), 2));  // the oldest frame stays until Reset
}

void CStereoSource::Reset() {
    frames.clear();
    frameCount = 0;
    if (GrabImage()) frames.front()->SetPose(new CPose());
}

void CStereoSource::DropFramesBefore(int index) {
    while (frames.size() > 1 && frames.back()->GetIndex() < index) frames.pop_back();
}

CDepthMaskRegion* CStereoSource::ResetRegion() {
    region = std::make_unique<CDepthMaskRegion>(parameters.topLeftMaskX, parameters.bottomRightMaskX,
                                                parameters.topLeftMaskY, parameters.bottomRightMaskY,
                                                parameters.minDepthMask, parameters.maxDepthMask);
    return region.get();
}

void CStereoSource::SetRegion(int left, int right, int top, int bottom, float minDepth, float maxDepth) {
    region = std::make_unique<CDepthMaskRegion>(left, right, top, bottom, minDepth, maxDepth);
}

CTrackedFrame* CStereoSource::GetCurrentFrame() const { return frames.empty() ? nullptr : frames.front().get(); }

CPose* CStereoSource::GetCurrentPose() {
    CTrackedFrame* frame = GetCurrentFrame();
    return (frame && frame->GetPose()) ? frame->GetPose() : &defaultPose;
}

CImage* CStereoSource::GetIntensity() const {
    CTrackedFrame* frame = GetCurrentFrame();
    return frame ? frame->GetIntensity() : nullptr;
}

CImage* CStereoSource::GetDepth() const {
    CTrackedFrame* frame = GetCurrentFrame();
    return frame ? frame->GetDepth() : nullptr;
}

CImage* CStereoSource::GetMask() const {
    CTrackedFrame* frame = GetCurrentFrame();
    return frame ? frame->GetMask() : nullptr;
}
