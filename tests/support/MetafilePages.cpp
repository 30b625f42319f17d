#include "support/MetafilePages.h"

#include <cstdlib>

namespace {

COLORREF SampleTopLeft(const EMRSTRETCHDIBITS* record) {
    auto* base = reinterpret_cast<const BYTE*>(record);
    auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(base + record->offBmiSrc);
    if (header->biBitCount != 24 || record->cbBitsSrc == 0) return 0;
    int width = header->biWidth, height = std::abs(header->biHeight);
    int stride = (width * 3 + 3) & ~3;
    int x = width / 4, y = height / 4;
    int row = header->biHeight < 0 ? y : height - 1 - y;
    const BYTE* pixel = base + record->offBitsSrc + row * stride + x * 3;
    return RGB(pixel[2], pixel[1], pixel[0]);
}

int CALLBACK CollectPictures(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM context) {
    if (record->iType != EMR_STRETCHDIBITS) return 1;
    auto* stretch = reinterpret_cast<const EMRSTRETCHDIBITS*>(record);
    auto* pictures = reinterpret_cast<std::vector<RecordedPicture>*>(context);
    pictures->push_back({stretch->xDest, stretch->yDest, stretch->cxDest, stretch->cyDest, SampleTopLeft(stretch)});
    return 1;
}

}  // namespace

MetafilePages::~MetafilePages() {
    if (dc_) DeleteEnhMetaFile(CloseEnhMetaFile(dc_));
    for (HENHMETAFILE page : pages_) DeleteEnhMetaFile(page);
}

void MetafilePages::StartPage() {
    calls_.push_back("StartPage");
    dc_ = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
}

void MetafilePages::EndPage() {
    calls_.push_back("EndPage");
    if (dc_) pages_.push_back(CloseEnhMetaFile(dc_));
    dc_ = nullptr;
}

double MetafilePages::Caps(int index) {
    switch (index) {
        case HORZRES: return width_;
        case VERTRES: return height_;
        case LOGPIXELSX: case LOGPIXELSY: return dpi_;
        default: return 0;
    }
}

std::vector<RecordedPicture> MetafilePages::Pictures(int page) const {
    std::vector<RecordedPicture> pictures;
    EnumEnhMetaFile(nullptr, pages_[size_t(page)], CollectPictures, &pictures, nullptr);
    return pictures;
}
