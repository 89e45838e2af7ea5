// The scene options the tools share: what they accept and what they refuse.
#include "synth/SceneArguments.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

TEST(SceneArguments, HeadAxesAndBackgroundAreTakenAndBadOnesRefused) {
    SceneOptions scene;
    EXPECT_EQ(ParseSceneOption("--head-axes", "85,115,100", scene), SceneOption::kParsed);
    EXPECT_EQ(scene.headSemiAxesMm, cv::Vec3d(85, 115, 100));
    for (const char* bad : {"85,115", "85,0,100", "85,-1,100", "a,b,c", "85,115,100,1"})
        EXPECT_EQ(ParseSceneOption("--head-axes", bad, scene), SceneOption::kBadValue) << bad;
    EXPECT_EQ(scene.headSemiAxesMm, cv::Vec3d(85, 115, 100));

    // A bare name is a photograph of the data folder; a path is taken as it is.
    EXPECT_EQ(ParseSceneOption("--background", "gravel.png", scene), SceneOption::kParsed);
    EXPECT_EQ(scene.backgroundImagePath, DefaultDataDir() + "/gravel.png");
    EXPECT_EQ(ParseSceneOption("--background", "/tmp/wall.png", scene), SceneOption::kParsed);
    EXPECT_EQ(scene.backgroundImagePath, "/tmp/wall.png");
    EXPECT_EQ(ParseSceneOption("--background", "", scene), SceneOption::kBadValue);
    EXPECT_EQ(ParseSceneOption("--no-such-option", "1", scene), SceneOption::kUnknown);
}

TEST(SceneArguments, AnotherWallIsRenderedBehindTheHead) {
    SceneOptions scene;
    ASSERT_EQ(ParseSceneOption("--background", "gravel.png", scene), SceneOption::kParsed);
    const auto gravel = CHeadScene::Create(scene, nullptr);
    const auto brick = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_TRUE(gravel && brick);
    const CRigidMotion pose = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
    const RenderedFrame a = gravel->Render(pose), b = brick->Render(pose);
    // The head alike (its outline's pixels blend in the wall), the wall around it not.
    cv::Mat inner;
    cv::erode(a.headMask, inner, cv::Mat(), cv::Point(-1, -1), 2);
    EXPECT_EQ(cv::norm(a.left, b.left, cv::NORM_L1, inner), 0.0);
    cv::Mat wall;
    cv::bitwise_not(a.headMask * 255, wall);
    EXPECT_GT(cv::norm(a.left, b.left, cv::NORM_L1, wall), 0.0);
    ParseSceneOption("--background", "no-such-photo.png", scene);
    EXPECT_EQ(CHeadScene::Create(scene, nullptr), nullptr);
}
