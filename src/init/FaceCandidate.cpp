#include "init/FaceCandidate.h"

#include <cmath>

#include "image/Image.h"

CFaceCandidate::CFaceCandidate(const facedetect::FaceDetection& detection)
    : left(static_cast<float>(detection.x1)),
      top(static_cast<float>(detection.y1)),
      right(static_cast<float>(detection.x2)),
      bottom(static_cast<float>(detection.y2)) {}

bool CFaceCandidate::Matches(const CFaceCandidate& other, float maxDistanceCorner, int minCornerMatches) const {
    const int matching = (std::fabs(left - other.left) <= maxDistanceCorner) +
                         (std::fabs(top - other.top) <= maxDistanceCorner) +
                         (std::fabs(right - other.right) <= maxDistanceCorner) +
                         (std::fabs(bottom - other.bottom) <= maxDistanceCorner);
    return matching >= minCornerMatches;
}

void CFaceCandidate::Merge(const CFaceCandidate& other) {
    left = other.left;
    top = other.top;
    right = other.right;
    bottom = other.bottom;
    ++seen;
    ++age;
}

void CFaceCandidate::Draw(CImage& image, int value) const {
    image.DrawRectangle(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom), 2,
                        value, false);
}
