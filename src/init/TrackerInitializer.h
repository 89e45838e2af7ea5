// Decides when head tracking may start and when it must stop. While detecting, Detect runs the
// face detector on each frame and keeps face candidates from frame to frame; a candidate seen in
// enough consecutive frames, at a plausible depth and position (and, when asked, standing out from
// the scene behind it with most of its box at its depth), becomes the face region that the
// getters report. While tracking, Validate checks the mask inside that box and the size of the
// frame-to-frame motion. The initialiser owns its detector and candidates; images and poses passed
// in stay the caller's. Bad inputs (null or mismatched images) never start tracking.
#pragma once

#include <istream>
#include <list>
#include <memory>

#include <opencv2/core.hpp>

#include "init/FaceCandidate.h"
#include "init/FaceDetection.h"
#include "init/FaceDetector.h"
#include "init/InitParameters.h"

class CImage;
class CPose;

class CTrackerInitializer {
public:
    // Reads "ParamInit.cfg" from the stream (null: defaults), then loads the face classifier.
    explicit CTrackerInitializer(std::istream* in);
    CTrackerInitializer(const CTrackerInitializer&) = delete;
    CTrackerInitializer& operator=(const CTrackerInitializer&) = delete;
    ~CTrackerInitializer();

    // intensity: 8-bit grey; depth: 32-bit float; mask: 8-bit (or 1-bit). 1 when tracking may start.
    int Detect(CImage* intensity, CImage* depth, CImage* mask, int draw);
    // The candidate bookkeeping of Detect for one frame's detections, the detector aside.
    int Update(const facedetect::FaceDetection* detections, int count, CImage* intensity, CImage* depth,
               CImage* mask, int draw);
    // 0 when tracking must stop, else the mask sum inside the face box (1 without a candidate).
    // A pose without a valid rotation vector stops tracking: its rotation cannot be checked.
    int Validate(CImage* intensity, CImage* depth, CImage* mask, const CPose& pose);
    // Moves the selected face's box by the shift of a face region that follows the tracked
    // head, so that Validate checks the mask where the face is now.
    void FollowSelected(float dx, float dy);
    void Reset();

    // The face region around the selected candidate, clamped to the last frame.
    int GetRegionLeft() const;
    int GetRegionRight() const;
    int GetRegionTop() const;
    int GetRegionBottom() const;
    float GetMinDepth() const;
    float GetMaxDepth() const;

    const CInitParameters& GetParameters() const { return params; }
    const std::list<std::unique_ptr<CFaceCandidate>>& GetCandidates() const { return candidates; }
    // The best candidate of the last Detect, or null.
    const CFaceCandidate* GetSelected() const;
    const CFaceDetector& GetDetector() const { return *detector; }

private:
    using CandidateList = std::list<std::unique_ptr<CFaceCandidate>>;

    void AgeCandidates();
    // Merged into every candidate it matches; appended as a new one when none does and it may start one.
    void AddDetection(std::unique_ptr<CFaceCandidate> candidate, bool mayStart);
    bool LooksLikeHead(const CFaceCandidate& c, const cv::Mat& depth, const cv::Mat& mask) const;
    void FilterCandidates(CImage* depth, CImage* mask);
    int SelectBestCandidate();
    void DrawCandidates(CImage& image) const;
    bool KeepsCandidate(const CFaceCandidate& candidate) const;

    std::unique_ptr<CFaceDetector> detector;
    CInitParameters params;
    CandidateList candidates;
    CandidateList::iterator selected;
    int frameWidth = 320;   // of the last frame, for the region getters
    int frameHeight = 240;
};
