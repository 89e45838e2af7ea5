// The frame grabber: one per process, over OpenCV video capture or numbered image files.
//
// Devices are read continuously by a worker thread that keeps only the newest frame pair, so a
// wait honours its timeout whatever the capture backend does. File sequences are read on the
// caller's thread when a wait asks for the next pair; every file is delivered (none is dropped),
// paced by the frame rate when one is given. All processing of a delivered image (window,
// subsampling, gray conversion, colour rectification) happens on the caller's thread.
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace svs_internal {

bool FormatPattern(const std::string& pattern, int index, std::string& out) {
    std::string text;
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            text += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            text += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        if (j + 1 < pattern.size() && pattern[j] == '0' && pattern[j + 1] >= '1' && pattern[j + 1] <= '9') {
            width = pattern[j + 1] - '0';
            j += 2;
        }
        if (j >= pattern.size() || pattern[j] != 'd') return false;
        std::string digits = std::to_string(index);
        if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
        text += digits;
        ++conversions;
        i = j;
    }
    if (conversions != 1) return false;
    out = text;
    return true;
}

}  // namespace svs_internal

namespace {

using Clock = std::chrono::steady_clock;

// Newest frame pair of the devices, written by the worker thread.
struct DeviceFrames {
    std::mutex mutex;
    std::condition_variable arrived;
    cv::Mat frame[2];
    std::uint64_t sequence = 0;
    std::uint64_t consumed = 0;
    bool stop = false;
};

class Grabber {
public:
    ~Grabber() { Close(); }

    int Open(const svsParameterBlock& block) {
        if (open_) return -1;
        source_ = block.source;
        bool ok = false;
        try {
            if (source_.kind == SVS_SOURCE_FILES) ok = OpenFiles();
            if (source_.kind == SVS_SOURCE_DEVICE || source_.kind == SVS_SOURCE_DEVICES) ok = OpenDevices();
        } catch (const cv::Exception&) {
            ok = false;
        }
        if (!ok) {
            devices_.clear();
            return -1;
        }
        open_ = true;
        return 0;
    }

    int Check(const svsParameterBlock& b) const {
        if (!open_) return -1;
        if (b.binning != 1 && b.binning != 2) return VIDEO_ERROR_BIN_MODE;
        if (b.decimation != 1 && b.decimation != 2 && b.decimation != 4) return VIDEO_ERROR_DEC_MODE;
        const long s = svs_internal::Subsampling(b);
        const long windowWidth = b.width * s, windowHeight = b.height * s;
        if (b.width < 8 || b.height < 8 || b.width > svs_internal::kMaxImageSide ||
            b.height > svs_internal::kMaxImageSide || windowWidth > frameWidth_ || windowHeight > frameHeight_)
            return VIDEO_ERROR_FRAME_SIZE;
        if (b.windowX < 0 || b.windowY < 0 || b.windowX + windowWidth > frameWidth_ ||
            b.windowY + windowHeight > frameHeight_)
            return VIDEO_ERROR_SUBWINDOW;
        return 0;
    }

    int Start(const svsParameterBlock& b) {
        if (!open_) return -1;
        const int checked = Check(b);
        if (checked < 0) return checked;
        Halt();
        block_ = b;
        const std::size_t pixels = static_cast<std::size_t>(b.width) * b.height;
        left_.resize(pixels);  // same size, same storage: handed-out pointers survive a restart
        right_.resize(pixels);
        if (b.colour) colour_.resize(pixels * 4);
        filePending_ = false;
        started_ = Clock::now();
        delivered_ = 0;
        if (!devices_.empty()) {
            frames_.stop = false;
            frames_.consumed = frames_.sequence;
            worker_ = std::thread(&Grabber::CaptureLoop, this);
        }
        running_ = true;
        return 0;
    }

    void Halt() {
        if (worker_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(frames_.mutex);
                frames_.stop = true;
            }
            worker_.join();
        }
        running_ = false;
    }

    void Close() {
        Halt();
        devices_.clear();
        left_.clear();
        right_.clear();
        colour_.clear();
        left_.shrink_to_fit();
        right_.shrink_to_fit();
        colour_.shrink_to_fit();
        open_ = false;
    }

    int Wait(int timeoutMs) {
        if (!running_) return 0;
        const auto timeout = std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
        if (devices_.empty()) return WaitFile(timeout);
        std::unique_lock<std::mutex> lock(frames_.mutex);
        return frames_.arrived.wait_for(lock, timeout, [this] { return frames_.sequence > frames_.consumed; }) ? 1 : 0;
    }

    int Get(unsigned char** left, unsigned char** right, unsigned char** colour) {
        cv::Mat raw[2];
        if (running_ && devices_.empty() && filePending_) {
            raw[0] = fileFrame_[0];
            raw[1] = fileFrame_[1];
            filePending_ = false;
        } else if (running_ && !devices_.empty()) {
            std::lock_guard<std::mutex> lock(frames_.mutex);
            if (frames_.sequence > frames_.consumed) {
                raw[0] = frames_.frame[0];  // the worker replaces, never overwrites, these
                raw[1] = frames_.frame[1];
                frames_.consumed = frames_.sequence;
            }
        }
        if (raw[0].empty() || !Deliver(raw)) {
            if (left) *left = nullptr;
            if (right) *right = nullptr;
            if (colour) *colour = nullptr;
            return -1;
        }
        if (left) *left = left_.data();
        if (right) *right = right_.data();
        if (colour) *colour = block_.colour ? colour_.data() : nullptr;
        return 0;
    }

private:
    bool FileName(int side, int index, std::string& name) const {
        return svs_internal::FormatPattern(side == 0 ? source_.left : source_.right, index, name);
    }

    bool OpenFiles() {
        std::string leftName, rightName;
        if (!FileName(0, source_.firstIndex, leftName) || !FileName(1, source_.firstIndex, rightName)) return false;
        const cv::Mat first = cv::imread(leftName, cv::IMREAD_GRAYSCALE);
        const cv::Mat second = cv::imread(rightName, cv::IMREAD_GRAYSCALE);
        if (first.empty() || first.size() != second.size()) return false;
        frameWidth_ = first.cols;
        frameHeight_ = first.rows;
        nextIndex_ = source_.firstIndex;
        return true;
    }

    // Cameras through V4L2; any other path is a recorded video. Naming the backends keeps OpenCV
    // from probing every camera library it knows (some of which leak what they probe with).
    static bool OpenDevice(const char* name, cv::VideoCapture& device) {
        const std::string text(name);
        const bool isIndex = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        if (isIndex) return device.open(std::stoi(text), cv::CAP_V4L2);
        if (text.compare(0, 5, "/dev/") == 0) return device.open(text, cv::CAP_V4L2);
        return device.open(text, cv::CAP_FFMPEG) || device.open(text, cv::CAP_OPENCV_MJPEG);
    }

    bool OpenDevices() {
        const int count = source_.kind == SVS_SOURCE_DEVICES ? 2 : 1;
        devices_.resize(count);
        cv::Size size[2];
        for (int i = 0; i < count; ++i) {
            if (!OpenDevice(i == 0 ? source_.left : source_.right, devices_[i])) return false;
            if (source_.captureWidth > 0 && source_.captureHeight > 0) {
                devices_[i].set(cv::CAP_PROP_FRAME_WIDTH, source_.captureWidth);
                devices_[i].set(cv::CAP_PROP_FRAME_HEIGHT, source_.captureHeight);
            }
            cv::Mat probe;  // a device that delivers nothing is not open
            if (!devices_[i].read(probe) || probe.empty()) return false;
            size[i] = probe.size();
        }
        if (count == 2 && size[0] != size[1]) return false;
        frameWidth_ = count == 2 ? size[0].width : size[0].width / 2;
        frameHeight_ = size[0].height;
        return frameWidth_ > 0;
    }

    void CaptureLoop() {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(frames_.mutex);
                if (frames_.stop) return;
            }
            cv::Mat frame[2];
            bool ok = true;
            try {
                for (auto& device : devices_) ok = ok && device.grab();
                for (std::size_t i = 0; ok && i < devices_.size(); ++i) ok = devices_[i].retrieve(frame[i]) && !frame[i].empty();
            } catch (const cv::Exception&) {
                ok = false;
            }
            if (!ok) {  // an unplugged device or the end of a video file: try again shortly
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (devices_.size() == 1) {  // side by side: left half, right half
                const int half = frame[0].cols / 2;
                frame[1] = frame[0](cv::Rect(half, 0, half, frame[0].rows)).clone();
                frame[0] = frame[0](cv::Rect(0, 0, half, frame[0].rows)).clone();
            }
            {
                std::lock_guard<std::mutex> lock(frames_.mutex);
                frames_.frame[0] = frame[0];
                frames_.frame[1] = frame[1];
                ++frames_.sequence;
            }
            frames_.arrived.notify_all();
        }
    }

    int WaitFile(std::chrono::milliseconds timeout) {
        if (filePending_) return 1;
        if (nextIndex_ > source_.lastIndex) return 0;  // the sequence has ended: nothing will come
        if (source_.frameRate > 0) {
            const auto due = started_ + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(delivered_ / source_.frameRate));
            const auto now = Clock::now();
            if (due > now + timeout) {
                std::this_thread::sleep_for(timeout);
                return 0;
            }
            if (due > now) std::this_thread::sleep_until(due);
        }
        std::string leftName, rightName;
        const int index = nextIndex_++;
        ++delivered_;
        if (!FileName(0, index, leftName) || !FileName(1, index, rightName)) return 0;
        try {
            fileFrame_[0] = cv::imread(leftName, block_.colour ? cv::IMREAD_COLOR : cv::IMREAD_GRAYSCALE);
            fileFrame_[1] = cv::imread(rightName, cv::IMREAD_GRAYSCALE);
        } catch (const cv::Exception&) {
            return 0;
        }
        const cv::Size expected(frameWidth_, frameHeight_);
        if (fileFrame_[0].size() != expected || fileFrame_[1].size() != expected) return 0;  // a lost frame
        filePending_ = true;
        return 1;
    }

    // Window, gray conversion and subsampling of one raw frame pair into the handed-out buffers.
    bool Deliver(const cv::Mat raw[2]) {
        const svsParameterBlock& b = block_;
        const int s = svs_internal::Subsampling(b);
        const cv::Rect window(b.windowX, b.windowY, b.width * s, b.height * s);
        if (raw[0].size() != raw[1].size() || (window & cv::Rect(0, 0, raw[0].cols, raw[0].rows)) != window) return false;
        try {
            unsigned char* out[2] = {left_.data(), right_.data()};
            for (int side = 0; side < 2; ++side) {
                cv::Mat gray;
                if (raw[side].channels() == 1) gray = raw[side](window);
                else cv::cvtColor(raw[side](window), gray, raw[side].channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
                cv::Mat delivered(b.height, b.width, CV_8UC1, out[side]);
                Subsample(gray, delivered);
            }
            if (b.colour) {
                cv::Mat rgba;
                const cv::Mat& left = raw[0];
                const int code = left.channels() == 1 ? cv::COLOR_GRAY2RGBA
                                 : left.channels() == 4 ? cv::COLOR_BGRA2RGBA : cv::COLOR_BGR2RGBA;
                cv::cvtColor(left(window), rgba, code);
                cv::Mat small(b.height, b.width, CV_8UC4);
                Subsample(rgba, small);
                svs_internal::WarpWith(b, colour_.data(), small.data, 1, 1);
            }
        } catch (const cv::Exception&) {
            return false;
        }
        return true;
    }

    // Binning averages bin x bin blocks, then decimation keeps every dec-th pixel.
    void Subsample(const cv::Mat& in, cv::Mat& out) const {
        cv::Mat binned = in;
        if (block_.binning > 1)
            cv::resize(in, binned, cv::Size(in.cols / block_.binning, in.rows / block_.binning), 0, 0, cv::INTER_AREA);
        if (block_.decimation > 1) cv::resize(binned, out, out.size(), 0, 0, cv::INTER_NEAREST);
        else binned.copyTo(out);
    }

    bool open_ = false;
    bool running_ = false;
    svsCaptureSource source_{};
    svsParameterBlock block_{};
    int frameWidth_ = 0, frameHeight_ = 0;
    std::vector<unsigned char> left_, right_, colour_;

    int nextIndex_ = 0;
    long delivered_ = 0;
    Clock::time_point started_;
    cv::Mat fileFrame_[2];
    bool filePending_ = false;

    std::vector<cv::VideoCapture> devices_;
    std::thread worker_;
    DeviceFrames frames_;
};

Grabber grabber;

}  // namespace

int svsVideoOpen(const svsParameterBlock* block) { return block ? grabber.Open(*block) : -1; }
int svsVideoCheckParameters(const svsParameterBlock* block) { return block ? grabber.Check(*block) : -1; }
int svsVideoStartContinuous(const svsParameterBlock* block) { return block ? grabber.Start(*block) : -1; }
void svsVideoHaltContinuous() { grabber.Halt(); }
void svsVideoClose() { grabber.Close(); }
int svsVideoWaitImage(int timeoutMs) { return grabber.Wait(timeoutMs); }
int svsVideoGetImage(unsigned char** left, unsigned char** right, unsigned char** colour) {
    return grabber.Get(left, right, colour);
}
