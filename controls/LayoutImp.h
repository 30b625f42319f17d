#pragma once
// The thumbnail presentation: a "LayoutImpWin" child window whose cells are
// child windows laid out in a grid that reflows with the window, one scroll
// bar, the selection rules and drag start, and the background loader.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/ImageControl.h"
#include "controls/ItemLoader.h"
#include "controls/ThumbnailCell.h"

class RubberBand;

class LayoutImp final : public LoaderItems {
public:
    LayoutImp();
    ~LayoutImp();
    LayoutImp(const LayoutImp&) = delete;
    LayoutImp& operator=(const LayoutImp&) = delete;

    BOOL CreateControl(const RECT* rect, HWND parent);
    void SetLayout(int spacingX, int spacingY, int cellWidth, int cellHeight, int orientation,
                   COLORREF background, int multiSelect);
    void AddItem(ThumbnailCell* cell, const char* name, int position);
    void RemoveItem(const char* name);
    void RemoveAllItems();
    int GetItemCount() const { return int(cells_.size()); }
    int GetSelectedCount() const;
    void SelectItem(const char* name, int select);
    int IsItemSelected(const char* name);
    int RotateItem(const char* name, int degrees);
    int GetItemRotation(const char* name);
    void RestartLoader();
    void DestroyControl();
    void SetSink(ImageControlSink* sink) { sink_ = sink; }
    void KeepAlive(std::shared_ptr<void> keeper) { keeper_ = std::move(keeper); }
    HWND Window() const { return window_; }

    // Read-only views for the selection code and for tests.
    int Find(const char* name) const;
    ThumbnailCell* CellAt(int index) const { return cells_[size_t(index)].cell; }
    POINT CellPosition(int index) const { return {cells_[size_t(index)].x, cells_[size_t(index)].y}; }
    int ScrollPos() const { return scrollPos_; }
    int ScrollMax() const { return scrollMax_; }
    bool ScrollBarShown() const { return scrollBarShown_; }
    int Anchor() const { return anchor_; }
    bool LoaderRunning() const { return loader_.Running(); }

    // LoaderItems, on the worker thread.
    int LoaderItemCount() override { return int(cells_.size()); }
    bool LoaderHasData(int index) override { return CellAt(index)->HasImage(); }
    bool LoaderIsSelected(int index) override { return CellAt(index)->IsSelected(); }
    bool LoaderFetch(int index) override { return CellAt(index)->PrepareImage(); }

private:
    friend class RubberBand;
    struct CellRecord {
        std::string name;
        ThumbnailCell* cell;
        int x, y;                 // document coordinates
        int placedX, placedY;     // window position last given to the cell
        bool placed;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(ThumbnailCell* cell, const NMHDR* header);
    void Layout();
    void PlaceCells();
    void MoveCells();
    void Scroll(int request, int thumb);
    void ScrollBy(int step);
    void DeleteCell(size_t index);
    void Notify();

    // Selection and drag start.
    // `keys`: the MK_SHIFT and MK_CONTROL state of the press.
    void ApplyClickRules(int index, WPARAM keys);
    bool MoveByKey(WPARAM key);
    void ScrollIntoView(int index);
    int PerRow() const;
    POINT GridPosition(int index) const;
    void Select(int index, bool selected);
    void BackgroundPress(WPARAM keys, int x, int y);
    void EndRubberBand();
    bool DetectDrag();

    struct ScrollState {
        int range, page, position;
        bool operator==(const ScrollState& o) const {
            return range == o.range && page == o.page && position == o.position;
        }
    };

    ImageControlSink* sink_ = nullptr;
    std::shared_ptr<void> keeper_;
    HWND window_ = nullptr;
    int orientation_ = 1;
    int scrollPos_ = 0, scrollMax_ = 0;
    int marginX_ = 10, marginY_ = 10;
    int spacingX_ = 10, spacingY_ = 2;
    int cellWidth_ = 90, cellHeight_ = 110;
    int clientWidth_ = 0, clientHeight_ = 0;
    COLORREF background_ = RGB(255, 255, 255);
    int multiSelect_ = 1;
    bool layoutBusy_ = false;
    bool scrollBarChanged_ = false;
    bool scrollBarShown_ = false;
    ScrollState scrollState_ = {-1, -1, -1};  // what the scroll bar was last given
    int anchor_ = -1;
    int caret_ = -1;  // the cell the last click or key went to
    ItemLoader loader_{this};
    std::unique_ptr<RubberBand> rubberBand_;
    std::vector<CellRecord> cells_;
};
