// A lower bound of the region distance (the root of the summed squared grey-level differences over
// the face region) between the current frame and each stored frame, from sums over 8 x 8 blocks:
// a block's squared differences add up to at least its summed difference squared over its pixel
// count. A stored frame whose bound exceeds the best scores so far cannot join them, and its pixels
// need not be read: with a hundred stored frames, reading them every step for the keyframe choice
// took a tenth of the host's step, most of it waiting on memory.
//
// Each stored frame's block sums are computed once, over the whole frame on the frame's grid, and
// kept while the frame is asked for every step, found again by the frame's serial number (a frame
// made after a reset at a deleted one's address, with its index, is another frame). A stored
// frame's pixels are taken not to change. Only float intensities are screened.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include <opencv2/core.hpp>

class CImage;
class CTrackedFrame;

class CRegionScreen {
public:
    // Starts a step: the current frame's intensity and the region compared (clamped to the image).
    // False, and no bounds this step, when the image is not float or no whole block lies in the
    // region.
    bool Start(const CImage* current, const cv::Rect& region);
    // At most the region distance between the stored frame's intensity and the current one (0
    // when it cannot say).
    double LowerBound(const CTrackedFrame& frame);
    // Ends a step: the sums of frames not asked for since Start go.
    void Finish();

    std::size_t Kept() const { return kept_.size(); }

    static constexpr int kBlock = 8;

private:
    struct Sums {
        int columns = 0;  // blocks across
        std::vector<double> sums;
        bool asked = false;
    };

    bool screening_ = false;
    cv::Rect blocks_;                   // the region's whole blocks, in blocks
    std::vector<double> currentSums_;   // over blocks_, row by row
    cv::Size imageSize_;
    std::unordered_map<std::uint64_t, Sums> kept_;  // by serial number
};
