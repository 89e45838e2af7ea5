#include "linalg/DMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <opencv2/core.hpp>

#include "linalg/DVector.h"
#include "linalg/Lapack.h"

namespace {

// Column-major random matrix with elements in [-1, 1].
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

// Relative distance between the solver's x and the least-squares solution computed in double.
double RelativeErrorAgainstReference(const DMatrix& a, const DMatrix& b, const DVector& x) {
    cv::Mat reference;
    cv::solve(ToDouble(a), ToDouble(b), reference, cv::DECOMP_SVD);
    return cv::norm(ToDouble(x) - reference) / cv::norm(reference);
}

TEST(DMatrixSolveSVD, MatchesDoublePrecisionLeastSquaresOnRandomTallSystems) {
    std::mt19937 rng(7);
    const int shapes[][2] = {{6, 6}, {50, 3}, {500, 6}, {2000, 10}, {12000, 6}};
    for (const auto& shape : shapes) {
        const DMatrix a = RandomMatrix(shape[0], shape[1], rng);
        const DMatrix b = RandomMatrix(shape[0], 1, rng);
        DVector x;
        EXPECT_EQ(a.SolveSVD(b, x), 0);
        ASSERT_EQ(x.GetRows(), shape[1]);
        EXPECT_LE(RelativeErrorAgainstReference(a, b, x), 1e-4) << shape[0] << " x " << shape[1];
    }
}

TEST(DMatrixSolveSVD, SolvesSystemsBeyondTenThousandRowsAndThenSmallerOnes) {
    std::mt19937 rng(11);
    for (int m : {40000, 20, 40000}) {
        const DMatrix a = RandomMatrix(m, 6, rng);
        DVector truth(6);
        for (int i = 1; i <= 6; ++i) truth.At(i) = 0.5f * i - 1.0f;
        const DVector b = a * truth;
        DVector x;
        EXPECT_EQ(a.SolveSVD(b, x), 0);
        EXPECT_LE(RelativeErrorAgainstReference(a, b, x), 1e-4) << m;
        for (int i = 1; i <= 6; ++i) EXPECT_NEAR(x.At(i), truth.At(i), 1e-4) << m;
    }
}

TEST(DMatrixSolveSVD, GivesTheMinimumNormSolutionWhenTwoColumnsAreEqual) {
    // Columns 1 and 2 equal: every x with x1 + x2 = 2 and x3 = 1 fits best; the shortest has
    // x1 = x2. The residual is orthogonal to the columns, so only the rank cut keeps it out of x.
    // The cut is absolute (1e-7), so the system is scaled to a norm where rounding leaves the
    // vanishing singular value (about 1e-7 of the norm) well under it.
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
    DVector x;
    EXPECT_EQ(a.SolveSVD(b, x), 0);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(x.At(i), 1.0f, 1e-4) << i;
}

TEST(DMatrixSolveSVD, ZeroMatrixFillsXWithZerosWithoutResizingIt) {
    DMatrix a(10, 3);
    a.Fill(0.0f);
    DVector b(10);
    b.Fill(1.0f);
    DVector x(5);
    x.Fill(7.0f);
    EXPECT_EQ(a.SolveSVD(b, x), 0);
    ASSERT_EQ(x.GetRows(), 5);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(x.At(i), 0.0f);
}

TEST(DMatrixSolveSVD, RefusesUnderdeterminedOrShortRightHandSidesLeavingXUntouched) {
    std::mt19937 rng(3);
    const DMatrix wide = RandomMatrix(3, 4, rng);
    const DMatrix tall = RandomMatrix(6, 2, rng);
    DVector b(3);
    b.Fill(1.0f);
    float kept[] = {9.0f, 8.0f};
    DVector x(2, kept, false);
    EXPECT_EQ(wide.SolveSVD(b, x), 1);
    EXPECT_EQ(tall.SolveSVD(b, x), 1);
    EXPECT_EQ(kept[0], 9.0f);
    EXPECT_EQ(kept[1], 8.0f);
}

TEST(DMatrixSolveSVD, WritesIntoWrappedBuffersWithoutCopyingThem) {
    // The tracker's path: system and solution all live in its own float arrays.
    std::vector<float> system = {2, 0, 0, 0, 0, 3, 0, 0};  // 4 x 2, column-major
    std::vector<float> rhs = {4, 9, 0, 0};
    float solution[2] = {0, 0};
    DMatrix a(4, 2, system.data(), false);
    DMatrix b(4, 1, rhs.data(), false);
    DVector x(2, solution, false);
    EXPECT_EQ(a.SolveSVD(b, x), 0);
    EXPECT_EQ(x.GetData(), solution);
    EXPECT_NEAR(solution[0], 2.0f, 1e-6);
    EXPECT_NEAR(solution[1], 3.0f, 1e-6);
}

TEST(DMatrixStorage, ResizeToTheAllocatedShapeKeepsStorageAndContents) {
    DMatrix m(2, 3);
    m.Fill(4.0f);
    float* before = m.GetData();
    m.Resize(2, 3, true);
    EXPECT_EQ(m.GetData(), before);
    EXPECT_EQ(m.Value(2, 3), 4.0f);
    m.Resize(3, 3, true);
    EXPECT_EQ(m.GetSize(), 9);
    m.Fill(1.0f);  // the new block is fully writable
}

TEST(DMatrixStorage, WrappedBufferIsWrittenThroughAndNeverFreed) {
    float buffer[6] = {1, 2, 3, 4, 5, 6};
    {
        DMatrix view(2, 3, buffer, false);
        EXPECT_EQ(view.Value(2, 2), 4.0f);  // column-major
        view.Ref(1, 3) = 50.0f;
        DMatrix source(2, 3);
        source.Fill(8.0f);
        source.Ref(2, 1) = -1.0f;
        view = source;  // same shape: copied into the caller's buffer
        EXPECT_EQ(view.GetData(), buffer);
        EXPECT_EQ(buffer[1], -1.0f);
        view.Free();
        EXPECT_EQ(view.GetSize(), 0);
    }
    float other[2] = {0, 0};
    {
        DMatrix view(2, 1, other, false);
        view.Resize(4, 4, true);  // drops the view, allocates its own
        view.Fill(3.0f);
    }
    EXPECT_EQ(buffer[0], 8.0f);
    EXPECT_EQ(other[0], 0.0f);
}

TEST(DMatrixArithmetic, AddsAndMultipliesLikeTheTextbook) {
    float av[] = {1, 4, 2, 5, 3, 6};  // [1 2 3; 4 5 6]
    float bv[] = {1, 0, -1, 2, 1, 0};  // [1 2; 0 1; -1 0]
    DMatrix a(2, 3, av, true), b(3, 2, bv, true);
    const DMatrix ab = a * b;
    ASSERT_EQ(ab.GetRows(), 2);
    ASSERT_EQ(ab.GetCols(), 2);
    EXPECT_EQ(ab.Value(1, 1), -2.0f);
    EXPECT_EQ(ab.Value(1, 2), 4.0f);
    EXPECT_EQ(ab.Value(2, 1), -2.0f);
    EXPECT_EQ(ab.Value(2, 2), 13.0f);
    float vv[] = {1, 1, 1};
    const DVector av1 = a * DVector(3, vv, true);
    EXPECT_EQ(av1.AtValue(1), 6.0f);
    EXPECT_EQ(av1.AtValue(2), 15.0f);
    DMatrix sum(a);
    sum += a;
    EXPECT_EQ(sum.Value(2, 3), 12.0f);
    EXPECT_EQ(a.Value(2, 3), 6.0f);
    const DVector empty = DMatrix(2, 0) * DVector(0);
    EXPECT_EQ(empty.AtValue(1), 0.0f);
    EXPECT_EQ(empty.AtValue(2), 0.0f);
}

TEST(DMatrixInverse, InvertsWithPivotingLikeADoublePrecisionReference) {
    float swapped[] = {0, 1, 0, 1, 0, 0, 0, 0, 2};
    const DMatrix p = DMatrix(3, 3, swapped, true).Inverse();
    EXPECT_EQ(p.Value(1, 2), 1.0f);
    EXPECT_EQ(p.Value(2, 1), 1.0f);
    EXPECT_EQ(p.Value(3, 3), 0.5f);
    std::mt19937 rng(5);
    const DMatrix a = RandomMatrix(5, 5, rng);
    cv::Mat reference = ToDouble(a).inv(cv::DECOMP_SVD);
    EXPECT_LE(cv::norm(ToDouble(a.Inverse()) - reference) / cv::norm(reference), 1e-4);
}

TEST(DMatrixInverse, PropagatesNaNInsteadOfTakingItForAZeroRow) {
    DMatrix a(2, 2);
    a.SetIdentity();
    a.Ref(1, 1) = std::numeric_limits<float>::quiet_NaN();
    a.Ref(1, 2) = 0.0f;
    const DMatrix inverse = a.Inverse();
    EXPECT_TRUE(std::isnan(inverse.Value(1, 1)));
}

TEST(LapackArgumentErrors, AreReportedThroughInfoInsteadOfStoppingTheProcess) {
    // A workspace below SGEBRD's minimum, as a fixed-size workspace gives a tall system.
    const int m = 20, n = 2, lwork = 4;
    float a[m * n] = {}, d[n], e[n], tauq[n], taup[n], work[lwork];
    int info = 0;
    testing::internal::CaptureStderr();
    sgebrd_(&m, &n, a, &m, d, e, tauq, taup, work, &lwork, &info);
    const std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_EQ(info, -10);
    EXPECT_NE(complaint.find("SGEBRD parameter number 10"), std::string::npos) << complaint;
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
    EXPECT_DEATH(square.Resize(-1, 4, true), "\nmemory full\n");
}

}  // namespace
