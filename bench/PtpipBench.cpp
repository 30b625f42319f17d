// ptpip_bench.exe <copy|read|thumbs|cancel> <camera address> [plain address]: the network camera driver against the PTP/IP
// simulator (see bench/ptpip.sh). "copy" copies out every picture of 100ORVEX as a copy does (to files, with
// progress), measures a cancel, and with a plain address times the same bytes over a bare TCP connection;
// "thumbs" fetches every thumbnail as the view's loader does; "cancel" times cancels of downloads under way.
// Prints bytes, times and rates.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "BenchClock.h"

namespace {

struct Totals {
    double bytes = 0, ms = 0;
};

// Reads picture `index` to a file as a copy does; its bytes, 0 when the read fails.
size_t CopyOne(CameraConnection* connection, int index, ProgressCallback progress = nullptr, void* context = nullptr) {
    char name[260] = {}, path[260] = {};
    int deleteIt = 0;
    connection->GetImageName(name, sizeof name, index);
    CameraImage* image = connection->OpenImage(name);
    if (!image || image->ReadToFile(path, sizeof path, 1, &deleteIt, progress, context) != kReadOk) return 0;
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    GetFileAttributesExA(path, GetFileExInfoStandard, &file);
    if (deleteIt) DeleteFileA(path);
    return file.nFileSizeLow;
}

// `bytes` from the simulator's plain port: what the link does without PTP.
double PlainMs(const std::string& address, double bytes) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    std::string host = address.substr(0, address.rfind(':')), port = address.substr(address.rfind(':') + 1);
    addrinfo hints = {}, *found = nullptr;
    hints.ai_family = AF_INET, hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return 0;
    SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    double start = Now();
    if (connect(s, found->ai_addr, int(found->ai_addrlen)) != 0) return 0;
    unsigned long long want = (unsigned long long)bytes;
    send(s, reinterpret_cast<const char*>(&want), 8, 0);
    static char buffer[1 << 16];
    unsigned long long got = 0;
    for (int now; got < want && (now = recv(s, buffer, sizeof buffer, 0)) > 0;) got += unsigned(now);
    double ms = Now() - start;
    closesocket(s);
    freeaddrinfo(found);
    return got == want ? ms : 0;
}

// How long a cancel takes: from the callback's "stop" to the read's return.
double CancelMs(CameraConnection* connection) {
    struct Stop { double at = 0; } stop;
    auto progress = [](int code, int value, const char*, void* context) -> BOOL {
        auto* s = static_cast<Stop*>(context);
        if (code != 1 || value < 5) return TRUE;
        if (!s->at) s->at = Now();
        return FALSE;
    };
    CopyOne(connection, 1, progress, &stop);
    return stop.at ? Now() - stop.at : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string mode = argv[1];
    CameraService* service = LoadService("ptpcam.dll", argv[2]);
    if (!service || !service->Refresh()) return 1;
    CameraConnection* connection = service->OpenConnection("100ORVEX");
    if (!connection || connection->GetImageCount() == 0) return 1;
    int count = connection->GetImageCount();
    if (mode == "cancel") {
        double worst = 0;
        for (int i = 0; i < 5; ++i) worst = std::max(worst, CancelMs(connection));
        std::printf("cancel: at most %.1f ms from the stop to the read's end (5 downloads)\n", worst);
        return 0;
    }
    Totals total;
    double start = Now();
    for (int i = 0; i < count; ++i) {
        size_t bytes = 0;
        if (mode == "copy") {
            bytes = CopyOne(connection, i);
        } else {  // "read": into memory, as a paste or a bitmap takes it; "thumbs": as the loader does
            char name[260] = {};
            connection->GetImageName(name, sizeof name, i);
            HGLOBAL data = nullptr;
            int freeIt = 0;
            if (connection->OpenImage(name)->ReadData(&data, mode == "read", &freeIt, nullptr, nullptr) == kReadOk)
                bytes = GlobalSize(data), GlobalFree(data);
        }
        if (!bytes) return 1;
        total.bytes += double(bytes);
    }
    total.ms = Now() - start;
    std::printf("%s: %d pictures, %.0f bytes in %.0f ms: %.2f MB/s\n", mode.c_str(), count, total.bytes, total.ms,
                total.bytes / total.ms / 1000.0);
    if (argc > 3) {
        double plain = PlainMs(argv[3], total.bytes);
        std::printf("plain TCP, the same bytes: %.0f ms; the driver takes %.2fx as long\n", plain, total.ms / plain);
    }
    connection->Destroy(1);
    service->Destroy(1);
    return 0;
}
