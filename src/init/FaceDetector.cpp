#include "init/FaceDetector.h"

#include <unistd.h>

#include <cstdio>
#include <exception>

#include "image/Image.h"
#include "init/ClassifierLocation.h"
#include "platform/ipl/ipl.h"

CFaceDetector::CFaceDetector() : CFaceDetector(facedetect::kDefaultScales) {}

CFaceDetector::CFaceDetector(int windowSizes) : classifierPath(facedetect::LocateClassifier()) {
    if (windowSizes >= 1 && windowSizes <= facedetect::kMaxScales) nScales = windowSizes;
    LoadClassifier();
}

CFaceDetector::~CFaceDetector() { facedetect::FreeClassifier(features, counts, thresholds, nScales); }

void CFaceDetector::LoadClassifier() {
    try {
        classifierLoaded = facedetect::ReadClassifier(classifierPath, nScales, initialScale, features, counts,
                                                      thresholds, nStages) == 1;
        // A classifier that is there but was refused is reported again at the first search; one
        // that is not there has been reported where it was looked for.
        classifierRefused = !classifierLoaded && ::access(classifierPath.c_str(), F_OK) == 0;
    } catch (const std::exception& e) {
        std::printf("Error: classifier %s not loaded: %s\n", classifierPath.c_str(), e.what());
        facedetect::FreeClassifier(features, counts, thresholds, nScales);
        nStages = 0;
        classifierLoaded = false;
    }
}

const facedetect::FaceDetection& CFaceDetector::GetDetection(int i) const {
    static const facedetect::FaceDetection none{};
    return i >= 0 && i < facedetect::kMaxDetections ? detections[i] : none;
}

int CFaceDetector::Detect(CImage& image, int draw) {
    nDetections = 0;
    IplImage* header = image.GetIplImage();
    if (!classifierLoaded) {
        // Once: the loading messages may be long gone by the time nobody is found.
        if (classifierRefused) {
            std::printf("Error: face detection finds nothing: the classifier %s did not load\n", classifierPath.c_str());
            std::fflush(stdout);
            classifierRefused = false;
        }
        return 0;
    }
    if (!header || !header->imageData || header->depth != IPL_DEPTH_8U || header->nChannels != 1) return 0;
    std::printf("num_scales = %d\n", nScales);
    std::fflush(stdout);
    // Nothing may escape into the Java host, not even an allocation failure.
    try {
        // The scan reads rows back to back; rows with padding are packed first.
        cv::Mat pixels = iplFullView(header);
        if (!pixels.isContinuous()) pixels = pixels.clone();
        if (plan.width != pixels.cols || plan.nScales != nScales) {
            plan = facedetect::PrepareScan(features, counts, thresholds, nStages, nScales, pixels.cols);
        }
        const int rawCount =
            facedetect::ScanWindows(pixels.data, pixels.rows, pixels.cols, initialScale, plan, rawHits);
        nDetections = facedetect::MergeDetections(rawHits.data(), detections.data(), rawCount);
    } catch (const std::exception& e) {
        std::printf("Error: face detection failed: %s\n", e.what());
        nDetections = 0;
        return 0;
    }

    if (draw && nDetections >= 1) {
        for (int i = 0; i < nDetections; ++i) {
            const facedetect::FaceDetection& d = detections[i];
            image.DrawRectangle(static_cast<int>(d.x1), static_cast<int>(d.y1), static_cast<int>(d.x2),
                                static_cast<int>(d.y2), 2, 255, false);
        }
    }
    return nDetections;
}
