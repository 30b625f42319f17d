#pragma once
// A print device that records every page as an enhanced metafile, with the
// page size and resolution the test chooses, and reads the pictures back.
#include <windows.h>

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
    ~MetafilePages() override;
    MetafilePages(const MetafilePages&) = delete;
    MetafilePages& operator=(const MetafilePages&) = delete;

    int StartDocument(const DOCINFOA*) override {
        calls_.push_back("StartDoc");
        return 1;
    }
    void StartPage() override;
    void EndPage() override;
    void EndDocument() override { calls_.push_back("EndDoc"); }
    void AbortDocument() override { calls_.push_back("AbortDoc"); }
    double Caps(int index) override;
    HDC Dc() override { return dc_; }

    int PageCount() const { return int(pages_.size()); }
    std::vector<RecordedPicture> Pictures(int page) const;
    // "StartDoc", "StartPage", "EndPage", "EndDoc", "AbortDoc" in call order.
    const std::vector<std::string>& Calls() const { return calls_; }

private:
    int width_, height_, dpi_;
    HDC dc_ = nullptr;
    std::vector<HENHMETAFILE> pages_;
    std::vector<std::string> calls_;
};
