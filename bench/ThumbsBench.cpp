// Thumbnail control timings under Wine, filled from a card folder through the disk driver:
// thumbs_bench.exe <folder> <count label>
// Prints: the floor (a plain loop extracting and decoding the same EXIF thumbnails), the time until every cell has its
// picture, the time until the first screenful has, the adding time, the peak working set and the longest gap between
// two timer messages on the interface thread while loading.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "JpegCodec.h"
#include "base/Module.h"
#include "camera/CameraService.h"
#include "controls/ImageControl.h"
#include "controls/LayoutImp.h"
#include "controls/ThumbnailControl.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"

namespace {

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

double longestGap = 0, lastTick = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    double now = Now();
    if (lastTick > 0) longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: thumbs_bench <folder>\n");
        return 2;
    }
    theModule.instance = GetModuleHandleA(nullptr);
    ReadProductInfo();
    CoInitialize(nullptr);
    std::string folder = argv[1];
    std::vector<std::string> names = Pictures(folder);
    double floor = FloorMs(folder, names);

    auto* service = LoadService("diskcam.dll", "");
    CameraConnection* connection = service ? service->OpenConnection(folder.c_str()) : nullptr;
    if (!connection) return 1;

    HWND host = CreateWindowExA(0, "STATIC", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr, nullptr,
                                nullptr, nullptr);
    ImageControl* control = CreateImageControl(1);
    RECT rect = {0, 0, 1023, 767};
    control->CreateControl(0, "", 0, &rect, host, 0);
    control->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), 1);
    LayoutImp* layout = static_cast<ThumbnailControl*>(control)->Layout();

    double addStart = Now();
    int count = connection->GetImageCount();
    for (int i = 0; i < count; ++i) {
        char name[260];
        connection->GetImageName(name, sizeof name, i);
        control->AddItem(connection->OpenImage(name), name, -1);
    }
    double added = Now() - addStart;

    int screenful = 0;
    while (screenful < count && layout->CellPosition(screenful).y < 768) ++screenful;
    SetTimer(host, 1, 10, Tick);
    double start = Now(), firstScreen = -1;
    control->RestartLoader();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        int loaded = 0;
        while (loaded < count && layout->CellAt(loaded)->HasImage()) ++loaded;
        if (firstScreen < 0 && loaded >= screenful) firstScreen = Now() - start;
        if (loaded == count) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    double all = Now() - start;
    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

    std::printf("cells %d\nfloor_ms %.0f\nall_loaded_ms %.0f\nratio_to_floor %.2f\nfirst_screen_ms %.0f (%d cells)\n",
                count, floor, all, all / floor, firstScreen, screenful);
    std::printf("adding_ms %.0f\npeak_working_set_mb %.0f\nlongest_ui_gap_ms %.0f\n", added,
                double(memory.PeakWorkingSetSize) / (1024 * 1024), longestGap);

    control->DestroyControl();
    control->Destroy(1);
    connection->Destroy(1);
    service->Destroy(1);
    DestroyWindow(host);
    return 0;
}
