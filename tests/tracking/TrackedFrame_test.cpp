#include "tracking/TrackedFrame.h"

#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "support/RecordingFolder.h"

namespace {

TEST(TrackedFrame, IsAStereoFrameWithAnIndexThatOwnsTheLastPoseGiven) {
    const CDepthMaskRegion region(0, 4, 0, 4, 1.5f, -1.0f);
    auto plane = [](int x, int) { return 1.0f + x; };
    CTrackedFrame frame(MakeFilledImage<std::uint8_t>(8, 6, IPL_DEPTH_8U, [](int, int) { return 200; }).release(),
                        MakeFilledImage<float>(8, 6, IPL_DEPTH_32F, plane).release(),
                        MakeFilledImage<float>(8, 6, IPL_DEPTH_32F, plane).release(),
                        MakeFilledImage<float>(8, 6, IPL_DEPTH_32F, plane).release(), &region, 17);
    EXPECT_EQ(std::make_tuple(frame.GetIndex(), frame.GetPose()), std::make_tuple(17, nullptr));
    EXPECT_EQ(PixelAt<float>(*frame.GetIntensity(), 0, 0), 200.0f);
    EXPECT_FLOAT_EQ(frame.GetCentroidZ(), 3.0f);  // columns 1..3: depth 1 is not beyond 1.5
    frame.SetPose(new CPose(0.0f, 0.0f, 0.1f, 1.0f, 2.0f, 3.0f));
    auto* second = new CPose();
    frame.SetPose(second);  // the first is deleted: the sanitised build reports a leak otherwise
    frame.SetPose(second);  // the pose it holds: kept, not deleted
    EXPECT_EQ(frame.GetPose(), second);
}

}  // namespace
