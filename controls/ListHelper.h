#pragma once
// The report-list presentation of ImageControl: a "SysListView32" in a
// "ListHelper" frame window, one record per row, details and files fetched
// by a background loader.
#include <windows.h>

#include <string>
#include <vector>

#include <atomic>
#include <memory>

#include "controls/ImageControl.h"
#include "controls/ItemLoader.h"

class ListHelper final : public ImageControl, public LoaderItems {
public:
    ListHelper() = default;

    void Destroy(int flags) override;
    void RemoveItem(const char* name) override;
    int GetItemCount() override { return int(records_.size()); }
    int GetSelectedCount() override;
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
    int LoaderItemCount() override { return GetItemCount(); }
    bool LoaderHasData(int index) override { return records_[size_t(index)].fileFetched; }
    bool LoaderIsSelected(int index) override { return records_[size_t(index)].selected; }
    bool LoaderFetch(int index) override;
    bool LoaderBeforeSweep() override;

private:
    struct ListItem {
        std::string name;
        CameraImage* image;
        int rotation;
        int fileFetched;
        int infoFetched;
        volatile int selected;
        int infoTries;
    };

    ~ListHelper();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(const NMHDR* header);
    int Find(const char* name) const;
    int HitTest() const;
    void SetText(int row, int column, const std::string& text);

    ImageControlSink* sink_ = nullptr;
    std::shared_ptr<void> keeper_;
    std::vector<ListItem> records_;
    std::atomic<HWND> list_{nullptr};  // read by a worker that may outlive the window
    HWND frame_ = nullptr;
    int multiSelect_ = 1;
    bool rightClickReported_ = false;  // NM_RCLICK swallows the WM_CONTEXTMENU after it
    ItemLoader loader_{this};
};
