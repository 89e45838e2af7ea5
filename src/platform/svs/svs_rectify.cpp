// Rectification: OpenCV remap tables, cached per side.
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <cstring>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Remap tables of one side, rebuilt when the geometry or the rectification changes.
struct RemapCache {
    bool valid = false;
    int width = 0, height = 0, subsampling = 0;
    svsRectification rectification{};
    cv::Mat map1, map2;
};

RemapCache remapCache[2];

const RemapCache& TablesFor(const svsParameterBlock& block, int sideIndex) {
    RemapCache& cache = remapCache[sideIndex];
    const svsRectification& r = block.rectification[sideIndex];
    const int s = svs_internal::Subsampling(block);
    if (cache.valid && cache.width == block.width && cache.height == block.height && cache.subsampling == s &&
        std::memcmp(&cache.rectification, &r, sizeof r) == 0)
        return cache;
    // The calibration is in full-resolution pixels; subsampled pixel x' is x / s.
    cv::Mat camera = cv::Mat(3, 3, CV_64F, const_cast<double*>(r.cameraMatrix)).clone();
    cv::Mat projection = cv::Mat(3, 4, CV_64F, const_cast<double*>(r.projection)).clone();
    camera.rowRange(0, 2) /= s;
    projection.rowRange(0, 2) /= s;
    const cv::Mat distortion =
        r.distortionCount ? cv::Mat(1, r.distortionCount, CV_64F, const_cast<double*>(r.distortion)) : cv::Mat();
    const cv::Mat rotation(3, 3, CV_64F, const_cast<double*>(r.rotation));
    cv::initUndistortRectifyMap(camera, distortion, rotation, projection, cv::Size(block.width, block.height),
                                CV_16SC2, cache.map1, cache.map2);
    cache.valid = true;
    cache.width = block.width;
    cache.height = block.height;
    cache.subsampling = s;
    cache.rectification = r;
    return cache;
}

}  // namespace

namespace svs_internal {

int WarpWith(const svsParameterBlock& block, unsigned char* dst, const unsigned char* src, int side,
             int format) {
    if (!dst || !src || (side != 1 && side != 2) || (format != 0 && format != 1)) return -1;
    if (!GeometryIsUsable(block)) return -1;
    const int type = format == 0 ? CV_8UC1 : CV_8UC4;
    const cv::Mat in(block.height, block.width, type, const_cast<unsigned char*>(src));
    cv::Mat out(block.height, block.width, type, dst);
    const svsRectification& r = block.rectification[side - 1];
    if (!r.present) {
        in.copyTo(out);
        return 0;
    }
    try {
        const RemapCache& tables = TablesFor(block, side - 1);
        cv::remap(in, out, tables.map1, tables.map2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    } catch (const cv::Exception&) {
        remapCache[side - 1].valid = false;
        return -1;  // a degenerate calibration (singular camera matrix) gives no tables
    }
    return 0;
}

}  // namespace svs_internal

int svsWarpImage(unsigned char* dst, const unsigned char* src, int side, int format) {
    return svs_internal::WarpWith(svsParams, dst, src, side, format);
}
