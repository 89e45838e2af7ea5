// The face classifier and its stage files, then one scan of a 320 x 240 frame with what loaded.
// The input is the classifier file, then the stage files "s1", "s2", ... each after a line "%%".
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "init/FaceDetection.h"

namespace {

// A frame with smooth shading and texture, so that features of every sign fire somewhere.
const std::vector<std::uint8_t>& Frame() {
    static const std::vector<std::uint8_t> frame = [] {
        std::vector<std::uint8_t> pixels(320 * 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                pixels[y * 320 + x] = static_cast<std::uint8_t>(128 + 60 * std::sin(x * 0.11) * std::cos(y * 0.07) +
                                                                ((x * 7919 + y * 104729) % 41) - 20);
        return pixels;
    }();
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = fuzzfiles::SplitParts(data, size);
    for (std::size_t i = 1; i < parts.size() && i <= 16; ++i) fuzzfiles::Write("s" + std::to_string(i), parts[i]);
    const std::string classifier = fuzzfiles::Write("Classifier.txt", parts[0]);
    facedetect::ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    if (facedetect::ReadClassifier(classifier, 4, 1.0, features, counts, thresholds, nStages) != 1) return 0;
    std::vector<facedetect::FaceDetection> detections(facedetect::kMaxDetections);
    facedetect::DetectFaces(Frame().data(), 240, 320, 4, 1.0, detections.data(), features, counts, thresholds,
                            nStages);
    return 0;
}
