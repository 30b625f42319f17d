// Writes a camera memory card: make-card.exe <root> [pictures] [width]
// ROOT\DCIM\100ORVEX holds most pictures (some taken turned), 101ORVEX a few.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SyntheticPhotos.h"

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-card <root> [pictures] [width]\n");
        return 2;
    }
    std::string root = argv[1];
    int count = argc > 2 ? std::atoi(argv[2]) : 12;
    // Older cameras took smaller pictures; serial-line tests want them small.
    int width = argc > 3 ? std::atoi(argv[3]) : 1600;
    if (width < 16) width = 16;
    int height = width * 3 / 4;
    std::string dcim = root + "\\DCIM";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(dcim.c_str(), nullptr);
    CreateDirectoryA((dcim + "\\100ORVEX").c_str(), nullptr);
    CreateDirectoryA((dcim + "\\101ORVEX").c_str(), nullptr);
    for (int i = 1; i <= count; ++i) {
        bool portrait = i % 4 == 0;
        synthetic::CameraShot shot;
        char date[32];
        std::snprintf(date, sizeof date, "2024:07:%02d %02d:%02d:00", 1 + i % 28, 8 + i % 12, (i * 7) % 60);
        shot.dateTimeOriginal = date;
        shot.orientation = portrait ? 6 : 1;
        pix::Bitmap photo = synthetic::PhotoLike(portrait ? height : width, portrait ? width : height, i);
        char name[64];
        std::snprintf(name, sizeof name, "%s\\IMG_%04d.JPG", i <= count - 2 ? "100ORVEX" : "101ORVEX", i);
        std::string path = dcim + "\\" + name;
        if (!WriteFile(path, synthetic::CameraJpeg(photo, shot))) return 1;
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
