#include "image/SharedSeparable.h"

#include <gtest/gtest.h>

namespace {

using image_kernels::SeparableOutput;

cv::Mat Random(int width, int height) {
    cv::Mat image(height, width, CV_32FC1);
    cv::RNG rng(width * 131 + height);
    rng.fill(image, cv::RNG::UNIFORM, -100.0, 100.0);
    return image;
}

// Against OpenCV's filter, on images narrower and shorter than the kernels (every pixel a border
// pixel), and wide enough for the vector loop and its tail; the 15-tap kernel, and the 3-tap ones
// whose anchors differ from the 5-tap ones' sharing a vertical pass.
TEST(SharedSeparable, GivesWhatEachSeparableFilterGivesWhateverTheSize) {
    const auto& prefilter = image_kernels::Prefilter5();
    const auto& derivative = image_kernels::Derivative5();
    const auto& wide = image_kernels::Gaussian15();
    const auto& difference = image_kernels::HorizontalDifference3();
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(2, 7), cv::Size(5, 3), cv::Size(9, 8), cv::Size(37, 21),
                                cv::Size(184, 174)}) {
        const cv::Mat in = Random(size.width, size.height);
        cv::Mat smooth, alongColumns, alongRows, blurred;
        image_kernels::SeparableShared(in, {SeparableOutput{&prefilter, &prefilter, &smooth},
                                            SeparableOutput{&derivative, &prefilter, &alongColumns},
                                            SeparableOutput{&prefilter, &derivative, &alongRows},
                                            SeparableOutput{&difference, &wide, &blurred}});
        const std::pair<const cv::Mat*, std::pair<const image_kernels::CorrelationKernel*,
                                                  const image_kernels::CorrelationKernel*>>
            expected[] = {{&smooth, {&prefilter, &prefilter}},
                          {&alongColumns, {&derivative, &prefilter}},
                          {&alongRows, {&prefilter, &derivative}},
                          {&blurred, {&difference, &wide}}};
        for (const auto& [got, kernels] : expected) {
            cv::Mat reference;
            image_kernels::Separable(in, reference, *kernels.first, *kernels.second);
            ASSERT_EQ(got->size(), size);
            ASSERT_EQ(got->type(), CV_32FC1);
            EXPECT_LT(cv::norm(*got, reference, cv::NORM_INF), 1e-4) << size;
        }
    }
}

TEST(SharedSeparable, FiltersAnImageIntoItselfAndRefusesWhatItCannotFilter) {
    const auto& prefilter = image_kernels::Prefilter5();
    cv::Mat image = Random(40, 30), expected;
    image_kernels::Separable(image, expected, prefilter, prefilter);
    cv::Mat view = image;  // another header over the same pixels
    image_kernels::SeparableShared(image, {SeparableOutput{&prefilter, &prefilter, &view}});
    EXPECT_LT(cv::norm(view, expected, cv::NORM_INF), 1e-4);

    cv::Mat out;
    const cv::Mat bytes(10, 10, CV_8UC1, cv::Scalar(1));
    EXPECT_THROW(image_kernels::SeparableShared(bytes, {SeparableOutput{&prefilter, &prefilter, &out}}),
                 cv::Exception);
    EXPECT_THROW(image_kernels::SeparableShared(cv::Mat(), {SeparableOutput{&prefilter, &prefilter, &out}}),
                 cv::Exception);
    const image_kernels::CorrelationKernel tooLong{cv::Mat(17, 1, CV_32FC1, cv::Scalar(0.1f)), 8};
    EXPECT_THROW(image_kernels::SeparableShared(image, {SeparableOutput{&tooLong, &prefilter, &out}}),
                 cv::Exception);
}

}  // namespace
