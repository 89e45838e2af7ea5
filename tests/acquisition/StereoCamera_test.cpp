#include "acquisition/StereoCamera.h"

#include <cstdint>
#include <memory>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageROI.h"
#include "support/RecordingFolder.h"

namespace {

// The base class with a calibration of the test's choosing.
class CalibratedCamera : public CStereoCamera {
public:
    CalibratedCamera(float focal = 1.0f, float baseline = 1.0f, float centreX = 160.0f, float centreY = 120.0f) {
        SetCalibration(focal, baseline, centreX, centreY);
    }
    int GrabFrame() override { return OK; }
    int GetIntensity(CImage*, int) override { return NOT_RECORDED; }
    int GetImage(CImage* dst, int kind) override { return GetIntensity(dst, kind); }
    int Close() override { return OK; }
    void* GetParameters() override { return nullptr; }
    int ReportError(int code, int) override { return code; }
};

// Three float images filled with -7, the mark of "not written".
struct XYZ {
    std::unique_ptr<CImage> x, y, z;
    explicit XYZ(int width = 320, int height = 240)
        : x(Blank(width, height)), y(Blank(width, height)), z(Blank(width, height)) {}
    static std::unique_ptr<CImage> Blank(int width, int height) {
        return MakeFilledImage<float>(width, height, IPL_DEPTH_32F, [](int, int) { return -7.0f; });
    }
    int From(CStereoCamera& camera, CImage* disparity) { return camera.GetXYZ(x.get(), y.get(), z.get(), disparity); }
    float X(int c, int r) const { return PixelAt<float>(*x, c, r); }
    float Y(int c, int r) const { return PixelAt<float>(*y, c, r); }
    float Z(int c, int r) const { return PixelAt<float>(*z, c, r); }
};

template <typename Sample>
std::unique_ptr<CImage> Disparity(int depth, int left, int right) {
    return MakeFilledImage<Sample>(320, 240, depth, [=](int x, int) { return x < 160 ? left : right; });
}

TEST(StereoCameraCalibration, PrintsItsDefaultsOnePerLine) {
    std::ostringstream out;
    CalibratedCamera().PrintCalibration(out);
    EXPECT_EQ(out.str(), "BASELINE: 1\nFOCAL: 1\nIMAGE_CENTER: 160 120\n");
}

TEST(StereoCameraReconstruction, RebuildsAPlaneFromEightBitDisparityWithYPointingUp) {
    XYZ defaults;  // the centre pixel comes out at the origin
    CalibratedCamera unit;
    ASSERT_EQ(defaults.From(unit, Disparity<std::uint8_t>(IPL_DEPTH_8U, 2, 2).get()), CStereoCamera::OK);
    EXPECT_EQ(std::make_tuple(defaults.X(160, 119), defaults.Y(160, 119), defaults.Z(160, 119)),
              std::make_tuple(0.0f, 0.0f, 0.5f));

    // A plane 5 units away (disparity 8), except disparity 0 on the left: taken as 1, the far end.
    const float focal = 400.0f, cx = 158.0f, cy = 121.0f;
    CalibratedCamera camera(focal, 0.1f, cx, cy);
    XYZ out;
    ASSERT_EQ(out.From(camera, Disparity<std::uint8_t>(IPL_DEPTH_8U, 0, 8).get()), CStereoCamera::OK);
    EXPECT_FLOAT_EQ(out.Z(200, 7), 5.0f);
    EXPECT_FLOAT_EQ(out.X(200, 7), (200 - cx) * 5.0f / focal);
    EXPECT_FLOAT_EQ(out.Y(200, 7), (239 - 7 - cy) * 5.0f / focal);  // near the top: positive
    EXPECT_LT(out.Y(200, 230), 0.0f);
    EXPECT_FLOAT_EQ(out.Z(0, 0), focal * 0.1f);
}

TEST(StereoCameraReconstruction, ReadsSixteenBitDisparityAsSigned) {
    CalibratedCamera camera(2.0f, 3.0f, 160.0f, 120.0f);
    XYZ out;
    ASSERT_EQ(out.From(camera, Disparity<std::int16_t>(IPL_DEPTH_16S, -4, 12).get()), CStereoCamera::OK);
    EXPECT_EQ(std::make_tuple(out.Z(10, 10), out.Z(200, 10)), std::make_tuple(-1.5f, 0.5f));
    auto unsignedDisparity = Disparity<std::uint16_t>(IPL_DEPTH_16U, 65535, 3);
    ASSERT_EQ(out.From(camera, unsignedDisparity.get()), CStereoCamera::OK);
    EXPECT_EQ(std::make_tuple(out.Z(10, 10), out.Z(200, 10)), std::make_tuple(-6.0f, 2.0f));  // 65535 is -1
    EXPECT_EQ(unsignedDisparity->GetDepth(), IPL_DEPTH_16U);  // the tag is switched back
}

TEST(StereoCameraReconstruction, RefusesWhatItCannotReconstructAndWritesNothing) {
    CalibratedCamera camera;
    XYZ out, small(32, 24);
    EXPECT_EQ(out.From(camera, Disparity<float>(IPL_DEPTH_32F, 2, 2).get()), CStereoCamera::NOT_SUPPORTED);
    EXPECT_EQ(out.From(camera, nullptr), CStereoCamera::NOT_SUPPORTED);
    EXPECT_EQ(small.From(camera, Disparity<std::uint8_t>(IPL_DEPTH_8U, 2, 2).get()), CStereoCamera::NOT_SUPPORTED);
    EXPECT_EQ(camera.GetXYZ(out.x.get(), nullptr, out.z.get(), Disparity<std::uint8_t>(IPL_DEPTH_8U, 2, 2).get()),
              CStereoCamera::NOT_SUPPORTED);
    EXPECT_EQ(std::make_tuple(out.Z(0, 0), small.X(0, 0)), std::make_tuple(-7.0f, -7.0f));
}

TEST(StereoCameraReconstruction, CoversOnlyTheRegionOfADisparityThatCarriesOne) {
    CalibratedCamera camera(4.0f, 1.0f, 160.0f, 120.0f);
    auto disparity = MakeFilledImage<std::uint8_t>(320, 240, IPL_DEPTH_8U, [](int x, int) { return x < 12 ? 2 : 4; });
    CImageROI region(10, 20, 4, 3, 0);
    disparity->SetROI(&region);
    XYZ out(4, 3);
    ASSERT_EQ(out.From(camera, disparity.get()), CStereoCamera::OK);
    EXPECT_EQ(disparity->GetROI(), &region);  // still attached for the caller
    EXPECT_EQ(std::make_tuple(out.Z(0, 0), out.Z(2, 0)), std::make_tuple(2.0f, 1.0f));  // columns 10 and 12
    EXPECT_FLOAT_EQ(out.X(3, 2), (13 - 160.0f) / 4.0f);
    // Row values run from yOffset + height - 1 down to yOffset.
    EXPECT_FLOAT_EQ(out.Y(0, 0), (22 - 120.0f) * 2.0f / 4.0f);
    EXPECT_FLOAT_EQ(out.Y(0, 2), (20 - 120.0f) * 2.0f / 4.0f);
    disparity->SetROI(nullptr);
}

}  // namespace
