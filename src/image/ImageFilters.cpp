// Derivatives, smoothing, box filter, erosion and drawing of CImage on OpenCV.
//
// Border rule, for every filter here: pixels beyond the image edge repeat the edge pixel
// (cv::BORDER_REPLICATE). Inside a region of interest the real neighbours outside it are used.
#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "image/Image.h"
#include "image/ImagePixels.h"
#include "image/Kernels.h"
#include "platform/nsp/nsp.h"

using image_kernels::CorrelationKernel;
using image_pixels::Guarded;
using image_pixels::View;

namespace {

constexpr int kBorder = cv::BORDER_REPLICATE;

// Float views of a source and a destination of the same size and channel count. The input is
// copied when both are the same pixels, so that no filter reads what it has already written.
bool floatPair(const IplImage* source, const IplImage* destination, cv::Mat& in, cv::Mat& out) {
    in = View(source);
    out = View(destination);
    if (in.empty() || in.depth() != CV_32F || in.size() != out.size() || in.type() != out.type()) return false;
    if (in.data == out.data) in = in.clone();
    return true;
}

void gradient(const IplImage* source, IplImage* destination, int kernel, bool horizontal) {
    cv::Mat in;
    cv::Mat out;
    if (!floatPair(source, destination, in, out)) return;
    Guarded([&] {
        if (kernel == 5) {
            const CorrelationKernel& derivative = image_kernels::Derivative5();
            const CorrelationKernel& prefilter = image_kernels::Prefilter5();
            image_kernels::Separable(in, out, horizontal ? derivative : prefilter, horizontal ? prefilter : derivative);
        } else if (kernel == 2) {
            cv::Sobel(in, out, CV_32F, horizontal ? 1 : 0, horizontal ? 0 : 1, 3, 1.0, 0.0, kBorder);
        } else {
            const CorrelationKernel& difference =
                horizontal ? image_kernels::HorizontalDifference3() : image_kernels::VerticalDifference3();
            const cv::Mat taps = horizontal ? difference.taps.reshape(1, 1) : difference.taps;
            const cv::Point anchor = horizontal ? cv::Point(difference.anchor, 0) : cv::Point(0, difference.anchor);
            cv::filter2D(in, out, CV_32F, taps, anchor, 0.0, kBorder);
        }
    });
}

bool validBox(int columns, int rows, int anchorColumn, int anchorRow) {
    return columns >= 1 && rows >= 1 && anchorColumn >= 0 && anchorColumn < columns && anchorRow >= 0 &&
           anchorRow < rows;
}

}  // namespace

void CImage::GradientX(CImage* source, int kernel) {
    if (source) gradient(source->header_.get(), header_.get(), kernel, true);
}

void CImage::GradientY(CImage* source, int kernel) {
    if (source) gradient(source->header_.get(), header_.get(), kernel, false);
}

void CImage::BlurTo(CImage* destination, int columns, int rows, int anchorColumn, int anchorRow) const {
    if (!destination || !validBox(columns, rows, anchorColumn, anchorRow)) return;
    cv::Mat in = View(header_.get());
    cv::Mat out = View(destination->header_.get());
    if (in.empty() || in.size() != out.size() || in.type() != out.type()) return;
    Guarded([&] {
        cv::blur(in, out, cv::Size(columns, rows), cv::Point(anchorColumn, anchorRow), kBorder);
    });
}

void CImage::Smooth(CImage* destination, int kind, CImage* mask) const {
    if (!destination) return;
    const CorrelationKernel& gaussian = image_kernels::Gaussian15();
    switch (kind) {
        case 2: BlurTo(destination, 7, 7, 3, 3); return;
        case 3: BlurTo(destination, 15, 15, 7, 7); return;
        case 1:
        case 5: {
            cv::Mat in;
            cv::Mat out;
            if (!floatPair(header_.get(), destination->header_.get(), in, out)) return;
            const CorrelationKernel& kernel = kind == 1 ? gaussian : image_kernels::Prefilter5();
            Guarded([&] { image_kernels::Separable(in, out, kernel, kernel); });
            return;
        }
        case 4: {
            if (!mask) return;
            cv::Mat in;
            cv::Mat out;
            const cv::Mat weights = View(mask->header_.get());
            if (!floatPair(header_.get(), destination->header_.get(), in, out) || weights.size() != in.size() ||
                weights.type() != CV_32FC1)
                return;
            Guarded([&] {
                // The smoothed mask goes into its own continuous buffer, taken as one vector.
                cv::Mat inverse;
                image_kernels::Separable(weights, inverse, gaussian, gaussian);
                nspsbInvThresh1(inverse.ptr<float>(), static_cast<int>(inverse.total()), 1e-6f);
                image_kernels::Separable(in, out, gaussian, gaussian);
                cv::multiply(out, inverse, out);
            });
            return;
        }
        default: return;
    }
}

void CImage::Erode(int iterations) {
    cv::Mat view = View(header_.get());
    if (view.empty() || iterations < 1) return;
    // Past this many passes the 3 x 3 minimum covers the whole image and nothing changes.
    iterations = std::min(iterations, std::max(view.cols, view.rows));
    Guarded([&] { cv::erode(view, view, cv::Mat(), cv::Point(-1, -1), iterations, kBorder); });
}

void CImage::DrawRectangle(int x1, int y1, int x2, int y2, int thickness, double value, bool filled) {
    cv::Mat view = View(header_.get());
    if (view.empty()) return;
    // Corners far outside move to just outside: what shows in the image is the same, and the
    // drawing code never sees coordinates large enough to overflow its fixed-point arithmetic.
    thickness = std::clamp(thickness, 1, 2 * std::max(view.cols, view.rows) + 2);
    const int margin = thickness + 2;
    const auto clampX = [&](int x) { return std::clamp(x, -margin, view.cols - 1 + margin); };
    const auto clampY = [&](int y) { return std::clamp(y, -margin, view.rows - 1 + margin); };
    const cv::Point first(clampX(x1), clampY(y1));
    const cv::Point second(clampX(x2), clampY(y2));
    const cv::Scalar colour = cv::Scalar::all(value);
    Guarded([&] {
        if (filled) {
            const cv::Point corners[4] = {first, {second.x, first.y}, second, {first.x, second.y}};
            cv::fillConvexPoly(view, corners, 4, colour);
        } else {
            cv::rectangle(view, first, second, colour, thickness);
        }
    });
}
