#include "tracking/PyramidCache.h"

#include "image/Image.h"
#include "image/StereoFrame.h"
#include "platform/ipl/ipl.h"

// A sparse weighted sum over each of intensity and depth: cheap, and different for any two
// frames a camera delivers.
void CPyramidCache::Fingerprint(const CStereoFrame& frame, double print[2]) {
    print[0] = print[1] = 0.0;
    const CImage* images[2] = {frame.GetIntensity(), frame.GetDepth()};
    for (int i = 0; i < 2; ++i) {
        if (!images[i] || !images[i]->GetImageData()) continue;
        const cv::Mat view = iplFullView(images[i]->GetIplImage());
        if (view.type() != CV_32FC1) continue;
        for (int row = 0; row < view.rows; row += 7)
            for (int col = (row * 3) % 11; col < view.cols; col += 11) print[i] += view.at<float>(row, col) * (1 + col);
    }
}

bool CPyramidCache::Key::SameFrame(const Key& other) const {
    return frame == other.frame && print[0] == other.print[0] && print[1] == other.print[1] &&
           levels == other.levels && gradient == other.gradient && erosion == other.erosion &&
           nearest == other.nearest && farthest == other.farthest && depthSmoothing == other.depthSmoothing &&
           depthErosion == other.depthErosion && outlineFill == other.outlineFill &&
           fineSmoothing == other.fineSmoothing;
}

bool CPyramidCache::Key::Serves(const Key& other) const {
    return SameFrame(other) && (window & other.window) == other.window;
}

const CFramePyramid* CPyramidCache::Get(const CStereoFrame& frame, const cv::Rect& window,
                                        const PyramidSettings& settings, const CFramePyramid* keep) {
    Key key;
    key.frame = &frame;
    Fingerprint(frame, key.print);
    key.window = window;
    key.levels = settings.levels;
    key.gradient = settings.gradient;
    key.erosion = settings.erosion;
    key.nearest = settings.nearest;
    key.farthest = settings.farthest;
    key.depthSmoothing = settings.depthSmoothing;
    key.depthErosion = settings.depthErosion;
    key.outlineFill = settings.outlineFill;
    key.fineSmoothing = settings.fineSmoothing;
    ++clock_;
    Slot* oldest = nullptr;
    for (Slot& slot : slots_) {
        if (slot.valid && slot.key.Serves(key)) {
            slot.used = clock_;
            return &slot.pyramid;
        }
        // The same frame over another window (the pairs of a step see the current frame from
        // their own boxes): rebuilt over both, so that the next pair finds it.
        if (slot.valid && &slot.pyramid != keep && slot.key.SameFrame(key)) {
            key.window |= slot.key.window;
            oldest = &slot;
            break;
        }
    }
    if (!oldest)
        for (Slot& slot : slots_)
            if (&slot.pyramid != keep && (!oldest || slot.used < oldest->used)) oldest = &slot;
    ++builds_;
    oldest->valid = oldest->pyramid.Build(frame, key.window, settings.levels, settings.gradient, settings.erosion,
                                          settings.nearest, settings.farthest, settings.depthSmoothing,
                                          settings.depthErosion, settings.outlineFill, settings.fineSmoothing);
    oldest->key = key;
    oldest->used = clock_;
    return oldest->valid ? &oldest->pyramid : nullptr;
}
