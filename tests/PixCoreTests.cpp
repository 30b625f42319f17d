// The portable picture core: EXIF, JPEG headers, RAW previews, resampling. Orientations are
// checked through the codec library (CodecTests).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>

#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "core/Pixels.h"
#include "core/RawPreview.h"
#include "support/TestPictures.h"

namespace {

// Drawing a clipped part must give the same pixels as that part of the whole.
TEST(Resampling, PartsMatchTheWholeAtFractionalRatios) {
    pix::Bitmap picture = QuadrantBitmap(101, 77);
    pix::Bitmap whole = pix::Resample(picture, 33, 29, {0, 0, 33, 29});
    pix::Bitmap part = pix::Resample(picture, 33, 29, {10, 5, 30, 20});
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20 * 3; ++x) ASSERT_EQ(part.Row(y)[x], whole.Row(y + 5)[10 * 3 + x]);
}

TEST(ExifParsing, ReadsTheFieldsInBothByteOrders) {
    for (bool big : {false, true}) {
        std::vector<uint8_t> tiff = MakeTiff({6, "2024:05:17 10:11:12", 4000, 3000, {0xFF, 0xD8, 0xFF, 0xD9}, big});
        pix::ExifInfo info = pix::ParseTiff(tiff.data(), tiff.size());
        EXPECT_TRUE(info.present && info.orientation == 6);
        EXPECT_EQ(info.dateTimeOriginal, "2024:05:17 10:11:12");
        ASSERT_EQ(info.thumbnailLength, 4u);
        EXPECT_EQ(tiff[info.thumbnailOffset], 0xFF);

        ASSERT_TRUE(pix::SetOrientation(tiff.data(), tiff.size(), info, 1));
        EXPECT_EQ(pix::ParseTiff(tiff.data(), tiff.size()).orientation, 1);
    }
}

TEST(ExifParsing, DamagedBlocksGiveDefaultsWithoutReadingPastThem) {
    std::vector<uint8_t> tiff = MakeTiff({3, "", 0, 0, std::vector<uint8_t>(100, 0xAB), false});
    for (size_t cut = 0; cut < tiff.size(); ++cut) {
        std::vector<uint8_t> part(tiff.begin(), tiff.begin() + long(cut));
        pix::ExifInfo info = pix::ParseTiff(part.data(), part.size());
        EXPECT_TRUE(info.thumbnailLength == 0 || info.thumbnailOffset + info.thumbnailLength <= cut);
        EXPECT_TRUE(info.orientation >= 1 && info.orientation <= 8) << info.orientation;
    }
    std::vector<uint8_t> badOrientation = MakeTiff({9, "", 0, 0, {}, false});
    EXPECT_EQ(pix::ParseTiff(badOrientation.data(), badOrientation.size()).orientation, 1);
}

TEST(JpegHeaders, SizeAndExifWithoutDecoding) {
    std::vector<uint8_t> jpeg = MakeJpeg(QuadrantBitmap(67, 45), {8, "", 0, 0, {}, false});
    pix::JpegHeader header = pix::ParseJpegHeader(jpeg.data(), jpeg.size());
    ASSERT_TRUE(header.valid);
    EXPECT_EQ(std::make_pair(header.width, header.height), std::make_pair(45, 67)) << "stored turned, 67 wide upright";
    ASSERT_NE(header.exifOffset, 0u);
    EXPECT_EQ(pix::ParseTiff(jpeg.data() + header.exifOffset, header.exifLength).orientation, 8);
    for (size_t cut : {size_t(0), size_t(3), size_t(20)})  // before the frame header
        EXPECT_FALSE(pix::ParseJpegHeader(jpeg.data(), cut).valid) << cut;
}

TEST(RawPreviews, FoundInTiffRawsAndRafWithoutReadingPastTheBuffer) {
    std::vector<uint8_t> thumb = MakeJpeg(QuadrantBitmap(16, 8), {}), big = MakeJpeg(QuadrantBitmap(96, 64), {});
    std::vector<uint8_t> raf(100), rafJpeg = MakeJpeg(QuadrantBitmap(40, 30), {3, "2024:05:17 10:11:12", 0, 0, {0xFF, 0xD8, 0xFF, 0xD9}});
    std::memcpy(raf.data(), "FUJIFILMCCD-RAW ", 16);
    raf[86] = 0x01, raf[90] = uint8_t(rafJpeg.size() >> 8), raf[91] = uint8_t(rafJpeg.size());  // JPEG at 256
    raf.resize(256), raf.insert(raf.end(), rafJpeg.begin(), rafJpeg.end());
    struct Case { std::vector<uint8_t> file; int largeWidth, smallWidth, orientation, sensorWidth; const char* date; };
    for (const Case& c : std::vector<Case>{{MakeTiffRaw(thumb, big), 96, 16, 6, 6000, ""},
                                          {MakeTiffRaw(thumb, big, 8), 96, 16, 6, 6000, ""},  // IFDs link back to IFD0
                                          {raf, 40, 0, 3, 0, "2024:05:17 10:11:12"}}) {
        pix::RawInfo info = pix::ParseRaw(c.file.data(), c.file.size(), c.file.size());
        EXPECT_TRUE(info.recognised);
        EXPECT_EQ(std::make_tuple(info.largest.width, info.smallest.width, info.orientation, info.sensorWidth),
                  std::make_tuple(c.largeWidth, c.smallWidth, c.orientation, c.sensorWidth));
        EXPECT_EQ(info.dateTimeOriginal, c.date);
        EXPECT_EQ(c.file[info.largest.offset + info.largest.length - 1], 0xD9);
        for (size_t cut = 0; cut < c.file.size(); cut += 7) {  // the first bytes only, or a damaged file
            std::vector<uint8_t> part(c.file.begin(), c.file.begin() + long(cut));
            pix::RawInfo partial = pix::ParseRaw(part.data(), part.size(), c.file.size());
            EXPECT_LE(partial.largest.offset + partial.largest.length, c.file.size());
            EXPECT_TRUE(!partial.largest.length || partial.largest.offset >= cut || part[partial.largest.offset] == 0xFF);
        }
    }
}

}  // namespace
