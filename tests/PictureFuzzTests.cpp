// Mutated JPEG, PNG and EXIF files on a card, read the way the module reads
// them: the disk driver's details, thumbnail and picture, then the codec
// library loading, turning, converting and drawing what came back. Nothing
// may crash or hang; a picture that does not load is the view's placeholder.
// ORVEX_PICTURE_FUZZ sets how many (make soak runs 10,000); ORVEX_FUZZ_SEED replays.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <random>

#include "camera/CameraService.h"
#include "imaging/ImageLibrary.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* text = getenv(name);
    return text && *text ? unsigned(strtoul(text, nullptr, 10)) : fallback;
}

ImageLibrary* Library() {
    static HMODULE module = LoadLibraryA(BinPath("pixcodec.dll").c_str());
    static auto get = reinterpret_cast<GetImageLibraryFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, kImageLibraryExport)));
    return get ? get() : nullptr;
}

CameraService* NewDiskService(const std::string& root) {
    static HMODULE driver = LoadLibraryA(BinPath("diskcam.dll").c_str());
    static auto create = reinterpret_cast<CreateServiceFunction>(
        reinterpret_cast<void*>(GetProcAddress(driver, kCreateServiceExport)));
    return create ? create(root.c_str()) : nullptr;
}

class Mutator {
public:
    explicit Mutator(unsigned seed) : random_(seed) {}

    std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes) {
        for (unsigned n = 1 + Pick(6); n > 0 && !bytes.empty(); --n) {
            size_t at = Pick(unsigned(bytes.size()));
            // Most damage where the headers and EXIF live.
            if (Pick(2) == 0) at = Pick(unsigned(std::min<size_t>(bytes.size(), 600)));
            switch (Pick(7)) {
                case 0: bytes[at] ^= uint8_t(1 << Pick(8)); break;
                case 1: bytes[at] = uint8_t(random_()); break;
                case 2: bytes.resize(at); break;
                case 3: bytes.insert(bytes.begin() + long(at), 1 + Pick(64), uint8_t(random_())); break;
                case 4: {  // a 16-bit length or count made extreme
                    static const uint16_t kExtremes[] = {0, 1, 2, 0x7FFF, 0xFFFF, 0x8000};
                    uint16_t value = kExtremes[Pick(6)];
                    if (at + 1 < bytes.size()) bytes[at] = uint8_t(value >> 8), bytes[at + 1] = uint8_t(value);
                    break;
                }
                case 5: {  // a 32-bit offset pointing anywhere
                    uint32_t value = Pick(2) ? uint32_t(random_()) : Pick(unsigned(bytes.size()) + 16);
                    for (int k = 0; k < 4 && at + size_t(k) < bytes.size(); ++k) bytes[at + size_t(k)] = uint8_t(value >> (8 * k));
                    break;
                }
                default: {  // a stretch repeated
                    size_t length = std::min<size_t>(1 + Pick(200), bytes.size() - at);
                    std::vector<uint8_t> copy(bytes.begin() + long(at), bytes.begin() + long(at + length));
                    bytes.insert(bytes.begin() + long(Pick(unsigned(bytes.size()))), copy.begin(), copy.end());
                }
            }
        }
        return bytes;
    }
    unsigned Pick(unsigned count) { return count ? unsigned(random_() % count) : 0; }

private:
    std::mt19937 random_;
};

// What a view, a viewer and a copy do with a picture's bytes.
void UseAsTheModuleDoes(const char* path) {
    ImageLibrary* library = Library();
    Image* image = library->CreateImage();
    if (library->LoadFile(path, image) >= 1) {
        library->Rotate(image, -90, 1);
        if (HGLOBAL dib = library->CreateDib(image)) GlobalFree(dib);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        library->DrawScaled(dc, image, 0, 0, 64, 64, 0);
        RECT dest = {0, 0, 64, 64};
        library->Draw(dc, image, 0, 0, &dest, nullptr, SRCCOPY);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    library->DestroyImage(image);
}

TEST(PictureFuzz, MutatedPicturesThroughTheDriverAndTheCodec) {
    unsigned seed = EnvNumber("ORVEX_FUZZ_SEED", std::random_device{}());
    unsigned count = EnvNumber("ORVEX_PICTURE_FUZZ", 600);
    std::printf("picture fuzz: %u files, seed %u (ORVEX_FUZZ_SEED=%u replays it)\n", count, seed, seed);
    ASSERT_NE(Library(), nullptr);
    ExifFields exif;
    exif.orientation = 6;
    exif.dateTimeOriginal = "2024:07:01 10:00:00";
    exif.pixelWidth = 96;
    exif.pixelHeight = 64;
    exif.thumbnail = MakeJpeg(QuadrantBitmap(32, 24), {});
    ExifFields bigEndian = exif;
    bigEndian.bigEndian = true;
    const std::vector<std::vector<uint8_t>> bases = {
        MakeJpeg(QuadrantBitmap(96, 64), exif),
        MakeJpeg(QuadrantBitmap(96, 64), bigEndian, kProgressive),
        MakeJpeg(QuadrantBitmap(40, 30), {}, kGreyscale),
        MakePngWithAlpha(30, 20),
    };
    TestCard card;
    std::string folder = card.Folder();
    Mutator mutator(seed);
    unsigned loaded = 0;
    for (unsigned i = 0; i < count; ++i) {
        unsigned base = mutator.Pick(unsigned(bases.size()));
        std::string name = base == 3 ? "FUZZ.PNG" : "FUZZ.JPG";
        card.Write(folder + "\\" + name, mutator.Mutate(bases[base]));
        DWORD start = GetTickCount();
        CameraService* service = NewDiskService(card.Root());
        ASSERT_NE(service, nullptr);
        service->Refresh();
        CameraConnection* connection = service->OpenConnection("100TEST");
        ASSERT_NE(connection, nullptr);
        if (CameraImage* image = connection->OpenImage(name.c_str())) {
            ImageInfo info = {};
            image->GetInfo(&info);
            char path[MAX_PATH] = {};
            int deleteWhenDone = 0;
            if (image->ReadToFile(path, sizeof path, 0, &deleteWhenDone, nullptr, nullptr) == kReadOk) {
                UseAsTheModuleDoes(path);
                if (deleteWhenDone) DeleteFileA(path);
            }
            HGLOBAL data = nullptr;
            int freeWhenDone = 0;
            if (image->ReadData(&data, 0, &freeWhenDone, nullptr, nullptr) == kReadOk && data && freeWhenDone)
                GlobalFree(data);
            ImageLibrary* library = Library();
            Image* full = library->CreateImage();
            loaded += library->LoadFile((folder + "\\" + name).c_str(), full) >= 1;
            library->DestroyImage(full);
            UseAsTheModuleDoes((folder + "\\" + name).c_str());
        }
        connection->Destroy(1);
        service->Destroy(1);
        DeleteFileA((folder + "\\" + name).c_str());
        ASSERT_LT(GetTickCount() - start, 5000u) << "file " << i << " of seed " << seed;
    }
    std::printf("picture fuzz: %u files, %u still loaded, none crashed or hung\n", count, loaded);
}

}  // namespace
