// What a user waits for opening a folder of pictures (thumbs_bench.exe <folder>): our view over the disk driver in the
// tests' browser window, timed from the moment the view is asked for its window. Prints each figure beside its goal,
// "timeout" for one not reached within a minute. End is pressed once the first screenful shows.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "BenchClock.h"
#include "JpegCodec.h"
#include "base/Module.h"
#include "controls/LayoutImp.h"
#include "controls/ThumbnailControl.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/BrowserHost.h"
#include "support/Screen.h"
#include "view/CameraView.h"

namespace {

constexpr DWORD kCapMs = 60000;
std::atomic<double> firstScreen{-1}, listed{-1}, endScreen{-1}, fetched{-1}, windowsPerCell{-1};  // -1: not yet
std::atomic<double> floorMs{0}, longestPing{0}, pingSent{0}, peakPrivate{0};
std::atomic<bool> pinging{true};

double FloorMs(const std::string& folder, const std::vector<std::string>& names) {
    double start = Now();
    for (const std::string& name : names) {
        std::vector<uint8_t> head = ReadBytes(folder + "\\" + name, 64 * 1024);
        pix::JpegHeader header = pix::ParseJpegHeader(head.data(), head.size());
        pix::ExifInfo exif = pix::ParseTiff(head.data() + header.exifOffset, header.exifLength);
        pix::Bitmap thumb;
        int scale = 0;
        pix::DecodeJpeg(head.data() + header.exifOffset + exif.thumbnailOffset, exif.thumbnailLength,
                        160, 160, thumb, &scale);
    }
    return Now() - start;
}

LayoutImp* Grid(IShellView* view) {
    auto* control = static_cast<ThumbnailControl*>(static_cast<CameraView*>(view)->Control());
    return control ? control->Layout() : nullptr;
}

// Whether every cell in the grid's client area (a row's pitch stands for its height) has its picture, the last one
// among them if `wantLast`, and windows a user sees draw at least the cells wholly inside. Samples windows per cell.
bool Shown(LayoutImp* grid, bool wantLast) {
    RECT client, cell, both;
    GetClientRect(grid->Window(), &client);
    int count = grid->GetItemCount(), pitch = 0, cells = 0, whole = 0, pictures = 0, seen = 0;
    bool lastMissing = wantLast;
    for (int i = 1; i < count && !pitch; ++i) pitch = grid->CellPosition(i).y - grid->CellPosition(0).y;
    for (int i = 0, y; i < count; ++i)
        if ((y = grid->CellPosition(i).y - grid->ScrollPos()) < client.bottom && y + pitch > 0)
            ++cells, whole += y >= 0 && y + pitch <= client.bottom, pictures += grid->CellAt(i)->HasImage() ? 1 : 0,
                lastMissing = lastMissing && i != count - 1;
    if (!cells || pictures < cells || lastMissing) return false;
    std::vector<HWND> windows = Descendants(grid->Window(), "SimpleControlWin");
    for (HWND window : windows) {
        GetWindowRect(window, &cell), MapWindowPoints(nullptr, grid->Window(), reinterpret_cast<POINT*>(&cell), 2);
        seen += IsWindowVisible(window) && IntersectRect(&both, &cell, &client);
    }
    windowsPerCell = std::max(windowsPerCell.load(), double(windows.size()) / cells);
    return seen >= whole;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) TranslateMessage(&msg), DispatchMessageA(&msg);
}

// Pings the browser window as the system does to tell a hung program, and samples the memory.
void Watch(HWND top) {
    for (DWORD_PTR answer;; Sleep(1)) {
        if (double sent = pinging ? Now() : 0; sent) {
            pingSent = sent, SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_NORMAL, kCapMs, &answer), pingSent = 0;
            longestPing = std::max(longestPing.load(), Now() - sent);
        }
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        GetProcessMemoryInfo(GetCurrentProcess(), PPROCESS_MEMORY_COUNTERS(&memory), sizeof memory);
        peakPrivate = std::max({peakPrivate.load(), double(memory.PrivateUsage), double(memory.PeakPagefileUsage)});
    }
}

void Report() {
    static std::atomic<bool> once{false};
    if (once.exchange(true)) return;
    const std::pair<const char*, double> lines[] = {{"first_screen_ms %s (goal < 500)\n", firstScreen},
        {"all_listed_ms %s (goal < 1000 at 20000)\n", listed},
        {"longest_ui_gap_ms %s (goal < 100)\n", std::max(longestPing.load(), pingSent ? Now() - pingSent : 0)},
        {"end_screen_ms %s (goal < 500)\n", endScreen}, {"all_fetched_x_floor %s (goal <= 2)\n", fetched / floorMs},
        {"peak_private_mb %s (goal < 250 at 20000)\n", peakPrivate / (1024 * 1024)},
        {"cell_windows_x_cells_on_screen %s (goal < 3)\n", windowsPerCell}};
    for (auto [format, value] : lines) {
        char text[16] = "timeout";
        if (value >= 0) std::snprintf(text, sizeof text, "%.*f", value < 10 ? 1 : 0, value);
        std::printf(format, text);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return std::fprintf(stderr, "usage: thumbs_bench <folder>\n"), 2;
    theModule.instance = GetModuleHandleA(nullptr);
    ReadProductInfo();
    CoInitialize(nullptr);
    std::string folder = argv[1], viewer = ConfigStore::ModelKey(ConfigStore::kImageViewer);
    std::vector<std::string> names = Pictures(folder);
    int count = int(names.size());
    floorMs = FloorMs(folder, names);
    // The "Hard Disk" source on the folder, in thumbnails; a camera chosen, so that no settings dialog comes first.
    ConfigStore::Write(viewer, "Path", "diskcam.dll"), ConfigStore::Write(viewer, "CurrentFolder", folder);
    ConfigStore::Write(ConfigStore::kSettingsKey, "ViewType", "Thumbs");
    ConfigStore::Write(ConfigStore::kSettingsKey, "Camera", "Memory Card");
    auto disk = ComRef<CameraFolder>::Share(new CameraFolder(new SourceFolder(SourceFolder::kImageViewer), ""));
    disk->SetKind("Viewer");
    double start = Now();
    ComRef<IShellView> view;
    disk->CreateViewObject(nullptr, IID_IShellView, view.PutVoid());  // reads the folder's names
    std::printf("pictures %d\nfloor_ms %.0f\nconnect_ms %.0f (before the clock)\n", count, floorMs.load(),
                Now() - start);
    std::fflush(stdout);

    BrowserHost host;
    MoveWindow(host.Window(), 0, 0, 1024, 768, TRUE);
    std::thread(Watch, host.Window()).detach();
    std::thread([] { Sleep(kCapMs), Report(), TerminateProcess(GetCurrentProcess(), 0); }).detach();
    start = Now();
    host.Open(view.Get());
    for (double endPressed = 0; fetched < 0 || endScreen < 0;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        LayoutImp* grid = Grid(view.Get());
        if (!grid) { Pump(); continue; }
        SCROLLINFO range = {sizeof range, SIF_RANGE, 0, 0, 0, 0, 0};
        if (listed < 0 && grid->GetItemCount() == count && GetScrollInfo(grid->Window(), SB_VERT, &range) &&
            range.nMax > grid->CellPosition(count - 1).y)
            listed = Now() - start;
        if (fetched < 0 && grid->FetchedCount() == count) fetched = Now() - start, pinging = false;
        double checks = Now();  // the checks' own time is left out; then the queue runs dry, paints included
        bool firstShown = firstScreen < 0 && Shown(grid, false);
        bool endShown = endPressed && endScreen < 0 && Shown(grid, true);
        checks = Now() - checks, Pump();
        if (firstShown) firstScreen = Now() - checks - start;
        if (endShown) endScreen = Now() - checks - endPressed;
        if (!endPressed && firstScreen >= 0 && listed >= 0)
            endPressed = Now(), SendMessageA(grid->Window(), WM_KEYDOWN, VK_END, 0);
    }
    for (int row = 0; row < 20; ++row) {  // scrolling back a row at a time, each shown before the next
        SendMessageA(Grid(view.Get())->Window(), WM_VSCROLL, SB_PAGEUP, 0);
        WaitUntil([&] { return Shown(Grid(view.Get()), false); }, 1000);
    }
    Report();
    host.Close();
    return 0;
}
