// Mutated JPEG, PNG and EXIF files on a card, read the way the module reads them: the disk driver's details and
// thumbnail, then the codec library loading, turning, converting and drawing the thumbnail and the picture. Nothing may
// crash or hang. ORVEX_PICTURE_FUZZ sets how many (make soak runs 10,000); ORVEX_FUZZ_SEED replays a run.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdio>
#include <random>

#include "camera/CameraService.h"
#include "imaging/ImageLibrary.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

// What a view, a viewer and a copy do with a picture's bytes.
void UseAsTheModuleDoes(ImageLibrary* library, const std::string& path) {
    Image* image = library->CreateImage();
    if (library->LoadFile(path.c_str(), image) >= 1) {
        library->Rotate(image, -90, 1);
        if (HGLOBAL dib = library->CreateDib(image)) GlobalFree(dib);
        Canvas canvas(64, 64);
        RECT dest = {0, 0, 64, 64};
        library->DrawScaled(canvas.Dc(), image, 0, 0, 64, 64, 0);
        library->Draw(canvas.Dc(), image, 0, 0, &dest, nullptr, SRCCOPY);
    }
    library->DestroyImage(image);
}

TEST(PictureFuzz, MutatedPicturesThroughTheDriverAndTheCodec) {
    unsigned seed = EnvNumber("ORVEX_FUZZ_SEED", std::random_device{}()), count = EnvNumber("ORVEX_PICTURE_FUZZ", 600);
    std::printf("picture fuzz: %u files, seed %u (ORVEX_FUZZ_SEED=%u replays it)\n", count, seed, seed);
    ImageLibrary* library = Export<GetImageLibraryFunction>("pixcodec.dll", kImageLibraryExport)();
    auto createService = Export<CreateServiceFunction>("diskcam.dll", kCreateServiceExport);
    ExifFields exif{6, "2024:07:01 10:00:00", 96, 64, MakeJpeg(QuadrantBitmap(32, 24), {})}, bigEndian = exif;
    bigEndian.bigEndian = true;
    const std::vector<std::vector<uint8_t>> bases = {
        MakeJpeg(QuadrantBitmap(96, 64), exif), MakeJpeg(QuadrantBitmap(96, 64), bigEndian, kProgressive),
        MakeJpeg(QuadrantBitmap(40, 30), {}, kGreyscale), MakePngWithAlpha(30, 20)};
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return n ? size_t(random() % n) : 0; };
    TestCard card;
    for (unsigned i = 0; i < count; ++i) {
        size_t base = pick(bases.size());
        std::vector<uint8_t> bytes = bases[base];
        for (size_t n = 1 + pick(6); n > 0 && !bytes.empty(); --n) {
            // Most damage where the headers and EXIF live.
            size_t at = pick(2) ? pick(std::min<size_t>(bytes.size(), 600)) : pick(bytes.size());
            uint32_t value = uint32_t(random());
            switch (pick(6)) {
                case 0: bytes[at] ^= uint8_t(1 << pick(8)); break;
                case 1: bytes[at] = uint8_t(value); break;
                case 2: bytes.resize(at); break;
                case 3: bytes.insert(bytes.begin() + long(at), 1 + pick(64), uint8_t(value)); break;
                case 4: {  // a 16-bit length or count made extreme, or a 32-bit offset, in either byte order
                    size_t wide = pick(2) ? 4 : 2, big = pick(2);
                    if (wide == 2) value = std::array{0u, 1u, 2u, 0x7FFFu, 0xFFFFu, 0x8000u}[pick(6)];
                    else if (pick(2)) value = uint32_t(pick(bytes.size() + 16));  // pointing anywhere in the file
                    for (size_t k = 0; k < wide && at + k < bytes.size(); ++k) bytes[at + k] = uint8_t(value >> 8 * (big ? wide - 1 - k : k));
                    break;
                }
                default:  // a stretch repeated
                    std::vector<uint8_t> copy(bytes.begin() + long(at), bytes.begin() + long(at + std::min<size_t>(1 + pick(200), bytes.size() - at)));
                    bytes.insert(bytes.begin() + long(pick(bytes.size())), copy.begin(), copy.end());
            }
        }
        std::string name = base == 3 ? "FUZZ.PNG" : "FUZZ.JPG", path = card.Folder() + "\\" + name;
        card.Write(path, bytes);
        DWORD start = GetTickCount();
        CameraService* service = createService(card.Root().c_str());
        service->Refresh();
        CameraConnection* connection = service->OpenConnection("100TEST");
        ASSERT_NE(connection, nullptr);
        ImageInfo info = {};
        char thumbnail[MAX_PATH] = {};
        int deleteWhenDone = 0;
        CameraImage* image = connection->OpenImage(name.c_str());
        if (image) image->GetInfo(&info);
        if (image && image->ReadToFile(thumbnail, sizeof thumbnail, 0, &deleteWhenDone, nullptr, nullptr) == kReadOk)
            UseAsTheModuleDoes(library, thumbnail);  // the driver's own file: it goes with the connection
        UseAsTheModuleDoes(library, path);
        connection->Destroy(1), service->Destroy(1);
        DeleteFileA(path.c_str());
        ASSERT_LT(GetTickCount() - start, 5000u) << "file " << i << " of seed " << seed;
    }
}

}  // namespace
