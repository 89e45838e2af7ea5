#include "linalg/DMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <opencv2/core.hpp>

#include "linalg/DVector.h"
#include "linalg/Lapack.h"

namespace {

DMatrix RandomMatrix(int rows, int cols, std::mt19937& rng) {
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    DMatrix m(rows, cols);
    for (int j = 1; j <= cols; ++j)
        for (int i = 1; i <= rows; ++i) m.Ref(i, j) = uniform(rng);
    return m;
}

cv::Mat ToDouble(const DMatrix& m) {
    cv::Mat out(m.GetRows(), m.GetCols(), CV_64F);
    for (int i = 0; i < m.GetRows(); ++i)
        for (int j = 0; j < m.GetCols(); ++j) out.at<double>(i, j) = m.Value(i + 1, j + 1);
    return out;
}

TEST(DMatrixSolveSVD, MatchesDoublePrecisionLeastSquaresAtEverySizeInAnyOrder) {
    // Beyond 10000 rows a fixed workspace no longer fits; going back to small shapes and up again
    // checks that the per-thread workspace follows.
    std::mt19937 rng(7);
    const int shapes[][2] = {{6, 6}, {50, 3}, {2000, 10}, {40000, 6}, {20, 6}, {40000, 6}};
    for (const auto& shape : shapes) {
        const DMatrix a = RandomMatrix(shape[0], shape[1], rng);
        const DMatrix b = RandomMatrix(shape[0], 1, rng);
        DVector x;
        EXPECT_EQ(a.SolveSVD(b, x), 0);
        ASSERT_EQ(x.GetRows(), shape[1]);
        cv::Mat reference;
        cv::solve(ToDouble(a), ToDouble(b), reference, cv::DECOMP_SVD);
        EXPECT_LE(cv::norm(ToDouble(x) - reference) / cv::norm(reference), 1e-4) << shape[0];
    }
}

TEST(DMatrixSolveSVD, GivesTheMinimumNormSolutionWhenTwoColumnsAreEqual) {
    // Every x with x1 + x2 = 2 and x3 = 1 fits best; the shortest has x1 = x2. The residual is
    // orthogonal to the columns, so only the rank cut keeps it out of x. The cut is absolute
    // (1e-7) and the vanishing singular value comes out near 1e-7 of the norm, hence the scale.
    const float column1[] = {1, 2, 0, 1, 3, 1, 2, 0};
    const float column3[] = {1, 1, 2, 5, 1, 0, 4, 3};
    const float residual[] = {6, -3, 0, 0, 0, 0, 0, -1};
    const float scale = 0.01f;
    DMatrix a(8, 3);
    DVector b(8);
    for (int i = 1; i <= 8; ++i) {
        a.Ref(i, 1) = a.Ref(i, 2) = scale * column1[i - 1];
        a.Ref(i, 3) = scale * column3[i - 1];
        b.At(i) = scale * (2.0f * column1[i - 1] + column3[i - 1] + residual[i - 1]);
    }
    float solution[3] = {};
    DVector x(3, solution, false);  // the caller's buffer receives the result
    EXPECT_EQ(a.SolveSVD(b, x), 0);
    for (float value : solution) EXPECT_NEAR(value, 1.0f, 1e-4);
}

TEST(DMatrixSolveSVD, ZeroMatrixFillsXWithZerosWithoutResizingIt) {
    DMatrix a(10, 3);
    a.Fill(0.0f);
    DVector b(10), x(5);
    b.Fill(1.0f);
    x.Fill(7.0f);
    EXPECT_EQ(a.SolveSVD(b, x), 0);
    ASSERT_EQ(x.GetRows(), 5);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(x.At(i), 0.0f);
}

TEST(DMatrixSolveSVD, RefusesUnderdeterminedOrShortRightHandSidesLeavingXUntouched) {
    std::mt19937 rng(3);
    DVector b(3);
    b.Fill(1.0f);
    float kept[] = {9.0f, 8.0f};
    DVector x(2, kept, false);
    EXPECT_EQ(RandomMatrix(3, 4, rng).SolveSVD(b, x), 1);
    EXPECT_EQ(RandomMatrix(6, 2, rng).SolveSVD(b, x), 1);
    EXPECT_EQ(kept[0], 9.0f);
    EXPECT_EQ(kept[1], 8.0f);
}

TEST(DMatrixSolveSVD, LapackArgumentErrorsComeBackThroughInfoInsteadOfStoppingTheProcess) {
    const int m = 20, n = 2, lwork = 4;  // below SGEBRD's minimum, as a fixed workspace would be
    float a[m * n] = {}, d[n], e[n], tauq[n], taup[n], work[lwork];
    int info = 0;
    testing::internal::CaptureStderr();
    sgebrd_(&m, &n, a, &m, d, e, tauq, taup, work, &lwork, &info);
    const std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_EQ(info, -10);
    EXPECT_NE(complaint.find("SGEBRD parameter number 10"), std::string::npos) << complaint;
}

TEST(DMatrixStorage, ResizeKeepsTheAllocatedShapeAndWrappedBuffersAreWrittenThroughNeverFreed) {
    DMatrix m(2, 3);
    m.Fill(4.0f);
    float* before = m.GetData();
    m.Resize(2, 3, true);
    EXPECT_EQ(m.GetData(), before);
    EXPECT_EQ(m.Value(2, 3), 4.0f);
    float buffer[6] = {1, 2, 3, 4, 5, 6};
    {
        DMatrix view(2, 3, buffer, false);
        EXPECT_EQ(view.Value(2, 2), 4.0f);  // column-major
        m.Ref(2, 1) = -1.0f;
        view = m;  // same shape: copied into the caller's buffer
        EXPECT_EQ(view.GetData(), buffer);
        view.Free();
        EXPECT_EQ(view.GetSize(), 0);
        view.Resize(4, 4, true);  // its own block from now on
        view.Fill(3.0f);
    }
    EXPECT_EQ(buffer[0], 4.0f);
    EXPECT_EQ(buffer[1], -1.0f);
}

TEST(DMatrixArithmetic, AddsAndMultipliesLikeTheTextbook) {
    float av[] = {1, 4, 2, 5, 3, 6};   // [1 2 3; 4 5 6]
    float bv[] = {1, 0, -1, 2, 1, 0};  // [1 2; 0 1; -1 0]
    float ones[] = {1, 1, 1};
    DMatrix a(2, 3, av, true), b(3, 2, bv, true);
    const DMatrix ab = a * b;
    ASSERT_EQ(ab.GetRows(), 2);
    ASSERT_EQ(ab.GetCols(), 2);
    EXPECT_EQ(ab.Value(1, 1), -2.0f);
    EXPECT_EQ(ab.Value(1, 2), 4.0f);
    EXPECT_EQ(ab.Value(2, 2), 13.0f);
    const DVector rowSums = a * DVector(3, ones, true);
    EXPECT_EQ(rowSums.AtValue(1), 6.0f);
    EXPECT_EQ(rowSums.AtValue(2), 15.0f);
    a += a;
    EXPECT_EQ(a.Value(2, 3), 12.0f);
}

TEST(DMatrixInverse, InvertsWithPivotingAndPropagatesNaNInsteadOfExiting) {
    float swapped[] = {0, 1, 0, 1, 0, 0, 0, 0, 2};
    const DMatrix p = DMatrix(3, 3, swapped, true).Inverse();
    EXPECT_EQ(p.Value(1, 2), 1.0f);
    EXPECT_EQ(p.Value(3, 3), 0.5f);
    std::mt19937 rng(5);
    const DMatrix a = RandomMatrix(5, 5, rng);
    const cv::Mat reference = ToDouble(a).inv(cv::DECOMP_SVD);
    EXPECT_LE(cv::norm(ToDouble(a.Inverse()) - reference) / cv::norm(reference), 1e-4);
    DMatrix withNaN(2, 2);
    withNaN.SetIdentity();
    withNaN.Ref(1, 1) = std::numeric_limits<float>::quiet_NaN();  // the row's other element is 0
    EXPECT_TRUE(std::isnan(withNaN.Inverse().Value(1, 1)));
}

TEST(DMatrixErrorsDeathTest, ZeroRowInInverseExitsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DMatrix a(2, 2);
    a.Fill(0.0f);
    a.Ref(1, 1) = 1.0f;
    EXPECT_EXIT(a.Inverse(), ::testing::ExitedWithCode(1), "^Singular DMatrix in routine ludcmp\n$");
}

TEST(DMatrixErrorsDeathTest, SizeErrorsPrintTheirReasonAndStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DMatrix column(3, 1), row(1, 3), square(2, 2);
    EXPECT_DEATH(column += row,
                 "^ERROR class DMatrix\naddition of matrices : incompatible sizes\nprogram stopped\\.\\.\\.\n$");
    EXPECT_DEATH(column * column, "\nmultiplication : incompatible sizes\nprogram stopped");
    EXPECT_DEATH(row * DVector(2), "\nmultiplication : incompatible sizes\nprogram stopped");
    EXPECT_DEATH(column.Inverse(), "\ninverse : matrice non carree\nprogram stopped");
    EXPECT_DEATH(square.Resize(100000, 100000, true), "^ERROR class DMatrix\nmemory full\nprogram stopped");
}

}  // namespace
