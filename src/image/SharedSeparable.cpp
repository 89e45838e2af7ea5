#include "image/SharedSeparable.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/HotPath.h"

namespace image_kernels {

namespace {

// Eight lanes are one instruction with AVX, two without: written out, since the compiler leaves
// loops of unknown length alone at the library's optimisation level.
using Lanes = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;
// Replicated samples on either side of a filtered row: enough for any anchor.
constexpr int kPad = kMaxSharedTaps;

struct Taps {
    float value[kMaxSharedTaps];
    int count;
    int anchor;
};

Taps TapsOf(const CorrelationKernel& kernel) {
    const int count = static_cast<int>(kernel.taps.total());
    CV_Assert(kernel.taps.type() == CV_32FC1 && count >= 1 && count <= kMaxSharedTaps && kernel.anchor >= 0 &&
              kernel.anchor < count);
    Taps taps{};
    taps.count = count;
    taps.anchor = kernel.anchor;
    const cv::Mat continuous = kernel.taps.isContinuous() ? kernel.taps : kernel.taps.clone();
    std::copy(continuous.ptr<float>(), continuous.ptr<float>() + count, taps.value);
    return taps;
}

// out[c] = sum over k of taps[k] * lines[k][c]: the vertical pass over rows, the horizontal one
// over shifted views of a row.
VANTOREL_HOT_PATH void Combine(const float* const* lines, const float* taps, int count, int width, float* out) {
    int c = 0;
    // Four vectors at a time: each sum waits on its last multiply-add, four sums do not.
    for (; c + 4 * kLanes <= width; c += 4 * kLanes) {
        Lanes total0 = {}, total1 = {}, total2 = {}, total3 = {};
        for (int k = 0; k < count; ++k) {
            const float* line = lines[k] + c;
            Lanes sample0, sample1, sample2, sample3;
            std::memcpy(&sample0, line, sizeof sample0);
            std::memcpy(&sample1, line + kLanes, sizeof sample1);
            std::memcpy(&sample2, line + 2 * kLanes, sizeof sample2);
            std::memcpy(&sample3, line + 3 * kLanes, sizeof sample3);
            total0 += taps[k] * sample0;
            total1 += taps[k] * sample1;
            total2 += taps[k] * sample2;
            total3 += taps[k] * sample3;
        }
        std::memcpy(out + c, &total0, sizeof total0);
        std::memcpy(out + c + kLanes, &total1, sizeof total1);
        std::memcpy(out + c + 2 * kLanes, &total2, sizeof total2);
        std::memcpy(out + c + 3 * kLanes, &total3, sizeof total3);
    }
    for (; c + kLanes <= width; c += kLanes) {
        Lanes total = {};
        for (int k = 0; k < count; ++k) {
            Lanes sample;
            std::memcpy(&sample, lines[k] + c, sizeof sample);
            total += taps[k] * sample;
        }
        std::memcpy(out + c, &total, sizeof total);
    }
    for (; c < width; ++c) {
        float total = 0.0f;
        for (int k = 0; k < count; ++k) total += taps[k] * lines[k][c];
        out[c] = total;
    }
}

bool Overlap(const cv::Mat& a, const cv::Mat& b) {
    return !a.empty() && !b.empty() && a.datastart < b.dataend && b.datastart < a.dataend;
}

}  // namespace

void SeparableShared(const cv::Mat& in, std::initializer_list<SeparableOutput> outputs) {
    CV_Assert(in.type() == CV_32FC1 && in.dims == 2 && !in.empty());
    const int count = static_cast<int>(outputs.size());
    CV_Assert(count >= 1 && count <= kMaxSharedOutputs);
    const int width = in.cols, height = in.rows;

    Taps horizontal[kMaxSharedOutputs], vertical[kMaxSharedOutputs];
    const CorrelationKernel* verticalKernel[kMaxSharedOutputs];
    int verticalOf[kMaxSharedOutputs];
    cv::Mat* out[kMaxSharedOutputs];
    int verticals = 0;
    bool aliased = false;
    int i = 0;
    for (const SeparableOutput& output : outputs) {
        CV_Assert(output.horizontal && output.vertical && output.out);
        horizontal[i] = TapsOf(*output.horizontal);
        verticalOf[i] = static_cast<int>(std::find(verticalKernel, verticalKernel + verticals, output.vertical) -
                                         verticalKernel);
        if (verticalOf[i] == verticals) {
            verticalKernel[verticals] = output.vertical;
            vertical[verticals++] = TapsOf(*output.vertical);
        }
        out[i] = output.out;
        aliased |= Overlap(*output.out, in);
        ++i;
    }
    // Rows are overwritten while the rows below still read them.
    const cv::Mat source = aliased ? in.clone() : in;
    for (int k = 0; k < count; ++k) out[k]->create(height, width, CV_32FC1);

    const std::size_t stride = static_cast<std::size_t>(width) + 2 * kPad;
    std::vector<float> filtered(stride * static_cast<std::size_t>(verticals));
    const float* lines[kMaxSharedTaps];
    for (int row = 0; row < height; ++row) {
        for (int v = 0; v < verticals; ++v) {
            const Taps& taps = vertical[v];
            for (int k = 0; k < taps.count; ++k)
                lines[k] = source.ptr<float>(std::clamp(row + k - taps.anchor, 0, height - 1));
            float* line = filtered.data() + stride * static_cast<std::size_t>(v) + kPad;
            Combine(lines, taps.value, taps.count, width, line);
            std::fill(line - kPad, line, line[0]);
            std::fill(line + width, line + width + kPad, line[width - 1]);
        }
        for (int k = 0; k < count; ++k) {
            const Taps& taps = horizontal[k];
            const float* line = filtered.data() + stride * static_cast<std::size_t>(verticalOf[k]) + kPad;
            for (int tap = 0; tap < taps.count; ++tap) lines[tap] = line + tap - taps.anchor;
            Combine(lines, taps.value, taps.count, width, out[k]->ptr<float>(row));
        }
    }
}

}  // namespace image_kernels
