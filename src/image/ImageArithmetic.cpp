// Pixel arithmetic of CImage on OpenCV's saturating element-wise operations.
#include <cmath>
#include <cstring>

#include "image/Image.h"
#include "image/ImagePixels.h"
#include "platform/nsp/nsp.h"

using image_pixels::Guarded;
using image_pixels::IsBitonal;
using image_pixels::IsFloat;
using image_pixels::MatchingViews;
using image_pixels::View;

namespace {

enum class Op { Add, Subtract, Multiply };

void apply(Op op, const cv::Mat& a, const cv::Mat& b, cv::Mat& result) {
    switch (op) {
        case Op::Add: cv::add(a, b, result); break;
        case Op::Subtract: cv::subtract(a, b, result); break;
        case Op::Multiply: cv::multiply(a, b, result); break;
    }
}

// result = a op b; all three views must agree.
void combine(Op op, const IplImage* a, const IplImage* b, IplImage* result) {
    cv::Mat viewA;
    cv::Mat viewB;
    if (!MatchingViews(a, b, viewA, viewB)) return;
    cv::Mat out = View(result);
    if (out.size() != viewA.size() || out.type() != viewA.type()) return;
    Guarded([&] { apply(op, viewA, viewB, out); });
}

// The scalar of an integer image: the float truncated toward zero (NaN counts as 0).
double scalarFor(const IplImage* header, float value) {
    if (IsFloat(header)) return value;
    return std::isnan(value) ? 0.0 : std::trunc(static_cast<double>(value));
}

}  // namespace

void CImage::Add(CImage* other) {
    if (other) combine(Op::Add, header_.get(), other->header_.get(), header_.get());
}

void CImage::Subtract(CImage* other) {
    if (other) combine(Op::Subtract, header_.get(), other->header_.get(), header_.get());
}

void CImage::Multiply(CImage* other) {
    if (other) combine(Op::Multiply, header_.get(), other->header_.get(), header_.get());
}

void CImage::Subtract(CImage* a, CImage* b) {
    if (a && b) combine(Op::Subtract, a->header_.get(), b->header_.get(), header_.get());
}

void CImage::Multiply(CImage* a, CImage* b) {
    if (a && b) combine(Op::Multiply, a->header_.get(), b->header_.get(), header_.get());
}

void CImage::And(CImage* other) {
    if (!other) return;
    IplImage* mine = header_.get();
    const IplImage* theirs = other->header_.get();
    if (IsBitonal(mine) != IsBitonal(theirs)) return;
    if (!IsBitonal(mine)) {
        cv::Mat view;
        cv::Mat otherView;
        if (MatchingViews(mine, theirs, view, otherView)) Guarded([&] { cv::bitwise_and(view, otherView, view); });
        return;
    }
    const cv::Rect area = image_pixels::Area(mine);
    const cv::Rect otherArea = image_pixels::Area(theirs);
    if (area.empty() || area.size() != otherArea.size()) return;
    const bool wholeImages = !mine->roi && !theirs->roi && mine->widthStep == theirs->widthStep;
    if (wholeImages) {
        // Whole rows of packed bits: byte by byte, padding included.
        auto* bytes = reinterpret_cast<unsigned char*>(mine->imageData);
        const auto* otherBytes = reinterpret_cast<const unsigned char*>(theirs->imageData);
        const long count = static_cast<long>(mine->widthStep) * mine->height;
        for (long i = 0; i < count; ++i) bytes[i] &= otherBytes[i];
        return;
    }
    cv::Mat bits = image_pixels::UnpackBits(mine, area);
    bits &= image_pixels::UnpackBits(theirs, otherArea);
    image_pixels::PackBits(mine, area, bits);
}

void CImage::AddS(float value) {
    cv::Mat view = View(header_.get());
    if (!view.empty()) Guarded([&] { cv::add(view, cv::Scalar::all(scalarFor(header_.get(), value)), view); });
}

void CImage::SubtractS(float value, bool fromScalar) {
    cv::Mat view = View(header_.get());
    if (view.empty()) return;
    const cv::Scalar scalar = cv::Scalar::all(scalarFor(header_.get(), value));
    Guarded([&] {
        if (fromScalar) {
            cv::subtract(scalar, view, view);
        } else {
            cv::subtract(view, scalar, view);
        }
    });
}

void CImage::SubtractSFP(float value, bool fromScalar) {
    if (IsFloat(header_.get())) SubtractS(value, fromScalar);
}

void CImage::MultiplyS(float value) {
    cv::Mat view = View(header_.get());
    if (!view.empty()) Guarded([&] { cv::multiply(view, cv::Scalar::all(scalarFor(header_.get(), value)), view); });
}

void CImage::MultiplySFP(float value) {
    if (IsFloat(header_.get())) MultiplyS(value);
}

void CImage::InvThresh(float minimum) {
    cv::Mat view = View(header_.get());
    if (view.empty() || view.type() != CV_32FC1) return;
    // Row by row, so that the padding of odd widths is never taken for samples.
    for (int y = 0; y < view.rows; ++y) nspsbInvThresh1(view.ptr<float>(y), view.cols, minimum);
}
