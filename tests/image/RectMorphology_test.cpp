#include "image/RectMorphology.h"

#include <limits>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

using image_kernels::Morphology;

cv::Mat OpenCV(const cv::Mat& in, Morphology operation, int radius, double border) {
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * radius + 1, 2 * radius + 1));
    cv::Mat out;
    if (operation == Morphology::kErode)
        cv::erode(in, out, square, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar::all(border));
    else
        cv::dilate(in, out, square, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar::all(border));
    return out;
}

// Masks with holes and specks and depth maps, eroded and dilated with the border set and cleared,
// on images smaller than the square and wide enough for the vector loops and their tails.
TEST(RectMorphology, GivesOpenCVsErosionAndDilationByASquare) {
    cv::RNG rng(3);
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(3, 40), cv::Size(40, 3), cv::Size(37, 29), cv::Size(190, 61)})
        for (const int type : {CV_8UC1, CV_32FC1}) {
            cv::Mat in(size, type);
            if (type == CV_8UC1) {
                cv::Mat noise(size, CV_32FC1);
                rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
                in = (noise > 0.3f);  // 255 or 0
            } else {
                rng.fill(in, cv::RNG::UNIFORM, 300.0, 900.0);
            }
            const double high = type == CV_8UC1 ? 255.0 : std::numeric_limits<float>::max();
            for (const Morphology operation : {Morphology::kErode, Morphology::kDilate})
                for (const int radius : {0, 1, 2, 3})
                    for (const double border : {0.0, high}) {
                        cv::Mat out;
                        image_kernels::RectMorphology(in, out, operation, radius, border);
                        const cv::Mat expected = OpenCV(in, operation, radius, border);
                        ASSERT_EQ(out.type(), type);
                        EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0)
                            << size << " type " << type << " radius " << radius << " border " << border;
                    }
        }
}

TEST(RectMorphology, ErodesAnImageIntoItselfAndRefusesWhatItCannotTake) {
    cv::Mat mask(30, 50, CV_8UC1, cv::Scalar(0));
    mask(cv::Rect(10, 5, 30, 20)).setTo(255);
    const cv::Mat expected = OpenCV(mask, Morphology::kErode, 2, 0.0);
    image_kernels::RectMorphology(mask, mask, Morphology::kErode, 2, 0.0);
    EXPECT_EQ(cv::norm(mask, expected, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::countNonZero(mask), 26 * 16);

    cv::Mat out;
    image_kernels::RectMorphology(cv::Mat(0, 0, CV_8UC1), out, Morphology::kErode, 1, 0.0);
    EXPECT_TRUE(out.empty());
    EXPECT_THROW(image_kernels::RectMorphology(cv::Mat(4, 4, CV_16SC1), out, Morphology::kErode, 1, 0.0),
                 cv::Exception);
    EXPECT_THROW(image_kernels::RectMorphology(mask, out, Morphology::kDilate, -1, 0.0), cv::Exception);
}

}  // namespace
