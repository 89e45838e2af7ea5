#include "host/TrackerContext.h"

#include <fstream>
#include <iostream>
#include <string>

#include "acquisition/StereoSource.h"
#include "host/ConvertToGray8.h"
#include "image/Image.h"
#include "init/TrackerInitializer.h"
#include "tracking/Pose.h"
#include "tracking/TrackedFrame.h"
#include "tracking/TrackerZBCCE.h"

const std::array<const char*, CTrackerContext::kPoseValueCount> CTrackerContext::kPoseFieldNames = {
    "o1", "o2", "o3", "t1", "t2", "t3", "x1", "x2", "x3", "y1", "y2", "y3", "z1", "z2", "z3"};

namespace {

// An unopened stream reads as an empty file, which leaves every setting at its default.
void Open(std::ifstream& stream, const char* directory, const char* fileName) {
    if (directory) stream.open(std::string(directory) + fileName);
}

}  // namespace

CTrackerContext::CTrackerContext(const char* configDirectory) {
    std::ifstream paramFile;
    std::ifstream initFile;
    std::ifstream trackerFile;
    Open(paramFile, configDirectory, "Param.cfg");
    Open(initFile, configDirectory, "ParamInit.cfg");
    Open(trackerFile, configDirectory, "ParamTrackerZBCCE.cfg");
    // No line ends: these messages have always been printed this way.
    if (!paramFile.is_open()) std::cerr << "Error! Unable to open Param.cfg";
    if (!initFile.is_open()) std::cerr << "Error! Unable to open ParamInit.cfg";
    if (!trackerFile.is_open()) std::cerr << "Error! Unable to open ParamZBCCE.cfg";
    std::cerr.flush();

    stereoSource = std::make_unique<CStereoSource>(&paramFile);
    trackerZBCCE = std::make_unique<CTrackerZBCCE>(trackerFile);
    trackerInitializer = std::make_unique<CTrackerInitializer>(&initFile);
}

CTrackerContext::~CTrackerContext() = default;

bool CTrackerContext::Update() {
    if (!stereoSource->GrabImage()) std::cout << "Error! GrabImage() failed!" << std::endl;
    // After a Reset whose grab failed there is no frame to work on.
    if (stereoSource->GetCurrentFrame()) {
        if (state == kDetecting) Detect();
        else Track();
    }
    return state != kDetecting;
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
    trackerZBCCE->Track(*stereoSource);
    // Lent by the tracker (its identity when the step made no pair): never deleted here.
    const CPose* motion = trackerZBCCE->GetFirstMatchMotion();
    if (!trackerInitializer->Validate(stereoSource->GetIntensity(), stereoSource->GetDepth(), stereoSource->GetMask(),
                                      *motion))
        Reacquire();
}

void CTrackerContext::Reacquire() {
    trackerInitializer->Reset();
    stereoSource->Reset();
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
