#pragma once
// A focus rectangle dragged over the cells from a background press; it
// selects what it covers relative to the selection it started from and
// scrolls the grid when dragged past the window's edge.
#include <windows.h>

#include <vector>

class LayoutImp;

class RubberBand {
public:
    RubberBand(LayoutImp* layout, int x, int y);
    ~RubberBand();
    RubberBand(const RubberBand&) = delete;
    RubberBand& operator=(const RubberBand&) = delete;

    // Follows the cursor until the left button is up or a pass did not scroll.
    void Track(WPARAM keys);

private:
    void Erase(HDC dc);

    LayoutImp* layout_;
    POINT anchor_;
    POINT corner_;
    RECT drawn_ = {};
    RECT client_ = {};
    std::vector<int> initial_;
};
