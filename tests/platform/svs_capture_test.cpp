#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <chrono>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "support/RecordingFolder.h"
#include "support/StereoPairs.h"

namespace {

using test_support::Texture;
using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

cv::Mat View(unsigned char* pixels, int width, int height, int type = CV_8UC1) {
    return cv::Mat(height, width, type, pixels);
}

class SvsCapture : public ::testing::Test {
protected:
    SvsCapture() : block_(svsDefaultParameters()) {}
    void TearDown() override { svsVideoClose(); }

    // Pairs left-000i.png / right-000i.png for the given indices; left i is Texture(seed i).
    void WritePairs(std::initializer_list<int> indices, int width = 320, int height = 240) {
        for (int i : indices) {
            cv::imwrite(Name("left", i), Texture(width, height, i));
            cv::imwrite(Name("right", i), Texture(width, height, 100 + i));
        }
    }
    std::string Name(const char* side, int index) const {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%04d.png", side, index);
        return folder_.Path(name);
    }
    void UseFiles(int first, int last, double frameRate = 0) {
        block_.source.kind = SVS_SOURCE_FILES;
        std::snprintf(block_.source.left, SVS_MAX_PATH, "%s", folder_.Path("left-%04d.png").c_str());
        std::snprintf(block_.source.right, SVS_MAX_PATH, "%s", folder_.Path("right-%04d.png").c_str());
        block_.source.firstIndex = first;
        block_.source.lastIndex = last;
        block_.source.frameRate = frameRate;
    }

    RecordingFolder folder_;
    svsParameterBlock block_;
    unsigned char* left_ = nullptr;
    unsigned char* right_ = nullptr;
    unsigned char* colour_ = nullptr;
};

TEST(SvsFilePattern, ExpandsOneNumberConversionAndPercentSigns) {
    std::string out = "unchanged";
    ASSERT_TRUE(svs_internal::FormatPattern("a/left-%04d.png", 7, out));
    EXPECT_EQ(out, "a/left-0007.png");
    ASSERT_TRUE(svs_internal::FormatPattern("100%%-%d", 12345, out));
    EXPECT_EQ(out, "100%-12345");
    ASSERT_TRUE(svs_internal::FormatPattern("%02d", 123, out));
    EXPECT_EQ(out, "123");
    out = "unchanged";
    for (const char* bad : {"left.png", "%d%d", "%s", "%n", "%10d", "%-4d", "%04x", "%", "%0d", "trailing%"})
        EXPECT_FALSE(svs_internal::FormatPattern(bad, 1, out)) << bad;
    EXPECT_EQ(out, "unchanged");
}

TEST_F(SvsCapture, WithoutASourceNothingOpensAndNothingArrives) {
    EXPECT_EQ(svsVideoOpen(&block_), -1);
    block_.source.kind = SVS_SOURCE_DEVICE;
    std::snprintf(block_.source.left, SVS_MAX_PATH, "%s", folder_.Path("no-such-device").c_str());
    EXPECT_EQ(svsVideoOpen(&block_), -1);
    std::snprintf(block_.source.left, SVS_MAX_PATH, "99");
    EXPECT_EQ(svsVideoOpen(&block_), -1);
    UseFiles(1, 3);  // no files written
    EXPECT_EQ(svsVideoOpen(&block_), -1);
    EXPECT_EQ(svsVideoOpen(nullptr), -1);
    EXPECT_EQ(svsVideoCheckParameters(&block_), -1);
    EXPECT_EQ(svsVideoStartContinuous(&block_), -1);
    const auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(400), 0);
    EXPECT_LT(MillisecondsSince(start), 200);  // nothing is running: no point in waiting
    left_ = right_ = colour_ = reinterpret_cast<unsigned char*>(this);
    EXPECT_EQ(svsVideoGetImage(&left_, &right_, &colour_), -1);
    EXPECT_EQ(left_, nullptr);
    EXPECT_EQ(right_, nullptr);
    EXPECT_EQ(colour_, nullptr);
    svsVideoHaltContinuous();
    svsVideoClose();
}

TEST_F(SvsCapture, AFileSequenceIsDeliveredInOrderThenEnds) {
    WritePairs({1, 2, 3});
    UseFiles(1, 3);
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    EXPECT_EQ(svsVideoOpen(&block_), -1);  // one grabber a process
    ASSERT_EQ(svsVideoCheckParameters(&block_), 0);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    EXPECT_EQ(svsVideoGetImage(&left_, &right_, &colour_), -1);  // nothing waited for yet
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(svsVideoWaitImage(400), 1);
        ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
        ASSERT_NE(left_, nullptr);
        EXPECT_EQ(colour_, nullptr);
        EXPECT_EQ(cv::norm(View(left_, 320, 240), Texture(320, 240, i), cv::NORM_INF), 0) << i;
        EXPECT_EQ(cv::norm(View(right_, 320, 240), Texture(320, 240, 100 + i), cv::NORM_INF), 0) << i;
    }
    const auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(400), 0);
    EXPECT_LT(MillisecondsSince(start), 200);  // the sequence has ended: nothing will come
    EXPECT_EQ(svsVideoGetImage(&left_, &right_, &colour_), -1);
}

TEST_F(SvsCapture, AMissingOrMisfitFileLosesOnlyItsFrame) {
    WritePairs({1, 4});
    WritePairs({3}, 160, 120);
    UseFiles(1, 4);
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    EXPECT_EQ(svsVideoWaitImage(100), 1);
    EXPECT_EQ(svsVideoWaitImage(100), 1);  // still the same, not yet fetched
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    EXPECT_EQ(svsVideoWaitImage(100), 0);  // 2 is missing
    EXPECT_EQ(svsVideoWaitImage(100), 0);  // 3 has another size
    ASSERT_EQ(svsVideoWaitImage(100), 1);
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    EXPECT_EQ(cv::norm(View(left_, 320, 240), Texture(320, 240, 4), cv::NORM_INF), 0);
}

TEST_F(SvsCapture, WaitingHonoursTheTimeoutAndTheFrameRate) {
    WritePairs({1, 2, 3});
    UseFiles(1, 3, 2.0);  // a frame every 500 ms
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    ASSERT_EQ(svsVideoWaitImage(100), 1);  // the first is due at once
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(150), 0);
    long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 140);
    EXPECT_LT(waited, 480);
    start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(2000), 1);  // due about 350 ms later
    waited = MillisecondsSince(start);
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 1000);
}

TEST_F(SvsCapture, ParameterChecksNameTheRefusedSetting) {
    WritePairs({1});
    UseFiles(1, 1);
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    svsParameterBlock b = block_;
    b.width = 640;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_FRAME_SIZE);
    EXPECT_EQ(svsVideoStartContinuous(&b), VIDEO_ERROR_FRAME_SIZE);
    b = block_;
    b.windowX = 1;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_SUBWINDOW);
    b = block_;
    b.binning = 3;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_BIN_MODE);
    b = block_;
    b.decimation = 3;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_DEC_MODE);
    b.decimation = 2;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_FRAME_SIZE);  // 640 x 480 wanted
    b.width = 80;
    b.height = 60;
    EXPECT_EQ(svsVideoCheckParameters(&b), 0);
    b.windowX = 160;
    EXPECT_EQ(svsVideoCheckParameters(&b), 0);
    b.windowX = 161;
    EXPECT_EQ(svsVideoCheckParameters(&b), VIDEO_ERROR_SUBWINDOW);
}

TEST_F(SvsCapture, TheWindowIsCutOutAndReducedByDecimationAndBinning) {
    WritePairs({1}, 400, 300);
    UseFiles(1, 1);
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    const cv::Mat frame = Texture(400, 300, 1);
    const cv::Rect window(20, 10, 320, 240);
    for (int binning : {1, 2}) {
        svsParameterBlock b = block_;
        b.windowX = window.x;
        b.windowY = window.y;
        b.width = window.width / (2 * binning);
        b.height = window.height / (2 * binning);
        b.decimation = 2;
        b.binning = binning;
        block_.source.firstIndex = 1;
        svsVideoClose();
        ASSERT_EQ(svsVideoOpen(&block_), 0);
        ASSERT_EQ(svsVideoStartContinuous(&b), 0);
        ASSERT_EQ(svsVideoWaitImage(100), 1);
        ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
        const cv::Mat delivered = View(left_, b.width, b.height);
        for (int y = 0; y < b.height; y += 7) {
            for (int x = 0; x < b.width; x += 5) {
                const cv::Point at = window.tl() + cv::Point(x, y) * 2 * binning;
                const double expected = cv::mean(frame(cv::Rect(at, cv::Size(binning, binning))))[0];
                EXPECT_NEAR(delivered.at<unsigned char>(y, x), expected, 0.5 * binning) << x << "," << y;
            }
        }
    }
}

TEST_F(SvsCapture, TheColourFlagAddsTheLeftImageAsRGBA) {
    cv::Mat bgr(240, 320, CV_8UC3, cv::Scalar(10, 20, 200));
    bgr(cv::Rect(0, 0, 160, 240)).setTo(cv::Scalar(200, 100, 0));
    cv::imwrite(Name("left", 1), bgr);
    cv::imwrite(Name("right", 1), Texture(320, 240, 2));
    UseFiles(1, 1);
    block_.colour = 1;
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    ASSERT_EQ(svsVideoWaitImage(100), 1);
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    ASSERT_NE(colour_, nullptr);
    const cv::Mat rgba = View(colour_, 320, 240, CV_8UC4);
    EXPECT_EQ(rgba.at<cv::Vec4b>(100, 300), cv::Vec4b(200, 20, 10, 255));
    EXPECT_EQ(rgba.at<cv::Vec4b>(100, 20), cv::Vec4b(0, 100, 200, 255));
    EXPECT_NEAR(View(left_, 320, 240).at<unsigned char>(100, 300), 0.299 * 200 + 0.587 * 20 + 0.114 * 10, 1);
}

// Side-by-side and two-device capture, with video files standing in for the devices.
class SvsDeviceCapture : public SvsCapture {
protected:
    bool WriteVideo(const std::string& name, const cv::Mat& frame) {
        cv::VideoWriter writer(folder_.Path(name), cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10,
                               frame.size(), frame.channels() == 3);
        if (!writer.isOpened()) return false;
        for (int i = 0; i < 5; ++i) writer.write(frame);
        return true;
    }
    void ExpectFlat(const unsigned char* pixels, double value) {
        double low = 255, high = 0;
        cv::minMaxLoc(View(const_cast<unsigned char*>(pixels), 320, 240), &low, &high);
        EXPECT_NEAR(low, value, 3);
        EXPECT_NEAR(high, value, 3);
    }
};

TEST_F(SvsDeviceCapture, OneDeviceDeliversLeftAndRightSideBySide) {
    cv::Mat frame(240, 640, CV_8UC3, cv::Scalar(60, 60, 60));
    frame(cv::Rect(320, 0, 320, 240)).setTo(cv::Scalar(180, 180, 180));
    ASSERT_TRUE(WriteVideo("stereo.avi", frame));
    block_.source.kind = SVS_SOURCE_DEVICE;
    std::snprintf(block_.source.left, SVS_MAX_PATH, "%s", folder_.Path("stereo.avi").c_str());
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    ASSERT_EQ(svsVideoWaitImage(3000), 1);
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    ExpectFlat(left_, 60);
    ExpectFlat(right_, 180);
    svsVideoHaltContinuous();
    EXPECT_EQ(svsVideoWaitImage(50), 0);
    EXPECT_EQ(svsVideoStartContinuous(&block_), 0);  // restarts after a halt
}

TEST_F(SvsDeviceCapture, TwoDevicesDeliverOneSideEach) {
    ASSERT_TRUE(WriteVideo("left.avi", cv::Mat(240, 320, CV_8UC3, cv::Scalar(90, 90, 90))));
    ASSERT_TRUE(WriteVideo("right.avi", cv::Mat(240, 320, CV_8UC3, cv::Scalar(30, 30, 30))));
    block_.source.kind = SVS_SOURCE_DEVICES;
    std::snprintf(block_.source.left, SVS_MAX_PATH, "%s", folder_.Path("left.avi").c_str());
    std::snprintf(block_.source.right, SVS_MAX_PATH, "%s", folder_.Path("right.avi").c_str());
    ASSERT_EQ(svsVideoOpen(&block_), 0);
    svsParameterBlock tooLarge = block_;
    tooLarge.height = 241;
    EXPECT_EQ(svsVideoStartContinuous(&tooLarge), VIDEO_ERROR_FRAME_SIZE);
    ASSERT_EQ(svsVideoStartContinuous(&block_), 0);
    ASSERT_EQ(svsVideoWaitImage(3000), 1);
    ASSERT_EQ(svsVideoGetImage(&left_, &right_, &colour_), 0);
    ExpectFlat(left_, 90);
    ExpectFlat(right_, 30);
}

}  // namespace
