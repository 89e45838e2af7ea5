#include "image/Image.h"

#include <algorithm>
#include <cstring>

#include "image/ImagePixels.h"

using image_pixels::Area;
using image_pixels::Guarded;
using image_pixels::HasPixels;
using image_pixels::IsBitonal;
using image_pixels::View;

void CImage::HeaderRelease::operator()(IplImage* header) const { iplDeallocate(header, IPL_IMAGE_ALL); }

CImage::CImage() : CImage(320, 240, IPL_DEPTH_8U, 3, IPL_DATA_ORDER_PIXEL) {}

CImage::CImage(int width, int height, int depth, int nChannels, int dataOrder) {
    CreateHeader(width, height, depth, nChannels, dataOrder);
}

CImage::CImage(const char* fileName, int format) { Load(fileName, format); }

CImage::~CImage() { DetachRegion(); }

void CImage::DetachRegion() {
    // The region's IplROI belongs to the region: take it out of the header before any release.
    if (header_ && attachedRoi_ && header_->roi == attachedRoi_.get()) header_->roi = nullptr;
    attachedRoi_.reset();
    region_ = nullptr;
}

void CImage::ReplaceHeader(HeaderPtr header) {
    DetachRegion();
    header_ = std::move(header);
}

int CImage::CreateHeader(int width, int height, int depth, int nChannels, int dataOrder) {
    if (depth == IPL_DEPTH_1U) {
        nChannels = 1;
        dataOrder = IPL_DATA_ORDER_PIXEL;
    }
    const char* colorModel;
    const char* channelSeq;
    switch (nChannels) {
        case 1: colorModel = "GRAY"; channelSeq = "GRAY"; break;
        case 3: colorModel = "RGB"; channelSeq = "BGR"; break;
        case 4: colorModel = "RGBA"; channelSeq = "RGBA"; break;
        default: return 0;
    }
    HeaderPtr header(iplCreateImageHeader(nChannels, 0, depth, colorModel, channelSeq, dataOrder,
                                          IPL_ORIGIN_TL, IPL_ALIGN_QWORD, width, height, nullptr, nullptr,
                                          nullptr, nullptr));
    if (!header) return 0;
    ReplaceHeader(std::move(header));
    return 1;
}

void CImage::Allocate() {
    if (!header_) return;
    IplImage* header = header_.get();
    Guarded([header] {
        if (header->depth == IPL_DEPTH_32F) {
            iplAllocateImageFP(header, 0, 0.0f);
        } else {
            iplAllocateImage(header, 0, 0);
        }
    });
}

CImage* CImage::Clone() const {
    if (!header_) return nullptr;
    auto copy = std::make_unique<CImage>(0, 0, IPL_DEPTH_8U, 1, IPL_DATA_ORDER_PIXEL);
    HeaderPtr cloned;
    if (!Guarded([&] { cloned.reset(iplCloneImage(header_.get())); }) || !cloned) return nullptr;
    copy->ReplaceHeader(std::move(cloned));
    return copy.release();
}

CImage* CImage::CreateLike() const { return header_ ? CreateLike(header_->depth) : nullptr; }

CImage* CImage::CreateLike(int depth) const {
    if (!header_) return nullptr;
    const int channels = header_->nChannels == 3 ? 3 : 1;
    auto like = std::make_unique<CImage>(header_->width, header_->height, depth, channels, IPL_DATA_ORDER_PIXEL);
    if (!like->header_) return nullptr;
    like->Allocate();
    return like->GetImageData() ? like.release() : nullptr;
}

CImage* CImage::CopyROI(CImageROI* region) {
    if (!region || !HasPixels(header_.get())) return nullptr;
    const int channels = header_->nChannels == 3 ? 3 : 1;
    auto copy = std::make_unique<CImage>(region->GetWidth(), region->GetHeight(), header_->depth, channels,
                                         IPL_DATA_ORDER_PIXEL);
    if (!copy->header_) return nullptr;
    copy->Allocate();
    if (!copy->GetImageData()) return nullptr;
    copy->Set(0);

    // The part of the region inside the image goes to the same place of the copy.
    SetROI(region);
    const cv::Rect inside = Area(header_.get());
    CImageROI target(inside.x - region->GetXOffset(), inside.y - region->GetYOffset(), inside.width,
                     inside.height, 0);
    copy->SetROI(&target);
    CopyTo(copy.get());
    copy->SetROI(nullptr);
    SetROI(nullptr);
    return copy.release();
}

void CImage::CopyROIInto(CImage* destination, CImageROI* region) {
    if (!region) return;
    SetROI(region);
    CopyTo(destination);
    SetROI(nullptr);
}

void CImage::CopyTo(CImage* destination) const {
    if (!destination || destination == this) return;
    const IplImage* source = header_.get();
    IplImage* target = destination->header_.get();
    const cv::Rect from = Area(source);
    const cv::Rect to = Area(target);
    if (from.empty() || from.size() != to.size()) return;
    if (IsBitonal(source) || IsBitonal(target)) {
        if (IsBitonal(source) && IsBitonal(target))
            image_pixels::PackBits(target, to, image_pixels::UnpackBits(source, from));
        return;
    }
    const cv::Mat in = View(source);
    cv::Mat out = View(target);
    if (in.depth() != out.depth()) return;
    const int coi = source->roi ? source->roi->coi : 0;
    Guarded([&] {
        if (in.channels() == out.channels()) {
            in.copyTo(out);
        } else if (out.channels() == 1) {
            // A one-channel destination takes the channel of interest, the first when none is named.
            const int channel = coi >= 1 && coi <= in.channels() ? coi - 1 : 0;
            cv::extractChannel(in, out, channel);
        }
    });
}

void CImage::Set(int value) {
    IplImage* header = header_.get();
    if (IsBitonal(header)) {
        const cv::Rect area = Area(header);
        image_pixels::PackBits(header, area, cv::Mat(area.size(), CV_8UC1, cv::Scalar(value != 0 ? 1 : 0)));
        return;
    }
    cv::Mat view = View(header);
    if (!view.empty()) Guarded([&] { view.setTo(cv::Scalar::all(value)); });
}

namespace {

std::string tagText(const char (&tag)[4]) { return std::string(tag, strnlen(tag, sizeof tag)); }

void setTag(char (&tag)[4], const char* text) {
    std::memset(tag, 0, sizeof tag);
    if (text) std::memcpy(tag, text, strnlen(text, sizeof tag));
}

}  // namespace

int CImage::GetWidth() const { return header_ ? header_->width : 0; }
void CImage::SetWidth(int width) { if (header_) header_->width = width; }
int CImage::GetHeight() const { return header_ ? header_->height : 0; }
void CImage::SetHeight(int height) { if (header_) header_->height = height; }
int CImage::GetDepth() const { return header_ ? header_->depth : 0; }
void CImage::SetDepth(int depth) { if (header_) header_->depth = depth; }
int CImage::GetNChannels() const { return header_ ? header_->nChannels : 0; }
void CImage::SetNChannels(int nChannels) { if (header_) header_->nChannels = nChannels; }
int CImage::GetAlphaChannel() const { return header_ ? header_->alphaChannel : 0; }
void CImage::SetAlphaChannel(int alphaChannel) { if (header_) header_->alphaChannel = alphaChannel; }
std::string CImage::GetColorModel() const { return header_ ? tagText(header_->colorModel) : std::string(); }
void CImage::SetColorModel(const char* colorModel) { if (header_) setTag(header_->colorModel, colorModel); }
std::string CImage::GetChannelSeq() const { return header_ ? tagText(header_->channelSeq) : std::string(); }
void CImage::SetChannelSeq(const char* channelSeq) { if (header_) setTag(header_->channelSeq, channelSeq); }
int CImage::GetDataOrder() const { return header_ ? header_->dataOrder : 0; }
void CImage::SetDataOrder(int dataOrder) { if (header_) header_->dataOrder = dataOrder; }
int CImage::GetOrigin() const { return header_ ? header_->origin : 0; }
void CImage::SetOrigin(int origin) { if (header_) header_->origin = origin; }
int CImage::GetAlign() const { return header_ ? header_->align : 0; }
void CImage::SetAlign(int align) { if (header_) header_->align = align; }
int CImage::GetWidthStep() const { return header_ ? header_->widthStep : 0; }
void CImage::SetWidthStep(int widthStep) { if (header_) header_->widthStep = widthStep; }
int CImage::GetImageSize() const { return header_ ? header_->imageSize : 0; }
void CImage::SetImageSize(int imageSize) { if (header_) header_->imageSize = imageSize; }
char* CImage::GetImageData() const { return header_ ? header_->imageData : nullptr; }
void CImage::SetImageData(char* imageData) { if (header_) header_->imageData = imageData; }
char* CImage::GetImageDataOrigin() const { return header_ ? header_->imageDataOrigin : nullptr; }
void CImage::SetImageDataOrigin(char* imageDataOrigin) { if (header_) header_->imageDataOrigin = imageDataOrigin; }

void CImage::SetROI(CImageROI* region) {
    DetachRegion();
    if (!region || !header_) return;
    region_ = region;
    attachedRoi_ = region->GetSharedIplROI();
    header_->roi = attachedRoi_.get();
}
