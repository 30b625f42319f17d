#pragma once
// The report-list presentation of ImageControl: a virtual "SysListView32" in
// a "ListHelper" frame window. The rows are records of ours that the list asks
// for as it paints; details and files are fetched by a background loader, the
// rows in view first.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "controls/ImageControl.h"
#include "controls/ItemLoader.h"

class ListHelper final : public ImageControl, public LoaderItems {
public:
    ListHelper() = default;

    void Destroy(int flags) override;
    void RemoveItem(const char* name) override;
    int GetItemCount() override { return int(records_.size()); }
    int GetSelectedCount() override { return selectedCount_; }
    void RemoveAllItems() override;
    void SetLayout(short, short, short, short, short, COLORREF, int multiSelect) override;
    void SelectItem(const char* name, int select) override;
    int IsItemSelected(const char* name) override;
    int RotateItem(const char* name, int degrees) override;
    int GetItemRotation(const char* name) override;
    void AddItem(CameraImage* image, const char* name, int position) override;
    HWND GetWindow() override { return list_; }
    void MoveControl(int x, int y, int width, int height) override;
    BOOL CreateControl(int, const char*, DWORD, const RECT* rect, HWND parent, int) override;
    void RestartLoader() override;
    void DestroyControl() override;
    void SetSink(ImageControlSink* sink) override { sink_ = sink; }
    void KeepAlive(std::shared_ptr<void> keeper) override { keeper_ = std::move(keeper); }

    // LoaderItems, on the worker thread.
    int LoaderItemCount() override;
    bool LoaderHasData(int index) override;
    bool LoaderIsSelected(int index) override;
    bool LoaderFetch(int index) override;
    bool LoaderBeforeSweep() override;
    int LoaderNext(const std::vector<bool>& failed) override;

private:
    struct ListItem {
        std::string name;
        CameraImage* image = nullptr;
        std::wstring texts[4];  // as shown: name, size, date, pixel size
        int rotation = 0;
        bool selected = false;
        bool fileFetched = false;   // the row shows the "loaded" icon
        bool detailsDone = false;
        bool detailsWaiting = false;  // worker: asked again after a pause, or given up for this run
        int infoTries = 0;
    };
    // Walks the rows outward from an origin, each once.
    struct Walk {
        int origin = -1, down = 0, up = -1;
    };

    ~ListHelper();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR* header);
    void OnSelectionChange(const NMLISTVIEW* change);
    void OnRangeChange(int from, int to, bool selected);
    void ShowRow(LVITEMW& item);
    int FindText(const NMLVFINDITEMW* find) const;
    int Find(const char* name) const;
    void Reindex();
    int HitTest() const;
    const char* NameAt(int row) const;
    void MarkSelected(size_t row, bool selected);
    void CountSoon();
    void FlushCount();
    void ApplySelection(int from);
    void ReadViewport();
    void RedrawChangedRows();
    void StartLoader();

    // The worker's side.
    int NextInWalk(Walk& walk, int origin, int count, bool (ListHelper::*wanted)(int, const std::vector<bool>&) const,
                   const std::vector<bool>& failed);
    bool WantsDetails(int row, const std::vector<bool>& failed) const;
    bool WantsFile(int row, const std::vector<bool>& failed) const;
    bool FetchDetails(int row);
    bool FetchFile(int row);
    int NextRetry();
    void RowChanged(int row);

    ImageControlSink* sink_ = nullptr;
    std::shared_ptr<void> keeper_;
    std::atomic<HWND> list_{nullptr};   // read by a worker that may outlive the window
    std::atomic<HWND> frame_{nullptr};  // the worker posts row changes to it
    int multiSelect_ = 1;
    bool rightClickReported_ = false;  // NM_RCLICK swallows the WM_CONTEXTMENU after it
    bool quiet_ = false;  // selection set from the records: nothing to hear back

    // The records; the worker reads them under the shared lock while the
    // interface thread appends. Fields one thread writes and the other reads
    // are written under the exclusive lock.
    std::vector<ListItem> records_;
    mutable SRWLOCK recordsLock_ = SRWLOCK_INIT;
    std::unordered_map<std::string, int> byName_;  // the first row of each name
    int selectedCount_ = 0;
    std::vector<int> shownChanges_;  // rows whose selection the list shows late
    int listCount_ = 0;  // the rows the list has been told of
    bool countPending_ = false;
    bool selectionPending_ = false;  // rows selected before the list had them

    // What the worker reads to choose, and what it has changed since the interface last redrew.
    std::atomic<int> viewFirst_{0}, viewEnd_{0};
    std::atomic<unsigned> selectionChanges_{0}, starts_{0};
    std::mutex changedLock_;
    int changedFirst_ = INT_MAX, changedLast_ = -1;
    bool changedPosted_ = false;

    // The worker's own cursors.
    unsigned startSeen_ = ~0u, selectionSeen_ = ~0u;
    int selectedScan_ = 0;
    Walk detailsWalk_, filesWalk_;
    std::vector<int> retryLater_, retryNow_;
    bool nextIsDetails_ = false;

    ItemLoader loader_{this};
};
