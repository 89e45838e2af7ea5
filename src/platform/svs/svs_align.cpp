// The right camera as the left one sees it: a calibration leaves the right image's rows a few
// tenths of a pixel off the left one's (more towards one side when the cameras are turned a little
// about their axes), and the two sensors expose differently. Both bias a matcher that compares
// rows alike: a vertical gradient reads as a disparity error. Measured from the pair itself, from
// corners followed from the left image into the right one, and undone on the right image.
#include "platform/svs/svs_internal.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

namespace svs_internal {

namespace {

constexpr int kMaxCorners = 400;
constexpr double kCornerQuality = 0.01;
constexpr double kCornerSpacing = 6.0;
const cv::Size kFollowWindow(11, 11);
// The whole-pixel search, at half the resolution: a 7 x 7 patch, well correlated, clearly better
// than elsewhere.
constexpr int kSearchRadius = 3;
constexpr double kLeastCorrelation = 0.8;
constexpr double kLeastMargin = 0.05;
// A corner followed there and back must come home within this (pixels).
constexpr double kRoundTrip = 0.3;
// Fewer corners than these say too little: the rows' offset, and their tilt and stretch.
constexpr int kFewestForOffset = 20;
constexpr int kFewestForTilt = 60;
// The corners must spread over this share of the image (standard deviation) before a tilt or a
// stretch is fitted: a cluster on the face says nothing of the rows far from it.
constexpr double kSpreadForTilt = 0.15;
// Exposure from the mean grey levels of the 9 x 9 pixels around each corner, which must spread
// over this many grey levels (standard deviation) to tell a gain from an offset.
constexpr int kPatchRadius = 4;
constexpr double kFewestGreyLevels = 8.0;
// Patches whose two views correlate less than this are left out.
constexpr double kLeastPatchCorrelation = 0.95;
// The least that is undone: rows off by a twentieth of a pixel somewhere in the image, an exposure
// three grey levels off somewhere between dark and bright grey. A pair's measurement wanders by
// about a third of either from frame to frame.
constexpr double kLeastRowShift = 0.05;
constexpr double kLeastLevels = 3.0;
constexpr double kDarkLevel = 32.0, kBrightLevel = 224.0;

// Least squares of value ~ sum c_k f_k (at most three terms) over the samples, dropping those
// beyond three robust deviations (and beyond a floor) twice over. False when too few are left.
bool RobustFit(const std::vector<cv::Vec3d>& features, int unknowns, const std::vector<double>& values, double floor,
               int fewest, cv::Vec3d& coefficients) {
    const std::size_t n = values.size();
    std::vector<char> kept(n, 1);
    std::vector<double> residuals(n), sorted;
    for (int round = 0; round < 3; ++round) {
        cv::Matx33d normal = cv::Matx33d::zeros();
        cv::Vec3d right(0.0, 0.0, 0.0);
        int count = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!kept[i]) continue;
            const cv::Vec3d& f = features[i];
            for (int r = 0; r < unknowns; ++r) {
                for (int c = 0; c < unknowns; ++c) normal(r, c) += f[r] * f[c];
                right[r] += f[r] * values[i];
            }
            ++count;
        }
        if (count < fewest) return false;
        for (int k = unknowns; k < 3; ++k) normal(k, k) = 1.0;  // the unused terms stay 0
        if (!cv::solve(normal, right, coefficients, cv::DECOMP_CHOLESKY)) return false;
        if (round == 2) break;
        sorted.clear();
        for (std::size_t i = 0; i < n; ++i) {
            residuals[i] = std::fabs(values[i] - features[i].dot(coefficients));
            if (kept[i]) sorted.push_back(residuals[i]);
        }
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
        const double bound = std::max(3.0 * 1.4826 * sorted[sorted.size() / 2], floor);
        for (std::size_t i = 0; i < n; ++i) kept[i] = residuals[i] <= bound;
    }
    return true;
}

// The whole-pixel disparity at which the right image's row shows the left patch around `corner`
// best (normalised correlation, so either exposure will do); -1 when no disparity stands out.
int WholeDisparity(const cv::Mat& left, const cv::Mat& right, cv::Point corner, int maxDisparity) {
    constexpr int r = kSearchRadius, side = 2 * r + 1, area = side * side;
    const int reach = std::min(maxDisparity, corner.x - r);
    if (corner.x + r >= left.cols || corner.y - r < 0 || corner.y + r >= left.rows || reach < 0) return -1;
    float patch[area];
    double mean = 0.0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            mean += patch[y * side + x] = left.at<unsigned char>(corner.y - r + y, corner.x - r + x);
    mean /= area;
    double spread = 0.0;
    for (float& value : patch) {
        value = static_cast<float>(value - mean);
        spread += static_cast<double>(value) * value;
    }
    if (spread <= 0.0) return -1;
    std::vector<double> scores(static_cast<std::size_t>(reach) + 1);
    for (int d = 0; d <= reach; ++d) {
        double sum = 0.0, squares = 0.0, cross = 0.0;
        for (int y = 0; y < side; ++y) {
            const unsigned char* row = right.ptr<unsigned char>(corner.y - r + y) + corner.x - r - d;
            for (int x = 0; x < side; ++x) {
                const double value = row[x];
                sum += value;
                squares += value * value;
                cross += value * patch[y * side + x];
            }
        }
        const double variance = squares - sum * sum / area;
        scores[static_cast<std::size_t>(d)] = variance > 0.0 ? cross / std::sqrt(variance * spread) : -1.0;
    }
    const auto best = std::max_element(scores.begin(), scores.end());
    const int bestD = static_cast<int>(best - scores.begin());
    double second = -1.0;
    for (int d = 0; d <= reach; ++d)
        if (std::abs(d - bestD) > 1) second = std::max(second, scores[static_cast<std::size_t>(d)]);
    if (*best < kLeastCorrelation || *best - second < kLeastMargin) return -1;
    return bestD;
}

// Left corners and, to the whole pixel, where the right image shows them. Found and searched for at
// half the resolution (a quarter and an eighth of the work); each from its whole-pixel
// disparity, as a repeated texture (bricks) would lead a sub-pixel search to the wrong repetition.
void SeedCorners(const cv::Mat& left, const cv::Mat& right, int maxDisparity, std::vector<cv::Point2f>& from,
                 std::vector<cv::Point2f>& to) {
    from.clear();
    to.clear();
    cv::Mat halfLeft, halfRight;
    cv::pyrDown(left, halfLeft);
    cv::pyrDown(right, halfRight);
    std::vector<cv::Point2f> corners;
    cv::goodFeaturesToTrack(halfLeft, corners, kMaxCorners, kCornerQuality, kCornerSpacing / 2, cv::noArray(), 3);
    for (const cv::Point2f& corner : corners) {
        const cv::Point at(cvRound(corner.x), cvRound(corner.y));
        const int disparity = WholeDisparity(halfLeft, halfRight, at, (maxDisparity + 1) / 2 + 1);
        if (disparity < 0) continue;
        from.push_back(2.0f * corner);
        to.push_back(2.0f * cv::Point2f(corner.x - static_cast<float>(disparity), corner.y));
    }
}

// The seeds followed to the sub-pixel in both directions; those that come back home, close to
// where their seed put them, stay.
void FollowCorners(const cv::Mat& left, const cv::Mat& right, std::vector<cv::Point2f>& from,
                   std::vector<cv::Point2f>& to) {
    if (from.empty()) return;
    const cv::TermCriteria stop(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 0.005);
    std::vector<unsigned char> there, home;
    std::vector<float> unused;
    std::vector<cv::Point2f> found = to, back = from;
    cv::calcOpticalFlowPyrLK(left, right, from, found, there, unused, kFollowWindow, 1, stop,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    cv::calcOpticalFlowPyrLK(right, left, found, back, home, unused, kFollowWindow, 1, stop,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const bool plausible = there[i] && home[i] && cv::norm(back[i] - from[i]) < kRoundTrip &&
                               cv::norm(found[i] - to[i]) < 3.0 && found[i].x <= from[i].x + 1.0f;
        if (plausible) {
            from[kept] = from[i];
            to[kept++] = found[i];
        }
    }
    from.resize(kept);
    to.resize(kept);
}

// gain and offset of right ~ gain * left + offset, from the mean grey levels around each pair of
// points: unlike single pixels, a mean does not care how sharp either camera is, nor much where
// within a pixel the point lies. False when the means spread too little to tell the two apart.
bool FitExposure(const cv::Mat& left, const cv::Mat& right, const std::vector<cv::Point2f>& from,
                 const std::vector<cv::Point2f>& to, double& gain, double& offset) {
    std::vector<double> leftMeans, rightMeans;
    double sum = 0.0, squares = 0.0;
    const cv::Rect image(0, 0, left.cols, left.rows);
    for (std::size_t i = 0; i < from.size(); ++i) {
        const cv::Point l(cvRound(from[i].x), cvRound(from[i].y));
        const cv::Rect patch(l.x - kPatchRadius, l.y - kPatchRadius, 2 * kPatchRadius + 1, 2 * kPatchRadius + 1);
        const cv::Point2f centre = cv::Point2f(static_cast<float>(l.x), static_cast<float>(l.y)) + (to[i] - from[i]);
        const cv::Rect reached(cvFloor(centre.x) - kPatchRadius - 1, cvFloor(centre.y) - kPatchRadius - 1,
                               patch.width + 2, patch.height + 2);
        if ((patch & image) != patch || (reached & image) != reached) continue;
        cv::Mat sampled, own;
        cv::getRectSubPix(right, patch.size(), centre, sampled, CV_32F);
        left(patch).convertTo(own, CV_32F);
        // A patch the two views see differently (across the head's outline, where each camera sees
        // its own strip of the wall behind) says nothing of the exposure.
        cv::Scalar ownMean, ownDeviation, sampledMean, sampledDeviation;
        cv::meanStdDev(own, ownMean, ownDeviation);
        cv::meanStdDev(sampled, sampledMean, sampledDeviation);
        const double covariance = (own - ownMean[0]).dot(sampled - sampledMean[0]) / static_cast<double>(own.total());
        if (!(covariance > kLeastPatchCorrelation * ownDeviation[0] * sampledDeviation[0])) continue;
        const double leftMean = ownMean[0];
        leftMeans.push_back(leftMean);
        rightMeans.push_back(sampledMean[0]);
        sum += leftMean;
        squares += leftMean * leftMean;
    }
    const double count = static_cast<double>(leftMeans.size());
    const bool spread =
        count > 0 && squares / count - (sum / count) * (sum / count) > kFewestGreyLevels * kFewestGreyLevels;
    if (!spread || static_cast<int>(leftMeans.size()) < kFewestForOffset) return false;
    // The median of the slopes between pairs of patches, then of the offsets (Theil and Sen): a
    // patch straddling the head's outline sees other things in the two views, and a few of those
    // would tilt a least-squares line.
    std::vector<double> slopes;
    for (std::size_t i = 0; i < leftMeans.size(); ++i)
        for (std::size_t j = i + 1; j < leftMeans.size(); ++j) {
            const double run = leftMeans[j] - leftMeans[i];
            if (std::fabs(run) >= kFewestGreyLevels) slopes.push_back((rightMeans[j] - rightMeans[i]) / run);
        }
    if (slopes.empty()) return false;
    std::nth_element(slopes.begin(), slopes.begin() + static_cast<long>(slopes.size() / 2), slopes.end());
    const double slope = slopes[slopes.size() / 2];
    std::vector<double> offsets;
    for (std::size_t i = 0; i < leftMeans.size(); ++i) offsets.push_back(rightMeans[i] - slope * leftMeans[i]);
    std::nth_element(offsets.begin(), offsets.begin() + static_cast<long>(offsets.size() / 2), offsets.end());
    if (!(slope > 0.25 && slope < 4.0)) return false;
    gain = slope;
    offset = offsets[offsets.size() / 2];
    return true;
}

// The rows' offset (with a tilt and stretch when the corners spread over the image) fitted to the
// corners' vertical shifts, where the right image shows them: the rows are undone there.
bool FitRows(const std::vector<cv::Point2f>& from, const std::vector<cv::Point2f>& to, cv::Size size,
             double rows[3]) {
    std::vector<cv::Vec3d> features;
    std::vector<double> shifts;
    double spreadX = 0.0, spreadY = 0.0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const double u = to[i].x / size.width - 0.5, v = to[i].y / size.height - 0.5;
        features.emplace_back(1.0, u, v);
        shifts.push_back(to[i].y - from[i].y);
        spreadX += u * u;
        spreadY += v * v;
    }
    const double n = static_cast<double>(from.size());
    const bool tilt =
        n >= kFewestForTilt && std::sqrt(spreadX / n) > kSpreadForTilt && std::sqrt(spreadY / n) > kSpreadForTilt;
    cv::Vec3d coefficients;
    if (!RobustFit(features, tilt ? 3 : 1, shifts, 0.05, kFewestForOffset, coefficients)) return false;
    for (int k = 0; k < 3; ++k) rows[k] = coefficients[k];
    return true;
}

}  // namespace

RightAlignment MeasureRightAlignment(const cv::Mat& left, const cv::Mat& right, int what, int maxDisparity) {
    RightAlignment alignment;
    if (what == 0 || left.cols < 32 || left.rows < 32 || left.size() != right.size()) return alignment;
    std::vector<cv::Point2f> from, to;
    SeedCorners(left, right, std::max(maxDisparity, 1), from, to);
    if (static_cast<int>(from.size()) < kFewestForOffset) return alignment;
    const std::vector<cv::Point2f> seeds = from, seeded = to;
    FollowCorners(left, right, from, to);
    if (static_cast<int>(from.size()) < kFewestForOffset) return alignment;
    RightAlignment exposure;
    bool exposureFitted = FitExposure(left, right, from, to, exposure.gain, exposure.offset);
    // The sub-pixel search compares grey levels: where the exposures differ, the seeds are
    // followed again with the difference undone, and the exposure fitted where they end.
    if (exposureFitted && exposure.ExposureDiffers()) {
        cv::Mat exposed;  // a new image: the caller's stays as it is
        right.convertTo(exposed, CV_8U, 1.0 / exposure.gain, -exposure.offset / exposure.gain);
        from = seeds;
        to = seeded;
        FollowCorners(left, exposed, from, to);
        if (static_cast<int>(from.size()) < kFewestForOffset) return alignment;
        exposureFitted = FitExposure(left, right, from, to, exposure.gain, exposure.offset);
    }
    const int points = static_cast<int>(from.size());
    if ((what & SVS_ALIGN_ROWS) && FitRows(from, to, left.size(), alignment.rows)) alignment.points = points;
    if ((what & SVS_ALIGN_EXPOSURE) && exposureFitted) {
        alignment.gain = exposure.gain;
        alignment.offset = exposure.offset;
        alignment.points = points;
    }
    return alignment;
}

double RightAlignment::RowShift(double u, double v) const { return rows[0] + rows[1] * u + rows[2] * v; }

// Only what stands above the measurement's own noise counts: a pair that needs nothing is matched
// as it came rather than resampled by a few hundredths of a pixel, differently each frame.
bool RightAlignment::RowsDiffer() const {
    double farthest = 0.0;
    for (const double u : {-0.5, 0.5})
        for (const double v : {-0.5, 0.5}) farthest = std::max(farthest, std::fabs(RowShift(u, v)));
    return farthest >= kLeastRowShift;
}

bool RightAlignment::ExposureDiffers() const {
    return std::fabs((gain - 1.0) * kDarkLevel + offset) >= kLeastLevels ||
           std::fabs((gain - 1.0) * kBrightLevel + offset) >= kLeastLevels;
}

cv::Mat AlignRight(const cv::Mat& right, const RightAlignment& alignment) {
    if (alignment.points == 0) return right;
    const bool rows = alignment.RowsDiffer(), exposure = alignment.ExposureDiffers();
    if (!rows && !exposure) return right;
    const double inverseGain = exposure ? 1.0 / alignment.gain : 1.0, offset = exposure ? alignment.offset : 0.0;
    cv::Mat aligned;
    if (!rows) {
        right.convertTo(aligned, CV_8U, inverseGain, -offset * inverseGain);
        return aligned;
    }
    // Each column resampled along itself with cubic convolution (a = -0.5), in floating point: a
    // remap would round the shift to a thirty-second of a pixel, a tenth of what is undone.
    aligned.create(right.size(), CV_8UC1);
    const double width = right.cols, height = right.rows;
    const int last = right.rows - 1;
    for (int y = 0; y < right.rows; ++y) {
        auto* out = aligned.ptr<unsigned char>(y);
        for (int x = 0; x < right.cols; ++x) {
            const double from = y + alignment.RowShift(x / width - 0.5, y / height - 0.5);
            const int base = static_cast<int>(std::floor(from));
            const double t = from - base, t2 = t * t, t3 = t2 * t;
            const double weights[4] = {-0.5 * (t3 - 2.0 * t2 + t), 1.5 * t3 - 2.5 * t2 + 1.0,
                                       -1.5 * t3 + 2.0 * t2 + 0.5 * t, 0.5 * (t3 - t2)};
            double level = 0.0;
            for (int k = 0; k < 4; ++k)
                level += weights[k] * right.at<unsigned char>(std::clamp(base - 1 + k, 0, last), x);
            out[x] = cv::saturate_cast<unsigned char>((level - offset) * inverseGain);
        }
    }
    return aligned;
}

}  // namespace svs_internal
