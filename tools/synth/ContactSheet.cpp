#include "synth/ContactSheet.h"

#include <cmath>
#include <string>

#include <opencv2/imgproc.hpp>

namespace {

constexpr int kGap = 4;
constexpr int kTitleHeight = 18;

void Label(cv::Mat& image, const std::string& text, cv::Point at) {
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, font, 0.4, 1, &baseline);
    cv::rectangle(image, at + cv::Point(-2, -size.height - 3), at + cv::Point(size.width + 2, baseline), cv::Scalar(0, 0, 0),
                  cv::FILLED);
    cv::putText(image, text, at, font, 0.4, cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
}

}  // namespace

cv::Mat MakeContactSheet(const std::vector<ContactSheetRow>& rows, double nearMm, double farMm) {
    std::vector<ContactSheetRow> shown;
    for (const ContactSheetRow& row : rows)
        if (row.frame && !row.frame->left.empty()) shown.push_back(row);
    if (shown.empty()) return cv::Mat();
    const cv::Size tile = shown.front().frame->left.size();
    const int width = 3 * tile.width + 4 * kGap;
    const int height = kTitleHeight + static_cast<int>(shown.size()) * (tile.height + kGap) + kGap;
    cv::Mat sheet(height, width, CV_8UC3, cv::Scalar(40, 40, 40));
    const std::string titles[3] = {"left", "right",
                                   "depth " + std::to_string(std::lround(nearMm)) + " (red) to " +
                                       std::to_string(std::lround(farMm)) + " mm (blue)"};
    for (int column = 0; column < 3; ++column)
        cv::putText(sheet, titles[column], cv::Point(kGap + column * (tile.width + kGap) + 4, kTitleHeight - 5),
                    cv::FONT_HERSHEY_SIMPLEX, 0.45, cv::Scalar(230, 230, 230), 1, cv::LINE_AA);
    const double span = farMm > nearMm ? farMm - nearMm : 1.0;
    for (std::size_t r = 0; r < shown.size(); ++r) {
        const RenderedFrame& frame = *shown[r].frame;
        if (frame.left.size() != tile) continue;
        const int top = kTitleHeight + static_cast<int>(r) * (tile.height + kGap);
        cv::Mat tiles[3];
        cv::cvtColor(frame.left, tiles[0], cv::COLOR_GRAY2BGR);
        cv::cvtColor(frame.right, tiles[1], cv::COLOR_GRAY2BGR);
        cv::Mat depth8;
        // Near is bright: 255 at nearMm, 0 at farMm.
        frame.z.convertTo(depth8, CV_8U, -255.0 / span, 255.0 * farMm / span);
        cv::applyColorMap(depth8, tiles[2], cv::COLORMAP_TURBO);
        for (int column = 0; column < 3; ++column)
            tiles[column].copyTo(sheet(cv::Rect(kGap + column * (tile.width + kGap), top, tile.width, tile.height)));
        Label(sheet, "frame " + std::to_string(shown[r].index), cv::Point(kGap + 4, top + 14));
    }
    return sheet;
}
