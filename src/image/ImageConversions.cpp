// Conversions between depths, comparisons into 1-bit masks, colour to grey and statistics.
#include <algorithm>
#include <string>

#include <opencv2/imgproc.hpp>

#include "image/Image.h"
#include "image/ImagePixels.h"

using image_pixels::Area;
using image_pixels::Guarded;
using image_pixels::IsBitonal;
using image_pixels::IsFloat;
using image_pixels::View;

namespace {

// The full range of an integer depth; false for float and 1-bit images.
bool integerRange(int depth, double& lowest, double& highest) {
    switch (depth) {
        case IPL_DEPTH_8U: lowest = 0.0; highest = 255.0; return true;
        case IPL_DEPTH_8S: lowest = -128.0; highest = 127.0; return true;
        case IPL_DEPTH_16U: lowest = 0.0; highest = 65535.0; return true;
        case IPL_DEPTH_16S: lowest = -32768.0; highest = 32767.0; return true;
        default: return false;
    }
}

// source and destination views of equal size and channel count.
bool sameShape(const IplImage* source, const IplImage* destination, cv::Mat& in, cv::Mat& out) {
    in = View(source);
    out = View(destination);
    return !in.empty() && in.size() == out.size() && in.channels() == out.channels();
}

// value = in > threshold (greater) or in < threshold into the 1-bit destination.
void compareInto(const IplImage* source, IplImage* destination, float threshold, bool greater) {
    const cv::Mat in = View(source);
    const cv::Rect area = Area(destination);
    if (in.empty() || in.channels() != 1 || !IsBitonal(destination) || area.size() != in.size()) return;
    cv::Mat result;
    if (Guarded([&] { cv::compare(in, threshold, result, greater ? cv::CMP_GT : cv::CMP_LT); }))
        image_pixels::PackBits(destination, area, result);
}

int normCode(int normType) {
    switch (normType) {
        case 1: return cv::NORM_INF;
        case 2: return cv::NORM_L1;
        case 4: return cv::NORM_L2;
        default: return -1;
    }
}

// The pixels of Area as a matrix: a view, or the unpacked bits of a 1-bit image.
cv::Mat samplesOf(const IplImage* header) {
    return IsBitonal(header) ? image_pixels::UnpackBits(header, Area(header)) : View(header);
}

}  // namespace

void CImage::ScaleTo(CImage* destination) const {
    if (!destination) return;
    cv::Mat in;
    cv::Mat out;
    double inLowest, inHighest, outLowest, outHighest;
    if (!sameShape(header_.get(), destination->header_.get(), in, out) ||
        !integerRange(header_->depth, inLowest, inHighest) ||
        !integerRange(destination->header_->depth, outLowest, outHighest))
        return;
    const double scale = (outHighest - outLowest) / (inHighest - inLowest);
    Guarded([&] { in.convertTo(out, out.type(), scale, outLowest - inLowest * scale); });
}

void CImage::ScaleFP(CImage* destination, float minimum, float maximum) const {
    if (!destination) return;
    cv::Mat in;
    cv::Mat out;
    if (!sameShape(header_.get(), destination->header_.get(), in, out)) return;
    const IplImage* target = destination->header_.get();
    double lowest, highest;
    double scale, offset;
    if (IsFloat(target) && integerRange(header_->depth, lowest, highest)) {
        scale = (static_cast<double>(maximum) - minimum) / (highest - lowest);
        offset = minimum - lowest * scale;
    } else if (IsFloat(header_.get()) && integerRange(target->depth, lowest, highest)) {
        // An empty input range sends everything to the lowest value rather than dividing by 0.
        const double span = static_cast<double>(maximum) - minimum;
        scale = span != 0.0 ? (highest - lowest) / span : 0.0;
        offset = lowest - minimum * scale;
    } else {
        return;
    }
    Guarded([&] { in.convertTo(out, out.type(), scale, offset); });
}

void CImage::GreaterSFP(CImage* destination, float value) const {
    if (destination) compareInto(header_.get(), destination->header_.get(), value, true);
}

void CImage::LessSFP(CImage* destination, float value) const {
    if (destination) compareInto(header_.get(), destination->header_.get(), value, false);
}

void CImage::BitonalToGrayTo(CImage* destination, int zeroValue, int oneValue) const {
    if (!destination || !IsBitonal(header_.get())) return;
    const cv::Rect area = Area(header_.get());
    cv::Mat out = View(destination->header_.get());
    if (area.empty() || out.size() != area.size() || out.channels() != 1) return;
    const cv::Mat bits = image_pixels::UnpackBits(header_.get(), area);
    Guarded([&] {
        out.setTo(cv::Scalar(zeroValue));
        out.setTo(cv::Scalar(oneValue), bits);
    });
}

void CImage::BitonalToGray(int zeroValue, int oneValue) {
    if (!IsBitonal(header_.get()) || !image_pixels::HasPixels(header_.get())) return;
    DetachRegion();  // the whole image is converted; the region goes with the old header
    std::unique_ptr<CImage> gray(CreateLike(IPL_DEPTH_8U));
    if (!gray) return;
    BitonalToGrayTo(gray.get(), zeroValue, oneValue);
    ReplaceHeader(std::move(gray->header_));
}

void CImage::ColorToGrayTo(CImage* destination) const {
    if (!destination) return;
    const cv::Mat in = View(header_.get());
    cv::Mat out = View(destination->header_.get());
    if (in.empty() || in.size() != out.size() || in.depth() != out.depth() || out.channels() != 1) return;
    const std::string sequence = GetChannelSeq();
    int code;
    if (in.channels() == 3) {
        code = sequence == "RGB" ? cv::COLOR_RGB2GRAY : cv::COLOR_BGR2GRAY;
    } else if (in.channels() == 4) {
        code = sequence == "BGRA" ? cv::COLOR_BGRA2GRAY : cv::COLOR_RGBA2GRAY;
    } else {
        return;
    }
    Guarded([&] { cv::cvtColor(in, out, code); });
}

void CImage::MinMaxFP(float* minimum, float* maximum) const {
    double lowest = 0.0;
    double highest = 0.0;
    const cv::Mat samples = samplesOf(header_.get());
    if (!samples.empty()) Guarded([&] { cv::minMaxLoc(samples.reshape(1), &lowest, &highest); });
    if (minimum) *minimum = static_cast<float>(lowest);
    if (maximum) *maximum = static_cast<float>(highest);
}

double CImage::Norm(int normType) const {
    const int code = normCode(normType);
    if (code < 0 || !image_pixels::HasPixels(header_.get())) return -1.0;
    const cv::Mat samples = samplesOf(header_.get());
    if (samples.empty()) return 0.0;
    double norm = -1.0;
    Guarded([&] { norm = cv::norm(samples, code); });
    return norm;
}

double CImage::Norm(CImage* other, int normType) const {
    const int code = normCode(normType);
    if (!other || code < 0 || !image_pixels::HasPixels(header_.get()) ||
        IsBitonal(header_.get()) != IsBitonal(other->header_.get()) ||
        !image_pixels::HasPixels(other->header_.get()))
        return -1.0;
    const cv::Mat mine = samplesOf(header_.get());
    const cv::Mat theirs = samplesOf(other->header_.get());
    if (mine.size() != theirs.size() || mine.type() != theirs.type()) return -1.0;
    if (mine.empty()) return 0.0;
    double norm = -1.0;
    Guarded([&] { norm = cv::norm(mine, theirs, code); });
    return norm;
}
