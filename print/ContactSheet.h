#pragma once
// The contact-sheet composer: every page a grid of equal cells whose size is
// given in hundredths of an inch, pictures fitted into them unturned.
#include "print/PrintJob.h"

// Walks the cells of a contact sheet, page by page (single precision, as
// the sheet has always been laid out).
class ContactSheetGrid {
public:
    ContactSheetGrid(float pageWidth, float pageHeight, float cellWidth, float cellHeight);

    void NewPage() { placed_ = 0; }
    // The next cell on this page; false when the page is full.
    bool Place(float* x, float* y);
    // Whether an empty page takes one cell at all; if not, no page ever does.
    bool EmptyPageTakesACell() const;

private:
    float width_, height_, margin_, cellWidth_, cellHeight_;
    float x_ = 0, y_ = 0;
    int placed_ = 0;
};

// Where a picture of iw x ih lands in the cell at x, y of cwi x chi pixels.
DrawnArea FitIntoSheetCell(double imageWidth, double imageHeight, float x, float y, int cellWidth,
                           int cellHeight);

void PrintContactSheet(const PrintJob& job);
