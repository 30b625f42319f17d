#include "WicCodec.h"

#include <wincodec.h>

#include "JpegCodec.h"

namespace pix {
namespace {

template <class T>
class Com {
public:
    ~Com() {
        if (ptr_) ptr_->Release();
    }
    T** operator&() { return &ptr_; }
    T* operator->() const { return ptr_; }
    T* Get() const { return ptr_; }

private:
    T* ptr_ = nullptr;
};

// Loader threads may call in without COM: initialise it for the call.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }

private:
    HRESULT result_;
};

void BlendOverWhite(const BYTE* bgra, Bitmap& out) {
    for (int y = 0; y < out.height; ++y) {
        uint8_t* row = out.Row(y);
        const BYTE* source = bgra + size_t(y) * size_t(out.width) * 4;
        for (int x = 0; x < out.width; ++x, source += 4) {
            unsigned alpha = source[3];
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = uint8_t((source[c] * alpha + 255 * (255 - alpha) + 127) / 255);
        }
    }
}

}  // namespace

bool DecodeWithWic(const uint8_t* data, size_t size, Bitmap& out) {
    if (!data || size == 0 || size > 0xFFFFFFFFu) return false;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)))
        return false;

    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        uint64_t(width) * height > kMaxPixels)
        return false;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;

    std::vector<BYTE> bgra;
    try {
        bgra.resize(size_t(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (FAILED(converter->CopyPixels(nullptr, width * 4, UINT(bgra.size()), bgra.data())) ||
        !out.Allocate(int(width), int(height)))
        return false;
    BlendOverWhite(bgra.data(), out);
    return true;
}

}  // namespace pix
