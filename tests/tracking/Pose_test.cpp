#include "tracking/Pose.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

namespace {

cv::Matx33d RotationOf(const CPose& pose) {
    cv::Matx33d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r(i, j) = pose.GetRotationMatrix(i, j);
    return r;
}

cv::Vec3d TranslationOf(const CPose& p) { return {p.GetTranslation(0), p.GetTranslation(1), p.GetTranslation(2)}; }
cv::Vec3d VectorOf(const CPose& p) { return {p.GetRotation(0), p.GetRotation(1), p.GetRotation(2)}; }

double DistanceToRodrigues(const CPose& pose, const cv::Vec3d& r) {
    cv::Matx33d expected;
    cv::Rodrigues(r, expected);
    return cv::norm(RotationOf(pose) - expected, cv::NORM_INF);
}

TEST(PoseRotation, MatchesAnIndependentRodriguesForRandomVectorsAndAxes) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> uniform(-2.0f, 2.0f);
    for (int k = 0; k < 20; ++k) {
        const cv::Vec3d r(uniform(rng), uniform(rng), uniform(rng));
        EXPECT_LE(DistanceToRodrigues(CPose(r[0], r[1], r[2], 0, 0, 0), r), 1e-6) << k;
        CPose axisAngle;
        axisAngle.SetFromAxisAngle(r[0], r[1], r[2], 0.5f, 1, 2, 3);
        const cv::Vec3d expected = r * (0.5 / cv::norm(r));
        EXPECT_LE(DistanceToRodrigues(axisAngle, expected), 1e-6);
        EXPECT_LE(cv::norm(VectorOf(axisAngle) - expected), 1e-6);
    }
}

TEST(PoseRotation, QuarterTurnAboutZMapsXToYAndNoRotationGivesExactIdentity) {
    const CPose quarter(0, 0, static_cast<float>(M_PI / 2), 0, 0, 0);
    EXPECT_NEAR(quarter.GetRotationMatrix(0, 1), -1.0f, 1e-6);
    EXPECT_NEAR(quarter.GetRotationMatrix(1, 0), 1.0f, 1e-6);
    EXPECT_EQ(RotationOf(CPose(0, 0, 0, 1, 2, 3)), cv::Matx33d::eye());
    CPose noAxis;
    noAxis.SetFromAxisAngle(0, 0, 0, 1.0f, 0, 0, 0);
    EXPECT_EQ(RotationOf(noAxis), cv::Matx33d::eye());
}

TEST(PoseRotation, UpdateRotationVectorRecoversTheVectorOfTheMatrixUpToAHalfTurn) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> uniform(-1.7f, 1.7f);
    for (int k = 0; k < 20; ++k) {
        const cv::Vec3d r(uniform(rng), uniform(rng), uniform(rng));
        CPose pose(static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2]), 0, 0, 0);
        pose.GetRotationVectorRef().Fill(0.0f);
        pose.UpdateRotationVector();
        EXPECT_LE(cv::norm(VectorOf(pose) - r), 1e-5) << k;
    }
    const float columns[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};  // a half turn about z, from a matrix
    CPose half(columns, columns);
    EXPECT_FALSE(half.IsRotationVectorValid());
    half.UpdateRotationVector();
    EXPECT_TRUE(half.IsRotationVectorValid());
    EXPECT_NEAR(std::abs(half.GetRotation(2)), M_PI, 1e-6);
}

TEST(PoseAlgebra, ComposeSumsVectorsAndCarriesTranslationThroughTheRunningMatrix) {
    const CPose first(0.1f, -0.2f, 0.3f, 1, 2, 3);
    const CPose second(-0.05f, 0.4f, 0.1f, -1, 0.5f, 2);
    std::unique_ptr<CPose> composed(CPose::ComposeNew(&first, second));
    EXPECT_LE(cv::norm(VectorOf(*composed) - cv::Vec3d(0.05, 0.2, 0.4)), 1e-6);
    const cv::Vec3d t = TranslationOf(first) + RotationOf(first) * TranslationOf(second);
    EXPECT_LE(cv::norm(TranslationOf(*composed) - t), 1e-5);
    const cv::Matx33d product = RotationOf(first) * RotationOf(second);
    EXPECT_LE(cv::norm(RotationOf(*composed) - product, cv::NORM_INF), 1e-6);
    EXPECT_EQ(first.GetTranslation(0), 1.0f);
    composed->UpdateRotationMatrix();  // now R follows the summed vector
    EXPECT_LE(DistanceToRodrigues(*composed, {0.05, 0.2, 0.4}), 1e-6);
}

TEST(PoseAlgebra, AMatrixBuiltPoseClearsTheFlagAndIsCopiedWholeWithoutAFirstPose) {
    const float rotation[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};  // column by column: R(2,1) = 1
    const float translation[3] = {4, 5, 6};
    CPose fromMatrix(rotation, translation);
    fromMatrix.SetWeight(0.25f);
    EXPECT_EQ(fromMatrix.GetRotationMatrix(1, 0), 1.0f);
    std::unique_ptr<CPose> copy(CPose::ComposeNew(nullptr, fromMatrix));
    EXPECT_FALSE(copy->IsRotationVectorValid());
    EXPECT_EQ(copy->GetWeight(), 0.25f);
    EXPECT_EQ(TranslationOf(*copy), cv::Vec3d(4, 5, 6));
    CPose pose(0.1f, 0.2f, 0.3f, 1, 1, 1);
    pose.Compose(fromMatrix);
    EXPECT_FALSE(pose.IsRotationVectorValid());
    const cv::Matx33d frozen = RotationOf(pose);
    const cv::Vec3d t = TranslationOf(pose);
    pose.UpdateRotationMatrix();
    pose.DivideBy(2.0f);
    EXPECT_EQ(RotationOf(pose), frozen);
    EXPECT_EQ(TranslationOf(pose), t);
}

TEST(PoseAlgebra, DivideByScalesBothPartsAndShiftAddsTheCrossProduct) {
    CPose pose(0.2f, -0.4f, 0.6f, 2, 4, 6);
    pose.DivideBy(2.0f);
    EXPECT_LE(cv::norm(VectorOf(pose) - cv::Vec3d(0.1, -0.2, 0.3)), 1e-7);
    EXPECT_LE(cv::norm(TranslationOf(pose) - cv::Vec3d(1, 2, 3)), 1e-7);
    EXPECT_LE(DistanceToRodrigues(pose, {0.1, -0.2, 0.3}), 1e-6);
    const cv::Vec3d centre(-10, 20, 5);
    const cv::Vec3d expected = TranslationOf(pose) + VectorOf(pose).cross(centre);
    pose.ShiftRotationCentre(centre[0], centre[1], centre[2]);
    EXPECT_LE(cv::norm(TranslationOf(pose) - expected), 1e-5);
    CPose still(0, 0, 0, 1, 2, 3);
    still.ShiftRotationCentre(7, 8, 9);
    EXPECT_EQ(TranslationOf(still), cv::Vec3d(1, 2, 3));
}

TEST(PoseTransform, MapsPointsAndInvertsTheHomogeneousMatrix) {
    CPose pose(0.3f, 0.1f, -0.7f, 10, -20, 500);
    float x = 1.5f, y = -2.0f, z = 800.0f;
    const cv::Vec3d expected = RotationOf(pose) * cv::Vec3d(x, y, z) + TranslationOf(pose);
    pose.TransformPoint(x, y, z);
    EXPECT_LE(cv::norm(cv::Vec3d(x, y, z) - expected), 1e-3);
    const DMatrix forward = pose.GetTransform();
    EXPECT_EQ(forward.Value(3, 4), 500.0f);
    EXPECT_EQ(forward.Value(4, 1), 0.0f);
    const DMatrix product = pose.GetInverseTransform() * forward;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) EXPECT_NEAR(product.Value(i, j), i == j ? 1.0f : 0.0f, 1e-4);
}

TEST(PoseText, WritesTranslationThenRotationAndReadsRotationFirst) {
    std::ostringstream identity, line, again;
    CPose().Write(identity);
    EXPECT_EQ(identity.str(), "0 0 0 0 0 0\n");
    CPose(0.1f, 0.2f, 0.3f, 0.5f, -1.25f, 2).Write(line);
    EXPECT_EQ(line.str(), "0.5 -1.25 2 0.1 0.2 0.3\n");
    std::istringstream in("0.1 0.2 0.3 0.5 -1.25 2"), truncated("0.1 0.2");
    CPose(in).Write(again);
    EXPECT_EQ(again.str(), line.str());
    EXPECT_EQ(CPose(truncated).RotationAngle(), 0.0f);
}

}  // namespace
