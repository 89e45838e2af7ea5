#include "acquisition/StereoCameraSVS.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/Image.h"
#include "support/RecordingFolder.h"
#include "support/StereoPairs.h"

namespace {

using test_support::RightOfPlane;
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

// The points beside the valid window: a plane at 1710 mm reaches the image's sides with the
// whole width matched, and only the valid window without.
TEST_F(StereoCameraSVSTest, AcrossTheWholeWidthThePointsBesideTheValidWindowAreWhereTheyAre) {
    const std::string source = Recorded(1);
    for (const std::string matcher : {"", "MATCHER: SEMI_GLOBAL LEFT_RIGHT_CHECK: 1\n"}) {
        for (const bool whole : {false, true}) {
            auto camera = Camera(kCalibration + source + matcher + (whole ? "FULL_WIDTH: YES\n" : ""));
            ASSERT_EQ(camera->GrabFrame(), 0);
            View(*z).setTo(0);  // what the window leaves is not written
            ASSERT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), nullptr), 0);
            int besides = 0, right = 0;
            for (int j = 20; j < H - 20; ++j)
                for (int i = 30; i < W - 8; ++i) {
                    if (i >= X0 && i < X1) continue;
                    const float depth = View(*z).at<float>(j, i);
                    if (depth == 0.0f) continue;
                    ++besides;
                    right += std::fabs(depth - 1710.0f) < 20.0f &&
                             std::fabs(View(*x).at<float>(j, i) - (i - 160) * depth / 380.0f) < 1.0f;
                }
            const int columns = (X0 - 30) + (W - 8 - X1);
            if (whole) {
                EXPECT_GT(besides, 0.95 * columns * (H - 40)) << matcher;
                EXPECT_GT(right, 0.98 * besides) << matcher;
            } else {
                EXPECT_EQ(besides, 0) << matcher;
            }
        }
    }
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

// A camera with lens distortion looking at a textured plane whose disparity in the rectified
// pair is d(x, y) = fB / Z0 - dx + slopeY (y - 120): the rectified right principal point lies dx
// pixels right of the left one (as stereoRectify gives without CALIB_ZERO_DISPARITY), and the plane
// tilts back towards the top when slopeY > 0. The raw images are what the lenses would show.
class DistortedRig {
public:
    static constexpr double kFocal = 380, kBaseline = 90, kRightCentreX = 170;

    DistortedRig(RecordingFolder& folder, double depthMm, double slopeY) : depthMm_(depthMm), slopeY_(slopeY) {
        const cv::Mat left = Texture(W, H, 31);
        const cv::Mat right = RightOfPlane(left, Disparity(0, 120) + slopeY * -120.0, 0.0, slopeY);
        cv::imwrite(folder.Path("raw-left-1.png"), Raw(left, kLeftCamera, kLeftDistortion, 160));
        cv::imwrite(folder.Path("raw-right-1.png"), Raw(right, kRightCamera, kRightDistortion, kRightCentreX));
    }

    // The disparity the matcher finds at left pixel (x, y).
    double Disparity(int, int y) const {
        return kFocal * kBaseline / depthMm_ - (kRightCentreX - 160) + slopeY_ * (y - 120);
    }
    // The true depth there: the matcher's disparity plus the one of a point at infinity.
    double Depth(int x, int y) const { return kFocal * kBaseline / (Disparity(x, y) + (kRightCentreX - 160)); }

    static std::string ParameterFile() {
        return "DISPARITIES: 32\n"
               "LEFT_CAMERA_MATRIX: 382 0 158 0 382 121 0 0 1 LEFT_DISTORTION: 5 -0.12 0.03 0 0 0\n"
               "LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0\n"
               "RIGHT_CAMERA_MATRIX: 379 0 161 0 379 119 0 0 1 RIGHT_DISTORTION: 5 -0.11 0.02 0 0 0\n"
               "RIGHT_RECTIFIED_PROJECTION: 380 0 170 -34200 0 380 120 0 0 0 1 0\n"
               "SOURCE: FILES raw-left-%d.png raw-right-%d.png 1 1\n";
    }

private:
    static constexpr double kLeftCamera[9] = {382, 0, 158, 0, 382, 121, 0, 0, 1};
    static constexpr double kLeftDistortion[5] = {-0.12, 0.03, 0, 0, 0};
    static constexpr double kRightCamera[9] = {379, 0, 161, 0, 379, 119, 0, 0, 1};
    static constexpr double kRightDistortion[5] = {-0.11, 0.02, 0, 0, 0};

    // raw(u) = rectified(where the rectification takes raw pixel u).
    static cv::Mat Raw(const cv::Mat& rectified, const double camera[9], const double distortion[5], double centreX) {
        std::vector<cv::Point2f> pixels, moved;
        for (int v = 0; v < H; ++v)
            for (int u = 0; u < W; ++u) pixels.emplace_back(static_cast<float>(u), static_cast<float>(v));
        const cv::Matx33d projection(kFocal, 0, centreX, 0, kFocal, 120, 0, 0, 1);
        cv::undistortPoints(pixels, moved, cv::Matx33d(camera), cv::Mat(1, 5, CV_64F, const_cast<double*>(distortion)),
                            cv::noArray(), projection);
        cv::Mat mapX(H, W, CV_32F), mapY(H, W, CV_32F), raw;
        for (int k = 0; k < W * H; ++k) {
            mapX.at<float>(k / W, k % W) = moved[k].x;
            mapY.at<float>(k / W, k % W) = moved[k].y;
        }
        cv::remap(rectified, raw, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
        return raw;
    }

    double depthMm_, slopeY_;
};

struct PlaneFigures {
    double matched = 0.0;           // share of the inner window with depth
    double medianErrorPx = 0.0;     // depth errors as disparity, signed
    double medianAbsErrorPx = 0.0;
    double worstLateralMm = 0.0;    // largest error of X or Y at the pixels with depth
};

// The camera's X, Y, Z against the rig's plane over the valid window less a margin.
PlaneFigures MeasurePlane(const DistortedRig& rig, const CImage& x, const CImage& y, const CImage& z) {
    PlaneFigures figures;
    std::vector<double> errors, absolute;
    int pixels = 0;
    for (int j = 40; j < H - 40; ++j)
        for (int i = 90; i < W - 90; ++i) {
            ++pixels;
            const double depth = View(z).at<float>(j, i);
            if (depth <= 0) continue;
            const double truth = rig.Depth(i, j);
            const double asDisparity = DistortedRig::kFocal * DistortedRig::kBaseline * (1 / truth - 1 / depth);
            errors.push_back(asDisparity);
            absolute.push_back(std::fabs(asDisparity));
            // X about the mean of the principal points, Y down: the camera's own calibration.
            const double lateral = std::max(std::fabs(View(x).at<float>(j, i) - (i - 165) * depth / DistortedRig::kFocal),
                                            std::fabs(View(y).at<float>(j, i) - (j - 120) * depth / DistortedRig::kFocal));
            figures.worstLateralMm = std::max(figures.worstLateralMm, lateral);
        }
    if (errors.empty()) return figures;
    figures.matched = static_cast<double>(errors.size()) / pixels;
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    std::nth_element(absolute.begin(), absolute.begin() + absolute.size() / 2, absolute.end());
    figures.medianErrorPx = errors[errors.size() / 2];
    figures.medianAbsErrorPx = absolute[absolute.size() / 2];
    return figures;
}

// Rectification (both sides, lens distortion, principal points apart), matching with either
// matcher and reconstruction, end to end from raw files: a wrong side, a row off, a misplaced
// principal point or a wrong disparity scale all move the plane by a pixel of disparity or more.
TEST_F(StereoCameraSVSTest, APlaneSeenThroughDistortingLensesComesOutWhereItIs) {
    const std::string matchers[] = {"", "MATCHER: SEMI_GLOBAL CORRELATION_WINDOW: 5 SMOOTHNESS: 50 200 SUBPIXEL_WINDOW: 7\n"};
    for (double slopeY : {0.0, 0.08}) {  // fronto-parallel, then tilted: depth changes from row to row
        const DistortedRig rig(folder, 1200.0, slopeY);
        for (const std::string& matcher : matchers) {
            auto camera = Camera(DistortedRig::ParameterFile() + matcher);
            ASSERT_EQ(output, "");
            ASSERT_EQ(camera->GrabFrame(), 0);
            ASSERT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), nullptr), 0);
            const PlaneFigures figures = MeasurePlane(rig, *x, *y, *z);
            const std::string what = "tilt " + std::to_string(slopeY) + " " + matcher;
            EXPECT_GT(figures.matched, 0.95) << what;
            EXPECT_NEAR(figures.medianErrorPx, 0.0, 0.04) << what;
            EXPECT_LT(figures.medianAbsErrorPx, 0.1) << what;
            EXPECT_LT(figures.worstLateralMm, 0.01 * 1200.0) << what;
        }
    }
}

TEST_F(StereoCameraSVSTest, ACameraWhoseFileIsRefusedStartsFromTheLibraryDefaultsNotTheLastCamera) {
    {
        auto first = Camera(kCalibration + Recorded(1) + "DISPARITIES: 32\n");
        ASSERT_EQ(first->GrabFrame(), 0);  // its block is now the library's global one
    }
    testing::internal::CaptureStderr();
    auto refused = Camera("DISPARITIES: many\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
    const svsParameterBlock defaults = svsDefaultParameters();
    EXPECT_EQ(std::memcmp(refused->GetParameters(), &defaults, sizeof defaults), 0);
    EXPECT_EQ(output, "Can't open frame grabber\n");  // no capture source of the first camera's
}

}  // namespace
