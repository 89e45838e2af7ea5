#include "synth/ContactSheet.h"

#include <gtest/gtest.h>

namespace {

TEST(ContactSheet, LaysOutOneRowOfThreeTilesPerFrame) {
    RenderedFrame frame;
    frame.left = cv::Mat(240, 320, CV_8U, cv::Scalar(10));
    frame.right = cv::Mat(240, 320, CV_8U, cv::Scalar(200));
    frame.z = cv::Mat(240, 320, CV_32F, cv::Scalar(1000));
    frame.z(cv::Rect(0, 0, 320, 120)).setTo(500);
    const cv::Mat sheet = MakeContactSheet({{3, &frame}, {4, nullptr}, {5, &frame}}, 500, 1000);
    ASSERT_EQ(sheet.type(), CV_8UC3);
    EXPECT_EQ(sheet.cols, 3 * 320 + 16);
    EXPECT_EQ(sheet.rows, 18 + 2 * 244 + 4);
    // Away from the label: left and right tiles as grey, depth coloured near and far differently.
    EXPECT_EQ(sheet.at<cv::Vec3b>(18 + 200, 4 + 100), cv::Vec3b(10, 10, 10));
    EXPECT_EQ(sheet.at<cv::Vec3b>(18 + 244 + 200, 4 + 324 + 100), cv::Vec3b(200, 200, 200));
    EXPECT_NE(sheet.at<cv::Vec3b>(18 + 50, 4 + 648 + 100), sheet.at<cv::Vec3b>(18 + 200, 4 + 648 + 100));
    EXPECT_TRUE(MakeContactSheet({{1, nullptr}}, 0, 1).empty());
}

}  // namespace
