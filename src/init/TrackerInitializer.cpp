#include "init/TrackerInitializer.h"

#include <algorithm>
#include <cmath>

#include "image/Image.h"
#include "init/CandidateDepth.h"
#include "platform/ipl/ipl.h"
#include "tracking/Pose.h"

namespace {

bool Allocated(const CImage* image) { return image && image->GetIplImage() && image->GetImageData(); }

// The candidate's box (corners truncated to int) cut to the image; false when nothing is left.
bool BoxInside(const CFaceCandidate& candidate, const CImage& image, CImageROI& region) {
    const int x = static_cast<int>(candidate.GetLeft());
    const int y = static_cast<int>(candidate.GetTop());
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = std::min(x + static_cast<int>(candidate.GetWidth()), image.GetWidth());
    const int y1 = std::min(y + static_cast<int>(candidate.GetHeight()), image.GetHeight());
    if (x1 <= x0 || y1 <= y0) return false;
    region.Set(x0, y0, x1 - x0, y1 - y0, 0);
    return true;
}

// Truncated toward zero and kept within [low, high] before any conversion: a sum that leaves the
// int range must not reach the cast.
int ClampToInt(double value, int low, int high) {
    if (!(value >= low)) return low;
    if (value > high) return high;
    return static_cast<int>(value);
}

}  // namespace

CTrackerInitializer::CTrackerInitializer(std::istream* in) : selected(candidates.begin()) {
    params.Read(in);
    detector = std::make_unique<CFaceDetector>(params.windowSizes);
}

CTrackerInitializer::~CTrackerInitializer() {
    detector.reset();
    Reset();
}

void CTrackerInitializer::Reset() {
    candidates.clear();
    selected = candidates.begin();
}

int CTrackerInitializer::Detect(CImage* intensity, CImage* depth, CImage* mask, int draw) {
    const int count = intensity ? detector->Detect(*intensity, 0) : 0;
    return Update(&detector->GetDetection(0), count, intensity, depth, mask, draw);
}

int CTrackerInitializer::Update(const facedetect::FaceDetection* detections, int count, CImage* intensity,
                                CImage* depth, CImage* mask, int draw) {
    if (Allocated(intensity)) {
        frameWidth = intensity->GetWidth();
        frameHeight = intensity->GetHeight();
    }
    AgeCandidates();
    for (int i = 0; i < count; ++i) {
        const int hits = detections[i].hits;
        const bool strong = hits >= params.thresholdNbHit;
        const bool keeps = params.thresholdNbHitKeep >= 0 && hits >= params.thresholdNbHitKeep;
        if (strong || keeps) AddDetection(std::make_unique<CFaceCandidate>(detections[i]), strong);
    }
    FilterCandidates(depth, mask);
    const int bestSeen = SelectBestCandidate();
    if (draw && Allocated(intensity)) DrawCandidates(*intensity);
    // Below 0 the count would start tracking without any candidate.
    return bestSeen > std::max(params.nbDetectBeforeInit, 0);
}

void CTrackerInitializer::AgeCandidates() {
    for (auto& candidate : candidates) candidate->Age();
}

void CTrackerInitializer::AddDetection(std::unique_ptr<CFaceCandidate> candidate, bool mayStart) {
    bool merged = false;
    for (auto& existing : candidates) {
        if (existing->Matches(*candidate, params.maxDistanceCorner, params.minCornerMatches)) {
            existing->Merge(*candidate);
            merged = true;
        }
    }
    if (!merged && mayStart) candidates.push_back(std::move(candidate));
}

bool CTrackerInitializer::KeepsCandidate(const CFaceCandidate& c) const {
    return c.GetAge() >= params.thresholdTime && c.GetDepth() <= params.maxDepthMask &&
           c.GetDepth() >= params.minDepthMask && params.topLeftMaskX <= c.GetCentreX() &&
           c.GetCentreX() <= params.bottomRightMaskX && params.topLeftMaskY <= c.GetCentreY() &&
           c.GetCentreY() <= params.bottomRightMaskY;
}

// Without a gap or a share asked for, or with no depth to measure them, the candidate stays.
bool CTrackerInitializer::LooksLikeHead(const CFaceCandidate& c, const cv::Mat& depth, const cv::Mat& mask) const {
    const cv::Rect box(static_cast<int>(c.GetLeft()), static_cast<int>(c.GetTop()), static_cast<int>(c.GetWidth()),
                       static_cast<int>(c.GetHeight()));
    if (params.minFaceDepthShare > 0.0f) {
        const double z = c.GetDepth();
        const double share = FaceDepthShare(depth, box, z - params.sizeFaceZFront, z + params.sizeFaceZBehind);
        if (share < params.minFaceDepthShare) return false;
    }
    if (!(params.minBackgroundGap > 0.0f)) return true;
    const double gap = BackgroundGap(depth, mask, box, c.GetDepth());
    return !(gap < params.minBackgroundGap);
}

void CTrackerInitializer::FilterCandidates(CImage* depth, CImage* mask) {
    const bool usable = Allocated(depth) && Allocated(mask) && depth->GetDepth() == IPL_DEPTH_32F &&
                        depth->GetNChannels() == 1 && mask->GetNChannels() == 1 &&
                        (mask->GetDepth() == IPL_DEPTH_8U || mask->GetDepth() == IPL_DEPTH_1U) &&
                        mask->GetWidth() == depth->GetWidth() && mask->GetHeight() == depth->GetHeight();
    if (!usable) {
        // Without a depth measurement no candidate can be trusted.
        candidates.clear();
        return;
    }
    // The masked depth: the mask mapped onto 0 .. 1 times the depth.
    std::unique_ptr<CImage> weights(depth->CreateLike());
    std::unique_ptr<CImage> grey(mask->GetDepth() == IPL_DEPTH_8U ? nullptr : depth->CreateLike(IPL_DEPTH_8U));
    if (!Allocated(weights.get()) || (mask->GetDepth() != IPL_DEPTH_8U && !Allocated(grey.get()))) {
        candidates.clear();
        return;
    }
    if (grey) {
        mask->BitonalToGrayTo(grey.get(), 0, 1);
        grey->ScaleFP(weights.get(), 0.0f, 1.0f);
    } else {
        mask->ScaleFP(weights.get(), 0.0f, 1.0f);
    }
    weights->Multiply(depth);

    const cv::Mat depthView = iplFullView(depth->GetIplImage());
    const cv::Mat maskView = iplFullView(grey ? grey->GetIplImage() : mask->GetIplImage());
    CImageROI region;
    for (auto it = candidates.begin(); it != candidates.end();) {
        CFaceCandidate& candidate = **it;
        double maskWeight = 0.0;
        double maskedDepth = 0.0;
        if (BoxInside(candidate, *mask, region)) {
            mask->SetROI(&region);
            weights->SetROI(&region);
            maskWeight = mask->Norm(2) / 255.0;
            maskedDepth = weights->Norm(2);
            mask->SetROI(nullptr);
            weights->SetROI(nullptr);
        }
        if (maskWeight <= 1.0) {
            it = candidates.erase(it);
            continue;
        }
        candidate.SetDepth(static_cast<float>(maskedDepth / maskWeight));
        it = KeepsCandidate(candidate) && LooksLikeHead(candidate, depthView, maskView) ? std::next(it)
                                                                                   : candidates.erase(it);
    }
}

int CTrackerInitializer::SelectBestCandidate() {
    int bestSeen = 0;
    selected = candidates.begin();
    for (auto it = candidates.begin(); it != candidates.end(); ++it) {
        if ((*it)->GetSeen() > bestSeen) {
            bestSeen = (*it)->GetSeen();
            selected = it;
        }
    }
    return bestSeen;
}

void CTrackerInitializer::DrawCandidates(CImage& image) const {
    for (auto it = candidates.begin(); it != candidates.end(); ++it) (*it)->Draw(image, it == selected ? 255 : 200);
}

int CTrackerInitializer::Validate(CImage* /*intensity*/, CImage* /*depth*/, CImage* mask, const CPose& pose) {
    if (candidates.empty()) return 1;
    if (!Allocated(mask)) return 0;
    CImageROI region;
    double maskSum = 0.0;
    if (BoxInside(**selected, *mask, region)) {
        mask->SetROI(&region);
        maskSum = mask->Norm(2);
        mask->SetROI(nullptr);
    }
    const int s = static_cast<int>(maskSum);
    if (s <= params.thresholdPixelMask) return 0;
    // A motion without a rotation vector cannot be measured against MAX_ROTATION; the tracker
    // lends one so when its estimate failed its own loss check. Written so that a motion that is
    // not a number stops tracking too.
    if (!pose.IsRotationVectorValid() || !(pose.RotationAngle() <= params.maxRotation)) return 0;
    if (!(pose.TranslationNorm() <= params.maxTranslation)) return 0;
    return s;
}

void CTrackerInitializer::FollowSelected(float dx, float dy) {
    if (!candidates.empty() && std::isfinite(dx) && std::isfinite(dy)) (*selected)->Shift(dx, dy);
}

const CFaceCandidate* CTrackerInitializer::GetSelected() const {
    return candidates.empty() ? nullptr : selected->get();
}

// Without a candidate the region is the whole frame with an empty depth range.
int CTrackerInitializer::GetRegionLeft() const {
    const CFaceCandidate* c = GetSelected();
    if (!c) return 0;
    const double cx = c->GetCentreX();
    return cx <= params.sizeFaceX ? 0 : ClampToInt(cx - params.sizeFaceX, 0, frameWidth);
}

int CTrackerInitializer::GetRegionRight() const {
    const CFaceCandidate* c = GetSelected();
    if (!c) return frameWidth;
    return ClampToInt(c->GetCentreX() + params.sizeFaceX, GetRegionLeft(), frameWidth);
}

int CTrackerInitializer::GetRegionTop() const {
    const CFaceCandidate* c = GetSelected();
    if (!c) return 0;
    const double cy = c->GetCentreY();
    return cy <= params.sizeFaceYAbove ? 0 : ClampToInt(cy - params.sizeFaceYAbove, 0, frameHeight);
}

int CTrackerInitializer::GetRegionBottom() const {
    const CFaceCandidate* c = GetSelected();
    if (!c) return frameHeight;
    return ClampToInt(c->GetCentreY() + params.sizeFaceYBelow, GetRegionTop(), frameHeight);
}

float CTrackerInitializer::GetMinDepth() const {
    const CFaceCandidate* c = GetSelected();
    if (!c) return 0.0f;
    const float z = c->GetDepth();
    return z <= params.sizeFaceZFront ? 0.0f : z - params.sizeFaceZFront;
}

float CTrackerInitializer::GetMaxDepth() const {
    const CFaceCandidate* c = GetSelected();
    return c ? c->GetDepth() + params.sizeFaceZBehind : 0.0f;
}
