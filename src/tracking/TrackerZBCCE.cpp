#include "tracking/TrackerZBCCE.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "acquisition/StereoCamera.h"
#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "tracking/TrackedFrame.h"

namespace {

constexpr int kNormL2 = 4;
constexpr float kPreviousWeight = 1.0f;

// The frame after the newest in the source's list; null when there is none.
CTrackedFrame* PreviousFrame(const CStereoSource& source) {
    const CStereoSource::FrameList& frames = source.GetFrames();
    if (frames.size() < 2) return nullptr;
    return std::next(frames.begin())->get();
}

const float* FloatRow(const CImage* image, int row) {
    return reinterpret_cast<const float*>(image->GetImageData() + static_cast<long>(row) * image->GetWidthStep());
}

}  // namespace

CTrackerZBCCE::CTrackerZBCCE(std::istream& configuration)
    : parameters(configuration), estimator(parameters.lambda, parameters.gradient) {
    OpenOutputs();
}

CTrackerZBCCE::CTrackerZBCCE(const CTrackerParameters& trackerParameters)
    : parameters(trackerParameters), estimator(parameters.lambda, parameters.gradient) {
    OpenOutputs();
}

CTrackerZBCCE::~CTrackerZBCCE() { ClearMatches(); }

// An output that cannot be created is silently left out.
void CTrackerZBCCE::OpenOutputs() {
    const auto open = [](const std::string& name, std::unique_ptr<std::ofstream>& stream) {
        if (name.empty()) return;
        stream = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::trunc);
        if (!stream->is_open()) stream.reset();
    };
    open(parameters.resultsFileName, resultsFile);
    open(parameters.posesFileName, posesFile);
}

int CTrackerZBCCE::Track(CStereoSource& source) {
    CTrackedFrame* current = source.GetCurrentFrame();
    if (!current) return 1;
    SelectMatches(source, current, parameters.matchFunction);
    // "PROJECTION: PERSPECTIVE" in the source's configuration selects the perspective image model,
    // with the calibration the frames' pixel scales came from.
    CStereoCamera* camera = source.GetCamera();
    const bool perspective =
        source.GetParameters().projection == CStereoSourceParameters::PROJECTION_PERSPECTIVE && camera;
    estimator.SetPerspectiveFocal(perspective ? camera->GetFocal() : 0.0f);
    for (auto& match : matches)
        match->SetRelativePose(EstimateMotionInRegion(match->GetReference(), match->GetCurrent(), source.GetRegion()));
    current->SetPose(MergePoses(parameters.mergePose));
    if (resultsFile) WriteResults(*resultsFile);
    if (posesFile) current->GetPose()->Write(*posesFile);
    return 1;
}

CPose* CTrackerZBCCE::EstimateMotionInRegion(CTrackedFrame* reference, CTrackedFrame* current,
                                             const CImageROI* region) {
    return estimator.EstimateMotionInRegion(reference, current, region);
}

CPose* CTrackerZBCCE::GetFirstMatchMotion() {
    if (matches.empty() || !matches.front()->GetRelativePose()) {
        noMotion.SetIdentity();
        return &noMotion;
    }
    return matches.front()->GetRelativePose();
}

int CTrackerZBCCE::MaxBestMatches() const { return std::max(parameters.maxBestMatches, 1); }

void CTrackerZBCCE::AddMatch(CTrackedFrame* reference, CTrackedFrame* current, float weight) {
    if (reference && current) matches.push_front(std::make_unique<CFrameMatch>(reference, current, weight));
}

void CTrackerZBCCE::SelectMatches(CStereoSource& source, CTrackedFrame* current, int matchFunction) {
    ClearMatches();
    trackedFrame = current;
    const CStereoSource::FrameList& frames = source.GetFrames();
    if (frames.empty()) return;
    switch (matchFunction) {
        case CTrackerParameters::MATCH_FIRST:
            AddMatch(frames.back().get(), frames.front().get(), 0.0f);
            return;
        case CTrackerParameters::MATCH_FIRST_AS_END:
            AddMatch(frames.front().get(), frames.back().get(), 0.0f);
            return;
        case CTrackerParameters::MATCH_INTENSITY:
        case CTrackerParameters::MATCH_INTENSITY_DYNAMIC:
        case CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS:
        case CTrackerParameters::MATCH_COVARIANCE:
        case CTrackerParameters::MATCH_COVARIANCE_DYNAMIC:
            AddKeyframeCandidates(source, current, matchFunction);
            return;
        default:  // MATCH_PREVIOUS, and any code outside the table
            AddMatch(PreviousFrame(source), current, kPreviousWeight);
            return;
    }
}

void CTrackerZBCCE::AddKeyframeCandidates(CStereoSource& source, CTrackedFrame* current, int matchFunction) {
    const bool covariance = matchFunction == CTrackerParameters::MATCH_COVARIANCE ||
                            matchFunction == CTrackerParameters::MATCH_COVARIANCE_DYNAMIC;
    for (const auto& stored : source.GetFrames()) {
        CTrackedFrame* frame = stored.get();
        if (frame->GetIndex() == current->GetIndex()) continue;
        float score;
        if (covariance) {
            // A frame without a pose counts as the identity, carrying no uncertainty.
            const CPose* pose = frame->GetPose();
            score = SquaredIntensityDifference(frame->GetIntensity(), current->GetIntensity()) +
                    (pose ? pose->GetWeight() : 0.0f);
        } else {
            score = IntensityDistance(frame, current);
        }
        AddMatch(frame, current, score);
    }
    CTrackedFrame* previous = PreviousFrame(source);
    if (matches.empty()) {
        AddMatch(previous, current, covariance ? 0.0f : kPreviousWeight);
        return;
    }
    SortMatchesByWeight();
    const int kept = MaxBestMatches();
    while (static_cast<int>(matches.size()) > kept) matches.pop_back();

    const int currentIndex = current->GetIndex();
    if (matchFunction == CTrackerParameters::MATCH_INTENSITY_DYNAMIC ||
        matchFunction == CTrackerParameters::MATCH_COVARIANCE_DYNAMIC) {
        // Keyframes only pay off when an older one is among the best; otherwise the previous frame.
        const bool olderKeyframe = std::any_of(matches.begin(), matches.end(), [&](const auto& match) {
            return match->GetReference()->GetIndex() < currentIndex - kept;
        });
        if (!olderKeyframe) {
            ClearMatches();
            AddMatch(previous, current, kPreviousWeight);
        }
    } else if (matchFunction == CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS) {
        const bool hasPrevious = std::any_of(matches.begin(), matches.end(), [&](const auto& match) {
            return match->GetReference()->GetIndex() == currentIndex - 1;
        });
        if (!hasPrevious && previous) {
            matches.pop_front();
            AddMatch(previous, current, kPreviousWeight);
        }
    }
}

void CTrackerZBCCE::SortMatchesByWeight() {
    for (auto i = matches.begin(); i != matches.end(); ++i)
        for (auto j = std::next(i); j != matches.end(); ++j)
            if ((*j)->GetWeight() < (*i)->GetWeight()) std::swap(*i, *j);
}

float CTrackerZBCCE::IntensityDistance(CTrackedFrame* stored, CTrackedFrame* current) {
    return static_cast<float>(current->GetIntensity()->Norm(stored->GetIntensity(), kNormL2));
}

float CTrackerZBCCE::SquaredIntensityDifference(CImage* a, CImage* b) {
    if (!a || !b || a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight()) return 0.0f;
    float sum = 0.0f;
    for (int row = 0; row < a->GetHeight(); ++row) {
        const float* pa = FloatRow(a, row);
        const float* pb = FloatRow(b, row);
        for (int col = 0; col < a->GetWidth(); ++col) {
            const float d = pa[col] - pb[col];
            sum += d * d;
        }
    }
    return sum;
}

// The candidate absolute pose of the tracked frame through one match.
CPose* CTrackerZBCCE::CandidatePose(const CFrameMatch& match) const {
    const bool rolesExchanged = match.GetReference() == trackedFrame && match.GetCurrent() != trackedFrame;
    return rolesExchanged ? match.GetReferenceAbsolutePose() : match.GetAbsolutePose();
}

// Merge weights of the records: equal for POSE_AVERAGE, 1/weight for the weighted merges. A
// record of weight 0 is a perfect match (an identical image, or a mode that scores nothing):
// the limit of 1/weight then leaves the records of weight 0 alone, counted equally.
std::vector<double> CTrackerZBCCE::MergeCoefficients(int mergePose) const {
    std::vector<double> coefficients;
    const bool weighted = mergePose == CTrackerParameters::POSE_WEIGHTED_AVERAGE ||
                          mergePose == CTrackerParameters::POSE_COVARIANCE;
    const bool anyZero = std::any_of(matches.begin(), matches.end(),
                                     [](const auto& match) { return match->GetWeight() == 0.0f; });
    double total = 0.0;
    for (const auto& match : matches) {
        const float w = match->GetWeight();
        double c = 1.0;
        if (weighted) c = anyZero ? (w == 0.0f ? 1.0 : 0.0) : (std::isfinite(w) && w > 0.0f ? 1.0 / w : 0.0);
        coefficients.push_back(c);
        total += c;
    }
    if (!(total > 0.0)) coefficients.assign(matches.size(), 1.0);
    return coefficients;
}

CPose* CTrackerZBCCE::MergePoses(int mergePose) {
    if (matches.empty()) return new CPose();
    if (mergePose != CTrackerParameters::POSE_AVERAGE && mergePose != CTrackerParameters::POSE_WEIGHTED_AVERAGE &&
        mergePose != CTrackerParameters::POSE_COVARIANCE) {
        CPose* first = CandidatePose(*matches.front());  // POSE_FIRST
        return first ? first : new CPose();
    }
    // Weighted means of the candidates' rotation vectors and translations: the candidates are
    // estimates of one pose, close to each other.
    const std::vector<double> coefficients = MergeCoefficients(mergePose);
    double sum = 0.0, rotation[3] = {0, 0, 0}, translation[3] = {0, 0, 0};
    std::size_t k = 0;
    for (const auto& match : matches) {
        const std::unique_ptr<CPose> candidate(CandidatePose(*match));
        const double c = coefficients[k++];
        if (!candidate || c == 0.0) continue;
        for (int i = 0; i < 3; ++i) {
            rotation[i] += c * candidate->GetRotation(i);
            translation[i] += c * candidate->GetTranslation(i);
        }
        sum += c;
    }
    if (!(sum > 0.0)) return new CPose();
    auto* merged = new CPose(static_cast<float>(rotation[0] / sum), static_cast<float>(rotation[1] / sum),
                             static_cast<float>(rotation[2] / sum), static_cast<float>(translation[0] / sum),
                             static_cast<float>(translation[1] / sum), static_cast<float>(translation[2] / sum));
    if (mergePose == CTrackerParameters::POSE_COVARIANCE) {
        // 1/sum(1/weight): the uncertainty the covariance matching adds to this frame's scores.
        double inverseSum = 0.0;
        bool perfect = false;
        for (const auto& match : matches) {
            perfect = perfect || match->GetWeight() == 0.0f;
            inverseSum += 1.0 / match->GetWeight();
        }
        merged->SetWeight(perfect || !(inverseSum > 0.0) ? 0.0f : static_cast<float>(1.0 / inverseSum));
    }
    return merged;
}

void CTrackerZBCCE::WriteResults(std::ostream& out) {
    for (const auto& match : matches) {
        CPose* pose = match->GetRelativePose();
        if (!pose) continue;
        out << match->GetReference()->GetIndex() << " " << match->GetCurrent()->GetIndex() << " " << pose->GetWeight()
            << " ";
        pose->Write(out);
    }
}
