#include "print/ContactSheet.h"

#include <algorithm>
#include <cmath>

#include "print/PrintFetch.h"
#include "print/PrintLayouts.h"

namespace {

constexpr int kSmallImage = 0;

// A cell size as whole pixels; 0 for sizes that draw nothing or could not
// be held as a pixel count.
int WholePixels(float size) { return size >= 1 && size < 1e7f ? int(size) : 0; }

enum class CellResult { kDone, kJobFailed };

CellResult PrintSheetCell(const PrintJob& job, int position, float x, float y, int cellWidth, int cellHeight) {
    CameraImage* source = job.folder->OpenImage(job.NameAt(position));
    if (!source) return CellResult::kDone;
    ImageHolder image;
    if (!LoadGuarded(job.folder, nullptr, kSmallImage, source, image.Get())) return CellResult::kJobFailed;
    int width = image.Width(), height = image.Height();
    if (width > 0 && height > 0) {
        DrawnArea drawn = FitIntoSheetCell(width, height, x, y, cellWidth, cellHeight);
        GetImageLibrary()->DrawScaled(job.device->Dc(), image.Get(), drawn.left, drawn.top, drawn.width,
                                      drawn.height, 0);
    }
    return CellResult::kDone;
}

}  // namespace

ContactSheetGrid::ContactSheetGrid(float pageWidth, float pageHeight, float cellWidth, float cellHeight)
    : width_(pageWidth),
      height_(pageHeight),
      margin_(0.01f * std::min(pageWidth, pageHeight)),
      cellWidth_(cellWidth),
      cellHeight_(cellHeight) {}

bool ContactSheetGrid::Place(float* x, float* y) {
    float nextX = placed_ == 0 ? margin_ : x_ + cellWidth_ + margin_;
    float nextY = placed_ == 0 ? margin_ : y_;
    if (nextX + cellWidth_ > width_) {
        nextY = nextY + margin_ + cellHeight_;
        nextX = margin_;
    }
    if (nextY + cellHeight_ > height_) return false;
    x_ = *x = nextX;
    y_ = *y = nextY;
    ++placed_;
    return true;
}

bool ContactSheetGrid::EmptyPageTakesACell() const {
    ContactSheetGrid probe(*this);
    probe.NewPage();
    float x, y;
    return std::isfinite(cellWidth_) && std::isfinite(cellHeight_) && probe.Place(&x, &y);
}

DrawnArea FitIntoSheetCell(double iw, double ih, float x, float y, int cwi, int chi) {
    double ratio = ih / iw;
    int drawnWidth, drawnHeight;
    if (ratio > double(chi) / cwi) {
        drawnHeight = chi;
        drawnWidth = int(chi / ratio);
    } else {
        drawnWidth = cwi;
        drawnHeight = int(ratio * cwi);
    }
    return {int(x + (cwi - drawnWidth) / 2), int(y + (chi - drawnHeight) / 2), drawnWidth, drawnHeight};
}

void PrintContactSheet(const PrintJob& job) {
    PrintDevice& device = *job.device;
    if (!job.docInfo || device.StartDocument(job.docInfo) <= 0) return;
    float size = float(atof(ReadLayoutValueOr(job.layout, "ThumbSize", "100").c_str()));
    float cellWidth = float(device.Caps(LOGPIXELSX)) * size * 0.01f;
    float cellHeight = size * float(device.Caps(LOGPIXELSY)) * 0.01f;
    ContactSheetGrid grid(float(device.Caps(HORZRES)), float(device.Caps(VERTRES)), cellWidth, cellHeight);
    // Every page starts alike: a cell that misses the first page misses them all.
    if (!grid.EmptyPageTakesACell()) {
        device.AbortDocument();
        return;
    }
    int cellPixelsX = WholePixels(cellWidth), cellPixelsY = WholePixels(cellHeight);
    int next = 0;
    while (next < job.Count()) {
        device.StartPage();
        grid.NewPage();
        float x, y;
        for (; next < job.Count() && grid.Place(&x, &y); ++next) {
            if (cellPixelsX == 0 || cellPixelsY == 0) continue;
            if (PrintSheetCell(job, next, x, y, cellPixelsX, cellPixelsY) == CellResult::kJobFailed) {
                device.EndPage();
                device.EndDocument();
                return;
            }
        }
        device.EndPage();
    }
    device.EndDocument();
}
