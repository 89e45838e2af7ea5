#include "acquisition/StereoCameraSVS.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "image/Image.h"
#include "support/RecordingFolder.h"
#include "support/StereoPairs.h"

namespace {

using test_support::ShiftedLeft;
using test_support::Texture;

constexpr int W = 320;
constexpr int H = 240;
// The valid window of 48 disparities, correlation window 11 and prefilter window 9.
constexpr int X0 = 56, X1 = 264, Y0 = 9, Y1 = 231;
const std::string kCalibration = "FOCAL: 380 380 PRINCIPAL_POINT_LEFT: 160 120 PRINCIPAL_POINT_RIGHT: 160 120 BASELINE: 90\n";
const std::string kNoImage = "No image, timed out...\n";

std::unique_ptr<CImage> Plane(int depth, int channels = 1, int width = W, int height = H) {
    auto image = std::make_unique<CImage>(width, height, depth, channels, 0);
    image->Allocate();
    return image;
}

cv::Mat View(const CImage& image) { return iplFullView(image.GetIplImage()); }

template <typename Call>
std::string Printed(Call call) {
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

class StereoCameraSVSTest : public ::testing::Test {
protected:
    // Every rectification leaves the camera's block in the library's global one.
    void TearDown() override { svsParams = svsDefaultParameters(); }

    // Pairs 1..count of a textured plane seen with disparity 20 (Z = 1710 mm): left k is Texture(k).
    std::string Recorded(int count) {
        for (int k = 1; k <= count; ++k) {
            cv::imwrite(folder.Path("left-" + std::to_string(k) + ".png"), Texture(W, H, k));
            cv::imwrite(folder.Path("right-" + std::to_string(k) + ".png"), ShiftedLeft(Texture(W, H, k), 20));
        }
        return "SOURCE: FILES left-%d.png right-%d.png 1 " + std::to_string(count) + "\n";
    }
    // The camera of a parameter file holding lines; what it prints lands in output.
    std::unique_ptr<CStereoCameraSVS> Camera(const std::string& lines) {
        const std::string file = folder.WriteText("svs.ini", lines);
        std::unique_ptr<CStereoCameraSVS> camera;
        output = Printed([&] { camera = std::make_unique<CStereoCameraSVS>(file.c_str()); });
        return camera;
    }

    RecordingFolder folder;
    std::string output;
    std::unique_ptr<CImage> x = Plane(IPL_DEPTH_32F), y = Plane(IPL_DEPTH_32F), z = Plane(IPL_DEPTH_32F);
};

TEST_F(StereoCameraSVSTest, TakesItsCalibrationInSubsampledPixelsAndProjectsWithItsMatrix) {
    auto camera = Camera("IMAGE_SIZE: 160 120 SUBSAMPLING: 2 1 PIXEL_SIZE: 0.5 FOCAL: 190 190 BASELINE: 75\n"
                         "PRINCIPAL_POINT_LEFT: 330 250 PRINCIPAL_POINT_RIGHT: 334 251 DISPARITIES: 16\n" + Recorded(1));
    EXPECT_EQ(output, "");
    EXPECT_EQ(std::make_tuple(camera->GetMode(), camera->GetWidth(), camera->GetHeight()), std::make_tuple(1, 160, 120));
    EXPECT_FLOAT_EQ(camera->GetFocal(), 190.0f);
    EXPECT_FLOAT_EQ(camera->GetBaseline(), 75.0f);
    EXPECT_FLOAT_EQ(camera->GetImageCenterX(), 166.0f);
    EXPECT_FLOAT_EQ(camera->GetImageCenterY(), 125.0f);
    EXPECT_EQ(camera->GrabFrame(), 0);
    // The default matrix undoes the reconstruction.
    float px = 0, py = 0, pz = 0, u = 0, v = 0;
    svsReconstruct3DFast(&px, &py, &pz, 100.0f, 60.0f, 9.0f * 16, static_cast<svsParameterBlock*>(camera->GetParameters()));
    camera->Project(px, py, pz, u, v);
    EXPECT_NEAR(u, 100.0f, 1e-3);
    EXPECT_NEAR(v, 60.0f, 1e-3);
    camera = Camera("SUBSAMPLING: 1 2 PROJECTION: 2 0 0 1 0 3 0 0 0 0 1 1");
    camera->Project(1.0f, 1.0f, 1.0f, u, v);
    EXPECT_FLOAT_EQ(u, 3.0f / 2 / 2);
    EXPECT_FLOAT_EQ(v, 3.0f / 2 / 2);
}

TEST_F(StereoCameraSVSTest, WithoutACaptureDeviceEveryGrabFailsWithItsMessageAndNothingBreaks) {
    auto camera = Camera(kCalibration);
    EXPECT_EQ(output, "Can't open frame grabber\n");
    for (int grab = 0; grab < 3; ++grab) EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->GrabFrame(), 103); }), kNoImage);
    EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->GetImage(Plane(IPL_DEPTH_8U).get(), 5), 103); }), kNoImage);
    EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->GetDisparity(Plane(IPL_DEPTH_16U).get(), 16), 103); }), kNoImage);
    z->Set(7);
    Printed([&] { EXPECT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), nullptr), 0); });
    EXPECT_EQ(View(*z).at<float>(Y0, X0), 0.0f);  // no match anywhere
    EXPECT_EQ(Printed([&] { camera->SetMode(3); }), "Can't start continuous capture\n");
    EXPECT_EQ(camera->Close(), 0);
    EXPECT_EQ(camera->Close(), 0);
}

TEST_F(StereoCameraSVSTest, RefusedAcquisitionParametersAreNamed) {
    const std::string source = Recorded(1);
    const std::pair<const char*, const char*> cases[] = {
        {"IMAGE_SIZE: 640 480", "VIDEO_ERROR_FRAME_SIZE"}, {"SUBWINDOW: 1 0", "VIDEO_ERROR_SUBWINDOW"},
        {"SUBSAMPLING: 1 3", "VIDEO_ERROR_BIN_MODE"}, {"SUBSAMPLING: 3 1", "VIDEO_ERROR_DEC_MODE"}};
    for (const auto& [line, name] : cases) {
        auto camera = Camera(std::string(line) + "\n" + source);
        EXPECT_EQ(output, std::string("Error in acquisition parameters: ") + name + "\n") << line;
        EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->GrabFrame(), 103); }), kNoImage);
    }
    auto camera = Camera(source);
    EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->ReportError(101, -2), 101); }), "Error in acquisition parameters: \n");
    for (int silent : {0, 104, 110, 120, 200})
        EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->ReportError(silent, 0), silent); }), "");
}

TEST_F(StereoCameraSVSTest, IntensityKindsSelectLeftRightOrColourInto8BitImagesOfItsSize) {
    auto camera = Camera(kCalibration + Recorded(2));
    ASSERT_EQ(camera->GrabFrame(), 0);
    auto image = Plane(IPL_DEPTH_8U);
    for (int kind : {0, 1, 2, 5, 32}) {  // 32 in mode 1 is the left image
        ASSERT_EQ(camera->GetIntensity(image.get(), kind), 0) << kind;
        const cv::Mat expected = kind == 1 ? ShiftedLeft(Texture(W, H, 1), 20) : Texture(W, H, 1);
        EXPECT_EQ(cv::norm(View(*image), expected, cv::NORM_INF), 0) << kind;
    }
    View(*image).setTo(9);
    EXPECT_EQ(camera->GetIntensity(image.get(), 7), 0);
    auto small = Plane(IPL_DEPTH_8U, 1, 160, 120);
    EXPECT_EQ(camera->GetIntensity(small.get(), 5), 110);
    CImage headerOnly(W, H, IPL_DEPTH_8U, 1, 0);
    EXPECT_EQ(camera->GetIntensity(&headerOnly, 5), 110);
    EXPECT_EQ(camera->GetIntensity(nullptr, 5), 110);
    EXPECT_EQ(camera->GetIntensity(Plane(IPL_DEPTH_32F).get(), 5), 110);
    EXPECT_EQ(cv::countNonZero(View(*image) != 9), 0);  // none of these wrote anything

    camera->SetMode(3);
    EXPECT_EQ(static_cast<svsParameterBlock*>(camera->GetParameters())->colour, 1);
    auto colour = Plane(IPL_DEPTH_8U, 4);
    EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->GetIntensity(colour.get(), 32), 103); }), kNoImage);
    ASSERT_EQ(camera->GrabFrame(), 0);
    ASSERT_EQ(camera->GetIntensity(colour.get(), 32), 0);
    const unsigned char gray = Texture(W, H, 2).at<unsigned char>(100, 50);
    EXPECT_EQ(View(*colour).at<cv::Vec4b>(100, 50), cv::Vec4b(gray, gray, gray, 255));
}

TEST_F(StereoCameraSVSTest, TheDisparityLimitIsSixteenTimesTheDisparityCountLessOne) {
    auto camera = Camera(kCalibration + "DISPARITIES: 48\n");
    auto disparity = Plane(IPL_DEPTH_16S);
    View(*disparity).setTo(-16);
    auto* values = reinterpret_cast<std::int16_t*>(disparity->GetImageData());
    auto at = [&](int i, int j) -> std::int16_t& { return values[(j - Y0) * W + (i - X0)]; };
    at(X0, Y0) = 766;
    at(X0 + 1, Y0) = 767;
    at(X0 + 2, Y0) = -1;
    at(X0 + 3, Y0) = 0;
    at(100, 50) = 320;
    ASSERT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), disparity.get()), 0);
    const cv::Mat depth = View(*z);
    EXPECT_NEAR(depth.at<float>(Y0, X0), 380.0 * 90 / (766 / 16.0), 1e-2);
    EXPECT_EQ(depth.at<float>(Y0, X0 + 1), 0.0f);
    EXPECT_EQ(depth.at<float>(Y0, X0 + 2), 0.0f);
    EXPECT_EQ(depth.at<float>(Y0, X0 + 3), 0.0f);  // no point at infinity
    EXPECT_EQ(View(*x).at<float>(Y0, X0 + 1), 0.0f);
    EXPECT_NEAR(depth.at<float>(50, 100), 1710.0, 1e-2);
    EXPECT_NEAR(View(*y).at<float>(50, 100), (50 - 120) * 1710.0 / 380, 1e-2);
}

TEST_F(StereoCameraSVSTest, DisparityComesAtDepth16IntoImagesThatHoldItOnly) {
    auto camera = Camera(kCalibration + Recorded(1));
    ASSERT_EQ(camera->GrabFrame(), 0);
    auto bytes = Plane(IPL_DEPTH_8U);
    View(*bytes).setTo(3);
    EXPECT_EQ(camera->GetDisparity(bytes.get(), 8), 110);
    EXPECT_EQ(cv::countNonZero(View(*bytes) != 3), 0);  // nothing computed
    EXPECT_EQ(camera->GetDisparity(Plane(IPL_DEPTH_16U, 1, 160, 120).get(), 16), 110);
    auto disparity = Plane(IPL_DEPTH_16U);
    EXPECT_EQ(camera->GetDisparity(disparity.get(), 16), 0);
    EXPECT_EQ(Printed([&] { EXPECT_EQ(camera->ComputeStereo(), 103); }), kNoImage);  // no target kept
    // The disparity handed out is the one the camera reconstructs from, inside the valid window only.
    auto z2 = Plane(IPL_DEPTH_32F);
    View(*z2).setTo(12345.0f);
    ASSERT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), disparity.get()), 0);
    ASSERT_EQ(camera->GetXYZ(x.get(), y.get(), z2.get(), nullptr), 0);
    const cv::Rect window(X0, Y0, X1 - X0, Y1 - Y0);
    EXPECT_EQ(cv::norm(View(*z)(window), View(*z2)(window), cv::NORM_INF), 0);
    EXPECT_EQ(cv::countNonZero(View(*z2) == 12345.0f), W * H - window.area());
    cv::Mat close = cv::abs(View(*z)(window) - 1710.0f) < 17.1f;
    EXPECT_GT(cv::countNonZero(close), 0.95 * window.area());
    EXPECT_EQ(camera->GetXYZ(Plane(IPL_DEPTH_32F, 1, 319, 240).get(), y.get(), z.get(), nullptr), 110);
    EXPECT_EQ(camera->GetXYZ(x.get(), y.get(), nullptr, nullptr), 110);
    EXPECT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), bytes.get()), 110);
    EXPECT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), Plane(IPL_DEPTH_16U, 1, 320, 100).get()), 110);
}

TEST_F(StereoCameraSVSTest, RectifiesWithItsOwnParametersWhateverTheGlobalBlockHeld) {
    auto camera = Camera(kCalibration + Recorded(1) + "RIGHT_CAMERA_MATRIX: 380 0 160 0 380 120 0 0 1\n" +
                         "RIGHT_RECTIFIED_PROJECTION: 380 0 165 0 0 380 120 0 0 0 1 0\n");
    ASSERT_EQ(camera->GrabFrame(), 0);
    EXPECT_EQ(std::memcmp(&svsParams, camera->GetParameters(), sizeof svsParams), 0);
    auto right = Plane(IPL_DEPTH_8U);
    ASSERT_EQ(camera->GetIntensity(right.get(), 1), 0);
    const cv::Rect inner(10, 10, 300, 220);  // moved right by 5 pixels
    EXPECT_EQ(cv::norm(View(*right)(inner), ShiftedLeft(Texture(W, H, 1), 20)(inner - cv::Point(5, 0)), cv::NORM_INF), 0);
}

TEST_F(StereoCameraSVSTest, ACameraWithoutGrabberLeavesTheOpenOneAlone) {
    auto live = Camera(kCalibration + Recorded(2));
    ASSERT_EQ(output, "");
    Camera(kCalibration);  // an auxiliary camera comes and goes
    EXPECT_EQ(output, "Can't open frame grabber\n");
    EXPECT_EQ(live->GrabFrame(), 0);
    EXPECT_EQ(live->GrabFrame(), 0);
}

}  // namespace
