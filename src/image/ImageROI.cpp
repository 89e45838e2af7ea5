#include "image/ImageROI.h"

CImageROI::CImageROI() : CImageROI(0, 0, 0, 0, 0) {}

CImageROI::CImageROI(int x, int y, int width, int height, int coi)
    : roi_(iplCreateROI(coi, x, y, width, height), iplDeleteROI) {}

CImageROI::~CImageROI() = default;

void CImageROI::Set(int x, int y, int width, int height, int coi) {
    roi_->xOffset = x;
    roi_->yOffset = y;
    roi_->width = width;
    roi_->height = height;
    roi_->coi = coi;
}
