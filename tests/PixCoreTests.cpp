// The portable picture core: EXIF, JPEG headers, RAW previews, resampling. Orientations are
// checked through the codec library (CodecTests).
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <cstring>
#include <tuple>

#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "core/MovieInfo.h"
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
    struct Case { std::vector<uint8_t> file; int largeWidth, smallWidth, orientation, sensorWidth; const char* date; bool raw; };
    for (const Case& c : std::vector<Case>{{MakeTiffRaw(thumb, big), 96, 16, 6, 6000, "", true},
                                          {MakeTiffRaw(thumb, big, 8), 96, 16, 6, 6000, "", true},  // IFDs link back to IFD0
                                          {raf, 40, 0, 3, 0, "2024:05:17 10:11:12", true},
                                          {MakeTiff({1, "", 0, 0, thumb}), 16, 16, 1, 0, "", false}}) {  // a TIFF picture
        pix::RawInfo info = pix::ParseRaw(c.file.data(), c.file.size(), c.file.size());
        EXPECT_TRUE(info.recognised);
        EXPECT_EQ(info.raw, c.raw);
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

// A movie's date and frame size from its header boxes, however far into the file they lie.
TEST(Movies, DateAndFrameSizeFromTheMovieHeaderOrTheAviDateChunk) {
    auto be = [](std::vector<uint8_t>& out, uint64_t v, int bytes) { while (bytes--) out.push_back(uint8_t(v >> 8 * bytes)); };
    auto box = [&be](const char* type, std::vector<uint8_t> payload) {
        std::vector<uint8_t> out;
        be(out, payload.size() + 8, 4), out.insert(out.end(), type, type + 4), out.insert(out.end(), payload.begin(), payload.end());
        return out;
    };
    // A phone's portrait clip: 64-bit times, a track turned a quarter (matrix 0 1 / -1 0).
    std::vector<uint8_t> mvhd = {1, 0, 0, 0}, tkhd = {0, 0, 0, 0};
    be(mvhd, 3792057255, 8), be(mvhd, 0, 8);
    tkhd.resize(40), be(tkhd, 0, 4), be(tkhd, 0x10000, 4), tkhd.resize(76), be(tkhd, 1920u << 16, 4), be(tkhd, 1080u << 16, 4);
    std::vector<uint8_t> trak = box("trak", box("tkhd", tkhd));
    mvhd = box("mvhd", mvhd), mvhd.insert(mvhd.end(), trak.begin(), trak.end());
    std::vector<uint8_t> start = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 0, 0}), moov = box("moov", mvhd);
    const uint64_t frames = 6ull << 30;  // a 64-bit "mdat" of 6 GB before the movie box
    be(start, 1, 4), start.insert(start.end(), {'m', 'd', 'a', 't'}), be(start, frames, 8);
    std::map<uint64_t, std::vector<uint8_t>> mp4 = {{0, start}, {start.size() - 16 + frames, moov}};

    using namespace std::string_literals;
    auto riff = [](std::string idit) {
        std::string hdrl = std::string("avih") + '\x38' + std::string(3, '\0') + std::string(32, '\0') + "\x80\x02\0\0\xe0\x01\0\0"s +
                           std::string(16, '\0') + "IDIT" + char(idit.size()) + std::string(3, '\0') + idit;
        std::string file = "RIFF\0\0\0\0AVI LIST"s + std::string(1, char(hdrl.size() + 4)) + std::string(3, '\0') + "hdrl" + hdrl;
        return std::map<uint64_t, std::vector<uint8_t>>{{0, std::vector<uint8_t>(file.begin(), file.end())}};
    };
    struct Row { std::map<uint64_t, std::vector<uint8_t>> file; uint64_t size; const char* date; int width, height; };
    for (const Row& row : {Row{mp4, start.size() - 16 + frames + moov.size(), "2024:02:29 13:14:15", 1080, 1920},
                           Row{riff("TUE OCT 27 12:14:34 2009\n"), 200, "2009:10:27 12:14:34", 640, 480},
                           Row{riff("2009/10/27 12:14:34"), 200, "2009:10:27 12:14:34", 640, 480},
                           Row{riff("yesterday"), 200, "", 640, 480}}) {
        auto read = [&row](uint64_t at, size_t count) {  // the file's parts; nothing elsewhere
            for (const auto& [offset, bytes] : row.file)
                if (at >= offset && at < offset + bytes.size())
                    return std::vector<uint8_t>(bytes.begin() + long(at - offset), bytes.begin() + long(std::min<uint64_t>(at - offset + count, bytes.size())));
            return std::vector<uint8_t>();
        };
        pix::MovieInfo info = pix::ParseMovie(read, row.size);
        EXPECT_TRUE(info.recognised);
        EXPECT_EQ(info.dateTimeOriginal, row.date);
        EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(row.width, row.height)) << row.date;
    }
}

}  // namespace
