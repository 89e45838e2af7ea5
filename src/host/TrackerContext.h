// The tracker context: the stereo source, the pose tracker and the tracker initialiser built from
// one configuration directory, and the per-frame state machine (detecting or tracking) that the
// five native methods drive.
//
// The configuration files are found by gluing "Param.cfg", "ParamInit.cfg" and
// "ParamTrackerZBCCE.cfg" onto the directory string as it is, so it must end with a separator;
// a null directory opens nothing. A file that does not open is reported on stderr and its object
// keeps its defaults. The context owns the three objects: built source, tracker, initialiser;
// destroyed initialiser, tracker, source. It takes no lock: the caller serialises.
//
// Each configuration file is read whole, at most kMaxConfigFileBytes, and only from a regular file
// (a refused one is reported and reads as missing); relative file names in it are taken relative
// to its folder.
//
// Console output (stdout): "Error! GrabImage() failed!" when a grab fails, followed by
// "Error! No new frame: <cause>" once for a run of failures of one kind; "TrackerInitializer ROI:
// <left>, <right>" when a face is found.
#pragma once

#include <array>
#include <memory>
#include <string>

class CStereoSource;
class CTrackerInitializer;
class CTrackerZBCCE;

class CTrackerContext {
public:
    enum State { kDetecting = 0, kTracking = 1 };
    static constexpr int kPoseValueCount = 15;
    // The pose object's fields, in the order of HeadPose's values.
    static const std::array<const char*, kPoseValueCount> kPoseFieldNames;

    explicit CTrackerContext(const char* configDirectory);
    ~CTrackerContext();
    CTrackerContext(const CTrackerContext&) = delete;
    CTrackerContext& operator=(const CTrackerContext&) = delete;

    // One step: grab a frame, then detect or track. True when tracking after the step. A failed
    // grab leaves the step with nothing to do: no frame is searched or tracked twice.
    bool Update();
    // Whether the last grab (by the constructor, Update or Reacquire) brought a new frame.
    bool HasNewFrame() const { return newFrame; }
    // Back to detecting: initialiser and source reset (the source grabs one new frame), region
    // back to the configured one.
    void Reacquire();
    // Centroid o1..o3 of the newest frame's face region, translation t1..t3, then the rotation
    // matrix column by column (x = first column, y = second, z = third), widened to double.
    std::array<double, kPoseValueCount> GetHeadPose();

    State GetState() const { return state; }
    CStereoSource& GetSource() { return *stereoSource; }
    CTrackerZBCCE& GetTracker() { return *trackerZBCCE; }
    CTrackerInitializer& GetInitializer() { return *trackerInitializer; }

private:
    void Detect();
    void Track();
    void NoteGrab(bool grabbed, bool printFailure);

    // Declared in creation order, so they are destroyed initialiser first, source last.
    std::unique_ptr<CStereoSource> stereoSource;
    std::unique_ptr<CTrackerZBCCE> trackerZBCCE;
    std::unique_ptr<CTrackerInitializer> trackerInitializer;
    State state = kDetecting;
    bool newFrame = false;
    std::string reportedFailure;  // the cause last printed, for one line per kind of failure
};
