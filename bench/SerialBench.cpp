// serial_bench.exe: a paced camera simulator on COM5 at 115200 bps (see
// bench/serial.sh). Prints the effective bytes per second of a full picture
// against the line's 11,520 and the time for the thumbnails of a folder
// against the time their bytes need on the line.
#include <windows.h>

#include <cstdio>

#include "BenchClock.h"
#include "camera/CameraService.h"

int main() {
    auto* service = LoadService("serialcam.dll", "COM5,115200");
    if (!service || !service->Refresh()) return 1;
    CameraConnection* connection = service->OpenConnection("100ORVEX");
    if (!connection || connection->GetImageCount() == 0) return 1;
    const double lineBytesPerSecond = 115200 / 10.0;  // 8N1: ten bits a byte

    size_t thumbBytes = 0;
    double start = Now();
    // On a worker thread, as the thumbnail loader reads them.
    HANDLE worker = CreateThread(nullptr, 0, [](void* context) -> DWORD {
        auto* c = static_cast<CameraConnection*>(context);
        char name[260] = {};
        c->GetImageName(name, sizeof name, 0);
        HGLOBAL data = nullptr;
        int freeIt = 0;
        c->OpenImage(name)->ReadData(&data, 0, &freeIt, nullptr, nullptr);
        if (data) GlobalFree(data);
        return 0;
    }, connection, 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    std::printf("one thumbnail on a worker thread: %.0f ms\n", Now() - start);
    start = Now();
    for (int i = 0; i < connection->GetImageCount(); ++i) {
        char name[260] = {};
        connection->GetImageName(name, sizeof name, i);
        HGLOBAL data = nullptr;
        int freeIt = 0;
        if (connection->OpenImage(name)->ReadData(&data, 0, &freeIt, nullptr, nullptr) != kReadOk) return 1;
        thumbBytes += GlobalSize(data);
        GlobalFree(data);
    }
    double thumbMs = Now() - start;
    double thumbNeedMs = double(thumbBytes) * 1000.0 / lineBytesPerSecond;

    char name[260] = {};
    connection->GetImageName(name, sizeof name, 0);
    HGLOBAL data = nullptr;
    int freeIt = 0;
    start = Now();
    if (connection->OpenImage(name)->ReadData(&data, 1, &freeIt, nullptr, nullptr) != kReadOk) return 1;
    double fullMs = Now() - start;
    size_t fullBytes = GlobalSize(data);
    GlobalFree(data);

    double effective = double(fullBytes) * 1000.0 / fullMs;
    std::printf("thumbnails %d, %zu bytes: %.0f ms, the bytes need %.0f ms (ratio %.2f)\n",
                connection->GetImageCount(), thumbBytes, thumbMs, thumbNeedMs, thumbMs / thumbNeedMs);
    std::printf("full picture %zu bytes: %.0f ms, %.0f bytes/s of %.0f (%.1f %%)\n", fullBytes, fullMs, effective,
                lineBytesPerSecond, effective * 100.0 / lineBytesPerSecond);
    connection->Destroy(1);
    service->Destroy(1);
    return 0;
}
