#include "image/RectMorphology.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/HotPath.h"

namespace image_kernels {

namespace {

// Thirty-two bytes of pixels: one instruction with AVX, two without.
template <typename Pixel>
struct VectorOf;
template <>
struct VectorOf<unsigned char> {
    using Type = unsigned char __attribute__((vector_size(32)));
};
template <>
struct VectorOf<float> {
    using Type = float __attribute__((vector_size(32)));
};

// lines[0..count) combined element by element (the least, or the greatest) into out[0..width).
template <typename Pixel>
__attribute__((always_inline)) inline void Combine(const Pixel* const* lines, int count, int width, bool least,
                                                   Pixel* out) {
    using Vector = typename VectorOf<Pixel>::Type;
    constexpr int kLanes = static_cast<int>(sizeof(Vector) / sizeof(Pixel));
    const auto pick = [least](Vector& kept, const Vector& next) {
        kept = least ? (next < kept ? next : kept) : (next > kept ? next : kept);
    };
    const auto vectorAt = [&](int c) {
        Vector result, next;
        std::memcpy(&result, lines[0] + c, sizeof result);
        for (int k = 1; k < count; ++k) {
            std::memcpy(&next, lines[k] + c, sizeof next);
            pick(result, next);
        }
        std::memcpy(out + c, &result, sizeof result);
    };
    int c = 0;
    // Four vectors at a time, each its own chain: one chain waits on every minimum it takes.
    for (; c + 4 * kLanes <= width; c += 4 * kLanes) {
        Vector r0, r1, r2, r3, n0, n1, n2, n3;
        std::memcpy(&r0, lines[0] + c, sizeof r0);
        std::memcpy(&r1, lines[0] + c + kLanes, sizeof r1);
        std::memcpy(&r2, lines[0] + c + 2 * kLanes, sizeof r2);
        std::memcpy(&r3, lines[0] + c + 3 * kLanes, sizeof r3);
        for (int k = 1; k < count; ++k) {
            const Pixel* line = lines[k] + c;
            std::memcpy(&n0, line, sizeof n0);
            std::memcpy(&n1, line + kLanes, sizeof n1);
            std::memcpy(&n2, line + 2 * kLanes, sizeof n2);
            std::memcpy(&n3, line + 3 * kLanes, sizeof n3);
            pick(r0, n0);
            pick(r1, n1);
            pick(r2, n2);
            pick(r3, n3);
        }
        std::memcpy(out + c, &r0, sizeof r0);
        std::memcpy(out + c + kLanes, &r1, sizeof r1);
        std::memcpy(out + c + 2 * kLanes, &r2, sizeof r2);
        std::memcpy(out + c + 3 * kLanes, &r3, sizeof r3);
    }
    for (; c + kLanes <= width; c += kLanes) vectorAt(c);
    // The last pixels as one more vector ending at the row's end: a pixel combined twice comes
    // out the same, and one at a time they took longer than all the rest.
    if (c < width && width >= kLanes) {
        vectorAt(width - kLanes);
        return;
    }
    for (; c < width; ++c) {
        Pixel result = lines[0][c];
        for (int k = 1; k < count; ++k) result = least ? std::min(result, lines[k][c]) : std::max(result, lines[k][c]);
        out[c] = result;
    }
}

template <typename Pixel>
__attribute__((always_inline)) inline void Apply(const cv::Mat& in, cv::Mat& out, bool erode, int radius, Pixel border) {
    const int width = in.cols, height = in.rows, span = 2 * radius + 1;
    // Rows beyond the image, and the padding of each column pass's row, read as the border.
    const std::vector<Pixel> outside(static_cast<std::size_t>(width), border);
    std::vector<Pixel> padded(static_cast<std::size_t>(width + 2 * radius), border);
    std::vector<const Pixel*> lines(static_cast<std::size_t>(span));
    for (int row = 0; row < height; ++row) {
        for (int k = 0; k < span; ++k) {
            const int source = row + k - radius;
            lines[static_cast<std::size_t>(k)] =
                source >= 0 && source < height ? in.ptr<Pixel>(source) : outside.data();
        }
        Combine(lines.data(), span, width, erode, padded.data() + radius);
        for (int k = 0; k < span; ++k) lines[static_cast<std::size_t>(k)] = padded.data() + k;
        Combine(lines.data(), span, width, erode, out.ptr<Pixel>(row));
    }
}

// Each built for AVX2 as well (HotPath.h); templates cannot be.
VANTOREL_HOT_PATH void ApplyBytes(const cv::Mat& in, cv::Mat& out, bool erode, int radius, unsigned char border) {
    Apply<unsigned char>(in, out, erode, radius, border);
}

VANTOREL_HOT_PATH void ApplyFloats(const cv::Mat& in, cv::Mat& out, bool erode, int radius, float border) {
    Apply<float>(in, out, erode, radius, border);
}

}  // namespace

void RectMorphology(const cv::Mat& in, cv::Mat& out, Morphology operation, int radius, double border) {
    CV_Assert((in.type() == CV_8UC1 || in.type() == CV_32FC1) && (in.empty() || in.dims == 2) && radius >= 0);
    // Rows are overwritten while the rows below still read them.
    const bool aliased = !out.empty() && out.datastart < in.dataend && in.datastart < out.dataend;
    const cv::Mat source = aliased ? in.clone() : in;
    out.create(in.size(), in.type());
    if (in.empty()) return;
    if (radius == 0) {
        source.copyTo(out);
        return;
    }
    const bool erode = operation == Morphology::kErode;
    if (in.type() == CV_8UC1)
        ApplyBytes(source, out, erode, radius, cv::saturate_cast<unsigned char>(border));
    else
        ApplyFloats(source, out, erode, radius, cv::saturate_cast<float>(border));
}

}  // namespace image_kernels
