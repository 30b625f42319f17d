// pixcodec.dll through its table, as the module calls it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "core/MovieInfo.h"
#include "core/RawPreview.h"
#include "imaging/ImageLibrary.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

ImageLibrary* Library() {
    static auto get = Export<GetImageLibraryFunction>("pixcodec.dll", kImageLibraryExport);
    return get ? get() : nullptr;
}

struct Picture {
    Image* image = Library()->CreateImage();
    ~Picture() { Library()->DestroyImage(image); }
    int LoadBytes(const std::vector<uint8_t>& bytes) {
        HGLOBAL memory = ToGlobal(bytes);
        int result = Library()->LoadMemory(image, memory);
        GlobalFree(memory);
        return result;
    }
    int LoadPath(const std::string& path) { return Library()->LoadFile(path.c_str(), image); }
    // Draws into a canvas of the picture's own size (or `width` x `height`).
    std::unique_ptr<Canvas> Drawn(int width = 0, int height = 0) {
        width = width ? width : image->Width();
        height = height ? height : image->Height();
        auto canvas = std::make_unique<Canvas>(width, height);
        RECT dest = {0, 0, width, height};
        Library()->Draw(canvas->Dc(), image, 0, 0, &dest, nullptr, SRCCOPY);
        return canvas;
    }
};

using Dims = std::pair<int, int>;
Dims DimsOf(const Picture& picture) { return {picture.image->Width(), picture.image->Height()}; }

// The four quadrant colours sit where an upright picture has them.
void ExpectUpright(const Canvas& canvas, const char* what) {
    int w = canvas.Width(), h = canvas.Height();
    const int xs[2] = {w / 4, 3 * w / 4}, ys[2] = {h / 4, 3 * h / 4};
    for (int q = 0; q < 4; ++q) {
        Color seen = canvas.At(xs[q % 2], ys[q / 2]);
        EXPECT_TRUE(Near(seen, kQuadrants[q]))
            << what << ": quadrant " << q << " is " << int(seen.r) << "," << int(seen.g) << "," << int(seen.b);
    }
}

class ExifOrientations : public testing::TestWithParam<int> {};

TEST_P(ExifOrientations, LoadGivesTheUprightPicture) {
    Picture picture;
    ExifFields exif{GetParam(), "", 0, 0, {}, false};
    ASSERT_GE(picture.LoadPath(WriteTempFile("o.jpg", MakeJpeg(QuadrantBitmap(96, 64), exif))), 1);
    EXPECT_EQ(DimsOf(picture), Dims(96, 64));
    ExpectUpright(*picture.Drawn(), "drawn");
}

INSTANTIATE_TEST_SUITE_P(AllCodes, ExifOrientations, testing::Range(1, 9));

TEST(CodecLoading, OddSizesGreyscaleProgressiveAndPng) {
    for (JpegKind kind : {kBaseline, kProgressive}) {
        Picture odd;
        ASSERT_GE(odd.LoadBytes(MakeJpeg(QuadrantBitmap(67, 45), {}, kind)), 1);
        EXPECT_EQ(DimsOf(odd), Dims(67, 45));
        ExpectUpright(*odd.Drawn(), kind == kBaseline ? "odd size" : "progressive");
    }

    Picture grey;
    ASSERT_GE(grey.LoadBytes(MakeJpeg(QuadrantBitmap(32, 32), {}, kGreyscale)), 1);
    EXPECT_TRUE(Near(grey.Drawn()->At(24, 24), {255, 255, 255}));  // white stays white in grey

    Picture png;
    ASSERT_GE(png.LoadBytes(MakePngWithAlpha(20, 10)), 1);
    auto canvas = png.Drawn();
    EXPECT_TRUE(Near(canvas->At(2, 5), {255, 0, 0}));
    EXPECT_TRUE(Near(canvas->At(17, 5), {255, 255, 255}));  // transparent shows white
}

// The viewer and a printed page show a RAW through its largest preview, upright by the RAW's
// own orientation when the preview carries none.
TEST(CodecLoading, ARawShowsItsLargestPreviewUpright) {
    std::vector<uint8_t> preview = MakeJpeg(QuadrantBitmap(96, 64), {6, "", 0, 0, {}, false});
    ASSERT_TRUE(preview[2] == 0xFF && preview[3] == 0xE1);
    preview.erase(preview.begin() + 2, preview.begin() + 4 + (preview[4] << 8 | preview[5]));
    Picture raw;
    ASSERT_GE(raw.LoadBytes(MakeTiffRaw(MakeJpeg(QuadrantBitmap(16, 8), {}), preview)), 1);
    EXPECT_EQ(DimsOf(raw), Dims(96, 64));
    ExpectUpright(*raw.Drawn(), "RAW preview");

    Picture fuji;  // a real camera's file, its sensor data removed but its preview kept
    ASSERT_GE(fuji.LoadPath(CameraFilesFolder() + "/FujiFilm.raf"), 1);
    EXPECT_GT(fuji.image->Width(), 0);
    Picture bare;
    EXPECT_LT(bare.LoadBytes(MakeTiffRaw({}, {})), 1);
}

TEST(CodecRotation, QuarterTurnsExchangeWidthAndHeight) {
    Picture picture;
    ASSERT_GE(picture.LoadBytes(MakeJpeg(QuadrantBitmap(80, 40), {})), 1);
    EXPECT_EQ(Library()->Rotate(picture.image, -90, 1), 1);
    EXPECT_EQ(DimsOf(picture), Dims(40, 80));
    // Clockwise: the bottom-left (blue) quadrant comes to the top left.
    auto turned = picture.Drawn();
    EXPECT_TRUE(Near(turned->At(10, 20), kQuadrants[2]));
    EXPECT_EQ(Library()->Rotate(picture.image, 90, 1), 1);
    ExpectUpright(*picture.Drawn(), "turned back");
    EXPECT_EQ(Library()->Rotate(picture.image, 45, 1), 0);
    EXPECT_EQ(Library()->Rotate(picture.image, -360, 1), 1);
    EXPECT_EQ(picture.image->Width(), 80);
}

TEST(CodecDrawing, SmoothShrinkingClipsEnlargingAndPages) {
    Picture board;
    ASSERT_GE(board.LoadBytes(MakeJpeg(Checkerboard(256, 256), {}, kBaseline, 100)), 1);
    auto small = board.Drawn(32, 32);
    for (int y = 4; y < 28; y += 5)
        for (int x = 4; x < 28; x += 5) EXPECT_NEAR(small->At(x, y).g, 128, 20);

    Picture picture;
    ASSERT_GE(picture.LoadBytes(MakeJpeg(QuadrantBitmap(64, 64), {}, kBaseline, 100)), 1);
    Canvas canvas(64, 64);
    RECT dest = {0, 0, 64, 64}, clip = {0, 0, 32, 64};
    Library()->Draw(canvas.Dc(), picture.image, 0, 0, &dest, &clip, SRCCOPY);
    EXPECT_TRUE(Near(canvas.At(10, 10), kQuadrants[0]));
    EXPECT_TRUE(Near(canvas.At(50, 10), {255, 0, 255}, 0));  // untouched outside the clip
    ExpectUpright(*picture.Drawn(160, 120), "enlarged");
    Canvas page(200, 200);
    Library()->DrawScaled(page.Dc(), picture.image, 50, 50, 100, 100, 0);
    EXPECT_TRUE(Near(page.At(60, 60), kQuadrants[0]));
    EXPECT_TRUE(Near(page.At(140, 140), kQuadrants[3]));
    EXPECT_TRUE(Near(page.At(20, 20), {255, 0, 255}, 0));
}

// What the clipboard's CF_DIB carries: packed, bottom-up, 24 bits, rows padded.
TEST(CodecDib, PackedBottomUp24Bit) {
    Picture picture;
    ASSERT_GE(picture.LoadBytes(MakeJpeg(QuadrantBitmap(30, 20), {})), 1);
    HGLOBAL dib = Library()->CreateDib(picture.image);
    ASSERT_NE(dib, nullptr);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    EXPECT_EQ((std::vector<LONG>{LONG(header->biSize), header->biWidth, header->biHeight, header->biBitCount}),
              (std::vector<LONG>{sizeof(BITMAPINFOHEADER), 30, 20, 24}));
    EXPECT_GE(GlobalSize(dib), sizeof(BITMAPINFOHEADER) + 92u * 20);
    const uint8_t* bottomRow = reinterpret_cast<const uint8_t*>(header + 1);
    EXPECT_GT(bottomRow[0], 200);  // the picture's bottom row starts blue
    EXPECT_LT(bottomRow[2], 60);
    GlobalUnlock(dib);
    GlobalFree(dib);
}

// Saving writes the picture as shown, upright with orientation 1 and the capture date kept: losslessly turned where the
// size allows, else re-encoded. The table's paths are UTF-8, and this one leaves the ANSI code page.
TEST(CodecSaving, TurnedPicturesAreSavedUprightWithTheirExif) {
    const auto file = std::filesystem::temp_directory_path() / std::filesystem::u8path("gespeichert Фото 花.jpg");
    const std::string path = file.u8string();
    struct Row { int width, height, orientation, turn, savedWidth, savedHeight; };
    for (const Row& row : {Row{64, 48, 6, -90, 48, 64}, Row{67, 45, 8, 0, 67, 45}}) {
        Picture picture;
        ExifFields exif{row.orientation, "2023:01:02 03:04:05", 0, 0, {}, false};
        ASSERT_GE(picture.LoadBytes(MakeJpeg(QuadrantBitmap(row.width, row.height), exif)), 1);
        if (row.turn) Library()->Rotate(picture.image, row.turn, 1);
        ASSERT_GE(Library()->SaveFile(path.c_str(), picture.image, 10), 1);
        EXPECT_EQ(Library()->SaveFile(path.c_str(), picture.image, 7), 0);  // only JPEG is written

        std::vector<uint8_t> saved = ReadFileBytes(path);
        pix::JpegHeader header = pix::ParseJpegHeader(saved.data(), saved.size());
        ASSERT_TRUE(header.valid);
        EXPECT_EQ(Dims(header.width, header.height), Dims(row.savedWidth, row.savedHeight));
        pix::ExifInfo info = pix::ParseTiff(saved.data() + header.exifOffset, header.exifLength);
        EXPECT_EQ(info.orientation, 1);
        EXPECT_EQ(info.dateTimeOriginal, "2023:01:02 03:04:05");
        Picture reloaded;
        ASSERT_GE(reloaded.LoadPath(path), 1);
        if (row.turn) Library()->Rotate(reloaded.image, -row.turn, 1);
        ExpectUpright(*reloaded.Drawn(), "saved");
    }
    std::filesystem::remove(file);
}

TEST(CodecBadInput, DamagedAndHugeFilesFailToLoadAndNothingElse) {
    std::vector<uint8_t> good = MakeJpeg(QuadrantBitmap(64, 64), {});
    std::vector<uint8_t> png = MakePngWithAlpha(8, 8);
    std::vector<uint8_t> huge = MakeJpeg(QuadrantBitmap(16, 16), {});
    for (size_t at = 2; at + 9 < huge.size(); ++at)  // the frame header claims 30000 x 30000
        if (huge[at] == 0xFF && huge[at + 1] == 0xC0) {
            huge[at + 5] = huge[at + 7] = 30000 >> 8;
            huge[at + 6] = huge[at + 8] = 30000 & 0xFF;
            break;
        }
    const std::vector<std::vector<uint8_t>> bad = {
        {}, {0xFF, 0xD8}, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)),
        std::vector<uint8_t>(1000, 0x5A), std::vector<uint8_t>(png.begin(), png.begin() + long(png.size() / 2)), huge};
    for (size_t i = 0; i < bad.size(); ++i) {
        Picture picture;
        EXPECT_LT(picture.LoadBytes(bad[i]), 1) << i;
        EXPECT_EQ(picture.image->Width(), 0) << i;
        EXPECT_EQ(Library()->CreateDib(picture.image), nullptr);
    }
    Picture missing;
    EXPECT_LT(missing.LoadPath("C:\\no\\such\\file.jpg"), 1);
    EXPECT_LT(Library()->LoadFile(nullptr, missing.image), 1);
    EXPECT_EQ(Library()->SaveFile(WriteTempFile("none.jpg", {}).c_str(), missing.image, 10), 0);
}

// Every input the fuzzers ever crashed on, and their seeds, go through the parsers and the library again.
TEST(CodecBadInput, FuzzCorpusReplays) {
    std::vector<std::string> files;
    for (const char* folder : {"/tests/fuzz/seeds", "/tests/fuzz/crashers", "/tests/data/camera-files"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string("Z:") + ORVEX_SOURCE_DIR + folder))
            files.push_back(entry.path().string());
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        std::vector<uint8_t> bytes = ReadFileBytes(file);
        pix::ExifInfo info = pix::ParseTiff(bytes.data(), bytes.size());
        EXPECT_LE(info.thumbnailOffset + info.thumbnailLength, bytes.size()) << file;
        pix::ParseJpegHeader(bytes.data(), bytes.size());
        pix::RawInfo raw = pix::ParseRaw(bytes.data(), bytes.size(), bytes.size());
        EXPECT_LE(raw.largest.offset + raw.largest.length, bytes.size()) << file;
        pix::MovieInfo movie = pix::ParseMovie(
            [&bytes](uint64_t at, size_t count) {
                return at < bytes.size() ? std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + std::min(count, bytes.size() - at)))
                                         : std::vector<uint8_t>();
            },
            bytes.size());
        EXPECT_TRUE(movie.width >= 0 && movie.height >= 0) << file;
        Picture picture;
        picture.LoadBytes(bytes);
    }
}

}  // namespace
