#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/Exif.h"
#include "core/Pixels.h"
#include "imaging/ImageLibrary.h"

namespace pix {

// The table's paths are UTF-8; Windows takes them as UTF-16.
std::wstring WidePath(const char* utf8);

// One picture: its encoded bytes, its orientation (as stored plus the turns
// asked since), and decoded renditions made as large as drawing needs.
// A loader thread may prepare it while the interface thread draws: every
// operation holds the picture's lock.
class PixImage final : public Image {
public:
    ~PixImage();

    void Reserved1() override {}
    int Width() override;
    int Height() override;

    bool Load(std::vector<uint8_t> bytes);
    bool Turn(int quarterTurnsClockwise);
    bool Draw(HDC dc, const RECT& dest, const RECT* clip);
    HGLOBAL CreateDib();
    bool SaveJpeg(const char* path);
    HPALETTE Palette(HDC dc);

private:
    // Holding lock_; `orientationWithoutExif` applies when the JPEG has no EXIF orientation.
    bool LoadJpeg(std::vector<uint8_t> bytes, int orientationWithoutExif);
    int Orientation() const { return ComposeOrientation(fileOrientation_, TurnOrientation(turns_)); }
    // A decoded rendition at least `width` x `height` in stored orientation.
    bool EnsureDecoded(int width, int height);
    // The upright (turned) picture from the current decoded rendition.
    const Bitmap& Oriented();
    bool FullUpright(Bitmap& out);
    std::vector<uint8_t> ExifForCopy() const;
    void ForgetRenditions();

    std::mutex lock_;
    std::vector<uint8_t> encoded_;
    bool isJpeg_ = false;
    ExifInfo exif_;
    std::vector<uint8_t> exifTiff_;
    int fileOrientation_ = 1;
    int turns_ = 0;
    int storedWidth_ = 0;
    int storedHeight_ = 0;

    Bitmap decoded_;           // stored orientation, at 1 / decodedScale_
    int decodedScale_ = 0;
    bool loaded_ = false;      // a picture was loaded (its decoded form may be released)
    Bitmap oriented_;          // decoded_ turned upright
    int orientedOrientation_ = 0;
    Bitmap rendition_;         // the last whole destination drawn
    int renditionWidth_ = 0, renditionHeight_ = 0;
    HPALETTE palette_ = nullptr;
};

}  // namespace pix
