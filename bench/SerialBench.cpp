// serial_bench.exe: a paced camera simulator on COM5 at 115200 bps (see bench/serial.sh). Prints the effective bytes
// per second of a full picture against the line's 11,520 and the time for the thumbnails of a folder against the time
// their bytes need on the line.
#include <windows.h>

#include <cstdio>
#include <thread>

#include "BenchClock.h"
#include "camera/CameraService.h"

namespace {

// The bytes of picture `index` (`full`) or its thumbnail; 0 when the read fails.
size_t Fetch(CameraConnection* connection, int index, int full) {
    char name[260] = {};
    connection->GetImageName(name, sizeof name, index);
    HGLOBAL data = nullptr;
    int freeIt = 0;
    if (connection->OpenImage(name)->ReadData(&data, full, &freeIt, nullptr, nullptr) != kReadOk) return 0;
    size_t size = GlobalSize(data);
    GlobalFree(data);
    return size;
}

}  // namespace

int main() {
    auto* service = LoadService("serialcam.dll", "COM5,115200");
    if (!service || !service->Refresh()) return 1;
    CameraConnection* connection = service->OpenConnection("100ORVEX");
    if (!connection || connection->GetImageCount() == 0) return 1;
    const double lineBytesPerSecond = 115200 / 10.0;  // 8N1: ten bits a byte

    size_t thumbBytes = 0;
    double start = Now();
    std::thread([&] { Fetch(connection, 0, 0); }).join();  // on a worker thread, as the thumbnail loader reads them
    std::printf("one thumbnail on a worker thread: %.0f ms\n", Now() - start);
    start = Now();
    for (int i = 0; i < connection->GetImageCount(); ++i) {
        size_t bytes = Fetch(connection, i, 0);
        if (!bytes) return 1;
        thumbBytes += bytes;
    }
    double thumbMs = Now() - start;
    double thumbNeedMs = double(thumbBytes) * 1000.0 / lineBytesPerSecond;

    start = Now();
    size_t fullBytes = Fetch(connection, 0, 1);
    if (!fullBytes) return 1;
    double fullMs = Now() - start;

    double effective = double(fullBytes) * 1000.0 / fullMs;
    std::printf("thumbnails %d, %zu bytes: %.0f ms, the bytes need %.0f ms (ratio %.2f)\n",
                connection->GetImageCount(), thumbBytes, thumbMs, thumbNeedMs, thumbMs / thumbNeedMs);
    std::printf("full picture %zu bytes: %.0f ms, %.0f bytes/s of %.0f (%.1f %%)\n", fullBytes, fullMs, effective,
                lineBytesPerSecond, effective * 100.0 / lineBytesPerSecond);
    connection->Destroy(1);
    service->Destroy(1);
    return 0;
}
