#include "support/UserActions.h"

#include <algorithm>
#include <tuple>

#include "support/MenuWatcher.h"
#include "support/Screen.h"

ViewUser::ViewUser(const std::string& cardRoot, bool serial) : keys(cardRoot), pictures(cardRoot + "\\DCIM\\100TEST") {
    if (serial) {
        keys.model->SetString("Connection", "Remote");
        auto key = [](const std::string& path) { return std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, path); };
        (remoteKey = key(ConfigStore::ModelKey("Memory Card", "Remote")))->SetString("RemoteConnectionType", "Serial");
        serialKey = key(ConfigStore::ModelKey("Memory Card", "Remote\\Serial"));
        serialKey->SetString("Path", BinPath("serialcam.dll"));
        serialKey->SetString("ComPort", "COM5");
        serialKey->SetString("ComSpeed", "115200");
        // A reload reads nothing more when the disk-folder source is not installed.
        (viewerKey = key(ConfigStore::ModelKey(ConfigStore::kImageViewer)))->SetString("Path", BinPath("diskcam.dll"));
        pictures = std::string(getenv("ORVEX_SERIAL_CARD")) + "\\DCIM\\" + (folderName = "100ORVEX");
    }
    source = ComRef<SourceFolder>::Share(new SourceFolder(serial ? "Remote" : "Local"));
}

CameraView* ViewUser::Open() {
    Leave();
    folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), folderName));
    host = std::make_unique<BrowserHost>();
    if (folder->CreateViewObject(nullptr, IID_IShellView, view.PutVoid()) != S_OK || host->Open(view.Get()) != S_OK)
        return nullptr;
    return WaitUntil([&] { return View()->Control() && View()->Control()->GetItemCount() > 0; }, 5000), View();
}

void ViewUser::Leave() {
    for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
    host.reset(), view.Reset(), folder.Reset();
}

void ViewUser::Command(int command) {
    if (HWND window = nullptr; view && view->GetWindow(&window) == S_OK) SendMessageA(window, WM_COMMAND, WPARAM(command), 0);
}

static HWND Target(IShellView* view, int index) {
    HWND window = nullptr, grid = nullptr;
    if (!view || view->GetWindow(&window) != S_OK) return nullptr;
    if (!(grid = FindDescendant(window, "LayoutImpWin"))) return FindDescendant(window, "SysListView32");
    std::vector<std::tuple<LONG, LONG, HWND>> cells;
    RECT at;
    for (HWND cell = GetWindow(grid, GW_CHILD); cell; cell = GetWindow(cell, GW_HWNDNEXT))
        if (IsWindowVisible(cell) && GetWindowRect(cell, &at)) cells.emplace_back(at.top, at.left, cell);
    std::sort(cells.begin(), cells.end());
    return index >= 0 && size_t(index) < cells.size() ? std::get<2>(cells[size_t(index)]) : grid;
}

void ViewUser::Click(int index, WPARAM modifiers, bool twice) {
    if (HWND target = Target(view.Get(), index))
        for (int message : {twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, WM_LBUTTONUP})
            SendMessageA(target, message, (message == WM_LBUTTONUP ? 0 : MK_LBUTTON) | modifiers, MAKELPARAM(10, 10));
}

HRESULT ViewUser::CopyOut(STGMEDIUM* medium) {
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(View()->CreateDataObject(nullptr));
    FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    *medium = {};
    return data ? data->GetData(&files, medium) : E_OUTOFMEMORY;
}

// The browser lets the view go from inside the next progress box's message loop.
void ViewUser::LeaveDuringTheNextTransfer() {
    static ViewUser* leaving;
    leaving = this;
    KillTimer(nullptr, leaveTimer);
    leaveTimer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = nullptr;
        while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) && !FindWindowExA(box, nullptr, PROGRESS_CLASSA, nullptr)) {}
        if (!box) return;
        KillTimer(nullptr, std::exchange(leaving->leaveTimer, 0));
        leaving->host.reset(), leaving->view.Reset(), leaving->folder.Reset();
    });
}

void ViewUser::RandomAction(std::mt19937& random) {
    const int commands[] = {CameraView::kCopy, CameraView::kRotate, CameraView::kDelete, CameraView::kSelectAll, CameraView::kRefresh,
                            CameraView::kPaste, CameraView::kThumbnailView, CameraView::kListView, CameraView::kProperties, CameraView::kPreview};
    const WORD keyList[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE, 'A'};
    int index = int(random() % unsigned(View()->Control() ? View()->Control()->GetItemCount() + 2 : 1));
    WPARAM modifiers = (random() % 3 == 0 ? MK_CONTROL : 0) | (random() % 4 == 0 ? MK_SHIFT : 0);
    HWND target = Target(view.Get(), index);
    // Copying or printing thousands of pictures (a big card's, all or selected) is a long task, not a hang: left out.
    ImageControl* shown = View()->Control();
    bool few = shown && (shown->GetSelectedCount() ? shown->GetSelectedCount() : shown->GetItemCount()) <= 200;
    POINT screen = {10, 10};
    STGMEDIUM medium;
    switch (unsigned action = random() % 10; action) {
        case 0: case 1: case 2: Click(index, action == 2 ? 0 : modifiers, action == 2); break;
        case 3: host->PressKey(keyList[random() % 10], random() % 4 == 0); break;
        case 4: case 5: if (int command = commands[random() % 10]; few || command != CameraView::kCopy) Command(command); break;
        case 6: if (target) PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case 7:  // a real OLE drag of the selection, dropped wherever the cursor is
            SetCursorPos(int(random() % 1280), int(random() % 960));
            View()->BeginDrag();
            break;
        case 8:  // the user goes elsewhere while a picture is read for the viewer, a print or a copy
            if (!few) break;
            LeaveDuringTheNextTransfer();
            Command(random() % 2 ? CameraView::kPrint : CameraView::kPreview);
            // A few only: a paced serial line takes seconds a picture, and a long copy is no hang.
            if (view && View()->Control() && View()->Control()->GetSelectedCount() <= 2 && CopyOut(&medium) == S_OK)
                ReleaseStgMedium(&medium);
            break;
        default:  // a real right click: the context menu, which a MenuWatcher closes
            if (target && ClientToScreen(target, &screen)) SendClick(screen, true);
    }
    if (host) host->Pump(5);
    for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
}
