// Writes a camera memory card: make-card.exe <root> [pictures] [width] [pair]
// ROOT\DCIM\100ORVEX holds most pictures (some taken turned), 101ORVEX a few;
// "pair" adds a shot taken as RAW+JPEG there (IMG_0100.CR2 and IMG_0100.JPG).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SyntheticPhotos.h"

namespace {

bool WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return ok;
}

// Paths in any script: the arguments are read wide and the paths printed in UTF-8.
std::string Utf8(const std::wstring& wide) {
    std::string utf8(size_t(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], int(utf8.size()), nullptr, nullptr);
    utf8.pop_back();
    return utf8;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        std::fprintf(stderr, "usage: make-card <root> [pictures] [width]\n");
        return 2;
    }
    std::wstring root = argv[1];
    int count = argc > 2 ? _wtoi(argv[2]) : 12;
    // Older cameras took smaller pictures; serial-line tests want them small.
    int width = argc > 3 ? _wtoi(argv[3]) : 1600;
    if (width < 16) width = 16;
    int height = width * 3 / 4;
    std::wstring dcim = root + L"\\DCIM";
    for (const std::wstring& folder : {root, dcim, dcim + L"\\100ORVEX", dcim + L"\\101ORVEX"})
        CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 1; i <= count; ++i) {
        bool portrait = i % 4 == 0;
        synthetic::CameraShot shot;
        char date[32];
        std::snprintf(date, sizeof date, "2024:07:%02d %02d:%02d:00", 1 + i % 28, 8 + i % 12, (i * 7) % 60);
        shot.dateTimeOriginal = date;
        shot.orientation = portrait ? 6 : 1;
        pix::Bitmap photo = synthetic::PhotoLike(portrait ? height : width, portrait ? width : height, i);
        wchar_t name[64];
        std::swprintf(name, 64, L"%ls\\IMG_%04d.JPG", i <= count - 2 ? L"100ORVEX" : L"101ORVEX", i);
        std::wstring path = dcim + L"\\" + name;
        if (!WriteFile(path, synthetic::CameraJpeg(photo, shot))) return 1;
        std::printf("%s\n", Utf8(path).c_str());
    }
    if (argc > 4 && std::wstring(argv[4]) == L"pair") {
        synthetic::CameraShot shot{"2024:07:30 18:45:00", 1};
        pix::Bitmap photo = synthetic::PhotoLike(width, height, 100);
        std::wstring pair = dcim + L"\\101ORVEX\\IMG_0100.";
        if (!WriteFile(pair + L"CR2", synthetic::CameraRaw(photo, shot)) ||
            !WriteFile(pair + L"JPG", synthetic::CameraJpeg(photo, shot)))
            return 1;
    }
    return 0;
}
