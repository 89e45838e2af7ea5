#include "platform/svs/svs.h"

#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "support/RecordingFolder.h"
#include "support/StereoPairs.h"

namespace {

using test_support::Texture;
using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

cv::Mat View(unsigned char* pixels, int width = 320, int height = 240) { return cv::Mat(height, width, CV_8UC1, pixels); }

class SvsCapture : public ::testing::Test {
protected:
    void TearDown() override { svsVideoClose(); }

    // Pairs left-000k / right-000k: left k is Texture(k), right k is Texture(100 + k).
    void WritePairs(std::initializer_list<int> indices, int width = 320, int height = 240) {
        for (int k : indices) {
            cv::imwrite(Name("left", k), Texture(width, height, k));
            cv::imwrite(Name("right", k), Texture(width, height, 100 + k));
        }
    }
    std::string Name(const char* side, int index) const {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%04d.png", side, index);
        return folder.Path(name);
    }
    void Source(int kind, const std::string& left, const std::string& right, int first = 0, int last = 0) {
        block.source.kind = kind;
        std::snprintf(block.source.left, SVS_MAX_PATH, "%s", left.c_str());
        std::snprintf(block.source.right, SVS_MAX_PATH, "%s", right.c_str());
        block.source.firstIndex = first;
        block.source.lastIndex = last;
    }
    void Files(int first, int last) {
        Source(SVS_SOURCE_FILES, folder.Path("left-%04d.png"), folder.Path("right-%04d.png"), first, last);
    }
    void Start() {
        ASSERT_EQ(svsVideoOpen(&block), 0);
        ASSERT_EQ(svsVideoStartContinuous(&block), 0);
    }
    int Get() { return svsVideoGetImage(&left, &right, &colour); }

    RecordingFolder folder;
    svsParameterBlock block = svsDefaultParameters();
    unsigned char *left = nullptr, *right = nullptr, *colour = nullptr;
};

TEST_F(SvsCapture, WithoutASourceNothingOpensAndNothingArrives) {
    EXPECT_EQ(svsVideoOpen(&block), -1);
    for (const std::string& device : {folder.Path("no-such-video.avi"), std::string("99")}) {
        Source(SVS_SOURCE_DEVICE, device, "");
        EXPECT_EQ(svsVideoOpen(&block), -1) << device;
    }
    Files(1, 3);  // no files written
    EXPECT_EQ(svsVideoOpen(&block), -1);
    EXPECT_EQ(svsVideoStartContinuous(&block), -1);
    const auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(400), 0);
    EXPECT_LT(MillisecondsSince(start), 200);  // nothing runs: no point in waiting
    left = right = colour = reinterpret_cast<unsigned char*>(this);
    EXPECT_EQ(Get(), -1);
    EXPECT_EQ(left, nullptr);
    EXPECT_EQ(colour, nullptr);
}

TEST_F(SvsCapture, AFileSequenceComesInOrderLosesBadPairsAndEnds) {
    WritePairs({1, 2, 5});
    WritePairs({4}, 160, 120);  // 3 is missing, 4 has another size
    Files(1, 5);
    Start();
    EXPECT_EQ(svsVideoOpen(&block), -1);  // one grabber a process
    EXPECT_EQ(Get(), -1);                 // nothing waited for yet
    for (int k : {1, 2, 3, 4, 5}) {
        const bool lost = k == 3 || k == 4;
        ASSERT_EQ(svsVideoWaitImage(100), lost ? 0 : 1) << k;
        if (lost) continue;
        ASSERT_EQ(Get(), 0);
        EXPECT_EQ(cv::norm(View(left), Texture(320, 240, k), cv::NORM_INF), 0) << k;
        EXPECT_EQ(cv::norm(View(right), Texture(320, 240, 100 + k), cv::NORM_INF), 0) << k;
    }
    const auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(400), 0);
    EXPECT_LT(MillisecondsSince(start), 200);  // ended: nothing will come
}

TEST_F(SvsCapture, WaitingHonoursTheTimeoutAndTheFrameRate) {
    WritePairs({1, 2});
    Files(1, 2);
    block.source.frameRate = 2.0;  // a pair every 500 ms, the first at once
    Start();
    ASSERT_EQ(svsVideoWaitImage(100), 1);
    ASSERT_EQ(Get(), 0);
    auto start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(150), 0);
    EXPECT_GE(MillisecondsSince(start), 140);
    EXPECT_LT(MillisecondsSince(start), 480);
    start = Clock::now();
    EXPECT_EQ(svsVideoWaitImage(2000), 1);  // due about 350 ms later
    EXPECT_GE(MillisecondsSince(start), 200);
    EXPECT_LT(MillisecondsSince(start), 1000);
}

TEST_F(SvsCapture, TheWindowIsCutOutAndReducedByBinningThenDecimation) {
    WritePairs({1}, 400, 300);
    Files(1, 1);
    const cv::Mat frame = Texture(400, 300, 1);
    block.windowX = 20;
    block.windowY = 10;
    block.width = 80;
    block.height = 60;
    block.decimation = block.binning = 2;  // 320 x 240 of the frame, every fourth 2 x 2 mean
    Start();
    ASSERT_EQ(svsVideoWaitImage(100), 1);
    ASSERT_EQ(Get(), 0);
    for (int y = 0; y < 60; y += 7) {
        for (int x = 0; x < 80; x += 5) {
            const double mean = cv::mean(frame(cv::Rect(20 + 4 * x, 10 + 4 * y, 2, 2)))[0];
            EXPECT_NEAR(View(left, 80, 60).at<unsigned char>(y, x), mean, 1.0) << x << "," << y;
        }
    }
}

// A video file stands in for a camera whose frames hold the left and right views side by side.
TEST_F(SvsCapture, ADeviceDeliversLeftAndRightFromEachHalfOfItsFrames) {
    cv::Mat frame(240, 640, CV_8UC3, cv::Scalar(60, 60, 60));
    frame(cv::Rect(320, 0, 320, 240)).setTo(cv::Scalar(180, 180, 180));
    cv::VideoWriter writer(folder.Path("stereo.avi"), cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           10, frame.size());
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 5; ++i) writer.write(frame);
    writer.release();
    Source(SVS_SOURCE_DEVICE, folder.Path("stereo.avi"), "");
    Start();
    ASSERT_EQ(svsVideoWaitImage(3000), 1);
    ASSERT_EQ(Get(), 0);
    double low = 0, high = 0;
    cv::minMaxLoc(View(left), &low, &high);
    EXPECT_NEAR(low, 60, 3);
    EXPECT_NEAR(high, 60, 3);
    cv::minMaxLoc(View(right), &low, &high);
    EXPECT_NEAR(low, 180, 3);
    EXPECT_NEAR(high, 180, 3);
    svsVideoHaltContinuous();
    EXPECT_EQ(svsVideoWaitImage(50), 0);
    EXPECT_EQ(svsVideoStartContinuous(&block), 0);  // restarts after a halt
}

}  // namespace
