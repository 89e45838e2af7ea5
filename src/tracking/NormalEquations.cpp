#include "tracking/NormalEquations.h"

#include <cmath>
#include <cstring>

#include "common/HotPath.h"

namespace {

// Four columns at a time: one instruction with AVX, two without.
using Quad = double __attribute__((vector_size(32)));
using Pair = double __attribute__((vector_size(16)));

template <typename Vector>
void AddTo(double* to, const Vector& value) {
    Vector sum;
    std::memcpy(&sum, to, sizeof sum);
    sum += value;
    std::memcpy(to, &sum, sizeof sum);
}

}  // namespace

void CNormalEquations::Reset() {
    hessian_ = cv::Matx66d::zeros();
    gradient_ = cv::Vec6d::all(0.0);
    rows_ = 0;
}

// The upper triangle and an element or two below it, which Solve overwrites by mirroring: rows 0
// and 1 from column 0, rows 2 and 3 from column 2, rows 4 and 5 from column 4.
VANTOREL_HOT_PATH void CNormalEquations::AddRows(const float* const columns[6], const float* residuals,
                                                const float* weights, int count) {
    Quad row0 = {}, row1 = {}, row2 = {}, row3 = {}, gradientLow = {};
    Pair row0High = {}, row1High = {}, row4 = {}, row5 = {}, gradientHigh = {};
    for (int k = 0; k < count; ++k) {
        const double weight = weights[k];
        const Quad low = {columns[0][k], columns[1][k], columns[2][k], columns[3][k]};
        const Quad middle = {low[2], low[3], columns[4][k], columns[5][k]};
        const Pair high = {middle[2], middle[3]};
        const Quad weightedLow = weight * low;
        const Pair weightedHigh = weight * high;
        row0 += weightedLow[0] * low;
        row1 += weightedLow[1] * low;
        row0High += weightedLow[0] * high;
        row1High += weightedLow[1] * high;
        row2 += weightedLow[2] * middle;
        row3 += weightedLow[3] * middle;
        row4 += weightedHigh[0] * high;
        row5 += weightedHigh[1] * high;
        const double residual = residuals[k];
        gradientLow += residual * weightedLow;
        gradientHigh += residual * weightedHigh;
    }
    double* h = hessian_.val;
    AddTo(h, row0);
    AddTo(h + 4, row0High);
    AddTo(h + 6, row1);
    AddTo(h + 10, row1High);
    AddTo(h + 14, row2);
    AddTo(h + 20, row3);
    AddTo(h + 28, row4);
    AddTo(h + 34, row5);
    AddTo(gradient_.val, gradientLow);
    AddTo(gradient_.val + 4, gradientHigh);
    rows_ += count;
}

cv::Matx66d CNormalEquations::Mirrored() const {
    cv::Matx66d full = hessian_;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < i; ++j) full(i, j) = full(j, i);
    return full;
}

bool CNormalEquations::Subtract(const cv::Matx66d& taken, const cv::Vec6d& gradient, double largestShare) {
    constexpr int kHalvings = 4;
    if (rows_ == 0 || !(largestShare > 0.0)) return false;
    for (const double value : taken.val)
        if (!std::isfinite(value)) return false;
    for (const double value : gradient.val)
        if (!std::isfinite(value)) return false;
    const cv::Matx66d whole = Mirrored();
    double scale = 1.0;
    for (int attempt = 0; attempt <= kHalvings; ++attempt, scale *= 0.5) {
        // Positive definite exactly when no direction loses largestShare of its curvature or more.
        cv::Matx66d left = whole - (scale / largestShare) * taken;
        bool definite = false;
        try {
            definite = cv::Cholesky(left.val, 6 * sizeof(double), 6, nullptr, 0, 0);
        } catch (const cv::Exception&) {
            return false;
        }
        if (!definite) continue;
        hessian_ = whole - scale * taken;
        gradient_ -= scale * gradient;
        return true;
    }
    return false;
}

bool CNormalEquations::Solve(double increment[6]) const {
    if (rows_ == 0) return false;
    const cv::Matx66d full = Mirrored();
    const cv::Vec6d right = -gradient_;
    cv::Vec6d solution;
    bool solved = false;
    try {
        solved = cv::solve(full, right, solution, cv::DECOMP_CHOLESKY);
        if (!solved) solved = cv::solve(full, right, solution, cv::DECOMP_SVD);
    } catch (const cv::Exception&) {
        return false;
    }
    if (!solved) return false;
    for (int i = 0; i < 6; ++i) {
        if (!std::isfinite(solution[i])) return false;
        increment[i] = solution[i];
    }
    return true;
}
