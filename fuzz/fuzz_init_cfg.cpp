// "ParamInit.cfg": the tracker initialiser's settings, then the candidate bookkeeping and the face
// region they give for faces seen in the middle and in a corner of the images.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "image/Image.h"
#include "init/TrackerInitializer.h"

namespace {

// Small images keep each run short; the region getters still clamp to a 320 x 240 frame.
constexpr int kWidth = 80;
constexpr int kHeight = 60;

std::unique_ptr<CImage> Filled(int depth, float value) {
    auto image = std::make_unique<CImage>(kWidth, kHeight, depth, 1, 0);
    image->Allocate();
    if (depth == IPL_DEPTH_32F) {
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<float*>(image->GetImageData() + y * image->GetWidthStep());
            for (int x = 0; x < kWidth; ++x) row[x] = value;
        }
    } else {
        image->Set(static_cast<int>(value));
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int quiet = setenv("VANTOREL_CLASSIFIER", "/nonexistent/Classifier.txt", 1);
    (void)quiet;
    static const auto depth = Filled(IPL_DEPTH_32F, 1000.0f);
    static const auto mask = Filled(IPL_DEPTH_8U, 1.0f);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CTrackerInitializer initializer(&in);
    const facedetect::FaceDetection faces[] = {{10, 10, 40, 40, 5}, {50, 30, 79, 59, 9}};
    for (int frame = 0; frame < 6; ++frame) initializer.Update(faces, 2, nullptr, depth.get(), mask.get(), 0);
    const long sum = initializer.GetRegionLeft() + initializer.GetRegionRight() + initializer.GetRegionTop() +
                     initializer.GetRegionBottom() + static_cast<long>(initializer.GetMinDepth() > initializer.GetMaxDepth());
    return static_cast<int>(sum & 0);
}
