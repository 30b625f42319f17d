// The serial camera driver against the camera simulator through Wine's COM5
// (tests/serial-camera.sh starts it and names the card it serves).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "camera/CameraService.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "support/TestPictures.h"
#include "support/TestPaths.h"

namespace {

class SerialCamera : public testing::Test {
protected:
    void SetUp() override {
        const char* card = getenv("ORVEX_SERIAL_CARD");
        if (!card) GTEST_SKIP() << "needs tests/serial-camera.sh";
        card_ = card;
        library_ = LoadLibraryA(BinPath("serialcam.dll").c_str());
        ASSERT_NE(library_, nullptr);
        auto create = reinterpret_cast<CreateServiceFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, kCreateServiceExport)));
        service_ = create("COM5,115200");
        ASSERT_TRUE(service_->Refresh());
    }
    void TearDown() override {
        if (connection_) connection_->Destroy(1);
        if (service_) service_->Destroy(1);
        if (library_) FreeLibrary(library_);
    }
    CameraConnection* Open(const char* folder = "100ORVEX") {
        connection_ = service_->OpenConnection(folder);
        return connection_;
    }
    std::string CardFile(const std::string& name) const { return card_ + "\\DCIM\\100ORVEX\\" + name; }

    std::string card_;
    HMODULE library_ = nullptr;
    CameraService* service_ = nullptr;
    CameraConnection* connection_ = nullptr;
};

std::vector<uint8_t> FromGlobal(HGLOBAL data) {
    auto* at = static_cast<const uint8_t*>(GlobalLock(data));
    std::vector<uint8_t> bytes(at, at + GlobalSize(data));
    GlobalUnlock(data);
    return bytes;
}

std::vector<uint8_t> EmbeddedThumbnail(const std::vector<uint8_t>& jpeg) {
    pix::JpegHeader header = pix::ParseJpegHeader(jpeg.data(), jpeg.size());
    pix::ExifInfo exif = pix::ParseTiff(jpeg.data() + header.exifOffset, header.exifLength);
    const uint8_t* at = jpeg.data() + header.exifOffset + exif.thumbnailOffset;
    return std::vector<uint8_t>(at, at + exif.thumbnailLength);
}

struct ProgressLog {
    std::vector<int> codes;
    int lastPercent = -1;
    int cancelAtPercent = 1000;
    static BOOL Callback(int code, int value, const char*, void* context) {
        auto* log = static_cast<ProgressLog*>(context);
        if (log->codes.empty() || log->codes.back() != code) log->codes.push_back(code);
        if (code == 1) log->lastPercent = value;
        return !(code == 1 && value >= log->cancelAtPercent);
    }
};

TEST_F(SerialCamera, ListsTheCardsFoldersAndPictures) {
    ASSERT_EQ(service_->GetFolderCount(), 2u);
    char name[256] = {};
    ASSERT_TRUE(service_->GetFolderName(1, name, sizeof name));
    EXPECT_STREQ(name, "101ORVEX");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(connection_->GetImageCount(), 4);
    char picture[260] = {};
    connection_->GetImageName(picture, sizeof picture, 3);
    EXPECT_STREQ(picture, "IMG_0004.JPG");
    ImageInfo info = {};
    ASSERT_TRUE(connection_->OpenImage(picture)->GetInfo(&info));
    EXPECT_STREQ(info.name, "IMG_0004.JPG");
    EXPECT_EQ(info.fileSize, ReadFileBytes(CardFile("IMG_0004.JPG")).size());
    EXPECT_EQ(connection_->OpenImage("NOSUCH.JPG"), nullptr);
    EXPECT_EQ(service_->OpenConnection("NOSUCH"), nullptr);
    EXPECT_EQ(connection_->CheckConnection(), 0);
}

TEST_F(SerialCamera, PicturesAndThumbnailsArriveByteForByteWithProgress) {
    ASSERT_NE(Open(), nullptr);
    CameraImage* image = connection_->OpenImage("IMG_0002.JPG");
    ASSERT_NE(image, nullptr);
    EXPECT_NE(image->NeedsProgress(), 0);
    ProgressLog log;
    char path[260] = {};
    int deleteIt = 0;
    ASSERT_EQ(image->ReadToFile(path, sizeof path, 1, &deleteIt, ProgressLog::Callback, &log), 0);
    EXPECT_EQ(deleteIt, 1);
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(CardFile("IMG_0002.JPG")));
    DeleteFileA(path);
    EXPECT_EQ(log.codes, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(log.lastPercent, 95);  // the bar moves with the bytes

    HGLOBAL thumb = nullptr;
    int freeIt = 0;
    ASSERT_EQ(image->ReadData(&thumb, 0, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(thumb), EmbeddedThumbnail(ReadFileBytes(CardFile("IMG_0002.JPG"))));
    GlobalFree(thumb);
}

TEST_F(SerialCamera, ACancelledDownloadEndsAndTheLineStaysUsable) {
    ASSERT_NE(Open(), nullptr);
    ProgressLog log;
    log.cancelAtPercent = 10;
    HGLOBAL data = nullptr;
    int freeIt = 0;
    CameraImage* image = connection_->OpenImage("IMG_0003.JPG");
    EXPECT_EQ(image->ReadData(&data, 1, &freeIt, ProgressLog::Callback, &log), -2);
    EXPECT_EQ(data, nullptr);
    ImageInfo info = {};
    EXPECT_TRUE(connection_->OpenImage("IMG_0001.JPG")->GetInfo(&info));
    ASSERT_EQ(image->ReadData(&data, 1, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(data), ReadFileBytes(CardFile("IMG_0003.JPG")));
    GlobalFree(data);
}

TEST_F(SerialCamera, TheSameCameraAnswersOnAParallelPort) {
    service_->Destroy(1);  // lets go of the line
    auto create = reinterpret_cast<CreateServiceFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, kCreateServiceExport)));
    service_ = create("LPT1");
    ASSERT_TRUE(service_->Refresh());
    ASSERT_NE(Open(), nullptr);
    HGLOBAL thumb = nullptr;
    int freeIt = 0;
    ASSERT_EQ(connection_->OpenImage("IMG_0001.JPG")->ReadData(&thumb, 0, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(thumb), EmbeddedThumbnail(ReadFileBytes(CardFile("IMG_0001.JPG"))));
    GlobalFree(thumb);
}

int CountInCameraLog(const char* text) {
    const char* log = getenv("ORVEX_SERIAL_LOG");
    std::ifstream in(log ? log : "");
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
    return count;
}

// Two folder objects of the browser may each make a service for one camera:
// the camera has one session, and the first to go must not end it for the other.
TEST_F(SerialCamera, TwoServicesOnOnePortShareTheCamerasSession) {
    if (!getenv("ORVEX_SERIAL_LOG")) GTEST_SKIP() << "needs the simulator's log";
    auto create = reinterpret_cast<CreateServiceFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, kCreateServiceExport)));
    int endsBefore = CountInCameraLog("<- action 4");
    int wakeUpsBefore = CountInCameraLog("<- wake-up");
    CameraService* second = create("COM5,115200");
    ASSERT_TRUE(second->Refresh());
    service_->Destroy(1);
    service_ = second;
    ASSERT_NE(Open(), nullptr);
    HGLOBAL thumb = nullptr;
    int freeIt = 0;
    ASSERT_EQ(connection_->OpenImage("IMG_0004.JPG")->ReadData(&thumb, 0, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(thumb), EmbeddedThumbnail(ReadFileBytes(CardFile("IMG_0004.JPG"))));
    GlobalFree(thumb);
    EXPECT_EQ(CountInCameraLog("<- action 4"), endsBefore);
    EXPECT_EQ(CountInCameraLog("<- wake-up"), wakeUpsBefore);
}

TEST_F(SerialCamera, DeletingOneAndAll) {
    ASSERT_NE(Open(), nullptr);
    connection_->DeleteImage("IMG_0002.JPG");
    ASSERT_EQ(connection_->GetImageCount(), 3);
    char name[260] = {};
    connection_->GetImageName(name, sizeof name, 1);
    EXPECT_STREQ(name, "IMG_0003.JPG");
    EXPECT_EQ(GetFileAttributesA(CardFile("IMG_0002.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
    connection_->DeleteAllImages();
    EXPECT_EQ(connection_->GetImageCount(), 0);
}

// Run with the simulator told to misbehave (see tests/CMakeLists.txt).
using SerialCameraFaults = SerialCamera;

TEST_F(SerialCameraFaults, ASpoiltPacketIsAskedForAgain) {  // --corrupt-packet 3
    ASSERT_NE(Open(), nullptr);
    HGLOBAL data = nullptr;
    int freeIt = 0;
    ASSERT_EQ(connection_->OpenImage("IMG_0001.JPG")->ReadData(&data, 1, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(data), ReadFileBytes(CardFile("IMG_0001.JPG")));
    GlobalFree(data);
}

TEST_F(SerialCameraFaults, ADroppedLineFailsCleanlyAndTheCameraComesBack) {  // --drop-after 20000 --off-seconds 3
    ASSERT_NE(Open(), nullptr);
    CameraImage* image = connection_->OpenImage("IMG_0001.JPG");
    HGLOBAL data = nullptr;
    int freeIt = 0;
    DWORD start = GetTickCount();
    EXPECT_EQ(image->ReadData(&data, 1, &freeIt, nullptr, nullptr), -1);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a failure, not a hang
    EXPECT_EQ(data, nullptr);
    Sleep(3000);  // switched on again
    EXPECT_EQ(connection_->CheckConnection(), 0);
    ASSERT_EQ(image->ReadData(&data, 1, &freeIt, nullptr, nullptr), 0);
    EXPECT_EQ(FromGlobal(data), ReadFileBytes(CardFile("IMG_0001.JPG")));
    GlobalFree(data);
}

}  // namespace
