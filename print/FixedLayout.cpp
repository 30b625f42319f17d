#include "print/FixedLayout.h"

#include <algorithm>

#include "print/PrintFetch.h"
#include "print/PrintLayouts.h"

namespace {

enum class CellResult { kDone, kJobFailed };

constexpr int kFullImage = 1;

// Opens, loads, turns and draws one picture; an image the camera cannot open
// leaves its cell empty.
CellResult PrintCell(const PrintJob& job, int position, const PageCell& cell) {
    CameraImage* source = job.folder->OpenImage(job.NameAt(position));
    if (!source) return CellResult::kDone;
    ProgressDialog progress;
    ProgressDialog* target = nullptr;
    if (source->NeedsProgress()) {
        progress.Open(job.progressOwner);
        progress.SetTitle("Loading image for print");
        target = &progress;
    }
    ImageHolder image;
    if (!LoadGuarded(job.folder, target, kFullImage, source, image.Get())) {
        progress.Close();
        return CellResult::kJobFailed;
    }
    int width = image.Width(), height = image.Height();
    if (TurnsForCell(width, height, cell)) {
        GetImageLibrary()->Rotate(image.Get(), -90, 1);
        std::swap(width, height);
    }
    // A picture that did not decode has no size and nothing to draw.
    if (width > 0 && height > 0) {
        DrawnArea drawn = FitIntoCell(width, height, cell);
        GetImageLibrary()->DrawScaled(job.device->Dc(), image.Get(), drawn.left, drawn.top, drawn.width,
                                      drawn.height, 0);
    }
    progress.Close();
    return CellResult::kDone;
}

}  // namespace

std::vector<PageCell> FixedLayoutCells(int perPage, double W, double H) {
    double m = 0.01 * std::min(W, H);
    bool portrait = W <= H;
    switch (perPage) {
        case 1:
            return {{m, m, W - 2 * m, H - 2 * m}};
        case 2:
            if (portrait) return {{m, m, W - 2 * m, H / 2 - 2 * m}, {m, H / 2 + m, W - 2 * m, H / 2 - 2 * m}};
            return {{m, m, W / 2 - 2 * m, H - 2 * m}, {W / 2 + m, m, W / 2 - 2 * m, H - 2 * m}};
        case 4: {
            double w = W / 2 - 2 * m, h = H / 2 - 2 * m;
            // The portrait page's second row and column start a margin further in.
            if (portrait)
                return {{m, m, w, h}, {W / 2 + 2 * m, m, w, h}, {m, H / 2 + 2 * m, w, h},
                        {W / 2 + 2 * m, H / 2 + 2 * m, w, h}};
            return {{m, m, w, h}, {m, H / 2 + m, w, h}, {W / 2 + m, m, w, h}, {W / 2 + m, H / 2 + m, w, h}};
        }
        default:
            return {};
    }
}

bool TurnsForCell(int iw, int ih, const PageCell& cell) {
    return (iw < ih && cell.width > cell.height) || (iw > ih && cell.width < cell.height);
}

DrawnArea FitIntoCell(double iw, double ih, const PageCell& cell) {
    double ratio = ih / iw;
    double drawnWidth, drawnHeight;
    if (ratio > cell.height / cell.width) {
        drawnHeight = cell.height;
        drawnWidth = cell.height / ratio;
    } else {
        drawnWidth = cell.width;
        drawnHeight = ratio * cell.width;
    }
    return {int(cell.x + (cell.width - drawnWidth) / 2), int(cell.y + (cell.height - drawnHeight) / 2),
            int(drawnWidth), int(drawnHeight)};
}

void PrintFixedLayout(const PrintJob& job) {
    PrintDevice& device = *job.device;
    if (!job.docInfo || device.StartDocument(job.docInfo) <= 0) return;
    int perPage = atoi(ReadLayoutValueOr(job.layout, "ImagesPerPage", "1").c_str());
    std::vector<PageCell> cells = FixedLayoutCells(perPage, device.Caps(HORZRES), device.Caps(VERTRES));
    // A count with no cells would print blank pages (or none ever, for 0).
    if (cells.empty()) {
        device.AbortDocument();
        return;
    }
    for (int first = 0; first < job.Count(); first += perPage) {
        device.StartPage();
        for (int i = 0; i < perPage && first + i < job.Count(); ++i) {
            const PageCell& cell = cells[size_t(i)];
            if (cell.width == 0 || cell.height == 0) continue;
            if (PrintCell(job, first + i, cell) == CellResult::kJobFailed) {
                device.EndPage();
                device.EndDocument();
                return;
            }
        }
        device.EndPage();
    }
    device.EndDocument();
}
