// The portable picture core: EXIF, JPEG headers, resampling. Orientations are
// checked through the codec library (CodecTests).
#include <gtest/gtest.h>

#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "core/Pixels.h"
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
        ExifFields fields;
        fields.orientation = 6;
        fields.dateTimeOriginal = "2024:05:17 10:11:12";
        fields.pixelWidth = 4000;
        fields.pixelHeight = 3000;
        fields.thumbnail = {0xFF, 0xD8, 0xFF, 0xD9};
        fields.bigEndian = big;
        std::vector<uint8_t> tiff = MakeTiff(fields);
        pix::ExifInfo info = pix::ParseTiff(tiff.data(), tiff.size());
        EXPECT_TRUE(info.present);
        EXPECT_EQ(info.orientation, 6);
        EXPECT_EQ(info.dateTimeOriginal, "2024:05:17 10:11:12");
        EXPECT_EQ(info.pixelWidth, 4000u);
        EXPECT_EQ(info.pixelHeight, 3000u);
        ASSERT_EQ(info.thumbnailLength, 4u);
        EXPECT_EQ(tiff[info.thumbnailOffset], 0xFF);

        ASSERT_TRUE(pix::SetOrientation(tiff.data(), tiff.size(), info, 1));
        EXPECT_EQ(pix::ParseTiff(tiff.data(), tiff.size()).orientation, 1);
    }
}

TEST(ExifParsing, DamagedBlocksGiveDefaultsWithoutReadingPastThem) {
    ExifFields fields;
    fields.orientation = 3;
    fields.thumbnail.assign(100, 0xAB);
    std::vector<uint8_t> tiff = MakeTiff(fields);
    for (size_t cut = 0; cut < tiff.size(); ++cut) {
        std::vector<uint8_t> part(tiff.begin(), tiff.begin() + long(cut));
        pix::ExifInfo info = pix::ParseTiff(part.data(), part.size());
        EXPECT_TRUE(info.thumbnailLength == 0 || info.thumbnailOffset + info.thumbnailLength <= cut);
        EXPECT_GE(info.orientation, 1);
        EXPECT_LE(info.orientation, 8);
    }
    std::vector<uint8_t> badOrientation = MakeTiff({9, "", 0, 0, {}, false});
    EXPECT_EQ(pix::ParseTiff(badOrientation.data(), badOrientation.size()).orientation, 1);
}

TEST(JpegHeaders, SizeAndExifWithoutDecoding) {
    ExifFields fields;
    fields.orientation = 8;
    std::vector<uint8_t> jpeg = MakeJpeg(QuadrantBitmap(67, 45), fields);
    pix::JpegHeader header = pix::ParseJpegHeader(jpeg.data(), jpeg.size());
    ASSERT_TRUE(header.valid);
    EXPECT_EQ(header.width, 45);  // stored turned: the upright picture is 67 wide
    EXPECT_EQ(header.height, 67);
    EXPECT_EQ(header.components, 3);
    EXPECT_FALSE(header.progressive);
    ASSERT_NE(header.exifOffset, 0u);
    EXPECT_EQ(pix::ParseTiff(jpeg.data() + header.exifOffset, header.exifLength).orientation, 8);

    std::vector<uint8_t> progressive = MakeJpeg(QuadrantBitmap(16, 16), {}, kProgressive);
    EXPECT_TRUE(pix::ParseJpegHeader(progressive.data(), progressive.size()).progressive);
    for (size_t cut : {size_t(0), size_t(3), size_t(20)})  // before the frame header
        EXPECT_FALSE(pix::ParseJpegHeader(jpeg.data(), cut).valid) << cut;
}

}  // namespace
