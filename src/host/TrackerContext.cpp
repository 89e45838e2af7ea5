#include "host/TrackerContext.h"

#include <iostream>
#include <sstream>
#include <string>

#include "acquisition/StereoSource.h"
#include "common/BoundedFile.h"
#include "common/ConfigReader.h"
#include "host/ConvertToGray8.h"
#include "image/DepthMaskRegion.h"
#include "image/Image.h"
#include "init/TrackerInitializer.h"
#include "tracking/Pose.h"
#include "tracking/TrackedFrame.h"
#include "tracking/TrackerZBCCE.h"

const std::array<const char*, CTrackerContext::kPoseValueCount> CTrackerContext::kPoseFieldNames = {
    "o1", "o2", "o3", "t1", "t2", "t3", "x1", "x2", "x3", "y1", "y2", "y3", "z1", "z2", "z3"};

namespace {

// The configuration file's text as a stream that knows its path (relative file names in it are
// taken from its folder). A file that does not open, or is refused for its kind or size, reads as
// an empty file, which leaves every setting at its default; false then.
bool Open(std::istringstream& stream, const char* directory, const char* fileName) {
    if (!directory) return false;
    const std::string path = std::string(directory) + fileName;
    std::string text, why;
    const BoundedRead result = ReadBoundedFile(path, kMaxConfigFileBytes, text, why);
    if (result != BoundedRead::Ok && result != BoundedRead::CannotOpen)
        std::cerr << "Vantorel: " << path << " refused: " << why << std::endl;
    if (result != BoundedRead::Ok) return false;
    stream.str(text);
    CConfigReader::SetOrigin(stream, path);
    return true;
}

// Causes are "<kind>: <detail>"; a run of failures of one kind is reported once.
std::string KindOf(const std::string& cause) { return cause.substr(0, cause.find(": ")); }

}  // namespace

CTrackerContext::CTrackerContext(const char* configDirectory) {
    std::istringstream paramFile;
    std::istringstream initFile;
    std::istringstream trackerFile;
    const bool paramOpen = Open(paramFile, configDirectory, "Param.cfg");
    const bool initOpen = Open(initFile, configDirectory, "ParamInit.cfg");
    const bool trackerOpen = Open(trackerFile, configDirectory, "ParamTrackerZBCCE.cfg");
    // No line ends: these messages have always been printed this way.
    if (!paramOpen) std::cerr << "Error! Unable to open Param.cfg";
    if (!initOpen) std::cerr << "Error! Unable to open ParamInit.cfg";
    if (!trackerOpen) std::cerr << "Error! Unable to open ParamZBCCE.cfg";
    std::cerr.flush();

    stereoSource = std::make_unique<CStereoSource>(&paramFile);
    NoteGrab(stereoSource->GetCurrentFrame() != nullptr, false);
    trackerZBCCE = std::make_unique<CTrackerZBCCE>(trackerFile);
    trackerInitializer = std::make_unique<CTrackerInitializer>(&initFile);
}

CTrackerContext::~CTrackerContext() = default;

bool CTrackerContext::Update() {
    NoteGrab(stereoSource->GrabImage() != 0, true);
    // A frame already searched or tracked is not taken for a new one: without a new frame the
    // step changes nothing, and the state stays what it was.
    if (newFrame) {
        if (state == kDetecting) Detect();
        else Track();
    }
    return state != kDetecting;
}

void CTrackerContext::NoteGrab(bool grabbed, bool printFailure) {
    newFrame = grabbed;
    if (grabbed) {
        reportedFailure.clear();
        return;
    }
    if (printFailure) std::cout << "Error! GrabImage() failed!" << std::endl;
    const std::string& cause = stereoSource->GetGrabFailure();
    if (!cause.empty() && KindOf(cause) != KindOf(reportedFailure)) {
        std::cout << "Error! No new frame: " << cause << std::endl;
        reportedFailure = cause;
    }
}

void CTrackerContext::Detect() {
    CImage* intensity = stereoSource->GetIntensity();
    CImage* depth = stereoSource->GetDepth();
    CImage* mask = stereoSource->GetMask();
    if (!intensity || !depth || !mask) return;
    // The detector draws its boxes into the grey copy, which is thrown away.
    const std::unique_ptr<CImage> grayIntensity(ConvertToGray8(intensity, nullptr));
    const std::unique_ptr<CImage> grayMask(ConvertToGray8(mask, nullptr));
    if (!grayIntensity || !grayMask) return;
    if (!trackerInitializer->Detect(grayIntensity.get(), depth, grayMask.get(), 1)) return;

    CTrackerInitializer& init = *trackerInitializer;
    std::cout << "TrackerInitializer ROI: " << init.GetRegionLeft() << ", " << init.GetRegionRight() << std::endl;
    stereoSource->SetRegion(init.GetRegionLeft(), init.GetRegionRight(), init.GetRegionTop(), init.GetRegionBottom(),
                            init.GetMinDepth(), init.GetMaxDepth());
    state = kTracking;
}

void CTrackerContext::Track() {
    const CDepthMaskRegion* region = stereoSource->GetRegion();
    const int before[2] = {region ? region->GetXOffset() : 0, region ? region->GetYOffset() : 0};
    trackerZBCCE->Track(*stereoSource);
    // A tracker that follows the head moves the region; the face's box goes with it.
    region = stereoSource->GetRegion();
    if (region && (region->GetXOffset() != before[0] || region->GetYOffset() != before[1]))
        trackerInitializer->FollowSelected(static_cast<float>(region->GetXOffset() - before[0]),
                                           static_cast<float>(region->GetYOffset() - before[1]));
    // Lent by the tracker (its identity when the step made no pair): never deleted here.
    const CPose* motion = trackerZBCCE->GetFirstMatchMotion();
    if (!trackerInitializer->Validate(stereoSource->GetIntensity(), stereoSource->GetDepth(), stereoSource->GetMask(),
                                      *motion))
        Reacquire();
}

void CTrackerContext::Reacquire() {
    trackerInitializer->Reset();
    stereoSource->Reset();
    NoteGrab(stereoSource->GetCurrentFrame() != nullptr, false);
    stereoSource->ResetRegion();
    state = kDetecting;
}

std::array<double, CTrackerContext::kPoseValueCount> CTrackerContext::GetHeadPose() {
    CPose* pose = stereoSource->GetCurrentPose();
    pose->UpdateRotationMatrix();
    std::array<double, kPoseValueCount> values{};
    if (const CTrackedFrame* frame = stereoSource->GetCurrentFrame()) {
        values[0] = frame->GetCentroidX();
        values[1] = frame->GetCentroidY();
        values[2] = frame->GetCentroidZ();
    }
    for (int i = 0; i < 3; ++i) values[3 + i] = pose->GetTranslation(i);
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 3; ++row) values[6 + 3 * column + row] = pose->GetRotationMatrix(row, column);
    return values;
}
