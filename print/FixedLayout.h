#pragma once
// The fixed-layout composer: one, two or four pictures a page, each turned to
// its cell's orientation and fitted into it.
#include <vector>

#include "print/PrintJob.h"

struct PageCell {
    double x, y, width, height;
};

// The cells of a page of `perPage` pictures on a printable area of W x H
// device pixels; none for any count but 1, 2 and 4.
std::vector<PageCell> FixedLayoutCells(int perPage, double pageWidth, double pageHeight);

// Where a picture of iw x ih lands in `cell`, turned already when needed.
DrawnArea FitIntoCell(double imageWidth, double imageHeight, const PageCell& cell);

// Whether a picture of iw x ih is turned a quarter for `cell`.
bool TurnsForCell(int imageWidth, int imageHeight, const PageCell& cell);

void PrintFixedLayout(const PrintJob& job);
