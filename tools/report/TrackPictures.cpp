#include "report/TrackPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

namespace {

const cv::Scalar kFaceColour(60, 200, 60);      // green
const cv::Scalar kRegionColour(0, 215, 255);    // amber
const cv::Scalar kAxisColours[3] = {cv::Scalar(40, 40, 230), cv::Scalar(40, 190, 40), cv::Scalar(230, 120, 30)};
const cv::Scalar kEstimateColour(200, 90, 20);  // blue
const cv::Scalar kTruthColour(40, 40, 40);
const cv::Scalar kText(255, 255, 255);

void Label(cv::Mat& image, const std::string& text, cv::Point origin, double size, const cv::Scalar& colour) {
    // A dark outline keeps the text readable on any background.
    cv::putText(image, text, origin, cv::FONT_HERSHEY_SIMPLEX, size, cv::Scalar(0, 0, 0), 3, cv::LINE_AA);
    cv::putText(image, text, origin, cv::FONT_HERSHEY_SIMPLEX, size, colour, 1, cv::LINE_AA);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

Projection FitProjection(const cv::Mat& x, const cv::Mat& y, const cv::Mat& z) {
    Projection projection;
    if (x.empty() || x.size() != y.size() || x.size() != z.size() || x.type() != CV_32FC1 || y.type() != CV_32FC1 ||
        z.type() != CV_32FC1)
        return projection;
    // u = fx a + cx with a = X / Z, v = fy b + cy with b = Y / Z: two independent line fits.
    double sa = 0, saa = 0, su = 0, sau = 0, sb = 0, sbb = 0, sv = 0, sbv = 0;
    int n = 0;
    for (int row = 0; row < z.rows; row += 2) {
        for (int column = 0; column < z.cols; column += 2) {
            const double depth = z.at<float>(row, column);
            const double a = x.at<float>(row, column) / depth, b = y.at<float>(row, column) / depth;
            if (!(depth > 0.0) || !std::isfinite(depth) || !std::isfinite(a) || !std::isfinite(b)) continue;
            sa += a, saa += a * a, su += column, sau += a * column;
            sb += b, sbb += b * b, sv += row, sbv += b * row;
            ++n;
        }
    }
    if (n < 100) return projection;
    const double da = n * saa - sa * sa, db = n * sbb - sb * sb;
    if (std::abs(da) < 1e-12 || std::abs(db) < 1e-12) return projection;
    projection.fx = (n * sau - sa * su) / da;
    projection.cx = (su - projection.fx * sa) / n;
    projection.fy = (n * sbv - sb * sv) / db;
    projection.cy = (sv - projection.fy * sb) / n;
    projection.valid = std::isfinite(projection.fx) && std::isfinite(projection.fy) && projection.fx != 0.0;
    return projection;
}

cv::Mat AnnotateFrame(const cv::Mat& grey, const FrameAnnotation& a, int scale) {
    cv::Mat picture;
    cv::Mat enlarged;
    cv::resize(grey, enlarged, cv::Size(), scale, scale, cv::INTER_LINEAR);
    cv::cvtColor(enlarged, picture, cv::COLOR_GRAY2BGR);
    const double s = scale;
    if (a.region) {
        const cv::Rect r = *a.region;
        cv::rectangle(picture, cv::Point(cvRound(r.x * s), cvRound(r.y * s)),
                      cv::Point(cvRound((r.x + r.width) * s), cvRound((r.y + r.height) * s)), kRegionColour, 1,
                      cv::LINE_AA);
        Label(picture, "region", cv::Point(cvRound(r.x * s) + 3, cvRound((r.y + r.height) * s) - 4), 0.35 * s,
              kRegionColour);
    }
    if (a.faceBox) {
        const cv::Rect2d& b = *a.faceBox;
        cv::rectangle(picture, cv::Point(cvRound(b.x * s), cvRound(b.y * s)),
                      cv::Point(cvRound((b.x + b.width) * s), cvRound((b.y + b.height) * s)), kFaceColour,
                      a.faceFoundHere ? 2 : 1, cv::LINE_AA);
    }
    if (a.drawAxes && a.projection.valid && a.centroid[2] > 0.0) {
        const cv::Point2d origin = a.projection.Project(a.centroid) * s;
        for (int axis = 2; axis >= 0; --axis) {  // z first, so x and y stay on top
            const cv::Vec3d direction(a.rotation(0, axis), a.rotation(1, axis), a.rotation(2, axis));
            // Z points away from the camera, into the head: draw it towards the viewer.
            const double length = axis == 2 ? -a.axisLengthMm : a.axisLengthMm;
            const cv::Vec3d tip = a.centroid + direction * length;
            if (tip[2] <= 0.0) continue;
            cv::arrowedLine(picture, origin, a.projection.Project(tip) * s, kAxisColours[axis], std::max(2, scale),
                            cv::LINE_AA, 0, 0.15);
        }
        cv::circle(picture, origin, 2 * scale, kText, cv::FILLED, cv::LINE_AA);
    }
    int line = 0;
    for (const std::string& text : a.caption)
        Label(picture, text, cv::Point(4 * scale, static_cast<int>((12 + 13 * line++) * s)), 0.38 * s, kText);
    // A coloured edge tells the state at a glance: green tracking, grey detecting.
    cv::rectangle(picture, cv::Point(0, 0), cv::Point(picture.cols - 1, picture.rows - 1),
                  a.tracking ? kFaceColour : cv::Scalar(120, 120, 120), std::max(2, scale));
    return picture;
}

cv::Mat ContactSheet(const std::vector<cv::Mat>& tiles, int columns) {
    if (tiles.empty() || columns < 1) return cv::Mat();
    const cv::Size tile = tiles.front().size();
    const int gap = 4;
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    const int used = std::min(columns, static_cast<int>(tiles.size()));
    cv::Mat sheet(rows * (tile.height + gap) + gap, used * (tile.width + gap) + gap, CV_8UC3, cv::Scalar(30, 30, 30));
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        if (tiles[k].size() != tile || tiles[k].type() != CV_8UC3) continue;
        const int column = static_cast<int>(k) % columns, row = static_cast<int>(k) / columns;
        tiles[k].copyTo(sheet(cv::Rect(gap + column * (tile.width + gap), gap + row * (tile.height + gap), tile.width,
                                       tile.height)));
    }
    return sheet;
}

namespace {

struct Panel {
    cv::Rect area;
    double minimumX, maximumX, minimumY, maximumY;

    cv::Point2d At(double x, double y) const {
        return {area.x + (x - minimumX) / (maximumX - minimumX) * area.width,
                area.y + area.height - (y - minimumY) / (maximumY - minimumY) * area.height};
    }
};

// A step of 1, 2 or 5 times a power of ten giving about five ticks.
double TickStep(double span) {
    const double raw = span / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power) return factor * power;
    return 10.0 * power;
}

void DrawSeries(cv::Mat& image, const Panel& panel, const PoseSeries& series, int component, const cv::Scalar& colour,
                int thickness) {
    std::vector<cv::Point> run;
    auto flush = [&] {
        if (run.size() > 1) cv::polylines(image, run, false, colour, thickness, cv::LINE_AA);
        run.clear();
    };
    for (std::size_t k = 0; k < series.frames.size(); ++k) {
        const double value = series.values[k][component];
        if (!std::isfinite(value)) {
            flush();
            continue;
        }
        // A jump back in frame numbers (a sequence replayed back and forth) starts a new line.
        if (k > 0 && series.frames[k] < series.frames[k - 1]) flush();
        run.push_back(panel.At(series.frames[k], value));
    }
    flush();
}

}  // namespace

cv::Mat PosePlot(const PoseSeries& estimate, const PoseSeries& truth, const std::vector<int>& trackingStarts,
                 const std::string& title) {
    const char* names[6] = {"yaw (deg)", "pitch (deg)", "roll (deg)", "t1 / X (mm)", "t2 / Y (mm)", "t3 / Z (mm)"};
    const int panelWidth = 520, panelHeight = 170, left = 70, top = 75, gapX = 90, gapY = 50;
    cv::Mat plot(top + 3 * (panelHeight + gapY), left + 2 * (panelWidth + gapX) - 40, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::putText(plot, title, cv::Point(left, 30), cv::FONT_HERSHEY_SIMPLEX, 0.6, kTruthColour, 1, cv::LINE_AA);

    double firstFrame = 1e300, lastFrame = -1e300;
    for (const PoseSeries* series : {&estimate, &truth})
        for (int frame : series->frames) firstFrame = std::min<double>(firstFrame, frame), lastFrame = std::max<double>(lastFrame, frame);
    if (firstFrame > lastFrame) return plot;
    if (lastFrame == firstFrame) lastFrame = firstFrame + 1;

    for (int component = 0; component < 6; ++component) {
        double low = 1e300, high = -1e300;
        for (const PoseSeries* series : {&estimate, &truth})
            for (const cv::Vec6d& v : series->values)
                if (std::isfinite(v[component])) low = std::min(low, v[component]), high = std::max(high, v[component]);
        if (low > high) low = -1, high = 1;
        // Some room around the curves, and never less than a small span so that noise stays small.
        const double minimumSpan = component < 3 ? 2.0 : 10.0;
        const double middle = (low + high) / 2, half = std::max((high - low) / 2 * 1.1, minimumSpan / 2);
        const int column = component / 3, row = component % 3;
        Panel panel{cv::Rect(left + column * (panelWidth + gapX), top + row * (panelHeight + gapY), panelWidth, panelHeight),
                    firstFrame, lastFrame, middle - half, middle + half};
        cv::rectangle(plot, panel.area, cv::Scalar(160, 160, 160), 1);
        const double stepY = TickStep(2 * half);
        for (double y = std::ceil(panel.minimumY / stepY) * stepY; y <= panel.maximumY; y += stepY) {
            const cv::Point2d p = panel.At(firstFrame, y);
            cv::line(plot, cv::Point(panel.area.x, cvRound(p.y)), cv::Point(panel.area.br().x, cvRound(p.y)),
                     std::abs(y) < stepY / 2 ? cv::Scalar(170, 170, 170) : cv::Scalar(230, 230, 230), 1);
            cv::putText(plot, Format(stepY < 1 ? "%.1f" : "%.0f", y), cv::Point(panel.area.x - 50, cvRound(p.y) + 4),
                        cv::FONT_HERSHEY_SIMPLEX, 0.4, kTruthColour, 1, cv::LINE_AA);
        }
        const double stepX = TickStep(lastFrame - firstFrame);
        for (double x = std::ceil(firstFrame / stepX) * stepX; x <= lastFrame; x += stepX) {
            const cv::Point2d p = panel.At(x, panel.minimumY);
            cv::line(plot, cv::Point(cvRound(p.x), panel.area.br().y), cv::Point(cvRound(p.x), panel.area.br().y + 4),
                     kTruthColour, 1);
            cv::putText(plot, Format("%.0f", x), cv::Point(cvRound(p.x) - 10, panel.area.br().y + 18),
                        cv::FONT_HERSHEY_SIMPLEX, 0.4, kTruthColour, 1, cv::LINE_AA);
        }
        for (int start : trackingStarts) {
            const cv::Point2d p = panel.At(start, panel.minimumY);
            cv::line(plot, cv::Point(cvRound(p.x), panel.area.y), cv::Point(cvRound(p.x), panel.area.br().y),
                     kFaceColour, 1, cv::LINE_AA);
        }
        cv::putText(plot, names[component], cv::Point(panel.area.x + 6, panel.area.y + 16), cv::FONT_HERSHEY_SIMPLEX,
                    0.5, kTruthColour, 1, cv::LINE_AA);
        cv::Mat clip = plot(panel.area);
        Panel inside = panel;
        inside.area = cv::Rect(0, 0, panel.area.width, panel.area.height);
        DrawSeries(clip, inside, truth, component, kTruthColour, 1);
        DrawSeries(clip, inside, estimate, component, kEstimateColour, 2);
    }
    // Legend, under the title.
    const int y = 55, x = left;
    cv::line(plot, cv::Point(x, y - 4), cv::Point(x + 30, y - 4), kEstimateColour, 2, cv::LINE_AA);
    cv::putText(plot, "tracker", cv::Point(x + 36, y), cv::FONT_HERSHEY_SIMPLEX, 0.5, kTruthColour, 1, cv::LINE_AA);
    if (!truth.frames.empty()) {
        cv::line(plot, cv::Point(x + 120, y - 4), cv::Point(x + 150, y - 4), kTruthColour, 1, cv::LINE_AA);
        cv::putText(plot, "ground truth", cv::Point(x + 156, y), cv::FONT_HERSHEY_SIMPLEX, 0.5, kTruthColour, 1,
                    cv::LINE_AA);
    }
    cv::line(plot, cv::Point(x + 290, y - 12), cv::Point(x + 290, y + 2), kFaceColour, 1);
    cv::putText(plot, "face found", cv::Point(x + 298, y), cv::FONT_HERSHEY_SIMPLEX, 0.5, kTruthColour, 1, cv::LINE_AA);
    cv::putText(plot, "frame", cv::Point(plot.cols / 2 - 20, plot.rows - 8), cv::FONT_HERSHEY_SIMPLEX, 0.5, kTruthColour,
                1, cv::LINE_AA);
    return plot;
}
