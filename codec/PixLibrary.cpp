// pixcodec.dll: the image library table the module calls.
#include <windows.h>

#include <new>

#include "JpegCodec.h"
#include "PixImage.h"

namespace pix {
namespace {

// Files larger than this are no picture this library reads.
constexpr LONGLONG kMaxFileBytes = 1ll << 30;

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kMaxFileBytes;
    if (ok) {
        bytes.resize(size_t(size.QuadPart));
        DWORD read = 0;
        ok = ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) && read == bytes.size();
    }
    CloseHandle(file);
    return ok;
}

PixImage* AsPix(Image* image) { return static_cast<PixImage*>(image); }

// Every entry keeps errors inside: a failure is a result, never an exception.
template <class F, class R>
R Guarded(F&& body, R failure) {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

class PixLibrary : public ImageLibrary {
public:
    Image* CreateImage() override { return new (std::nothrow) PixImage; }

    void DestroyImage(Image* image) override { delete AsPix(image); }

    int LoadFile(const char* path, Image* image) override {
        if (!path || !image) return 0;
        return Guarded(
            [&] {
                std::vector<uint8_t> bytes;
                return ReadWholeFile(path, bytes) && AsPix(image)->Load(std::move(bytes)) ? 1 : 0;
            },
            0);
    }

    int LoadMemory(Image* image, HGLOBAL data) override {
        if (!image || !data) return 0;
        return Guarded(
            [&] {
                SIZE_T size = GlobalSize(data);
                const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(data));
                if (!bytes) return 0;
                std::vector<uint8_t> copy(bytes, bytes + size);
                GlobalUnlock(data);
                return AsPix(image)->Load(std::move(copy)) ? 1 : 0;
            },
            0);
    }

    void Reserved5() override {}

    HGLOBAL CreateDib(Image* image) override {
        if (!image) return nullptr;
        return Guarded([&] { return AsPix(image)->CreateDib(); }, HGLOBAL(nullptr));
    }

    int SaveFile(const char* path, Image* image, int format) override {
        if (!image || format != kSaveFormatJpeg) return 0;
        return Guarded([&] { return AsPix(image)->SaveJpeg(path) ? 1 : 0; }, 0);
    }

    void Reserved8() override {}

    // Negative degrees turn clockwise: -90 is one clockwise quarter turn.
    int Rotate(Image* image, int degrees, int) override {
        if (!image || degrees % 90 != 0) return 0;
        return AsPix(image)->Turn(-degrees / 90) ? 1 : 0;
    }

    void Draw(HDC dc, Image* image, int, int, const RECT* dest, const RECT* clip, DWORD) override {
        if (!dc || !image || !dest) return;
        Guarded([&] { return AsPix(image)->Draw(dc, *dest, clip); }, false);
    }

    HPALETTE MakePalette(HDC dc, Image* image) override {
        if (!dc || !image) return nullptr;
        return AsPix(image)->Palette(dc);
    }

    void DrawScaled(HDC dc, Image* image, int left, int top, int width, int height, int) override {
        if (!dc || !image) return;
        RECT dest = {left, top, left + width, top + height};
        Guarded([&] { return AsPix(image)->Draw(dc, dest, nullptr); }, false);
    }
};

PixLibrary theLibrary;

}  // namespace
}  // namespace pix

extern "C" ImageLibrary* GetImgLib() { return &pix::theLibrary; }
