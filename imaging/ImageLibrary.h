#pragma once
// The contract of the image codec library "pixcodec.dll", installed beside
// the module: its export
//   ImageLibrary* GetImgLib();
// returns an object called through this table, in this slot order. Paths are
// UTF-8.
#include <windows.h>

class Image {
public:
    virtual void Reserved1() = 0;
    virtual int Width() = 0;
    virtual int Height() = 0;

protected:
    ~Image() = default;
};

class ImageLibrary {
public:
    virtual Image* CreateImage() = 0;
    virtual void DestroyImage(Image* image) = 0;
    // Results of 1 or more mean success.
    virtual int LoadFile(const char* path, Image* image) = 0;
    virtual int LoadMemory(Image* image, HGLOBAL data) = 0;
    virtual void Reserved5() = 0;
    virtual HGLOBAL CreateDib(Image* image) = 0;
    virtual int SaveFile(const char* path, Image* image, int format) = 0;
    virtual void Reserved8() = 0;
    // Multiples of -90; -90 turns a quarter clockwise.
    virtual int Rotate(Image* image, int degrees, int reserved) = 0;
    virtual void Draw(HDC dc, Image* image, int reserved1, int reserved2, const RECT* dest,
                      const RECT* clip, DWORD rop) = 0;
    virtual HPALETTE MakePalette(HDC dc, Image* image) = 0;
    virtual void DrawScaled(HDC dc, Image* image, int left, int top, int width, int height,
                            int reserved) = 0;

protected:
    ~ImageLibrary() = default;
};

typedef ImageLibrary* (*GetImageLibraryFunction)();
constexpr wchar_t kImageLibraryFileName[] = L"pixcodec.dll";
constexpr char kImageLibraryExport[] = "GetImgLib";
constexpr int kSaveFormatJpeg = 10;

// The module-wide library, loaded on first use; null when it cannot be loaded.
ImageLibrary* GetImageLibrary();

// Owns one image of the library for its lifetime.
class ImageHolder {
public:
    ImageHolder();
    ~ImageHolder();
    ImageHolder(const ImageHolder&) = delete;
    ImageHolder& operator=(const ImageHolder&) = delete;

    Image* Get() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }
    int Width() const { return image_ ? image_->Width() : 0; }
    int Height() const { return image_ ? image_->Height() : 0; }

private:
    Image* image_ = nullptr;
};
