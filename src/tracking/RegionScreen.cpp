#include "tracking/RegionScreen.h"

#include <algorithm>
#include <cmath>

#include "image/Image.h"
#include "platform/ipl/ipl.h"
#include "tracking/TrackedFrame.h"

namespace {

constexpr double kPixelsPerBlock = CRegionScreen::kBlock * CRegionScreen::kBlock;
// The bound is summed in another order than the distance it bounds: kept a hair below it.
constexpr double kRounding = 1.0 - 1e-9;

cv::Mat FloatView(const CImage* image) {
    if (!image || !image->GetImageData()) return cv::Mat();
    const cv::Mat view = iplFullView(image->GetIplImage());
    return view.type() == CV_32FC1 ? view : cv::Mat();
}

// The sums of the image's 8 x 8 blocks within `blocks` (in blocks of the frame's grid), row by row.
void SumBlocks(const cv::Mat& image, const cv::Rect& blocks, std::vector<double>& sums) {
    constexpr int kBlock = CRegionScreen::kBlock;
    sums.assign(static_cast<std::size_t>(blocks.area()), 0.0);
    for (int row = blocks.y * kBlock; row < (blocks.y + blocks.height) * kBlock; ++row) {
        const float* pixels = image.ptr<float>(row) + blocks.x * kBlock;
        double* rowSums = sums.data() + static_cast<std::size_t>(row / kBlock - blocks.y) * blocks.width;
        for (int block = 0; block < blocks.width; ++block) {
            double sum = 0.0;
            for (int k = 0; k < kBlock; ++k) sum += pixels[block * kBlock + k];
            rowSums[block] += sum;
        }
    }
}

}  // namespace

bool CRegionScreen::Start(const CImage* current, const cv::Rect& region) {
    screening_ = false;
    for (auto& entry : kept_) entry.second.asked = false;
    const cv::Mat image = FloatView(current);
    if (image.empty()) return false;
    const cv::Rect box = region & cv::Rect(0, 0, image.cols, image.rows);
    // The blocks of the frame's grid that lie wholly inside the region.
    const int left = (box.x + kBlock - 1) / kBlock, top = (box.y + kBlock - 1) / kBlock;
    const int right = (box.x + box.width) / kBlock, bottom = (box.y + box.height) / kBlock;
    if (box.empty() || right <= left || bottom <= top) return false;
    blocks_ = cv::Rect(left, top, right - left, bottom - top);
    imageSize_ = image.size();
    SumBlocks(image, blocks_, currentSums_);
    screening_ = true;
    return true;
}

double CRegionScreen::LowerBound(const CTrackedFrame& frame) {
    if (!screening_) return 0.0;
    const cv::Mat image = FloatView(frame.GetIntensity());
    if (image.size() != imageSize_) return 0.0;
    // The stored frame's whole grid, once: the region moves from step to step.
    Sums& sums = kept_[frame.GetSerial()];
    if (sums.sums.empty()) {
        sums.columns = image.cols / kBlock;
        SumBlocks(image, cv::Rect(0, 0, sums.columns, image.rows / kBlock), sums.sums);
    }
    sums.asked = true;
    double total = 0.0;
    for (int row = 0; row < blocks_.height; ++row) {
        const double* stored = sums.sums.data() + static_cast<std::size_t>(blocks_.y + row) * sums.columns + blocks_.x;
        const double* current = currentSums_.data() + static_cast<std::size_t>(row) * blocks_.width;
        for (int block = 0; block < blocks_.width; ++block) {
            const double difference = stored[block] - current[block];
            total += difference * difference;
        }
    }
    const double bound = std::sqrt(total / kPixelsPerBlock) * kRounding;
    return std::isfinite(bound) ? bound : 0.0;
}

void CRegionScreen::Finish() {
    for (auto it = kept_.begin(); it != kept_.end();) it = it->second.asked ? std::next(it) : kept_.erase(it);
    screening_ = false;
}
