#include "acquisition/StereoCameraFiles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "platform/imagefile/imagefile.h"
#include "support/RecordingFolder.h"

namespace {

constexpr int W = 320;
constexpr int H = 240;
constexpr int OK = CStereoCamera::OK;
constexpr int END = CStereoCamera::END_OF_SEQUENCE;

std::unique_ptr<CImage> Floats(float value, int width = W, int height = H) {
    return MakeFilledImage<float>(width, height, IPL_DEPTH_32F, [value](int, int) { return value; });
}
std::unique_ptr<CImage> Bytes(int value, int width = W) {
    return MakeFilledImage<std::uint8_t>(width, H, IPL_DEPTH_8U, [value](int, int) { return value; });
}

class RecordedCameraTest : public ::testing::Test {
protected:
    // A camera over the given configuration; its frames are the folder's "f<index>...".
    std::unique_ptr<CStereoCameraFiles> Camera(const std::string& lines) {
        const std::string config = folder.WriteText("c.cfg", "INPUT_IMAGE_PATH: " + folder.Path("f") + "\n" + lines);
        return std::make_unique<CStereoCameraFiles>(config.c_str());
    }
    void Save(const CImage& image, const std::string& name) { ASSERT_EQ(image.Save(folder.Path(name).c_str(), 0), 1); }
    void SaveIff(const std::string& name, int width, int type, const unsigned char* pixels, const float* range) {
        ASSERT_EQ(ILsave(folder.Path(name).c_str(), width, H, type, pixels, range), 0);
    }
    static std::vector<int> Walk(CStereoCameraFiles& camera, int grabs) {
        std::vector<int> indices;
        while (grabs-- > 0) indices.push_back(camera.GrabFrame() == OK ? camera.GetFileIndex() : END);
        return indices;
    }
    bool DeliversXYZ(CStereoCameraFiles& camera) { return camera.GetXYZ(x.get(), y.get(), z.get(), nullptr) == OK; }

    RecordingFolder folder;
    std::unique_ptr<CImage> intensity = Bytes(0), x = Floats(-1), y = Floats(-1), z = Floats(-1);
};

TEST_F(RecordedCameraTest, WalksBackAndForthUntilTheFrameCountAndPadsTheIndex) {
    CStereoCameraFiles defaults(folder.Path("no-such.cfg").c_str());  // every default, nothing written
    EXPECT_EQ(Walk(defaults, 3), (std::vector<int>{100, 101, END}));
    EXPECT_EQ(Walk(*Camera("FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 3 TOTAL_FRAME: 7"), 8),
              (std::vector<int>{1, 2, 3, 2, 1, 2, 3, END}));
    EXPECT_EQ(Walk(*Camera("FIRST_FILE_INDEX: 0 LAST_FILE_INDEX: 4 STEP_FILE_INDEX: 2 TOTAL_FRAME: 6"), 7),
              (std::vector<int>{0, 2, 4, 2, 0, 2, END}));
    EXPECT_EQ(CStereoCameraFiles::BuildBaseName("s/", 4, 7) + CStereoCameraFiles::BuildBaseName(" ", 4, 0) +
                  CStereoCameraFiles::BuildBaseName(" ", 4, 12345) + CStereoCameraFiles::BuildBaseName(" ", 1, 7),
              "s/0007 0000 12345 7");
    // First index above the last: the same two bounds, walked downwards first.
    EXPECT_EQ(Walk(*Camera("FIRST_FILE_INDEX: 5 LAST_FILE_INDEX: 3"), 4), (std::vector<int>{5, 4, 3, END}));
    EXPECT_EQ(Walk(*Camera("FIRST_FILE_INDEX: 9 LAST_FILE_INDEX: 5 STEP_FILE_INDEX: 2 TOTAL_FRAME: 6"), 7),
              (std::vector<int>{9, 7, 5, 7, 9, 7, END}));
    auto padded = Camera("NB_PADDING_ZERO: 5");
    ASSERT_EQ(padded->GrabFrame(), OK);
    EXPECT_EQ(padded->GetBaseName(), folder.Path("f") + "00100");
}

TEST_F(RecordedCameraTest, DeliversRecordedIntensityAndCoordinateFiles) {
    Save(*MakeFilledImage<std::uint8_t>(W, H, IPL_DEPTH_8U, [](int x, int y) { return (x + y) % 256; }), "f1-i.pgm");
    Save(*MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int x, int) { return 0.01f * (x - 160); }), "f1-x.pgm");
    Save(*Floats(0.5f), "f1-y.pgm");
    Save(*Floats(2.5f), "f1-z.pgm");
    auto camera = Camera("FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 1 INTENSITY_WRITTEN: YES X_COORD_WRITTEN: YES "
                         "Y_COORD_WRITTEN: YES DEPTH_WRITTEN: YES");
    ASSERT_EQ(camera->GrabFrame(), OK);
    ASSERT_EQ(camera->GetImage(intensity.get(), 5), OK);
    ASSERT_TRUE(DeliversXYZ(*camera));
    EXPECT_EQ(std::make_tuple(PixelAt<std::uint8_t>(*intensity, 10, 20), PixelAt<std::uint8_t>(*intensity, 319, 239)),
              std::make_tuple(30, 558 % 256));
    EXPECT_EQ(std::make_tuple(PixelAt<float>(*x, 0, 5), PixelAt<float>(*y, 3, 5), PixelAt<float>(*z, 7, 9)),
              std::make_tuple(0.01f * -160, 0.5f, 2.5f));
    EXPECT_EQ(camera->GetDisparity(intensity.get(), 8), CStereoCamera::NOT_RECORDED);
}

TEST_F(RecordedCameraTest, ReconstructsRecordedDisparityThroughItsCalibration) {
    // A plane 5 units away seen with focal 400 and baseline 0.1: disparity 8.
    Save(*MakeFilledImage<std::uint16_t>(W, H, IPL_DEPTH_16U, [](int, int) { return 8; }), "f1-d.pgm");
    auto camera = Camera("FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 1 DISPARITY_WRITTEN: YES FOCAL: 400 BASELINE: 0.1 "
                         "IMAGE_CENTER: 150 100");
    ASSERT_EQ(camera->GrabFrame(), OK);
    EXPECT_EQ(camera->GetImage(intensity.get(), 5), CStereoCamera::NOT_RECORDED);
    ASSERT_TRUE(DeliversXYZ(*camera));
    EXPECT_EQ(std::make_tuple(PixelAt<float>(*z, 30, 40), PixelAt<float>(*x, 150, 0), PixelAt<float>(*y, 0, 139)),
              std::make_tuple(5.0f, 0.0f, 0.0f));  // the recording's calibration: centre (150, 100)
    auto disparity = MakeFilledImage<std::int16_t>(W, H, IPL_DEPTH_16S, [](int, int) { return 0; });
    ASSERT_EQ(camera->GetDisparity(disparity.get(), 16), OK);
    EXPECT_EQ(PixelAt<std::int16_t>(*disparity, 319, 239), 8);
    EXPECT_EQ(camera->GetDisparity(intensity.get(), 8), CStereoCamera::NOT_SUPPORTED);  // recorded in 16 bits

    auto nothing3D = Camera("FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 1");  // only the caller's disparity is left
    ASSERT_EQ(nothing3D->GrabFrame(), OK);
    EXPECT_EQ(nothing3D->GetXYZ(x.get(), y.get(), z.get(), nullptr), CStereoCamera::NOT_SUPPORTED);
    ASSERT_EQ(nothing3D->GetXYZ(x.get(), y.get(), z.get(), Bytes(4).get()), OK);
    EXPECT_FLOAT_EQ(PixelAt<float>(*z, 0, 0), 0.25f);
}

TEST_F(RecordedCameraTest, ReconstructsIffRangeWithYPointingDown) {
    std::vector<unsigned char> rgb(W * H * 3);
    for (int i = 0; i < W * H * 3; ++i) rgb[i] = static_cast<unsigned char>((i / 3) % 251);  // gray colours
    std::vector<float> inverseDepth(W * H, 0.5f);                                             // a plane at 2
    inverseDepth[0] = 0.0f;                                                                   // nothing measured
    SaveIff("f7.iff", W, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb.data(), inverseDepth.data());
    std::vector<unsigned char> gray(W * H, 0);
    gray[W * H - 1] = 77;
    SaveIff("f8.iff", W, IL_TYPE_GRAY | IL_TYPE_RANGE, gray.data(), inverseDepth.data());
    auto camera = Camera("FILE_FORMAT: FORMAT_IFF FIRST_FILE_INDEX: 7 LAST_FILE_INDEX: 8 INTENSITY_WRITTEN: YES "
                         "FOCAL: 200");
    ASSERT_EQ(camera->GrabFrame(), OK);
    EXPECT_EQ(camera->GetFileName(), folder.Path("f7.iff"));
    ASSERT_EQ(camera->GetImage(intensity.get(), 5), OK);
    EXPECT_EQ(PixelAt<std::uint8_t>(*intensity, 5, 1), (W + 5) % 251);
    ASSERT_TRUE(DeliversXYZ(*camera));
    EXPECT_FLOAT_EQ(PixelAt<float>(*z, 30, 40), 2.0f);
    EXPECT_FLOAT_EQ(PixelAt<float>(*x, 30, 40), (30 - 160.0f) * 2.0f / 200.0f);
    EXPECT_FLOAT_EQ(PixelAt<float>(*y, 30, 40), -(239 - 40 - 120.0f) * 2.0f / 200.0f);  // near the top: negative
    EXPECT_FLOAT_EQ(PixelAt<float>(*z, 0, 0), 1e5f);  // the far plane of the 1e-5 threshold

    ASSERT_EQ(camera->GrabFrame(), OK);  // gray pixels are copied as they are
    ASSERT_EQ(camera->GetImage(intensity.get(), 5), OK);
    EXPECT_EQ(PixelAt<std::uint8_t>(*intensity, 319, 239), 77);
}

TEST_F(RecordedCameraTest, FailsFramesWhosePgmFilesAreMissingOrOfAnotherKind) {
    // Frame 1 fine, 2 missing, 3 narrower, 4 float, 5 truncated, 6 fine but its X, Y, Z are not.
    Save(*Bytes(11), "f1-i.pgm");
    Save(*Bytes(33, W / 2), "f3-i.pgm");
    Save(*Floats(44.0f), "f4-i.pgm");
    Save(*Bytes(55), "f5-i.pgm");
    std::filesystem::resize_file(folder.Path("f5-i.pgm"), std::filesystem::file_size(folder.Path("f5-i.pgm")) - 10);
    Save(*Bytes(66), "f6-i.pgm");
    Save(*Floats(1.0f), "f6-x.pgm");
    Save(*Floats(2.0f), "f6-y.pgm");
    Save(*Floats(3.0f, W, H / 2), "f6-z.pgm");
    auto camera = Camera("FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 6 INTENSITY_WRITTEN: YES X_COORD_WRITTEN: YES "
                         "Y_COORD_WRITTEN: YES DEPTH_WRITTEN: YES");
    ASSERT_EQ(camera->GrabFrame(), OK);
    EXPECT_EQ(camera->GetFailure(), "");
    // Each failure says which file and why.
    const std::string why[] = {"f2-i.pgm does not open: No such file or directory", "f3-i.pgm is not a 320 x 240 8-bit grey",
                               "f4-i.pgm is not a 320 x 240 8-bit grey", "f5-i.pgm truncated"};
    for (int frame = 2; frame <= 5; ++frame) {
        EXPECT_EQ(camera->GrabFrame(), END) << frame;
        EXPECT_NE(camera->GetFailure().find(why[frame - 2]), std::string::npos) << camera->GetFailure();
        EXPECT_NE(camera->GetImage(intensity.get(), 5), OK) << frame;  // nothing of frame 1 instead
    }
    ASSERT_EQ(camera->GrabFrame(), OK);  // the walk went on
    ASSERT_EQ(camera->GetImage(intensity.get(), 5), OK);
    EXPECT_EQ(PixelAt<std::uint8_t>(*intensity, 0, 0), 66);
    EXPECT_EQ(camera->GetXYZ(x.get(), y.get(), z.get(), nullptr), END);
    EXPECT_NE(camera->GetFailure().find("f6-z.pgm is not a 320 x 240 float"), std::string::npos) << camera->GetFailure();
    EXPECT_EQ(PixelAt<float>(*x, 0, 0), -1.0f);  // nothing copied from a bad set
    while (camera->GrabFrame() == OK) {
    }
    EXPECT_EQ(camera->GetFailure(), "end of the recording: all 6 frames of TOTAL_FRAME delivered");
    EXPECT_EQ(camera->GetImage(Bytes(0, 10).get(), 5), CStereoCamera::NOT_SUPPORTED);  // never past its end
}

TEST_F(RecordedCameraTest, FailsIffFramesItCannotDeliver) {
    const std::vector<unsigned char> rgb(W * H * 3, 9);
    const std::vector<float> inverseDepth(W * H, 1.0f);
    SaveIff("f1.iff", W, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb.data(), inverseDepth.data());
    SaveIff("f3.iff", W / 2, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb.data(), inverseDepth.data());
    SaveIff("f4.iff", W, IL_TYPE_COLOR, rgb.data(), nullptr);
    SaveIff("f5.iff", W, IL_TYPE_RANGE, nullptr, inverseDepth.data());
    auto camera = Camera("FILE_FORMAT: FORMAT_IFF FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: 5 INTENSITY_WRITTEN: YES");
    ASSERT_EQ(camera->GrabFrame(), OK);
    // 2 missing, 3 narrower, 4 without range, 5 without the intensity the recording promises.
    for (int frame = 2; frame <= 5; ++frame) {
        EXPECT_EQ(camera->GrabFrame(), END) << frame;
        EXPECT_NE(camera->GetImage(intensity.get(), 5), OK) << frame;
        EXPECT_FALSE(DeliversXYZ(*camera)) << frame;
    }
}

}  // namespace
