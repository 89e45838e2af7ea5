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

#include <opencv2/core.hpp>

class CNormalEquations {
public:
    void Reset();
    void Add(const float jacobian[6], float residual, float weight) {
        const float* columns[6] = {jacobian, jacobian + 1, jacobian + 2, jacobian + 3, jacobian + 4, jacobian + 5};
        AddRows(columns, &residual, &weight, 1);
    }
    // Rows k < count: Jacobian (columns[0][k] .. columns[5][k]), residuals[k], weights[k]. Called
    // for every row of every iteration: the sums stay in registers over a whole block.
    void AddRows(const float* const columns[6], const float* residuals, const float* weights, int count);
    // False when no row was added or the solution is not finite.
    bool Solve(double increment[6]) const;
    // Takes an excess (a symmetric matrix and a gradient the sums should not have held) off,
    // halved as often as needed (a few times at most) for no direction to lose more than
    // `largestShare` of its curvature: the system stays positive definite. False, and nothing
    // taken, when none of it fits.
    bool Subtract(const cv::Matx66d& hessian, const cv::Vec6d& gradient, double largestShare);
    int Rows() const { return rows_; }

private:
    cv::Matx66d Mirrored() const;  // the whole symmetric matrix

    cv::Matx66d hessian_ = cv::Matx66d::zeros();
    cv::Vec6d gradient_ = cv::Vec6d::all(0.0);
    int rows_ = 0;
};
