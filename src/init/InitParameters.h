// The settings of "ParamInit.cfg": when a detected face becomes a tracking candidate, when a
// candidate is trusted enough to start tracking, the face region handed to the stereo source, and
// the checks that stop tracking. Read from a stream of keywords and values; a key given twice
// keeps its last value, absent keys keep their defaults, the first value that does not parse ends
// the reading. Values that cannot work are refused with a message naming the file, the keyword and
// the value, and the previous value is kept: negative distances, extents and limits, more than 4
// corner matches, face extents beyond 100000 pixels, shares outside 0 to 1, and depth or centre
// ranges whose lower bound lies above their upper one (both bounds then go back to their defaults).
#pragma once

#include <istream>

#include "init/FaceDetection.h"

struct CInitParameters {
    float maxDistanceCorner = 6.0f;  // pixels between corresponding box coordinates that match
    int minCornerMatches = 3;        // of the four box coordinates
    int nbDetectBeforeInit = 3;      // tracking starts when a candidate is seen more often than this
    int thresholdNbHit = 3;          // detections merged from fewer raw hits are ignored
    // "THRESHOLD_NB_HIT_KEEP:" a detection with fewer hits than THRESHOLD_NB_HIT but at least this
    // many still counts for a candidate it matches, though it starts none: a small face in a
    // noisy image is found by two windows in one frame and three in the next, and a candidate
    // that misses a frame is dropped. Negative (the default): only THRESHOLD_NB_HIT counts.
    int thresholdNbHitKeep = -1;
    int thresholdTime = 0;           // candidates whose age falls below this are dropped
    double thresholdPixelMask = 400.0;
    int sizeFaceX = 60;              // face region left and right of the box centre, pixels
    int sizeFaceYAbove = 80;         // face region above and below the box centre, pixels
    int sizeFaceYBelow = 30;
    float sizeFaceZFront = 400.0f;   // face region in front of and behind the face, depth units
    float sizeFaceZBehind = 300.0f;
    int topLeftMaskX = 25;           // accepted box centres
    int topLeftMaskY = 10;
    int bottomRightMaskX = 295;
    int bottomRightMaskY = 230;
    float minDepthMask = 600.0f;     // accepted face depths
    float maxDepthMask = 1600.0f;
    // "MIN_BACKGROUND_GAP:" how much farther than a candidate, in depth units, the scene beside
    // it must lie (on one side at least) for it to be taken for a head rather than a face-like
    // pattern on a wall; 0 (the default) takes every candidate.
    float minBackgroundGap = 0.0f;
    // "MIN_FACE_DEPTH_SHARE:" the share of a candidate's box pixels with depth (within the
    // accepted depths or not) that must lie within the depth range its face region gets
    // (SIZE_FACE_Z around the candidate's depth); a box straddling a head and the wall keeps
    // neither. 0 (the default) takes every candidate.
    float minFaceDepthShare = 0.0f;
    float maxRotation = 0.32f;       // radians, per tracked frame
    float maxTranslation = 200.0f;
    // "WINDOW_SIZES:" how many window sizes the detector scans, each 1.25 times the one before
    // from 24 pixels: 4 reach faces about 47 pixels across, 7 about 92.
    int windowSizes = facedetect::kDefaultScales;

    // Reads the keys of "ParamInit.cfg" from the stream; a null stream leaves every default.
    void Read(std::istream* in);
};
