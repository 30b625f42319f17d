// The serial camera driver against the camera simulator through Wine's COM5
// (tests/serial-camera.sh starts it and names the card it serves).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "camera/CameraService.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

struct ProgressLog {
    std::vector<int> codes;
    int lastPercent = -1, cancelAtPercent = 1000;
    static BOOL Callback(int code, int value, const char*, void* context) {
        auto* log = static_cast<ProgressLog*>(context);
        if (log->codes.empty() || log->codes.back() != code) log->codes.push_back(code);
        if (code == 1) log->lastPercent = value;
        return !(code == 1 && value >= log->cancelAtPercent);
    }
};

int CountInCameraLog(const char* text) {
    std::vector<uint8_t> log = ReadFileBytes(getenv("ORVEX_SERIAL_LOG"));
    std::string all(log.begin(), log.end());
    int count = 0;
    for (size_t at = 0; (at = all.find(text, at)) != std::string::npos; ++at) ++count;
    return count;
}

class SerialCamera : public testing::Test {
protected:
    void SetUp() override {
        if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
        library_ = LoadLibraryA(BinPath("serialcam.dll").c_str());
        ASSERT_NE(library_, nullptr);
        service_ = NewService("COM5,115200");
        ASSERT_NE(connection_ = service_->OpenConnection("100ORVEX"), nullptr);
    }
    void TearDown() override {
        if (connection_) connection_->Destroy(1);
        if (service_) service_->Destroy(1);
        if (library_) FreeLibrary(library_);
    }
    CameraService* NewService(const char* line) {
        CameraService* service = reinterpret_cast<CreateServiceFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, kCreateServiceExport)))(line);
        EXPECT_TRUE(service->Refresh());
        return service;
    }
    // Reaches the camera again through a new service on `line`, made before
    // the old one goes when `overlapping`.
    void Reconnect(const char* line, bool overlapping) {
        connection_->Destroy(1);
        CameraService* next = overlapping ? NewService(line) : nullptr;
        service_->Destroy(1);
        service_ = next ? next : NewService(line);
        connection_ = service_->OpenConnection("100ORVEX");
    }
    // A picture (`full`) or its thumbnail as read into memory; empty when the read fails.
    std::vector<uint8_t> Fetch(const char* name, int full, int* result = nullptr, ProgressLog* log = nullptr) {
        HGLOBAL data = nullptr;
        int freeIt = 0;
        int read = connection_->OpenImage(name)->ReadData(&data, full, &freeIt, log ? ProgressLog::Callback : nullptr, log);
        if (result) *result = read;
        if (!data) return {};
        auto* at = static_cast<const uint8_t*>(GlobalLock(data));
        std::vector<uint8_t> bytes(at, at + GlobalSize(data));
        GlobalUnlock(data);
        GlobalFree(data);
        return bytes;
    }
    static std::vector<uint8_t> CardFile(const std::string& name) {
        return ReadFileBytes(std::string(getenv("ORVEX_SERIAL_CARD")) + "\\DCIM\\100ORVEX\\" + name);
    }
    static std::vector<uint8_t> EmbeddedThumbnail(const std::string& name) {
        std::vector<uint8_t> jpeg = CardFile(name);
        pix::JpegHeader header = pix::ParseJpegHeader(jpeg.data(), jpeg.size());
        pix::ExifInfo exif = pix::ParseTiff(jpeg.data() + header.exifOffset, header.exifLength);
        const uint8_t* at = jpeg.data() + header.exifOffset + exif.thumbnailOffset;
        return std::vector<uint8_t>(at, at + exif.thumbnailLength);
    }

    HMODULE library_ = nullptr;
    CameraService* service_ = nullptr;
    CameraConnection* connection_ = nullptr;
};

TEST_F(SerialCamera, ListsFetchesWithProgressAndCancelsADownload) {
    ASSERT_EQ(service_->GetFolderCount(), 2u);
    char name[260] = {};
    ASSERT_TRUE(service_->GetFolderName(1, name, sizeof name));
    EXPECT_STREQ(name, "101ORVEX");
    ASSERT_EQ(connection_->GetImageCount(), 4);
    connection_->GetImageName(name, sizeof name, 3);
    EXPECT_STREQ(name, "IMG_0004.JPG");
    ImageInfo info = {};
    ASSERT_TRUE(connection_->OpenImage(name)->GetInfo(&info));
    EXPECT_STREQ(info.name, "IMG_0004.JPG");
    EXPECT_EQ(info.fileSize, CardFile("IMG_0004.JPG").size());
    EXPECT_EQ(connection_->OpenImage("NOSUCH.JPG"), nullptr);
    EXPECT_EQ(service_->OpenConnection("NOSUCH"), nullptr);
    EXPECT_EQ(connection_->CheckConnection(), 0);

    CameraImage* image = connection_->OpenImage("IMG_0002.JPG");
    EXPECT_NE(image->NeedsProgress(), 0);
    ProgressLog log;
    char path[260] = {};
    int deleteIt = 0;
    ASSERT_EQ(image->ReadToFile(path, sizeof path, 1, &deleteIt, ProgressLog::Callback, &log), 0);
    EXPECT_EQ(deleteIt, 1);
    EXPECT_EQ(ReadFileBytes(path), CardFile("IMG_0002.JPG"));
    DeleteFileA(path);
    EXPECT_EQ(log.codes, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(log.lastPercent, 95);  // the bar moves with the bytes
    EXPECT_EQ(Fetch("IMG_0002.JPG", 0), EmbeddedThumbnail("IMG_0002.JPG"));

    ProgressLog cancelling;
    cancelling.cancelAtPercent = 10;
    int result = 0;
    EXPECT_TRUE(Fetch("IMG_0003.JPG", 1, &result, &cancelling).empty());
    EXPECT_EQ(result, -2);
    EXPECT_TRUE(connection_->OpenImage("IMG_0001.JPG")->GetInfo(&info));  // the line is usable again
    EXPECT_EQ(Fetch("IMG_0003.JPG", 1), CardFile("IMG_0003.JPG"));
}

// Two folder objects of the browser may each make a service for one camera:
// the camera has one session, and the first to go must not end it for the
// other. The same camera also answers on a parallel port.
TEST_F(SerialCamera, SecondServicesAndAParallelPortReachTheSameCamera) {
    int endsBefore = CountInCameraLog("<- action 4"), wakeUpsBefore = CountInCameraLog("<- wake-up");
    Reconnect("COM5,115200", true);
    EXPECT_EQ(Fetch("IMG_0004.JPG", 0), EmbeddedThumbnail("IMG_0004.JPG"));
    EXPECT_EQ(CountInCameraLog("<- action 4"), endsBefore);
    EXPECT_EQ(CountInCameraLog("<- wake-up"), wakeUpsBefore);
    Reconnect("LPT1", false);
    EXPECT_EQ(Fetch("IMG_0001.JPG", 0), EmbeddedThumbnail("IMG_0001.JPG"));
}

TEST_F(SerialCamera, DeletingOneAndAll) {
    connection_->DeleteImage("IMG_0002.JPG");
    ASSERT_EQ(connection_->GetImageCount(), 3);
    char name[260] = {};
    connection_->GetImageName(name, sizeof name, 1);
    EXPECT_STREQ(name, "IMG_0003.JPG");
    EXPECT_TRUE(CardFile("IMG_0002.JPG").empty());
    connection_->DeleteAllImages();
    EXPECT_EQ(connection_->GetImageCount(), 0);
}

// Run with the simulator told to misbehave (see tests/CMakeLists.txt).
using SerialCameraFaults = SerialCamera;

TEST_F(SerialCameraFaults, ASpoiltPacketIsAskedForAgain) {  // --corrupt-packet 3
    EXPECT_EQ(Fetch("IMG_0001.JPG", 1), CardFile("IMG_0001.JPG"));
}

TEST_F(SerialCameraFaults, ADroppedLineFailsCleanlyAndTheCameraComesBack) {  // --drop-after 20000 --off-seconds 3
    int result = 0;
    DWORD start = GetTickCount();
    EXPECT_TRUE(Fetch("IMG_0001.JPG", 1, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a failure, not a hang
    Sleep(3000);  // switched on again
    EXPECT_EQ(connection_->CheckConnection(), 0);
    EXPECT_EQ(Fetch("IMG_0001.JPG", 1), CardFile("IMG_0001.JPG"));
}

}  // namespace
