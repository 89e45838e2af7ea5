#include "tracking/Pose.h"

#include <gtest/gtest.h>

#include <cmath>
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

cv::Vec3d TranslationOf(const CPose& pose) {
    return {pose.GetTranslation(0), pose.GetTranslation(1), pose.GetTranslation(2)};
}

cv::Vec3d RotationVectorOf(const CPose& pose) {
    return {pose.GetRotation(0), pose.GetRotation(1), pose.GetRotation(2)};
}

cv::Matx33d Rodrigues(const cv::Vec3d& r) {
    cv::Matx33d m;
    cv::Rodrigues(r, m);
    return m;
}

TEST(PoseRotation, MatchesAnIndependentRodriguesForRandomVectors) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> uniform(-2.0f, 2.0f);
    for (int k = 0; k < 20; ++k) {
        const cv::Vec3d r(uniform(rng), uniform(rng), uniform(rng));
        const CPose pose(r[0], r[1], r[2], 0, 0, 0);
        EXPECT_LE(cv::norm(RotationOf(pose) - Rodrigues(r), cv::NORM_INF), 1e-6) << k;
        CPose axisAngle;
        axisAngle.SetFromAxisAngle(r[0], r[1], r[2], 0.5f, 1, 2, 3);
        const cv::Vec3d expected = r * (0.5 / cv::norm(r));
        EXPECT_LE(cv::norm(RotationOf(axisAngle) - Rodrigues(expected), cv::NORM_INF), 1e-6);
        EXPECT_LE(cv::norm(RotationVectorOf(axisAngle) - expected), 1e-6);
    }
}

TEST(PoseRotation, QuarterTurnAboutZMapsXToYAndZeroVectorGivesExactIdentity) {
    const CPose quarter(0, 0, static_cast<float>(M_PI / 2), 0, 0, 0);
    EXPECT_NEAR(quarter.GetRotationMatrix(0, 1), -1.0f, 1e-6);
    EXPECT_NEAR(quarter.GetRotationMatrix(1, 0), 1.0f, 1e-6);
    const CPose still(0, 0, 0, 1, 2, 3);
    EXPECT_EQ(RotationOf(still), cv::Matx33d::eye());
    CPose noAxis;
    noAxis.SetFromAxisAngle(0, 0, 0, 1.0f, 0, 0, 0);
    EXPECT_EQ(RotationOf(noAxis), cv::Matx33d::eye());
}

TEST(PoseAlgebra, ComposeSumsVectorsAndCarriesTranslationThroughTheRunningMatrix) {
    const CPose first(0.1f, -0.2f, 0.3f, 1, 2, 3);
    const CPose second(-0.05f, 0.4f, 0.1f, -1, 0.5f, 2);
    std::unique_ptr<CPose> composed(CPose::ComposeNew(&first, second));
    EXPECT_LE(cv::norm(RotationVectorOf(*composed) - cv::Vec3d(0.05, 0.2, 0.4)), 1e-6);
    const cv::Vec3d t = TranslationOf(first) + RotationOf(first) * TranslationOf(second);
    EXPECT_LE(cv::norm(TranslationOf(*composed) - t), 1e-5);
    const cv::Matx33d product = RotationOf(first) * RotationOf(second);
    EXPECT_LE(cv::norm(RotationOf(*composed) - product, cv::NORM_INF), 1e-6);
    EXPECT_EQ(first.GetTranslation(0), 1.0f);  // the first pose is left as it was
    composed->UpdateRotationMatrix();          // now R follows the summed vector
    EXPECT_LE(cv::norm(RotationOf(*composed) - Rodrigues({0.05, 0.2, 0.4}), cv::NORM_INF), 1e-6);
}

TEST(PoseAlgebra, AMatrixBuiltPoseClearsTheFlagAndFreezesTheRotationMatrix) {
    const float rotation[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};  // column by column: R(2,1) = 1
    const float translation[3] = {4, 5, 6};
    const CPose fromMatrix(rotation, translation);
    EXPECT_FALSE(fromMatrix.IsRotationVectorValid());
    EXPECT_EQ(fromMatrix.GetRotationMatrix(1, 0), 1.0f);
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

TEST(PoseAlgebra, ComposeNewWithoutAFirstPoseCopiesEveryField) {
    const float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float translation[3] = {1, 2, 3};
    CPose second(rotation, translation);
    second.SetWeight(0.25f);
    std::unique_ptr<CPose> copy(CPose::ComposeNew(nullptr, second));
    EXPECT_EQ(copy->GetWeight(), 0.25f);
    EXPECT_FALSE(copy->IsRotationVectorValid());
    EXPECT_EQ(TranslationOf(*copy), TranslationOf(second));
}

TEST(PoseAlgebra, DivideByScalesBothPartsAndShiftAddsTheCrossProduct) {
    CPose pose(0.2f, -0.4f, 0.6f, 2, 4, 6);
    pose.DivideBy(2.0f);
    EXPECT_LE(cv::norm(RotationVectorOf(pose) - cv::Vec3d(0.1, -0.2, 0.3)), 1e-7);
    EXPECT_LE(cv::norm(TranslationOf(pose) - cv::Vec3d(1, 2, 3)), 1e-7);
    EXPECT_LE(cv::norm(RotationOf(pose) - Rodrigues({0.1, -0.2, 0.3}), cv::NORM_INF), 1e-6);
    const cv::Vec3d centre(-10, 20, 5);
    const cv::Vec3d expected = TranslationOf(pose) + RotationVectorOf(pose).cross(centre);
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
    EXPECT_EQ(forward.Value(4, 4), 1.0f);
    EXPECT_EQ(forward.Value(4, 1), 0.0f);
    const DMatrix product = pose.GetInverseTransform() * forward;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) EXPECT_NEAR(product.Value(i, j), i == j ? 1.0f : 0.0f, 1e-4);
}

TEST(PoseText, WritesTranslationThenRotationOnOneLine) {
    std::ostringstream identity;
    CPose().Write(identity);
    EXPECT_EQ(identity.str(), "0 0 0 0 0 0\n");
    std::ostringstream line;
    CPose(0.1f, 0.2f, 0.3f, 0.5f, -1.25f, 2).Write(line);
    EXPECT_EQ(line.str(), "0.5 -1.25 2 0.1 0.2 0.3\n");
    std::istringstream in("0.1 0.2 0.3 0.5 -1.25 2");  // rotation first when read back
    std::ostringstream again;
    CPose(in).Write(again);
    EXPECT_EQ(again.str(), line.str());
    std::istringstream truncated("0.1 0.2");
    EXPECT_EQ(CPose(truncated).RotationAngle(), 0.0f);
}

}  // namespace
