// A face seen by the detector in one or more consecutive frames: the box of the latest detection
// merged into it, its measured depth, how many detections it has absorbed (seen) and its age,
// which falls by one every frame and rises by one with every detection merged into it.
#pragma once

#include "init/FaceDetection.h"

class CImage;

class CFaceCandidate {
public:
    // A new candidate from one detection: seen 1, age 0, depth not yet measured (-1).
    explicit CFaceCandidate(const facedetect::FaceDetection& detection);

    // True when at least minCornerMatches of the four box coordinates differ from other's by no
    // more than maxDistanceCorner pixels.
    bool Matches(const CFaceCandidate& other, float maxDistanceCorner, int minCornerMatches) const;
    // Takes other's box; seen and age rise by one.
    void Merge(const CFaceCandidate& other);
    void Age() { --age; }
    // Moves the box with a head its tracker follows.
    void Shift(float dx, float dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }

    float GetLeft() const { return left; }
    float GetTop() const { return top; }
    float GetRight() const { return right; }
    float GetBottom() const { return bottom; }
    double GetCentreX() const { return (static_cast<double>(left) + right) / 2; }
    double GetCentreY() const { return (static_cast<double>(top) + bottom) / 2; }
    double GetWidth() const { return static_cast<double>(right) - left; }
    double GetHeight() const { return static_cast<double>(bottom) - top; }
    float GetDepth() const { return depth; }
    void SetDepth(float value) { depth = value; }
    int GetSeen() const { return seen; }
    int GetAge() const { return age; }

    // Outlines the box (corners truncated to int), 2 pixels thick.
    void Draw(CImage& image, int value) const;

private:
    float left;
    float top;
    float right;
    float bottom;
    float depth = -1.0f;
    int seen = 1;
    int age = 0;
};
