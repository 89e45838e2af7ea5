// The parameter block's defaults and the parameter file reader (format in svs.h).
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "common/BoundedFile.h"
#include "common/ConfigReader.h"

svsParameterBlock svsDefaultParameters() {
    svsParameterBlock block;
    std::memset(&block, 0, sizeof block);
    block.layoutVersion = 1;
    block.corrWindowWidth = block.corrWindowHeight = 11;
    block.prefilterWindowWidth = block.prefilterWindowHeight = 9;
    block.textureThreshold = 10;
    block.uniquenessRatio = 10;
    block.numDisparities = 48;
    block.width = 320;
    block.height = 240;
    block.decimation = 1;
    block.binning = 1;
    block.pixelWidth = 1.0;
    block.leftCenterX = block.rightCenterX = 160.0;
    block.leftCenterY = block.rightCenterY = 120.0;
    block.leftFocal = block.rightFocal = 1.0;
    block.baseline = 1.0;
    const float projection[12] = {1, 0, 160, 0, 0, 1, 120, 0, 0, 0, 1, 0};
    std::memcpy(block.projection, projection, sizeof projection);
    block.source.kind = SVS_SOURCE_NONE;
    block.matching.matcher = SVS_MATCHER_BLOCK;
    block.matching.leftRightCheck = -1;
    block.matching.edgeJump = 1;
    block.matching.recheckJump = 1;
    block.matching.paths = 3;
    return block;
}

svsParameterBlock svsParams = svsDefaultParameters();

svsValidWindow svsGetValidWindow(const svsParameterBlock& b) {
    const int a = b.corrWindowWidth, p = b.prefilterWindowWidth, e = b.corrWindowHeight, f = b.prefilterWindowHeight;
    // Across the whole width the disparity search and the horizontal offset take no columns.
    const int n = b.matching.fullWidth ? 0 : b.numDisparities, ox = b.matching.fullWidth ? 0 : b.offsetX;
    const int oy = b.offsetY;
    svsValidWindow window;
    window.x0 = (a + p + 2 * n - 4) / 2 + (ox < 0 ? -ox : 0);
    window.x1 = window.x0 + 4 + (b.width - a - p - 2 * n - std::abs(ox));
    window.y0 = (e + f - 2) / 2 + (oy < 0 ? -oy : 0);
    window.y1 = window.y0 + 2 + (b.height - e - f - std::abs(oy));
    return window;
}

namespace svs_internal {

bool GeometryIsUsable(const svsParameterBlock& b) {
    auto oddIn = [](int v, int lo, int hi) { return v >= lo && v <= hi && (v & 1); };
    const bool inRange =
        b.width >= 8 && b.width <= kMaxImageSide && b.height >= 8 && b.height <= kMaxImageSide &&
        b.decimation >= 1 && b.decimation <= 16 && b.binning >= 1 && b.binning <= 16 &&
        oddIn(b.corrWindowWidth, 5, 51) && oddIn(b.corrWindowHeight, 5, 51) &&
        oddIn(b.prefilterWindowWidth, 5, 51) && oddIn(b.prefilterWindowHeight, 5, 51) &&
        b.numDisparities >= 1 && b.numDisparities <= 256 && std::abs(b.offsetX) <= 64 && std::abs(b.offsetY) <= 64;
    if (!inRange) return false;
    // The valid window must hold at least one pixel.
    const svsValidWindow window = svsGetValidWindow(b);
    return window.x1 > window.x0 && window.y1 > window.y0;
}

}  // namespace svs_internal

namespace {

constexpr long kMostMatchingCells = 640L * 480 * 256;

constexpr std::size_t kMaxFileBytes = 1 << 20;

// Reads one parameter file into a block, refusing it at the first problem.
class ParamFileParser {
public:
    ParamFileParser(std::istream& in, std::filesystem::path folder, svsParameterBlock& block)
        : reader_(&in), folder_(std::move(folder)), block_(block) {}

    // Empty on success, else why the file was refused.
    std::string Parse() {
        std::string keyword;
        while (reader_.NextToken(keyword)) {
            if (!Keyword(keyword)) return error_.empty() ? "bad or missing value after " + keyword : error_;
        }
        if (!error_.empty()) return error_;
        return Finish();
    }

private:
    bool Keyword(const std::string& k) {
        svsParameterBlock& b = block_;
        if (k == "IMAGE_SIZE:") return Int(b.width, 8, 4096) && Int(b.height, 8, 4096);
        if (k == "SUBSAMPLING:") return Int(b.decimation, 1, 16) && Int(b.binning, 1, 16);
        if (k == "SUBWINDOW:") return Int(b.windowX, 0, 65535) && Int(b.windowY, 0, 65535);
        if (k == "COLOR:") return YesNo(b.colour);
        if (k == "DISPARITIES:") return Int(b.numDisparities, 1, 256);
        if (k == "CORRELATION_WINDOW:") return OddWindow(b.corrWindowWidth, b.corrWindowHeight);
        if (k == "PREFILTER_WINDOW:") return OddWindow(b.prefilterWindowWidth, b.prefilterWindowHeight);
        if (k == "TEXTURE_THRESHOLD:") return Int(b.textureThreshold, 0, 100000);
        if (k == "UNIQUENESS:") return Int(b.uniquenessRatio, 0, 100);
        if (k == "SPECKLE:") return Int(b.speckleWindow, 0, 10000) && Int(b.speckleRange, 0, 64);
        if (k == "OFFSET:") return Int(b.offsetX, -64, 64) && Int(b.offsetY, -64, 64);
        if (k == "MATCHER:") return Matcher(b.matching.matcher);
        if (k == "LEFT_RIGHT_CHECK:") return IntOrOff(b.matching.leftRightCheck, 0, 64);
        if (k == "SEMI_GLOBAL_PATHS:")
            return Int(b.matching.paths, 3, 8) &&
                   Check(b.matching.paths != 6 && b.matching.paths != 7, "SEMI_GLOBAL_PATHS: takes 3, 4, 5 or 8");
        if (k == "SMOOTHNESS:")
            return Int(b.matching.smoothnessSmall, 0, 1000000) && Int(b.matching.smoothnessLarge, 0, 1000000) &&
                   Check((b.matching.smoothnessSmall == 0 && b.matching.smoothnessLarge == 0) ||
                             (b.matching.smoothnessSmall > 0 && b.matching.smoothnessSmall < b.matching.smoothnessLarge),
                         "SMOOTHNESS: needs 0 < p1 < p2, or 0 0");
        if (k == "SUBPIXEL_WINDOW:")
            return Int(b.matching.subpixelWindow, 0, 15) &&
                   Check(b.matching.subpixelWindow == 0 || (b.matching.subpixelWindow >= 3 && (b.matching.subpixelWindow & 1)),
                         "SUBPIXEL_WINDOW: takes 0 or an odd size from 3 to 15");
        if (k == "DEPTH_EDGE:") return Int(b.matching.edgeMargin, 0, 16) && Int(b.matching.edgeJump, 1, 64);
        if (k == "EDGE_RECHECK:") return Int(b.matching.recheckMargin, 0, 16) && Int(b.matching.recheckJump, 1, 64);
        if (k == "AUTO_ALIGN:") return AutoAlign(b.matching.autoAlign);
        if (k == "FULL_WIDTH:") return YesNo(b.matching.fullWidth);
        if (k == "PIXEL_SIZE:") return Positive(b.pixelWidth);
        if (k == "FOCAL:") return (hasFocal_ = Positive(b.leftFocal) && Positive(b.rightFocal));
        if (k == "PRINCIPAL_POINT_LEFT:") return (hasLeftCenter_ = Finite(b.leftCenterX) && Finite(b.leftCenterY));
        if (k == "PRINCIPAL_POINT_RIGHT:")
            return (hasRightCenter_ = Finite(b.rightCenterX) && Finite(b.rightCenterY));
        if (k == "BASELINE:") return (hasBaseline_ = Positive(b.baseline));
        if (k == "PROJECTION:") return (hasProjection_ = Projection(b.projection));
        if (k == "SOURCE:") return Source();
        if (k == "CAPTURE_SIZE:")
            return Int(b.source.captureWidth, 0, 16384) && Int(b.source.captureHeight, 0, 16384);
        if (k == "FRAME_RATE:")
            return Finite(b.source.frameRate) &&
                   Check(b.source.frameRate >= 0 && b.source.frameRate <= 1000, "FRAME_RATE: out of range");
        for (int side = 0; side < 2; ++side) {
            const std::string prefix = side == 0 ? "LEFT_" : "RIGHT_";
            if (k.compare(0, prefix.size(), prefix) == 0) return SideKeyword(k.substr(prefix.size()), side);
        }
        return Fail(k.back() == ':' ? "unknown keyword " + k : "unexpected token " + k);
    }

    bool SideKeyword(const std::string& k, int side) {
        svsRectification& r = block_.rectification[side];
        if (k == "CAMERA_MATRIX:") {
            if (!Doubles(r.cameraMatrix, 9)) return false;
            r.present = 1;
            cameraGiven_[side] = true;
            return Check(r.cameraMatrix[0] > 0 && r.cameraMatrix[4] > 0,
                         "camera matrix with a focal length that is not positive");
        }
        if (k == "DISTORTION:") {
            int count = 0;
            if (!reader_.Read(count)) return false;
            if (count != 0 && count != 4 && count != 5 && count != 8 && count != 12 && count != 14)
                return Fail("distortion coefficient count must be 0, 4, 5, 8, 12 or 14");
            r.distortionCount = count;
            return (distortionGiven_[side] = Doubles(r.distortion, count));
        }
        if (k == "ROTATION:") return (rotationGiven_[side] = Doubles(r.rotation, 9));
        if (k == "RECTIFIED_PROJECTION:") return (rectifiedGiven_[side] = Doubles(r.projection, 12));
        return Fail("unknown keyword " + k);
    }

    bool Source() {
        std::string kind;
        if (!reader_.Read(kind)) return false;
        svsCaptureSource& s = block_.source;
        std::memset(s.left, 0, sizeof s.left);
        std::memset(s.right, 0, sizeof s.right);
        if (kind == "NONE") {
            s.kind = SVS_SOURCE_NONE;
            return true;
        }
        if (kind == "DEVICE") {
            s.kind = SVS_SOURCE_DEVICE;
            return Device(s.left);
        }
        if (kind == "DEVICES") {
            s.kind = SVS_SOURCE_DEVICES;
            return Device(s.left) && Device(s.right);
        }
        if (kind == "FILES") {
            s.kind = SVS_SOURCE_FILES;
            return Pattern(s.left) && Pattern(s.right) && Int(s.firstIndex, 0, 999999999) &&
                   Int(s.lastIndex, 0, 999999999) &&
                   Check(s.firstIndex <= s.lastIndex, "SOURCE: FILES: first index after last");
        }
        return Fail("unknown capture source " + kind);
    }

    // A device index stays as written; a device path is resolved like every path.
    bool Device(char* out) {
        std::string word;
        if (!reader_.Read(word)) return false;
        const bool isIndex = word.size() <= 2 && word.find_first_not_of("0123456789") == std::string::npos;
        if (isIndex) return Copy(word, out);
        return Copy(Resolve(word), out);
    }

    bool Pattern(char* out) {
        std::string word, ignored;
        if (!reader_.Read(word)) return false;
        if (!svs_internal::FormatPattern(word, 0, ignored))
            return Fail("a file pattern needs exactly one %d or %0Nd: " + word);
        return Copy(Resolve(word), out);
    }

    std::string Resolve(const std::string& path) const {
        const std::filesystem::path p(path);
        return p.is_absolute() ? path : (folder_ / p).string();
    }

    bool Copy(const std::string& text, char* out) {
        if (text.size() >= static_cast<std::size_t>(SVS_MAX_PATH)) return Fail("path too long: " + text);
        std::memcpy(out, text.c_str(), text.size() + 1);
        return true;
    }

    bool Int(std::int32_t& value, int lo, int hi) {
        int read = 0;
        if (!reader_.Read(read)) return false;
        if (read < lo || read > hi) return Fail("value " + std::to_string(read) + " out of range");
        value = read;
        return true;
    }

    bool OddWindow(std::int32_t& width, std::int32_t& height) {
        int size = 0;
        if (!reader_.Read(size)) return false;
        if (size < 5 || size > 51 || !(size & 1)) return Fail("window sizes are odd, 5 to 51");
        width = height = size;
        return true;
    }

    bool Matcher(std::int32_t& matcher) {
        std::string word;
        if (!reader_.Read(word)) return false;
        if (word != "BLOCK" && word != "SEMI_GLOBAL") return Fail("MATCHER: takes BLOCK or SEMI_GLOBAL");
        matcher = word == "BLOCK" ? SVS_MATCHER_BLOCK : SVS_MATCHER_SEMI_GLOBAL;
        return true;
    }

    bool AutoAlign(std::int32_t& flags) {
        std::string word;
        if (!reader_.Read(word)) return false;
        if (word == "NONE") flags = 0;
        else if (word == "ROWS") flags = SVS_ALIGN_ROWS;
        else if (word == "EXPOSURE") flags = SVS_ALIGN_EXPOSURE;
        else if (word == "BOTH") flags = SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE;
        else return Fail("AUTO_ALIGN: takes NONE, ROWS, EXPOSURE or BOTH");
        return true;
    }

    // A number in [lo, hi], or OFF for -1.
    bool IntOrOff(std::int32_t& value, int lo, int hi) {
        std::string word;
        if (!reader_.Read(word)) return false;
        if (word == "OFF") {
            value = -1;
            return true;
        }
        std::istringstream number(word);
        int read = 0;
        if (!(number >> read) || !number.eof()) return Fail("expected a number or OFF, not " + word);
        if (read < lo || read > hi) return Fail("value " + std::to_string(read) + " out of range");
        value = read;
        return true;
    }

    bool YesNo(std::int32_t& flag) {
        std::string word;
        if (!reader_.Read(word)) return false;
        if (word != "YES" && word != "NO") return Fail("COLOR: takes YES or NO");
        flag = word == "YES";
        return true;
    }

    bool Finite(double& value) {
        double read = 0;
        if (!reader_.Read(read) || !std::isfinite(read)) return false;
        value = read;
        return true;
    }

    bool Positive(double& value) { return Finite(value) && Check(value > 0, "a length must be positive"); }

    bool Doubles(double* values, int count) {
        for (int i = 0; i < count; ++i) {
            if (!Finite(values[i])) return false;
        }
        return true;
    }

    bool Projection(float* out) {
        double values[12];
        if (!Doubles(values, 12)) return false;
        for (int i = 0; i < 12; ++i) {
            if (std::fabs(values[i]) > 1e30) return Fail("PROJECTION: value out of range");
            out[i] = static_cast<float>(values[i]);
        }
        return true;
    }

    bool Check(bool ok, const std::string& why) { return ok || Fail(why); }
    bool Fail(const std::string& why) {
        if (error_.empty()) error_ = why;
        return false;
    }

    // Defaults that depend on other keywords, then the checks that span several keywords.
    std::string Finish() {
        svsParameterBlock& b = block_;
        for (int side = 0; side < 2; ++side) {
            svsRectification& r = b.rectification[side];
            const bool partGiven = rotationGiven_[side] || rectifiedGiven_[side] || distortionGiven_[side];
            if (!r.present && partGiven) return std::string(side ? "RIGHT_" : "LEFT_") + "CAMERA_MATRIX: missing";
            if (!cameraGiven_[side]) continue;
            if (!rotationGiven_[side]) {
                const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
                std::memcpy(r.rotation, identity, sizeof identity);
            }
            if (!rectifiedGiven_[side]) {
                for (int row = 0; row < 3; ++row) {
                    for (int col = 0; col < 4; ++col)
                        r.projection[row * 4 + col] = col < 3 ? r.cameraMatrix[row * 3 + col] : 0.0;
                }
            }
            if (!(r.projection[0] > 0)) return "rectified projection with a focal length that is not positive";
        }
        const bool fromRectification = rectifiedGiven_[0] && rectifiedGiven_[1];
        if (fromRectification) {
            const double* p1 = b.rectification[0].projection;
            const double* p2 = b.rectification[1].projection;
            if (!hasFocal_) {
                b.leftFocal = p1[0] * b.pixelWidth;
                b.rightFocal = p2[0] * b.pixelWidth;
            }
            if (!hasLeftCenter_) {
                b.leftCenterX = p1[2];
                b.leftCenterY = p1[6];
            }
            if (!hasRightCenter_) {
                b.rightCenterX = p2[2];
                b.rightCenterY = p2[6];
            }
            if (!hasBaseline_) {
                b.baseline = -p2[3] / p2[0];
                if (!(b.baseline > 0) || !std::isfinite(b.baseline))
                    return "the right rectified projection gives no positive baseline";
            }
        }
        if (!hasProjection_) {  // the projection that undoes the reconstruction
            const double f = b.leftFocal / b.pixelWidth;
            const double cx = (b.leftCenterX + b.rightCenterX) / 2;
            const double p[12] = {f, 0, cx, 0, 0, f, b.leftCenterY, 0, 0, 0, 1, 0};
            for (int i = 0; i < 12; ++i) b.projection[i] = static_cast<float>(p[i]);
        }
        if (!std::isfinite(b.leftFocal / b.pixelWidth)) return "PIXEL_SIZE: too small for the focal length";
        if (static_cast<long>(b.width) * b.height * svs_internal::Subsampling(b) * svs_internal::Subsampling(b) >
            (1L << 28))
            return "IMAGE_SIZE: with SUBSAMPLING: too large";
        // Matching costs a cell per pixel and disparity, twice with the left-right check: beyond
        // 640 x 480 x 256 cells one grab would hold the tracker for more than a second.
        if (static_cast<long>(b.width) * b.height * b.numDisparities > kMostMatchingCells)
            return "IMAGE_SIZE: and DISPARITIES: more matching than a grab can do (at most 640 x 480 x 256 cells)";
        if (!svs_internal::GeometryIsUsable(b)) return "image size, windows and disparities do not fit together";
        return {};
    }

    CConfigReader reader_;
    std::filesystem::path folder_;
    svsParameterBlock& block_;
    std::string error_;
    bool hasFocal_ = false, hasLeftCenter_ = false, hasRightCenter_ = false, hasBaseline_ = false;
    bool hasProjection_ = false;
    bool cameraGiven_[2] = {false, false};
    bool distortionGiven_[2] = {false, false};
    bool rotationGiven_[2] = {false, false};
    bool rectifiedGiven_[2] = {false, false};
};

}  // namespace

int svsReadParamFile(const char* fileName, svsParameterBlock* block) {
    if (!fileName || !block) return -1;
    // Read whole and bounded: a device or a pipe is never waited on or read from.
    std::string text, why;
    const BoundedRead read = ReadBoundedFile(fileName, kMaxFileBytes, text, why);
    if (read == BoundedRead::CannotOpen) {
        std::cerr << "svs: can't open parameter file \"" << fileName << "\"" << std::endl;
        return -1;
    }
    if (read != BoundedRead::Ok) {
        std::cerr << "svs: parameter file \"" << fileName << "\" refused: "
                  << (read == BoundedRead::TooLarge ? "larger than 1 MB" : why) << std::endl;
        return -2;
    }
    std::istringstream in(text);
    const std::filesystem::path path(fileName);
    // A parameter file describes the whole camera: what it leaves out takes the defaults.
    svsParameterBlock parsed = svsDefaultParameters();
    ParamFileParser parser(in, path.parent_path(), parsed);
    const std::string refusal = parser.Parse();
    if (!refusal.empty()) {
        std::cerr << "svs: parameter file \"" << fileName << "\" refused: " << refusal << std::endl;
        return -2;
    }
    *block = parsed;
    return 0;
}
