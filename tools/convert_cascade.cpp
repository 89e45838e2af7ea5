// convert_cascade CASCADE_XML OUTPUT_FOLDER
//
// Turns a trained Haar cascade in OpenCV's storage format (upright features of two, three or four
// rectangles, stump weak classifiers) into our classifier file, OUTPUT_FOLDER/Classifier.txt, and
// one stage file per stage beside it. The classifier file names its stage files relative to its
// own folder. Exits non-zero, writing nothing more, when a feature does not fit our formats.
//
// Threshold mapping. The cascade normalises a window by the standard deviation sigma of its inner
// (w - 2) x (h - 2) rectangle of area A (484 for 24 x 24), and a stump takes its right leaf when
//     F / (A * sigma) >= t,   F = sum of rectangle weight x rectangle pixel sum.
// Our detector evaluates the same rectangles as corner weights multiplied by an integer factor k,
// so at scale s its corner sum is about k s^2 F, and a feature fires when
//     k s^2 F * sqrt(4000 / (v + 100)) / s^2 > T,   i.e.   F > T sqrt(v + 100) / (k sqrt(4000)),
// v being the variance over the whole window. With T = k t A sqrt(4000) this reads
//     F > t A sqrt(v + 100),
// the cascade's rule with sigma replaced by sqrt(v + 100): 0.1 to 5 % apart for the 30 to 70 grey
// levels of deviation a face window shows. Rounding T to an integer moves the boundary on F by at
// most 0.5 sqrt(v + 100) / (k sqrt(4000)), under 0.1 for k = 16 and any deviation below 100,
// which is below the integer step of F itself. "Fires" (strictly greater) is the right leaf, so
// voteTrue is the right leaf value and voteFalse the left; a tie differs only on exact equality.
// The cascade passes a stage when the leaf sum >= its threshold; ours when sum + threshold >= 0,
// hence the stage threshold's negative.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace {

constexpr int kWeightFactor = 16;

struct Rect {
    int x, y, width, height, weight;
};

struct Corner {
    int x, y, weight;
};

struct ConvertedFeature {
    int nPoints = 0;
    int orientation = 0;
    std::vector<Corner> corners;  // row by row
};

struct Stump {
    int featureIndex;
    double threshold;
    double leftLeaf;
    double rightLeaf;
};

struct Stage {
    double threshold;
    std::vector<Stump> stumps;
};

bool Fail(const std::string& message) {
    std::fprintf(stderr, "convert_cascade: %s\n", message.c_str());
    return false;
}

// Distinct values, sorted, and whether they are evenly spaced.
std::vector<int> GridLines(const std::vector<int>& edges, bool& regular) {
    std::vector<int> lines = edges;
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    regular = lines.size() >= 2;
    for (std::size_t i = 2; i < lines.size(); ++i) regular = regular && lines[i] - lines[i - 1] == lines[1] - lines[0];
    return lines;
}

// Lays the rectangles on their common corner grid: a rectangle over pixels a..b adds its weight
// at corners a - 1 and b with the signs +, -, -, +.
bool ConvertFeature(const std::vector<Rect>& rects, int index, ConvertedFeature& feature) {
    std::vector<int> xEdges, yEdges;
    for (const Rect& r : rects) {
        xEdges.insert(xEdges.end(), {r.x, r.x + r.width});
        yEdges.insert(yEdges.end(), {r.y, r.y + r.height});
    }
    bool regularX = false, regularY = false;
    const std::vector<int> xs = GridLines(xEdges, regularX);
    const std::vector<int> ys = GridLines(yEdges, regularY);
    const std::string name = "feature " + std::to_string(index);
    if (!regularX || !regularY) return Fail(name + " does not lie on an evenly spaced grid");
    const int columns = static_cast<int>(xs.size()), rows = static_cast<int>(ys.size());
    const std::map<std::pair<int, int>, std::pair<int, int>> shapes = {
        {{2, 3}, {6, -1}}, {{3, 2}, {6, 0}}, {{2, 4}, {8, -1}}, {{4, 2}, {8, 0}}, {{3, 3}, {9, 0}}};
    const auto shape = shapes.find({columns, rows});
    if (shape == shapes.end()) {
        return Fail(name + " has a " + std::to_string(columns) + " x " + std::to_string(rows) + " corner grid");
    }
    feature.nPoints = shape->second.first;
    feature.orientation = shape->second.second;
    feature.corners.clear();
    for (int y : ys) {
        for (int x : xs) feature.corners.push_back({x - 1, y - 1, 0});
    }
    auto add = [&](int edgeX, int edgeY, int weight) {
        const int column = static_cast<int>(std::find(xs.begin(), xs.end(), edgeX) - xs.begin());
        const int row = static_cast<int>(std::find(ys.begin(), ys.end(), edgeY) - ys.begin());
        feature.corners[row * columns + column].weight += weight * kWeightFactor;
    };
    for (const Rect& r : rects) {
        add(r.x, r.y, r.weight);
        add(r.x + r.width, r.y, -r.weight);
        add(r.x, r.y + r.height, -r.weight);
        add(r.x + r.width, r.y + r.height, r.weight);
    }
    return true;
}

bool ReadFeatures(const cv::FileNode& node, std::vector<ConvertedFeature>& features) {
    int index = 0;
    for (const cv::FileNode& featureNode : node) {
        if (static_cast<int>(featureNode["tilted"]) != 0) return Fail("tilted features are not supported");
        std::vector<Rect> rects;
        for (const cv::FileNode& rectNode : featureNode["rects"]) {
            std::vector<double> v;
            rectNode >> v;
            if (v.size() != 5 || v[4] != std::round(v[4])) return Fail("a rectangle weight is not an integer");
            rects.push_back({static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                             static_cast<int>(v[3]), static_cast<int>(v[4])});
        }
        ConvertedFeature feature;
        if (!ConvertFeature(rects, index++, feature)) return false;
        features.push_back(feature);
    }
    return true;
}

bool ReadStages(const cv::FileNode& node, std::vector<Stage>& stages) {
    for (const cv::FileNode& stageNode : node) {
        Stage stage{static_cast<double>(stageNode["stageThreshold"]), {}};
        for (const cv::FileNode& weak : stageNode["weakClassifiers"]) {
            std::vector<double> internal, leaves;
            weak["internalNodes"] >> internal;
            weak["leafValues"] >> leaves;
            if (internal.size() != 4 || leaves.size() != 2) return Fail("only stump weak classifiers are supported");
            stage.stumps.push_back({static_cast<int>(internal[2]), internal[3], leaves[0], leaves[1]});
        }
        if (stage.stumps.empty() || stage.stumps.size() > 400) return Fail("a stage has no or over 400 features");
        stages.push_back(stage);
    }
    return !stages.empty() || Fail("the cascade has no stages");
}

std::string StageFileName(std::size_t index) {
    std::ostringstream name;
    name << "FrontalFaceStage" << std::setw(2) << std::setfill('0') << index << ".txt";
    return name.str();
}

bool WriteStage(const std::string& path, const Stage& stage, const std::vector<ConvertedFeature>& features,
                double normArea) {
    std::ofstream out(path);
    out << std::setprecision(17);
    out << stage.stumps.size() << ' ' << -stage.threshold << '\n';
    for (const Stump& stump : stage.stumps) {
        if (stump.featureIndex < 0 || stump.featureIndex >= static_cast<int>(features.size())) {
            return Fail("a weak classifier names a missing feature");
        }
        const ConvertedFeature& feature = features[stump.featureIndex];
        out << feature.nPoints << ' ' << feature.orientation << '\n';
        for (const Corner& corner : feature.corners) out << corner.x << ' ' << corner.y << ' ' << corner.weight << '\n';
        const double threshold = std::round(kWeightFactor * stump.threshold * normArea * std::sqrt(4000.0));
        out << static_cast<long>(threshold) << ' ' << stump.rightLeaf << ' ' << stump.leftLeaf << '\n';
    }
    return static_cast<bool>(out) || Fail("cannot write " + path);
}

bool Convert(const std::string& cascadePath, const std::string& folder) {
    cv::FileStorage storage;
    try {
        storage.open(cascadePath, cv::FileStorage::READ);
    } catch (const cv::Exception&) {
    }
    if (!storage.isOpened()) return Fail("cannot read " + cascadePath);
    const cv::FileNode cascade = storage["cascade"];
    const int width = static_cast<int>(cascade["width"]);
    const int height = static_cast<int>(cascade["height"]);
    if (width != 24 || height != 24 || static_cast<std::string>(cascade["featureType"]) != "HAAR") {
        return Fail("only 24 x 24 Haar cascades are supported");
    }
    std::vector<ConvertedFeature> features;
    std::vector<Stage> stages;
    if (!ReadFeatures(cascade["features"], features) || !ReadStages(cascade["stages"], stages)) return false;

    const double normArea = static_cast<double>((width - 2) * (height - 2));
    for (std::size_t s = 0; s < stages.size(); ++s) {
        if (!WriteStage(folder + "/" + StageFileName(s), stages[s], features, normArea)) return false;
    }
    // Written last, so that a failed conversion leaves no classifier file behind.
    std::ofstream classifier(folder + "/Classifier.txt");
    classifier << stages.size() << '\n';
    for (std::size_t s = 0; s < stages.size(); ++s) classifier << StageFileName(s) << '\n';
    return static_cast<bool>(classifier) || Fail("cannot write " + folder + "/Classifier.txt");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: convert_cascade CASCADE_XML OUTPUT_FOLDER\n");
        return 2;
    }
    return Convert(argv[1], argv[2]) ? 0 : 1;
}
