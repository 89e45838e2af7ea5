#include "tracking/NormalEquations.h"

#include <cmath>

void CNormalEquations::Reset() {
    hessian_ = cv::Matx66d::zeros();
    gradient_ = cv::Vec6d::all(0.0);
    rows_ = 0;
}

bool CNormalEquations::Solve(double increment[6]) const {
    if (rows_ == 0) return false;
    cv::Matx66d full = hessian_;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < i; ++j) full(i, j) = full(j, i);
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
