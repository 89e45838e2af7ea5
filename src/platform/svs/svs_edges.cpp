// Depth edges: a matching window straddling the outline of a nearer surface drags that surface's
// texture, and so its disparity, over the farther one beside it. Two remedies: drop a margin on
// both sides of every jump, or match the pixels near a jump again with windows that need not be
// centred on them and drop those the farther surface matches better.
#include "platform/svs/svs_internal.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace svs_internal {

namespace {

// Holes along each row take the farther (smaller) of the two disparities that bound them: a hole is
// mostly what one camera sees behind the other's edge of a nearer surface. SHRT_MAX where a row has
// no disparity on either side.
cv::Mat FillHolesFromBehind(const cv::Mat& disparity) {
    cv::Mat filled = disparity.clone();
    for (int y = 0; y < filled.rows; ++y) {
        const auto* original = disparity.ptr<std::int16_t>(y);
        auto* row = filled.ptr<std::int16_t>(y);
        std::int16_t before = SHRT_MAX;
        for (int x = 0; x < filled.cols; ++x) {
            if (original[x] >= 0) before = original[x];
            else row[x] = before;
        }
        std::int16_t after = SHRT_MAX;
        for (int x = filled.cols - 1; x >= 0; --x) {
            if (original[x] >= 0) after = original[x];
            else row[x] = std::min(row[x], after);
        }
    }
    return filled;
}

// Both pixels of every pair of row or column neighbours whose (filled) disparities differ by more
// than jump pixels, widened by margin - 1 pixels on every side.
cv::Mat NearJumps(const cv::Mat& filled, int margin, int jump) {
    cv::Mat edges = cv::Mat::zeros(filled.size(), CV_8U);
    const int limit = 16 * jump;
    auto mark = [&](int y0, int x0, int y1, int x1) {
        const int a = filled.at<std::int16_t>(y0, x0), b = filled.at<std::int16_t>(y1, x1);
        if (a != SHRT_MAX && b != SHRT_MAX && std::abs(a - b) > limit)
            edges.at<unsigned char>(y0, x0) = edges.at<unsigned char>(y1, x1) = 1;
    };
    for (int y = 0; y < filled.rows; ++y)
        for (int x = 0; x < filled.cols; ++x) {
            if (x + 1 < filled.cols) mark(y, x, y, x + 1);
            if (y + 1 < filled.rows) mark(y, x, y + 1, x);
        }
    const int size = 2 * margin - 1;
    cv::dilate(edges, edges, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(size, size)));
    return edges;
}

// Matching cost of left pixel (x, y) at disparity d (1/16 pixel) over the best of nine window x
// window squares holding it (centred, and pushed to each side and corner): the sum of absolute
// differences after the square's mean difference is taken out, so that a brightness offset between
// the cameras costs nothing. The right image is sampled between pixels. Infinity when no square
// lies inside both images.
class ShiftedWindowCost {
public:
    ShiftedWindowCost(const cv::Mat& left, const cv::Mat& right, int window)
        : left_(left), right_(right), half_(window / 2) {}

    float operator()(int x, int y, int d) const {
        const int side = 4 * half_ + 1;  // the patch every square lies in
        const float shift = d / 16.0f;
        const int whole = static_cast<int>(std::floor(shift));
        const float part = shift - static_cast<float>(whole);
        const int x0 = x - 2 * half_, y0 = y - 2 * half_;
        if (x0 < 0 || y0 < 0 || x0 + side > left_.cols || y0 + side > left_.rows) return kNone;
        // Right pixels x - whole - 1 and x - whole, weighted by part and 1 - part.
        if (x0 - whole - 1 < 0 || x0 + side - whole > right_.cols) return kNone;
        std::array<float, kLargestSide * kLargestSide> difference;
        for (int j = 0; j < side; ++j) {
            const auto* l = left_.ptr<unsigned char>(y0 + j) + x0;
            const auto* r = right_.ptr<unsigned char>(y0 + j) + x0 - whole;
            for (int i = 0; i < side; ++i)
                difference[j * side + i] = l[i] - ((1.0f - part) * r[i] + part * r[i - 1]);
        }
        float best = kNone;
        const int window = 2 * half_ + 1;
        for (int sy = 0; sy <= 2 * half_; sy += half_)
            for (int sx = 0; sx <= 2 * half_; sx += half_) {
                float sum = 0.0f;
                for (int j = 0; j < window; ++j)
                    for (int i = 0; i < window; ++i) sum += difference[(sy + j) * side + sx + i];
                const float mean = sum / static_cast<float>(window * window);
                float cost = 0.0f;
                for (int j = 0; j < window; ++j)
                    for (int i = 0; i < window; ++i) cost += std::abs(difference[(sy + j) * side + sx + i] - mean);
                best = std::min(best, cost);
            }
        return best;
    }

    static constexpr int kLargestHalf = 7;
    static constexpr float kNone = 1e30f;

private:
    static constexpr int kLargestSide = 4 * kLargestHalf + 1;
    const cv::Mat& left_;
    const cv::Mat& right_;
    int half_;
};

}  // namespace

void DropAroundJumps(cv::Mat& disparity, int margin, int jump) {
    // A window straddling the edge drags the texture of one surface over the other either way.
    disparity.setTo(kNoMatch, NearJumps(FillHolesFromBehind(disparity), margin, jump));
}

void RecheckAroundJumps(const cv::Mat& left, const cv::Mat& right, cv::Mat& disparity, int window, int margin,
                        int jump) {
    const cv::Mat filled = FillHolesFromBehind(disparity);
    const cv::Mat near = NearJumps(filled, margin + 1, jump);
    // The farthest disparity within the margin of each pixel: the surface it may really belong to
    // (rows without any disparity hold SHRT_MAX, which the minimum passes over).
    cv::Mat farthestNear;
    cv::erode(filled, farthestNear, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * margin + 1, 2 * margin + 1)));
    const ShiftedWindowCost cost(left, right, std::min(window, 2 * ShiftedWindowCost::kLargestHalf + 1));
    const int limit = 16 * jump;
    cv::Mat decided = disparity.clone();
    for (int y = 0; y < disparity.rows; ++y)
        for (int x = 0; x < disparity.cols; ++x) {
            const int d = disparity.at<std::int16_t>(y, x);
            if (!near.at<unsigned char>(y, x) || d < 0) continue;
            const int farthest = farthestNear.at<std::int16_t>(y, x);
            if (d - farthest > limit && cost(x, y, farthest) < cost(x, y, d))
                decided.at<std::int16_t>(y, x) = kNoMatch;
        }
    disparity = decided;
}

}  // namespace svs_internal
