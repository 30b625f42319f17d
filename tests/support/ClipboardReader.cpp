// clipboard_reader.exe: a second program reading the clipboard the plain
// Win32 way, as any application would. Prints one line per file of CF_HDROP
// ("file <path>") and the size of a CF_DIB ("dib <width> <height>").
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

int main() {
    // The owner renders on request; give it a moment to answer.
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(100);
    if (HANDLE drop = GetClipboardData(CF_HDROP)) {
        UINT count = DragQueryFileA(static_cast<HDROP>(drop), 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            char path[MAX_PATH] = {};
            DragQueryFileA(static_cast<HDROP>(drop), i, path, MAX_PATH);
            std::printf("file %s\n", path);
        }
    }
    if (HANDLE dib = GetClipboardData(CF_DIB)) {
        auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
        if (header) std::printf("dib %ld %ld\n", header->biWidth, std::labs(header->biHeight));
        GlobalUnlock(dib);
    }
    CloseClipboard();
    return 0;
}
