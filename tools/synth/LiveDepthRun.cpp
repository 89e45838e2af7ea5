#include "synth/LiveDepthRun.h"

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

#include "acquisition/StereoCameraSVS.h"
#include "image/Image.h"

namespace {

std::unique_ptr<CImage> Plane(int width, int height, int depth) {
    auto image = std::make_unique<CImage>(width, height, depth, 1, 0);
    image->Allocate();
    return image;
}

}  // namespace

bool RunLiveCamera(const std::string& parameterFile, int count, std::vector<LiveDepthFrame>& frames,
                   std::string* error) {
    frames.clear();
    CStereoCameraSVS camera(parameterFile.c_str());
    const int width = camera.GetWidth(), height = camera.GetHeight();
    if (width <= 0 || height <= 0) {
        if (error) *error = "the camera of " + parameterFile + " has no image size";
        return false;
    }
    auto intensity = Plane(width, height, IPL_DEPTH_8U);
    auto x = Plane(width, height, IPL_DEPTH_32F), y = Plane(width, height, IPL_DEPTH_32F),
         z = Plane(width, height, IPL_DEPTH_32F);
    for (int k = 0; k < count; ++k) {
        // As the source does: coordinates start at 0, the camera writes its valid window.
        for (CImage* image : {x.get(), y.get(), z.get()}) image->Set(0);
        const auto start = std::chrono::steady_clock::now();
        if (camera.GrabFrame() != 0) {
            if (error) *error = "grab " + std::to_string(k + 1) + " from " + parameterFile + " failed";
            return false;
        }
        camera.GetImage(intensity.get(), 5);
        camera.GetXYZ(x.get(), y.get(), z.get(), nullptr);
        const auto end = std::chrono::steady_clock::now();
        LiveDepthFrame frame;
        frame.z = iplFullView(z->GetIplImage()).clone();
        frame.seconds = std::chrono::duration<double>(end - start).count();
        frames.push_back(frame);
    }
    return true;
}

bool WriteParameterVariant(const std::string& base, const std::string& lines, const std::string& path,
                           std::string* error) {
    std::ifstream in(base, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text.str() << "\n" << lines << "\n";
    out.close();
    if (!in || !out) {
        if (error) *error = "cannot write " + path + " from " + base;
        return false;
    }
    return true;
}
