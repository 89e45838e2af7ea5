#include "support/TrackingFixtures.h"

#include <gtest/gtest.h>

#include "image/Image.h"
#include "synth/SequenceWriter.h"

namespace {

CImage* ToImage(const cv::Mat& pixels, int depth) {
    auto* image = new CImage(pixels.cols, pixels.rows, depth, 1, 0);
    image->Allocate();
    cv::Mat view = iplFullView(image->GetIplImage());
    pixels.copyTo(view);
    return image;
}

}  // namespace

std::unique_ptr<CTrackedFrame> MakeTrackedFrame(const RenderedFrame& frame, const CDepthMaskRegion& region,
                                                int index, float focalPx) {
    auto tracked = std::make_unique<CTrackedFrame>(ToImage(frame.left, IPL_DEPTH_8U), ToImage(frame.z, IPL_DEPTH_32F),
                                                   ToImage(frame.x, IPL_DEPTH_32F), ToImage(frame.y, IPL_DEPTH_32F),
                                                   &region, index);
    tracked->SetScaleX(tracked->GetCentroidZ() / focalPx);
    tracked->SetScaleY(-tracked->GetCentroidZ() / focalPx);
    tracked->GetIntensity()->MultiplySFP(1.0f / 25500.0f);
    return tracked;
}

std::string WriteRecording(const std::string& folder, const std::vector<RenderedFrame>& frames,
                           const StereoRig& camera) {
    SequenceOptions options;
    options.folder = folder;
    options.camera = camera;
    options.frameCount = static_cast<int>(frames.size());
    options.forms = kFormPgm;
    std::string error;
    const auto writer = CSequenceWriter::Create(options, &error);
    EXPECT_NE(writer, nullptr) << error;
    if (!writer) return "";
    for (std::size_t k = 0; k < frames.size(); ++k)
        EXPECT_TRUE(writer->WriteFrame(static_cast<int>(k) + 1, frames[k], &error)) << error;
    EXPECT_TRUE(writer->WriteConfiguration(&error)) << error;
    return "CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + writer->Path("camera-xyz.cfg") + "\nMAX_FRAMES: 100\n";
}
