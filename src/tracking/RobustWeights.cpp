#include "tracking/RobustWeights.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "tracking/TrackerParameters.h"

namespace {

// Blocks this small are ranked by nth_element alone; larger ones first by the top bits of the
// magnitudes (a non-negative float orders as its bits do), which leaves a few hundred to rank.
constexpr std::size_t kSmallBlock = 256;
constexpr int kBucketBits = 11;
constexpr int kBucketShift = 31 - kBucketBits;
constexpr std::uint32_t kMagnitudeBits = 0x7fffffffu;
constexpr std::uint32_t kInfinityBits = 0x7f800000u;

std::uint32_t MagnitudeBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits & kMagnitudeBits;
}

float NthMagnitudeSorted(const std::vector<float>& values, std::size_t rank, std::vector<float>& scratch) {
    scratch.resize(values.size());
    std::transform(values.begin(), values.end(), scratch.begin(), [](float r) { return std::fabs(r); });
    const auto nth = scratch.begin() + static_cast<long>(rank);
    std::nth_element(scratch.begin(), nth, scratch.end());
    return *nth;
}

// The magnitude of rank `rank` (0: the smallest), as nth_element over the magnitudes gives it.
float NthMagnitude(const std::vector<float>& values, std::size_t rank, std::vector<float>& scratch) {
    if (values.size() < kSmallBlock) return NthMagnitudeSorted(values, rank, scratch);
    std::array<std::uint32_t, std::size_t{1} << kBucketBits> counts{};
    bool notANumber = false;
    for (const float value : values) {
        const std::uint32_t bits = MagnitudeBits(value);
        notANumber |= bits > kInfinityBits;
        ++counts[bits >> kBucketShift];
    }
    // NaN has no rank: whatever nth_element makes of it, as ever.
    if (notANumber) return NthMagnitudeSorted(values, rank, scratch);
    std::uint32_t bucket = 0;
    std::size_t below = 0;
    while (below + counts[bucket] <= rank) below += counts[bucket++];
    scratch.clear();
    for (const float value : values)
        if (MagnitudeBits(value) >> kBucketShift == bucket) scratch.push_back(std::fabs(value));
    const auto nth = scratch.begin() + static_cast<long>(rank - below);
    std::nth_element(scratch.begin(), nth, scratch.end());
    return *nth;
}

}  // namespace

float CRobustWeights::Scale(const std::vector<float>& residuals, float floor, std::vector<float>& scratch) {
    if (residuals.empty()) return floor;
    const float scale = kMadToSigma * NthMagnitude(residuals, residuals.size() / 2, scratch);
    return scale > floor ? scale : floor;  // also when the median is NaN
}
