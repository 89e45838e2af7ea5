// The 6 x 6 normal equations of a weighted least-squares motion system, accumulated row by row.
//
// Each row says J x + r ~ 0 for the increment x = (tx, ty, tz, wx, wy, wz) with weight w; the
// solution minimises sum w (J x + r)^2, that is H x = -g with H = sum w J^T J, g = sum w J^T r.
//
// Why normal equations and not the SVD of the stacked rows, as the single step solves: the
// iterations solve many systems of thousands of rows, and accumulating H costs 27 multiply-adds
// per row with no row stored, against an SVD whose work and memory grow with the rows. Squaring
// the condition number is harmless here: the rotation is taken about the points' centroid, which
// keeps H's condition far below what double precision resolves, and H is summed in double.
// Cholesky solves the symmetric positive definite H; a singular H (no texture along some
// motion) falls back to the SVD's least-norm solution.
#pragma once

#include <cstring>

#include <opencv2/core.hpp>

class CNormalEquations {
public:
    void Reset();
    // Inline, and two columns at a time: called for every row of every iteration. Upper
    // triangle only (with an element or two below it, which Solve overwrites by mirroring).
    void Add(const float jacobian[6], float residual, float weight) {
        using Pair = double __attribute__((vector_size(16)));
        Pair columns[3];
        for (int p = 0; p < 3; ++p) columns[p] = Pair{jacobian[2 * p], jacobian[2 * p + 1]};
        for (int i = 0; i < 6; ++i) {
            const double weighted = static_cast<double>(weight) * jacobian[i];
            double* row = hessian_.val + 6 * i;
            for (int p = i / 2; p < 3; ++p) {
                Pair sum;
                std::memcpy(&sum, row + 2 * p, sizeof sum);
                sum += weighted * columns[p];
                std::memcpy(row + 2 * p, &sum, sizeof sum);
            }
            gradient_[i] += weighted * residual;
        }
        ++rows_;
    }
    // False when no row was added or the solution is not finite.
    bool Solve(double increment[6]) const;
    int Rows() const { return rows_; }

private:
    cv::Matx66d hessian_ = cv::Matx66d::zeros();
    cv::Vec6d gradient_ = cv::Vec6d::all(0.0);
    int rows_ = 0;
};
