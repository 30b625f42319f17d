#pragma once
// The thumbnail presentation: a "LayoutImpWin" child window showing one record
// per picture in a grid that reflows with the window, one scroll bar, the
// selection rules and drag start, and the background loader. Positions are
// arithmetic; only the cells in or near the viewport get a window, taken from
// a few that are handed on as the user scrolls.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
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

    // Read-only views for the selection code, tests and benchmarks.
    int Find(const char* name) const;
    ThumbnailCell* CellAt(int index) const { return cells_[size_t(index)].cell; }
    POINT CellPosition(int index) const;  // document coordinates
    int ScrollPos() { return Settled().scrollPos_; }
    int ScrollMax() { return Settled().scrollMax_; }
    bool ScrollBarShown() { return Settled().scrollBarShown_; }
    int Anchor() const { return anchor_; }
    bool LoaderRunning() const { return loader_.Running(); }
    int FetchedCount() const { return fetched_; }  // cells whose picture came at least once

    // LoaderItems, on the worker thread.
    int LoaderItemCount() override;
    bool LoaderHasData(int index) override;
    bool LoaderIsSelected(int index) override;
    bool LoaderFetch(int index) override;
    bool LoaderBeforeSweep() override;
    int LoaderNext(const std::vector<bool>& failed) override;

private:
    friend class RubberBand;
    struct CellRecord {
        std::string name;
        ThumbnailCell* cell;
        HWND window;    // while near the viewport
        POINT placed;   // where that window was put
        bool fetched;   // the picture came at least once (worker only)
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(ThumbnailCell* cell, const NMHDR* header);
    void Layout();
    LayoutImp& Settled();
    void LayoutSoon();
    void ReadClientSize();
    int PerLine() const;
    void ShowCellsInView();
    void GiveWindow(int index);
    void TakeWindow(int index);
    void Reindex();
    void Scroll(int request);
    void ScrollTo(int position);
    void ScrollBy(int step);
    void DeleteCell(size_t index);
    void Notify();
    void SelectionMoved();
    void DropFarPictures();

    // Selection and drag start.
    // `keys`: the MK_SHIFT and MK_CONTROL state of the press.
    void ApplyClickRules(int index, WPARAM keys);
    bool MoveByKey(WPARAM key);
    void ScrollIntoView(int index);
    int PerRow() const { return orientation_ ? PerLine() : 1; }
    int PageLines() const { return std::max(1, clientHeight_ / (cellHeight_ + spacingY_)); }
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
    bool layoutPending_ = false;
    bool scrollBarShown_ = false;
    ScrollState scrollState_ = {-1, -1, -1};  // what the scroll bar was last given
    int anchor_ = -1;
    int caret_ = -1;  // the cell the last click or key went to
    std::unique_ptr<RubberBand> rubberBand_;

    // The records; the worker reads them under the shared lock while the
    // interface thread appends (other changes stop the worker first).
    std::vector<CellRecord> cells_;
    mutable SRWLOCK cellsLock_ = SRWLOCK_INIT;
    std::unordered_map<std::string, int> byName_;  // the first record of each name
    int windowedFirst_ = 0, windowedEnd_ = 0;     // every record with a window lies in here
    std::vector<HWND> spareWindows_;

    // What the worker reads to choose: the cells in view, selection changes.
    std::atomic<int> viewFirst_{0}, viewEnd_{0};
    std::atomic<unsigned> selectionChanges_{0};
    std::atomic<int> fetched_{0};
    // The worker's own cursors.
    unsigned selectionSeen_ = ~0u;
    int selectedScan_ = 0;
    int outwardOrigin_ = -1, outwardDown_ = 0, outwardUp_ = -1;
    int fetchesSinceTrim_ = 0;

    ItemLoader loader_{this};
};
