#include "tracking/PixelProjection.h"

#include <cmath>

PixelProjection PixelProjection::FromScales(float scaleX, float scaleY, float focalPx, bool perspective) {
    PixelProjection projection;
    projection.perspective = perspective;
    projection.focalPx = focalPx;
    projection.columnSign = scaleX < 0.0f ? -1.0f : 1.0f;
    projection.rowSign = scaleY > 0.0f ? -1.0f : 1.0f;
    projection.columnsPerUnit = 1.0f / scaleX;
    projection.rowsPerUnit = -1.0f / scaleY;
    return projection;
}

bool PixelProjection::Usable() const {
    if (perspective) return focalPx > 0.0f && std::isfinite(focalPx);
    return std::isfinite(columnsPerUnit) && std::isfinite(rowsPerUnit) && columnsPerUnit != 0.0f &&
           rowsPerUnit != 0.0f;
}
