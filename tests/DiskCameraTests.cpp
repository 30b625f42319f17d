// diskcam.dll against real files, through the driver table as the module calls it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "JpegCodec.h"
#include "camera/CameraService.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

CameraService* NewService(const std::string& argument) {
    static auto create = Export<CreateServiceFunction>("diskcam.dll", kCreateServiceExport);
    return create ? create(argument.c_str()) : nullptr;
}

std::vector<std::string> NamesOf(CameraConnection* connection) {
    std::vector<std::string> names;
    char name[260];
    for (int i = 0; i < connection->GetImageCount(); ++i)
        names.push_back((connection->GetImageName(name, sizeof name, i), name));
    return names;
}

class DiskCamera : public testing::Test {
protected:
    void SetUp() override {
        service_ = NewService(card_.Root());
        ASSERT_NE(service_, nullptr);
        ASSERT_TRUE(service_->Refresh());
        connection_ = service_->OpenConnection(card_.Folder().c_str());
        ASSERT_NE(connection_, nullptr);
    }
    void TearDown() override {
        if (connection_) connection_->Destroy(1);
        if (service_) service_->Destroy(1);
    }
    // The thumbnail of `name` decoded, as its width, height and the green of its pixel at 60, 80.
    std::vector<int> Thumbnail(const char* name) {
        HGLOBAL data = nullptr;
        int freeIt = 0, scale = 0;
        EXPECT_EQ(connection_->OpenImage(name)->ReadData(&data, 0, &freeIt, nullptr, nullptr), 0);
        EXPECT_EQ(freeIt, 1);
        pix::Bitmap out;
        pix::DecodeJpeg(static_cast<const uint8_t*>(GlobalLock(data)), GlobalSize(data), 10000, 10000, out, &scale);
        GlobalUnlock(data), GlobalFree(data);
        return {out.width, out.height, out.height > 80 && out.Row(80)[60 * 3 + 1] > 200};
    }

    TestCard card_;
    CameraService* service_ = nullptr;
    CameraConnection* connection_ = nullptr;
};

TEST_F(DiskCamera, TheCardsFoldersAndPicturesInNameOrder) {
    ASSERT_EQ(service_->GetFolderCount(), 2u);
    EXPECT_EQ(service_->OpenConnection("C:\\no\\such\\folder"), nullptr);
    EXPECT_EQ(NamesOf(connection_), (std::vector<std::string>{"img_0001.jpg", "IMG_0002.JPG", "IMG_0003.PNG"}));
    EXPECT_EQ(connection_->OpenImage("notes.txt"), nullptr);
    // Numbers by value; RAW pictures and videos beside the JPEGs, nothing a camera wrote left out.
    for (const char* name : {"IMG_10.JPG", "img_9.jpg", "IMG_0100.JPG", "IMG_010.JPG", "IMG_10.CR2", "MVI_0011.MP4"})
        TestCard::Write(card_.SecondFolder() + "\\" + name, {0xFF, 0xD8});
    CameraConnection* second = service_->OpenConnection(card_.SecondFolder().c_str());
    EXPECT_EQ(NamesOf(second), (std::vector<std::string>{"img_9.jpg", "IMG_10.CR2", "IMG_010.JPG", "IMG_10.JPG",
                                                         "IMG_0100.JPG", "MVI_0011.MP4"}));
    ImageInfo video;
    EXPECT_TRUE(second->OpenImage("MVI_0011.MP4")->GetInfo(&video) && (video.mask & kInfoDate));  // the file's time
    second->Destroy(1);
}

// Real files of every kind a camera writes (tests/data/camera-files): each listed with its size and read back whole.
TEST_F(DiskCamera, EveryKindACameraWritesIsListedAndReadWhole) {
    std::vector<std::string> kinds;
    for (const auto& entry : std::filesystem::directory_iterator(CameraFilesFolder()))
        if (entry.path().extension() != ".txt") {
            kinds.push_back(entry.path().filename().string());
            TestCard::Write(card_.SecondFolder() + "\\" + kinds.back(), ReadFileBytes(entry.path().string()));
        }
    CameraConnection* second = service_->OpenConnection(card_.SecondFolder().c_str());
    ASSERT_EQ(second->GetImageCount(), int(kinds.size()));
    for (const std::string& name : kinds) {  // as a copy reads them: a video too big for memory comes as its file
        ImageInfo info = {};
        char path[260] = {};
        int deleteIt = 0;
        CameraImage* image = second->OpenImage(name.c_str());
        ASSERT_TRUE(image && image->GetInfo(&info) && image->ReadToFile(path, sizeof path, 1, &deleteIt, nullptr, nullptr) == 0) << name;
        std::vector<uint8_t> bytes = ReadFileBytes(card_.SecondFolder() + "\\" + name);
        EXPECT_EQ(ReadFileBytes(path), bytes) << name;
        EXPECT_EQ(info.fileSize, bytes.size()) << name;
    }
    // A RAW file's date and size from its own directories, a movie's from its header or date chunk.
    struct Row { const char* name; const char* date; int width, height; };
    for (const Row& row : {Row{"CanonRaw.cr2", "2005:08:03 18:59:18", 3456, 2304}, Row{"Nikon.nef", "2004:06:09 16:02:35", 3040, 2014},
                           Row{"QuickTime.mov", "2005:08:11 14:03:54", 320, 240}, Row{"Pentax.avi", "2009:10:27 12:14:34", 1280, 720}}) {
        ImageInfo info = {};
        ASSERT_TRUE(second->OpenImage(row.name)->GetInfo(&info)) << row.name;
        EXPECT_STREQ(info.captureDate, row.date) << row.name;
        EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(row.width, row.height)) << row.name;
    }
    HGLOBAL thumbnail = nullptr;
    int freeIt = 0;
    EXPECT_EQ(second->OpenImage("FujiFilm.raf")->ReadData(&thumbnail, 0, &freeIt, nullptr, nullptr), 0);
    if (thumbnail) GlobalFree(thumbnail);
    second->Destroy(1);
}

TEST_F(DiskCamera, InfoComesFromTheHeaders) {
    ImageInfo info;
    ASSERT_TRUE(connection_->OpenImage("IMG_0002.JPG")->GetInfo(&info));
    EXPECT_STREQ(info.name, "IMG_0002.JPG");
    EXPECT_GT(info.fileSize, 1000u);
    EXPECT_STREQ(info.captureDate, "2024:06:01 09:30:00");
    EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(640, 480));  // upright; stored turned
    EXPECT_EQ(info.mask, kInfoName | kInfoSize | kInfoDate | kInfoDimensions);

    ASSERT_TRUE(connection_->OpenImage("IMG_0003.PNG")->GetInfo(&info));
    EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(30, 20));
    EXPECT_FALSE(info.mask & kInfoDate);
}

TEST_F(DiskCamera, ThumbnailsAreTheUprightExifThumbnailOrASmallPicture) {
    // The green 160 x 120 embedded thumbnail, turned upright.
    EXPECT_EQ(Thumbnail("IMG_0002.JPG"), (std::vector<int>{120, 160, true}));
    EXPECT_EQ(Thumbnail("img_0001.jpg"), (std::vector<int>{160, 120, false}));
}

// Full reads hand over the card's file; thumbnails read into memory make no
// file, thumbnail files are made once and go with the connection; a refused
// progress report ends a read.
TEST_F(DiskCamera, ReadsToFilesAndCancelledReads) {
    CameraImage* image = connection_->OpenImage("img_0001.jpg");
    char path[260] = {}, thumb[260] = {}, again[260] = {}, temp[MAX_PATH] = {};
    int deleteIt = 1, freeIt = 0;
    HGLOBAL data = nullptr;
    // Scratch files of this process id (a killed earlier process may have left some).
    std::string prefix = "diskcam-" + std::to_string(GetCurrentProcessId()) + "-";
    auto scratchFiles = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(temp, GetTempPathA(MAX_PATH, temp))))
            count += entry.path().filename().string().rfind(prefix, 0) == 0;
        return count;
    };
    int before = scratchFiles();
    ASSERT_EQ(image->ReadData(&data, 0, &freeIt, nullptr, nullptr), 0);
    GlobalFree(data);
    EXPECT_EQ(scratchFiles(), before);
    ASSERT_EQ(image->ReadToFile(path, sizeof path, 1, &deleteIt, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(path), card_.Folder() + "\\img_0001.jpg");
    EXPECT_EQ(deleteIt, 0);

    ASSERT_EQ(image->ReadToFile(thumb, sizeof thumb, 0, &deleteIt, nullptr, nullptr), 0);
    EXPECT_EQ(deleteIt, 0);  // callers may ignore the flag; the driver cleans up
    ASSERT_EQ(image->ReadToFile(again, sizeof again, 0, &deleteIt, nullptr, nullptr), 0);
    EXPECT_STREQ(thumb, again);
    char tooShort[8];
    EXPECT_NE(image->ReadToFile(tooShort, sizeof tooShort, 0, &deleteIt, nullptr, nullptr), 0);

    auto refuse = [](int, int, const char*, void*) -> BOOL { return FALSE; };
    EXPECT_EQ(image->ReadData(&data, 1, &freeIt, refuse, nullptr), -2);
    EXPECT_EQ(data, nullptr);
    connection_->Destroy(1);
    connection_ = nullptr;
    EXPECT_EQ(GetFileAttributesA(thumb), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DiskCamera, DeletingOneAndAll) {
    connection_->DeleteImage("IMG_0002.JPG");
    EXPECT_EQ(NamesOf(connection_), (std::vector<std::string>{"img_0001.jpg", "IMG_0003.PNG"}));
    EXPECT_EQ(GetFileAttributesA((card_.Folder() + "\\IMG_0002.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
    connection_->DeleteAllImages();
    EXPECT_EQ(connection_->GetImageCount(), 0);
    EXPECT_NE(GetFileAttributesA((card_.Folder() + "\\notes.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DiskCamera, LoaderThreadsCanReadAtOnce) {
    std::atomic<int> failures{0};
    std::vector<std::thread> loaders;
    for (int t = 0; t < 4; ++t)
        loaders.emplace_back([&] {
            for (int i = 0; i < 20; ++i)
                for (const char* name : {"img_0001.jpg", "IMG_0002.JPG", "IMG_0003.PNG"}) {
                    CameraImage* image = connection_->OpenImage(name);
                    ImageInfo info;
                    HGLOBAL data = nullptr;
                    int freeIt = 0;
                    if (!image || !image->GetInfo(&info) ||
                        image->ReadData(&data, 0, &freeIt, nullptr, nullptr) != 0)
                        ++failures;
                    if (data) GlobalFree(data);
                }
        });
    for (auto& loader : loaders) loader.join();
    EXPECT_EQ(failures, 0);
}

// A card named in many scripts, under a temporary folder whose path leaves the ANSI code page: every name comes
// through the table as UTF-8 and every picture reads whole. The last picture's path is too long for the callers'
// buffer: its file comes as a copy for the caller to delete.
TEST(DiskCameraNames, ACardNamedInManyScriptsIsListedAndReadWhole) {
    namespace fs = std::filesystem;
    const std::string folder = "Ärger Фото Ελλάδα 花 😀";
    std::vector<std::string> pictures = {"Ärger.jpg", "Фото_0001.JPG", "Ελλάδα.jpeg", "花.JPG", "😀 smile.png", ".jpg"};
    for (int i = 0; i < 83; ++i) pictures.back().insert(0, "花");  // 253 bytes: Linux takes no longer name
    const fs::path root = fs::temp_directory_path() / fs::u8path("Kärtchen Ωμέγα 卡 " + std::to_string(GetTickCount()));
    struct Removed { fs::path path; ~Removed() { std::error_code no; fs::remove_all(path, no); } } removed{root};
    const fs::path card = root / "DCIM" / fs::u8path(folder);
    fs::create_directories(card);
    std::vector<std::vector<uint8_t>> contents;
    for (const std::string& name : pictures) {
        pix::Bitmap distinct = QuadrantBitmap(200 + int(contents.size()), 150);
        contents.push_back(name.find(".png") != name.npos ? MakePngWithAlpha(30, 20) : MakeJpeg(distinct, {}));
        TestCard::Write((card / fs::u8path(name)).u8string(), contents.back());
    }

    CameraService* service = NewService(root.u8string());
    char text[260] = {};
    ASSERT_TRUE(service && service->Refresh());
    ASSERT_TRUE(service->GetFolderName(0, text, sizeof text));
    EXPECT_EQ(text, folder);
    CameraConnection* connection = service->OpenConnection(folder.c_str());
    ASSERT_NE(connection, nullptr);
    std::vector<std::string> listed = NamesOf(connection);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              std::set<std::string>(pictures.begin(), pictures.end()));

    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::string& name = pictures[i];
        CameraImage* image = connection->OpenImage(name.c_str());
        ASSERT_NE(image, nullptr) << name;
        ImageInfo info = {};
        EXPECT_TRUE(image->GetInfo(&info) && info.name == name) << name;
        for (int full : {1, 0}) {  // from memory and as a file, the same bytes; the whole picture the card's
            HGLOBAL data = nullptr;
            int freeIt = 0, deleteIt = 0;
            char path[260] = {};
            ASSERT_EQ(image->ReadData(&data, full, &freeIt, nullptr, nullptr), 0) << name;
            auto at = static_cast<const uint8_t*>(GlobalLock(data));
            std::vector<uint8_t> bytes(at, at + GlobalSize(data));
            GlobalUnlock(data), GlobalFree(data);
            EXPECT_TRUE(!full || bytes == contents[i]) << name;
            ASSERT_EQ(image->ReadToFile(path, sizeof path, full, &deleteIt, nullptr, nullptr), 0) << name;
            EXPECT_EQ(ReadFileBytes(path), bytes) << name << (full ? " whole" : " thumbnail");
            EXPECT_EQ(deleteIt, full && i + 1 == pictures.size()) << name;
            if (deleteIt) fs::remove(fs::u8path(path));
        }
    }
    connection->Destroy(1), service->Destroy(1);
}

}  // namespace
