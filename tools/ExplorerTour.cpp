// explorer_tour.exe <folder>: opens the installed extension in Wine's explorer
// as a user would and saves what it shows: mycomputer.png (OrvexView under My
// Computer), root.png after Enter on it with the tree pane expanded,
// removable.png after Enter on "Removable Media", camera.png after Enter on its
// first folder, select.png (three pictures chosen with Ctrl), pasted.png (all of
// them copied and pasted into C:\Pasted, shown there), list.png after
// the view's "List View" command (what its background menu sends), viewer.png after
// a double click on the first thumbnail, print.png (the print dialog, its
// contact sheet going to the PostScript printer on FILE:), then serial.png (the "Digital Camera"
// folder served by the camera simulator on COM1), progress.png (a picture
// coming over the line), back-during-transfer.png (Back pressed meanwhile), and open-dialog.png (a program's Open dialog with a
// camera picture chosen). Mode "kinds": the card's second folder with a RAW+JPEG pair
// and a video (card-kinds.png, card-kinds-list.png), the RAW in the viewer
// (raw-viewer.png), printed alone on a page (to FILE:), and the video
// double-clicked (video-open.png). Mode "wifi": "Digital Camera" is a Wi-Fi
// camera (the PTP/IP simulator): its first folder (wifi-camera.png), then the
// same view after the camera took a new shot (wifi-new-shot.png). Used by make demo.
#include <objbase.h>
#include <commctrl.h>

#include <commdlg.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "support/ExplorerSession.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPrinter.h"

namespace {

// Saves what the screen shows as a PNG file.
bool SaveScreenPng(const std::string& path) {
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    // The screen has no alpha: make every pixel opaque.
    BYTE* pixels = static_cast<BYTE*>(bits);
    for (int i = 0; i < width * height; ++i) pixels[i * 4 + 3] = 255;
    bool written = WritePng(path, width, height, pixels);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

bool Shot(const std::string& path) {
    Sleep(500);  // let the view paint
    bool saved = SaveScreenPng(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.c_str());
    return saved;
}

void Print(const char* what, const std::vector<std::string>& items) {
    std::printf("%s:", what);
    for (const auto& item : items) std::printf(" [%s]", item.c_str());
    std::printf("\n");
}

// The camera on the serial line: its folder's thumbnails, then a picture
// coming over the line with the progress dialog, cancelled after the shot.
bool SerialCameraSteps(ExplorerSession& explorer, const std::string& out) {
    if (!explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}") || explorer.ViewItems("Digital Camera").empty() ||
        !explorer.Open(0))
        return false;
    std::vector<std::string> folders = explorer.ViewItems("100ORVEX");
    Print("Digital Camera", folders);
    if (folders.empty() || !explorer.Open(0)) return false;
    HWND grid = nullptr;
    int cells = 0;
    WaitUntil([&] {
        grid = FindDescendant(explorer.Window(), "LayoutImpWin");
        cells = grid ? CountChildren(grid, "SimpleControlWin") : 0;
        return cells > 0;
    }, 20000);
    WaitUntil([] { return false; }, 8000);  // thumbnails come over the line
    cells = CountChildren(grid, "SimpleControlWin");
    std::printf("serial camera view: %d thumbnails\n", cells);
    Shot(out + "\\serial.png");
    HWND cell = grid ? FindDescendant(grid, "SimpleControlWin") : nullptr;
    if (!cell) return false;
    PostMessageA(cell, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    HWND progress = nullptr;
    WaitUntil([&] { return (progress = FindWindowA("#32770", nullptr)) != nullptr && IsWindowVisible(progress); },
              10000);
    WaitUntil([] { return false; }, 2500);
    char title[128] = {};
    if (progress) GetWindowTextA(progress, title, sizeof title);
    std::printf("progress: %s\n", progress ? title : "no dialog");
    Shot(out + "\\progress.png");
    // Back while the picture still comes: explorer answers at once and the transfer goes on.
    explorer.Back();
    DWORD_PTR ignored = 0;
    bool answers = SendMessageTimeoutA(explorer.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored) != 0;
    WaitUntil([] { return false; }, 1500);
    std::printf("back during the transfer: explorer %s, progress %s\n", answers ? "answers" : "HANGS",
                IsWindow(progress) ? "still shown" : "gone");
    Shot(out + "\\back-during-transfer.png");
    if (progress) PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    WaitUntil([] { return false; }, 2000);
    return cells > 0 && progress && answers;
}

// The card folder printed as a contact sheet: the print dialog with its four
// layouts, then the job on the PostScript printer on FILE: (Wine writes a
// file of that name in the current folder; make demo turns it into a PDF).
bool ContactSheetSteps(ExplorerSession& explorer, const std::string& out) {
    if (!EnsureTestPrinter()) return false;
    const WPARAM kPrint = 10005;
    HWND view = GetParent(FindDescendant(explorer.Window(), "LayoutImpWin"));
    PostMessageA(view, WM_COMMAND, kPrint, 0);
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindWindowA("#32770", nullptr)) != nullptr && IsWindowVisible(dialog); }, 10000);
    if (!dialog) return false;
    PostMessageA(GetDlgItem(dialog, 1056), BM_CLICK, 0, 0);  // "All"
    PostMessageA(GetDlgItem(dialog, 1005), BM_CLICK, 0, 0);  // "Contact Sheet"
    WaitUntil([] { return false; }, 500);
    Shot(out + "\\print.png");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    // The job runs on explorer's interface thread: it answers again when spooled.
    DWORD_PTR answer = 0;
    WaitUntil([] { return false; }, 500);
    bool spooled = SendMessageTimeoutA(explorer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 120000, &answer) != 0;
    std::printf("contact sheet: %s\n", spooled ? "spooled" : "still printing");
    return spooled;
}

// My Computer shows OrvexView beside the drives; Enter on it opens it.
bool OpenFromMyComputer(ExplorerSession& explorer, const std::string& out) {
    HWND list = nullptr;
    int index = -1;
    explorer.GoTo("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    WaitUntil([&] {
        HWND view = FindDescendant(explorer.Window(), "SHELLDLL_DefView");
        list = view ? FindDescendant(view, "SysListView32") : nullptr;
        std::vector<std::string> items = list ? RemoteListView(list).Texts(0) : std::vector<std::string>();
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == "OrvexView") index = int(i);
        return index >= 0;
    }, 10000);
    if (index < 0) return false;
    RemoteListView(list).Select(index);
    Shot(out + "\\mycomputer.png");
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
    return true;
}

// The thumbnails of the camera view shown, once its loader had time to fill them.
int CameraViewCells(ExplorerSession& explorer) {
    int cells = 0;
    WaitUntil([&] {
        HWND grid = FindDescendant(explorer.Window(), "LayoutImpWin");
        cells = grid ? CountChildren(grid, "SimpleControlWin") : 0;
        return cells > 0;
    }, 10000);
    WaitUntil([] { return false; }, 1500);
    return CountChildren(FindDescendant(explorer.Window(), "LayoutImpWin"), "SimpleControlWin");
}

// Three pictures chosen with Ctrl; then all of them copied and pasted from the
// background menu of C:\Pasted, shown with the files arrived; Back again.
bool SelectCopyAndPaste(ExplorerSession& explorer, const std::string& out) {
    HWND grid = FindDescendant(explorer.Window(), "LayoutImpWin");
    HWND cell = grid ? GetWindow(grid, GW_CHILD) : nullptr;
    for (int i = 0; cell && i < 4; ++i, cell = GetWindow(cell, GW_HWNDNEXT)) {
        if (i == 1) continue;
        RECT box;
        GetWindowRect(cell, &box);
        SendClick({(box.left + box.right) / 2, (box.top + box.bottom) / 2}, false, i ? VK_CONTROL : 0);
        WaitUntil([] { return false; }, 300);
    }
    Shot(out + "\\select.png");
    const WPARAM kSelectAll = 10004, kCopy = 10001;  // the background menu's commands
    SendMessageA(GetParent(grid), WM_COMMAND, kSelectAll, 0);
    SendMessageA(GetParent(grid), WM_COMMAND, kCopy, 0);
    WaitUntil([] { return false; }, 500);
    int expected = CountChildren(grid, "SimpleControlWin");
    CreateDirectoryA("C:\\Pasted", nullptr);
    if (!explorer.GoTo("C:\\Pasted")) return false;
    WaitUntil([&] { return FindDescendant(explorer.Window(), "SHELLDLL_DefView") != nullptr; }, 10000);
    WaitUntil([] { return false; }, 500);
    if (!explorer.PasteFromBackground()) return false;
    int files = 0;
    WaitUntil([&] {
        RemoteListView list(FindDescendant(FindDescendant(explorer.Window(), "SHELLDLL_DefView"), "SysListView32"));
        return (files = list.Count()) >= expected;
    }, 20000);
    std::printf("pasted into C:\\Pasted: %d files\n", files);
    // Wine's folder view lists pasted files as they were created (empty): F5 shows them afresh.
    WaitUntil([] { return false; }, 1000);
    PostMessageA(FindDescendant(FindDescendant(explorer.Window(), "SHELLDLL_DefView"), "SysListView32"), WM_KEYDOWN, VK_F5, 1);
    WaitUntil([] { return false; }, 1500);
    Shot(out + "\\pasted.png");
    explorer.Back();
    return files > 0 && CameraViewCells(explorer) > 0;
}

// A program's Open dialog: into OrvexView, "Removable Media" and the card's
// first folder, the second picture chosen (the shot), then Open.
bool OpenDialogSteps(const std::string& cardFolder, const std::string& out) {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = L"C:\\";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST;
    std::string stuck;
    std::thread user([&] {
        CoInitialize(nullptr);
        stuck = PickPictureInOpenDialog({"Removable Media", cardFolder}, 1, [&](HWND) { Shot(out + "\\open-dialog.png"); });
        CoUninitialize();
    });
    BOOL opened = GetOpenFileNameW(&dialog);
    user.join();
    std::printf("open dialog: %s %ls\n", opened ? "opened" : stuck.c_str(), file);
    return opened;
}

// "Hard Disk" on a folder whose own name and whose pictures' names are not ASCII.
bool AnyNameSteps(ExplorerSession& explorer, const std::string& out) {
    if (!explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}") || explorer.ViewItems("Digital Camera").size() < 3 ||
        !explorer.Open(2))
        return false;
    int cells = CameraViewCells(explorer);
    std::printf("hard disk folder of any names: %d thumbnails\n", cells);
    Shot(out + "\\any-name.png");
    return cells > 0;
}

// "Hard Disk" on a folder of thousands of pictures: thumbnails soon, explorer
// answering all along (a second thread pings it), then a jump to the end.
bool BigFolderSteps(ExplorerSession& explorer, const std::string& out) {
    if (!explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}") || explorer.ViewItems("Digital Camera").size() < 3)
        return false;
    std::atomic<bool> done{false};
    std::atomic<DWORD> longest{0};
    std::thread ping([&] {
        for (DWORD_PTR answer = 0; !done; Sleep(10)) {
            DWORD start = GetTickCount();
            SendMessageTimeoutA(explorer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer);
            longest = std::max<DWORD>(longest, GetTickCount() - start);
        }
    });
    DWORD start = GetTickCount();
    bool opened = explorer.Open(2);
    HWND grid = nullptr;
    WaitUntil([&] { return (grid = FindDescendant(explorer.Window(), "LayoutImpWin")) && CountChildren(grid, "SimpleControlWin"); },
              10000);
    DWORD cellsAfter = GetTickCount() - start;
    WaitUntil([] { return false; }, 2000);
    Shot(out + "\\big-folder.png");
    if (grid) PostMessageA(grid, WM_KEYDOWN, VK_END, 0);
    WaitUntil([] { return false; }, 2000);
    Shot(out + "\\big-folder-end.png");
    done = true;
    ping.join();
    std::printf("big folder: cells after %lu ms, explorer's longest wait %lu ms\n", cellsAfter, DWORD(longest));
    return opened && grid;
}

// The cells of the camera view in explorer, in the order shown (left to right, top to bottom).
std::vector<HWND> CellsInOrder(ExplorerSession& explorer) {
    std::vector<HWND> cells = Descendants(FindDescendant(explorer.Window(), "LayoutImpWin"), "SimpleControlWin");
    auto place = [](HWND cell) {
        RECT box;
        GetWindowRect(cell, &box);
        return std::make_pair(box.top, box.left);
    };
    std::sort(cells.begin(), cells.end(), [&](HWND a, HWND b) { return place(a) < place(b); });
    return cells;
}

HWND WaitForViewer() {
    HWND viewer = nullptr;
    WaitUntil([&] { return (viewer = FindWindowA("FrameHelperWin", nullptr)) != nullptr && IsWindowVisible(viewer); },
              10000);
    return viewer;
}

// Every kind of camera file: IMG_0011.JPG, IMG_0012.JPG, IMG_0100.CR2, IMG_0100.JPG, MVI_0101.MOV.
bool CameraKindsSteps(ExplorerSession& explorer, const std::string& out) {
    if (!explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}") || explorer.ViewItems("Digital Camera").empty() ||
        !explorer.Open(1) || explorer.ViewItems("100ORVEX (E:)").size() < 2 || !explorer.Open(1))
        return false;
    std::vector<HWND> cells;
    WaitUntil([&] { return (cells = CellsInOrder(explorer)).size() == 5; }, 10000);
    WaitUntil([] { return false; }, 2000);
    Shot(out + "\\card-kinds.png");
    if (cells.size() != 5) return false;
    const WPARAM kListView = 10019, kThumbnailView = 10018, kPrint = 10005;
    HWND view = GetParent(FindDescendant(explorer.Window(), "LayoutImpWin"));
    PostMessageA(view, WM_COMMAND, kListView, 0);
    WaitUntil([] { return false; }, 2500);
    Shot(out + "\\card-kinds-list.png");
    PostMessageA(view, WM_COMMAND, kThumbnailView, 0);
    WaitUntil([&] { return (cells = CellsInOrder(explorer)).size() == 5; }, 5000);
    WaitUntil([] { return false; }, 1000);

    PostMessageA(cells[2], WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    HWND viewer = WaitForViewer();
    WaitUntil([] { return false; }, 1000);
    Shot(out + "\\raw-viewer.png");
    if (viewer) PostMessageA(viewer, WM_CLOSE, 0, 0);
    WaitUntil([] { return false; }, 500);

    RECT box;
    GetWindowRect(cells[2], &box);
    SendClick({(box.left + box.right) / 2, (box.top + box.bottom) / 2}, false, 0);
    WaitUntil([] { return false; }, 300);
    bool spooled = false;
    if (EnsureTestPrinter()) {
        PostMessageA(view, WM_COMMAND, kPrint, 0);
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = FindWindowA("#32770", nullptr)) != nullptr && IsWindowVisible(dialog); }, 10000);
        if (dialog) {
            PostMessageA(GetDlgItem(dialog, 1057), BM_CLICK, 0, 0);  // "Selection"
            PostMessageA(GetDlgItem(dialog, 1002), BM_CLICK, 0, 0);  // "Single"
            WaitUntil([] { return false; }, 500);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            WaitUntil([] { return false; }, 500);
            DWORD_PTR answer = 0;
            spooled = SendMessageTimeoutA(explorer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer) != 0;
        }
    }
    std::printf("RAW printed alone: %s\n", spooled ? "spooled" : "not printed");

    PostMessageA(cells[4], WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    HWND answer = nullptr;
    WaitUntil([&] { return (answer = FindWindowA("#32770", nullptr)) != nullptr && IsWindowVisible(answer); }, 10000);
    WaitUntil([] { return false; }, 500);
    Shot(out + "\\video-open.png");
    if (answer) PostMessageA(answer, WM_COMMAND, IDOK, 0);
    WaitUntil([] { return false; }, 500);
    return viewer && spooled;
}

// A Wi-Fi camera's folder, and a new shot appearing in it without a refresh.
bool WifiCameraSteps(ExplorerSession& explorer, const std::string& out) {
    if (!explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}") || explorer.ViewItems("Digital Camera").empty() ||
        !explorer.Open(0))
        return false;
    std::vector<std::string> folders = explorer.ViewItems("100ORVEX");
    Print("Wi-Fi camera", folders);
    if (folders.empty() || !explorer.Open(0)) return false;
    size_t before = 0, after = 0;
    WaitUntil([&] { return (before = CellsInOrder(explorer).size()) > 0; }, 20000);
    WaitUntil([] { return false; }, 2000);
    before = CellsInOrder(explorer).size();
    Shot(out + "\\wifi-camera.png");
    WaitUntil([&] { return (after = CellsInOrder(explorer).size()) > before; }, 30000);
    WaitUntil([] { return false; }, 2000);  // its thumbnail
    Shot(out + "\\wifi-new-shot.png");
    std::printf("wifi camera: %zu pictures, %zu after a new shot\n", before, after);
    return before > 0 && after > before;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: explorer_tour <output folder> [hidpi|big|kinds|wifi]\n");
        return 2;
    }
    std::string out = argv[1];
    // At another DPI only the way to the camera view, whose shot is camera-hidpi.png; the full tour comes after.
    bool hidpi = argc > 2 && std::string(argv[2]) == "hidpi";
    CoInitialize(nullptr);
    ExplorerSession explorer("C:\\");
    if (argc > 2 && std::string(argv[2]) == "big") return explorer.Window() && BigFolderSteps(explorer, out) ? 0 : 1;
    if (argc > 2 && std::string(argv[2]) == "kinds") return explorer.Window() && CameraKindsSteps(explorer, out) ? 0 : 1;
    if (argc > 2 && std::string(argv[2]) == "wifi") return explorer.Window() && WifiCameraSteps(explorer, out) ? 0 : 1;
    if (!explorer.Window() || !OpenFromMyComputer(explorer, out)) return 1;
    std::vector<std::string> root = explorer.ViewItems("Digital Camera");
    Print("root", root);
    RemoteTreeView tree(explorer.Tree());
    tree.Expand({"Desktop", "My Computer", "OrvexView", "Removable Media"});
    Shot(out + "\\root.png");
    if (root.size() < 2 || !explorer.Open(1)) return 1;
    std::vector<std::string> media;
    // Read while the list is refilled, an item may still show the root's text, or none.
    WaitUntil([&] {
        media = explorer.ViewItems();
        return !media.empty() && std::none_of(media.begin(), media.end(), [&](const std::string& item) {
            return item.empty() || std::find(root.begin(), root.end(), item) != root.end();
        });
    }, 10000);
    Print("Removable Media", media);
    Shot(out + "\\removable.png");
    if (media == root || !explorer.Open(0)) return 1;
    int cells = CameraViewCells(explorer);
    std::printf("camera view: %d thumbnails\n", cells);
    Shot(out + (hidpi ? "\\camera-hidpi.png" : "\\camera.png"));
    if (cells == 0 || hidpi) return cells == 0;
    bool pasted = SelectCopyAndPaste(explorer, out);

    const WPARAM kListView = 10019, kThumbnailView = 10018;
    HWND view = GetParent(FindDescendant(explorer.Window(), "LayoutImpWin"));
    PostMessageA(view, WM_COMMAND, kListView, 0);
    HWND list = nullptr;
    WaitUntil([&] { return (list = FindDescendant(explorer.Window(), "ListHelper")) != nullptr; }, 5000);
    int rows = 0;
    WaitUntil([&] { return list && (rows = int(SendMessageA(GetWindow(list, GW_CHILD), LVM_GETITEMCOUNT, 0, 0))) > 0; },
              5000);
    WaitUntil([] { return false; }, 1500);  // details and fetches
    std::printf("list view: %d rows\n", rows);
    Shot(out + "\\list.png");
    PostMessageA(view, WM_COMMAND, kThumbnailView, 0);  // the next demo opens on thumbnails again
    HWND cell = nullptr;
    WaitUntil([&] {
        HWND grid = FindDescendant(explorer.Window(), "LayoutImpWin");
        return grid && (cell = FindDescendant(grid, "SimpleControlWin")) != nullptr;
    }, 5000);
    WaitUntil([] { return false; }, 1000);
    PostMessageA(cell, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    HWND viewer = WaitForViewer();
    char title[128] = {};
    if (viewer) GetWindowTextA(viewer, title, sizeof title);
    std::printf("viewer: %s\n", viewer ? title : "did not open");
    Shot(out + "\\viewer.png");
    if (viewer) PostMessageA(viewer, WM_CLOSE, 0, 0);
    WaitUntil([] { return false; }, 500);
    bool printed = ContactSheetSteps(explorer, out);
    bool picked = OpenDialogSteps(media[0], out);
    bool serial = SerialCameraSteps(explorer, out);
    bool anyName = AnyNameSteps(explorer, out);
    CoUninitialize();
    return rows > 0 && viewer && pasted && printed && picked && serial && anyName ? 0 : 1;
}
