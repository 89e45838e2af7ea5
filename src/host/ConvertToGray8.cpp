#include "host/ConvertToGray8.h"

#include "image/Image.h"
#include "image/ImageROI.h"

namespace {

// The window is the centre of a 320 x 240 frame, where the head is expected: the stretch then
// follows the face's brightness, not the background's.
constexpr int kWindowX = 80;
constexpr int kWindowY = 60;
constexpr int kWindowWidth = 160;
constexpr int kWindowHeight = 100;

void StretchFloat(CImage& source, CImage* destination) {
    CImageROI window(kWindowX, kWindowY, kWindowWidth, kWindowHeight, 0);
    CImageROI* previous = source.GetROI();
    source.SetROI(&window);
    float minimum = 0.0f;
    float maximum = 0.0f;
    source.MinMaxFP(&minimum, &maximum);
    source.SetROI(previous);
    if (!(maximum > minimum)) maximum = minimum + 255.0f;
    source.ScaleFP(destination, minimum, maximum);
}

}  // namespace

CImage* ConvertToGray8(CImage* source, CImage* destination) {
    if (!source || !source->GetIplImage()) return destination;
    if (!destination) {
        destination = source->CreateLike(IPL_DEPTH_8U);
        if (!destination) return nullptr;
        destination->Set(0);  // a depth converted by no rule below then reads black, not garbage
    }
    switch (source->GetDepth()) {
        case IPL_DEPTH_1U:
            source->BitonalToGrayTo(destination, 0, 255);
            break;
        case IPL_DEPTH_8U:
            source->CopyTo(destination);
            break;
        case IPL_DEPTH_16U:
        case IPL_DEPTH_16S:
            source->ScaleTo(destination);
            break;
        case IPL_DEPTH_32F:
            StretchFloat(*source, destination);
            break;
        default:
            break;
    }
    return destination;
}
