#include "support/UserActions.h"

#include <algorithm>
#include <tuple>
#include <vector>

#include "support/MenuWatcher.h"
#include "support/Screen.h"

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* text = getenv(name);
    return text && *text ? unsigned(strtoul(text, nullptr, 10)) : fallback;
}

ViewUser::ViewUser(const std::string& cardRoot, bool serial) : keys(cardRoot), pictures(cardRoot + "\\DCIM\\100TEST") {
    if (serial) {
        keys.model->SetString("Connection", "Remote");
        line = std::make_unique<SimulatorLineKeys>("Memory Card");
        // A reload reads nothing more when the disk-folder source is not installed.
        viewerKey = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
        viewerKey->SetString("Path", BinPath("diskcam.dll"));
        folderName = "100ORVEX";
        pictures = std::string(getenv("ORVEX_SERIAL_CARD")) + "\\DCIM\\100ORVEX";
    }
    source = ComRef<SourceFolder>::Share(new SourceFolder(serial ? "Remote" : "Local"));
}

CameraView* ViewUser::Open() {
    Leave();
    folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), folderName));
    host = std::make_unique<BrowserHost>();
    if (folder->CreateViewObject(nullptr, IID_IShellView, view.PutVoid()) != S_OK || host->Open(view.Get()) != S_OK)
        return nullptr;
    WaitUntil([&] { return View()->Control() && View()->Control()->GetItemCount() > 0; }, 5000);
    return View();
}

void ViewUser::Leave() {
    for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
    host.reset();
    view.Reset();
    folder.Reset();
}

void ViewUser::Command(int command) {
    HWND window = nullptr;
    if (view && view->GetWindow(&window) == S_OK) SendMessageA(window, WM_COMMAND, WPARAM(command), 0);
}

HWND ViewUser::Target(int index) const {
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
    if (HWND target = Target(index); target && twice) {
        SendMessageA(target, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    } else if (target) {
        SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON | modifiers, MAKELPARAM(10, 10));
        SendMessageA(target, WM_LBUTTONUP, modifiers, MAKELPARAM(10, 10));
    }
}

HRESULT ViewUser::CopyOut(STGMEDIUM* medium) {
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(View()->CreateDataObject(nullptr));
    FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    *medium = {};
    return data ? data->GetData(&files, medium) : E_OUTOFMEMORY;
}

void ViewUser::RandomAction(std::mt19937& random) {
    const int commands[] = {CameraView::kCopy,    CameraView::kRotate,        CameraView::kDelete,
                            CameraView::kSelectAll, CameraView::kRefresh,     CameraView::kPaste,
                            CameraView::kThumbnailView, CameraView::kListView, CameraView::kProperties,
                            CameraView::kPreview};
    const WORD keyList[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE, 'A'};
    int index = int(random() % unsigned(View()->Control() ? View()->Control()->GetItemCount() + 2 : 1));
    WPARAM modifiers = (random() % 3 == 0 ? MK_CONTROL : 0) | (random() % 4 == 0 ? MK_SHIFT : 0);
    HWND target = Target(index);
    POINT screen = {10, 10};
    switch (random() % 9) {
        case 0:
        case 1: Click(index, modifiers); break;
        case 2: Click(index, 0, true); break;
        case 3: host->PressKey(keyList[random() % 10], random() % 4 == 0); break;
        case 4:
        case 5: Command(commands[random() % 10]); break;
        case 6: if (target) PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case 7:  // a real OLE drag of the selection, dropped wherever the cursor is
            SetCursorPos(int(random() % 1280), int(random() % 960));
            View()->BeginDrag();
            break;
        default:  // a real right click: the context menu, which a MenuWatcher closes
            if (target && ClientToScreen(target, &screen)) SendClick(screen, true);
    }
    host->Pump(5);
    for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
}
