// Rows eight at a time, column by column: one instruction an operation with AVX, two without.
// For the loops that run over every row of every iteration (HotPath.h builds them twice).
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

namespace row_lanes {

constexpr int kLanes = 8;
using Lanes = float __attribute__((vector_size(kLanes * sizeof(float))));

// Rows from `from` on; past the last one (`left` of them), `pad`. Vectors by reference: returned
// by value they would be passed differently with AVX than without.
__attribute__((always_inline)) inline void Load(const std::vector<float>& column, int from, int left, float pad,
                                                Lanes& lanes) {
    if (left >= kLanes) {
        std::memcpy(&lanes, column.data() + from, sizeof lanes);
        return;
    }
    float padded[kLanes];
    std::fill(padded, padded + kLanes, pad);
    std::copy(column.data() + from, column.data() + from + left, padded);
    std::memcpy(&lanes, padded, sizeof lanes);
}

__attribute__((always_inline)) inline void Store(const Lanes& lanes, std::vector<float>& column, int from, int left) {
    if (left >= kLanes) {
        std::memcpy(column.data() + from, &lanes, sizeof lanes);
        return;
    }
    float values[kLanes];
    std::memcpy(values, &lanes, sizeof values);
    std::copy(values, values + left, column.data() + from);
}

// The same over the `left` values of an image row from `values` on.
__attribute__((always_inline)) inline void Load(const float* values, int left, float pad, Lanes& lanes) {
    if (left >= kLanes) {
        std::memcpy(&lanes, values, sizeof lanes);
        return;
    }
    float padded[kLanes];
    std::fill(padded, padded + kLanes, pad);
    std::copy(values, values + left, padded);
    std::memcpy(&lanes, padded, sizeof lanes);
}

__attribute__((always_inline)) inline void Store(const Lanes& lanes, float* values, int left) {
    if (left >= kLanes) {
        std::memcpy(values, &lanes, sizeof lanes);
        return;
    }
    float stored[kLanes];
    std::memcpy(stored, &lanes, sizeof stored);
    std::copy(stored, stored + left, values);
}

}  // namespace row_lanes
