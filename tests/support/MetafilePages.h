#pragma once
// A print device that records every page as an enhanced metafile, with the
// page size and resolution the test chooses, and reads the pictures back.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "print/PrintDevice.h"

struct RecordedPicture {
    int x, y, width, height;
    COLORREF topLeft;  // the colour a quarter in from the top-left corner
};

class MetafilePages final : public PrintDevice {
public:
    MetafilePages(int width, int height, int dpi = 100) : width_(width), height_(height), dpi_(dpi) {}
    ~MetafilePages() override {
        if (dc_) DeleteEnhMetaFile(CloseEnhMetaFile(dc_));
        for (HENHMETAFILE page : pages_) DeleteEnhMetaFile(page);
    }
    MetafilePages(const MetafilePages&) = delete;
    MetafilePages& operator=(const MetafilePages&) = delete;

    int StartDocument(const DOCINFOW*) override { return calls_.push_back("StartDoc"), 1; }
    void StartPage() override {
        calls_.push_back("StartPage");
        dc_ = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    }
    void EndPage() override {
        calls_.push_back("EndPage");
        if (dc_) pages_.push_back(CloseEnhMetaFile(dc_));
        dc_ = nullptr;
    }
    void EndDocument() override { calls_.push_back("EndDoc"); }
    void AbortDocument() override { calls_.push_back("AbortDoc"); }
    double Caps(int index) override {
        return index == HORZRES ? width_ : index == VERTRES ? height_ : index == LOGPIXELSX || index == LOGPIXELSY ? dpi_ : 0;
    }
    HDC Dc() override { return dc_; }

    int PageCount() const { return int(pages_.size()); }
    std::vector<RecordedPicture> Pictures(int page) const {
        std::vector<RecordedPicture> pictures;
        EnumEnhMetaFile(nullptr, pages_[size_t(page)], Collect, &pictures, nullptr);
        return pictures;
    }
    // "StartDoc", "StartPage", "EndPage", "EndDoc", "AbortDoc" in call order.
    const std::vector<std::string>& Calls() const { return calls_; }

private:
    static int CALLBACK Collect(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM pictures) {
        if (record->iType != EMR_STRETCHDIBITS) return 1;
        auto* stretch = reinterpret_cast<const EMRSTRETCHDIBITS*>(record);
        reinterpret_cast<std::vector<RecordedPicture>*>(pictures)->push_back(
            {stretch->xDest, stretch->yDest, stretch->cxDest, stretch->cyDest, TopLeftColour(stretch)});
        return 1;
    }
    static COLORREF TopLeftColour(const EMRSTRETCHDIBITS* record) {
        auto* base = reinterpret_cast<const BYTE*>(record);
        auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(base + record->offBmiSrc);
        if (header->biBitCount != 24 || record->cbBitsSrc == 0) return 0;
        int width = header->biWidth, height = std::abs(header->biHeight), x = width / 4, y = height / 4;
        int row = header->biHeight < 0 ? y : height - 1 - y;
        const BYTE* pixel = base + record->offBitsSrc + row * ((width * 3 + 3) & ~3) + x * 3;
        return RGB(pixel[2], pixel[1], pixel[0]);
    }

    int width_, height_, dpi_;
    HDC dc_ = nullptr;
    std::vector<HENHMETAFILE> pages_;
    std::vector<std::string> calls_;
};
