// The face detector the initialiser uses: it loads the classifier once, when constructed, and on
// every Detect scans an 8-bit one-channel image, keeping the merged detections (at most 1000)
// until the next call. The classifier file is the one LocateClassifier finds (the environment
// variable VANTOREL_CLASSIFIER, the fixed path, the library's own copy). A detector whose
// classifier did not load (missing or refused files) finds no face; one that is there but was
// refused says so again, once, at the first Detect. A classifier of zero stages accepts every
// window. The image passed to Detect stays the
// caller's; drawing writes into it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "init/FaceDetection.h"

class CImage;

class CFaceDetector {
public:
    CFaceDetector();
    // Scanning this many window sizes (1 to facedetect::kMaxScales; others keep the default).
    explicit CFaceDetector(int windowSizes);
    CFaceDetector(const CFaceDetector&) = delete;
    CFaceDetector& operator=(const CFaceDetector&) = delete;
    ~CFaceDetector();

    // Number of merged detections; with draw set, their boxes are outlined in the image (value
    // 255, 2 pixels thick). Images other than 8-bit one-channel ones give no detection.
    int Detect(CImage& image, int draw);
    // The i-th detection of the last Detect; an empty record outside 0 .. 999.
    const facedetect::FaceDetection& GetDetection(int i) const;
    int GetNDetections() const { return nDetections; }
    bool HasClassifier() const { return classifierLoaded; }
    const std::string& GetClassifierPath() const { return classifierPath; }

private:
    void LoadClassifier();

    facedetect::ScaledFeatures features;
    std::vector<int> counts;
    int nStages = 0;
    int nScales = facedetect::kDefaultScales;
    int nDetections = 0;
    double initialScale = 1.0;
    std::vector<double> thresholds;
    std::string classifierPath;
    std::array<facedetect::FaceDetection, facedetect::kMaxDetections> detections{};
    bool classifierLoaded = false;
    bool classifierRefused = false;  // there but not loaded, and not yet said so at a search
    facedetect::ScanPlan plan;  // corner offsets for the width of the last image scanned
    std::vector<facedetect::FaceDetection> rawHits;
};
