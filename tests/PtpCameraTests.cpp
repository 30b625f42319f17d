// ptpcam.dll against the PTP/IP camera simulator (tests/ptpip-camera.sh), through the driver table as the module
// calls it; and the PTP datasets and packets on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "JpegCodec.h"
#include "PtpData.h"
#include "camera/CameraService.h"
#include "support/Screen.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

using Names = std::vector<std::string>;

CameraService* NewService(const std::string& argument) {
    static auto create = Export<CreateServiceFunction>("ptpcam.dll", kCreateServiceExport);
    return create ? create(argument.c_str()) : nullptr;
}

Names NamesOf(CameraConnection* connection) {
    Names names;
    char name[260];
    for (int i = 0; i < connection->GetImageCount(); ++i) names.push_back((connection->GetImageName(name, sizeof name, i), name));
    return names;
}

// A PTP string: its count of UTF-16 units (the closing zero too), then the units.
std::vector<uint8_t> PtpString(const std::u16string& text, int count = -1) {
    std::vector<uint8_t> out = {uint8_t(count >= 0 ? count : int(text.size()) + 1)};
    for (char16_t unit : text + u'\0') out.push_back(uint8_t(unit)), out.push_back(uint8_t(unit >> 8));
    return out;
}

std::vector<uint8_t> ObjectInfoBytes(const std::vector<uint8_t>& name, const std::vector<uint8_t>& date) {
    ptp::Writer info;
    info.U32(0x10001).U16(0x3801).U16(0).U32(123456).U16(0x3801).U32(4000).U32(160).U32(120).U32(1600).U32(1200);
    info.U32(24).U32(7).U16(0).U32(0).U32(0);
    info.Bytes(name.data(), name.size()).Bytes(date.data(), date.size());
    return info.bytes;
}

// Every count and length a camera sends is checked against what came: damaged ones spoil that dataset alone.
TEST(PtpData, DatasetsAndPacketsReadOnlyWhatCame) {
    struct Row { std::vector<uint8_t> bytes; bool ok; std::string name, date; };
    std::vector<uint8_t> whole = ObjectInfoBytes(PtpString(u"IMG_0001.JPG"), PtpString(u"20240702T090700.0"));
    const Row rows[] = {
        {whole, true, "IMG_0001.JPG", "2024:07:02 09:07:00"},
        {ObjectInfoBytes(PtpString(u"Ärger_写真.JPG"), PtpString(u"2024")), true, "Ärger_写真.JPG", ""},
        {ObjectInfoBytes(PtpString(u"IMG.JPG", 200), {}), false, "", ""},  // a count past the end
        {ObjectInfoBytes(PtpString(u"\xD800X.JPG"), {}), true, "\xEF\xBF\xBDX.JPG", ""},  // an unpaired surrogate
        {std::vector<uint8_t>(whole.begin(), whole.begin() + 40), false, "", ""},
    };
    for (const Row& row : rows) {
        ptp::ObjectInfo info;
        EXPECT_EQ(ptp::ParseObjectInfo(row.bytes.data(), row.bytes.size(), info), row.ok) << row.name;
        if (!row.ok) continue;
        EXPECT_EQ(info.name, row.name);
        EXPECT_EQ(info.captureDate, row.date);
        EXPECT_EQ(std::make_pair(info.parent, info.size), std::make_pair(7u, 123456u));
    }
    std::vector<uint8_t> handles = ptp::Writer().U32(1000000).U32(5).bytes;  // a million handles announced, one sent
    ptp::Reader array(handles.data(), handles.size());
    EXPECT_TRUE(array.U32Array(100000).empty() && !array.Ok());

    std::vector<uint8_t> request = ptp::OperationRequest(ptp::kGetObject, 9, {42});
    EXPECT_EQ(request, (std::vector<uint8_t>{22, 0, 0, 0, 6, 0, 0, 0, 1, 0, 0, 0, 0x09, 0x10, 9, 0, 0, 0, 42, 0, 0, 0}));
    for (auto [header, length] : std::map<std::vector<uint8_t>, uint32_t>{
             {{12, 0, 0, 0, 7, 0, 0, 0}, 12}, {{7, 0, 0, 0, 7, 0, 0, 0}, 0}, {{12, 0, 0, 0, 15, 0, 0, 0}, 0},
             {{0, 0, 0, 0x40, 10, 0, 0, 0}, 0}})  // shorter than a header, an unknown type, 1 GB
        EXPECT_EQ(ptp::PacketLength(header.data()), length);
}

class PtpCamera : public testing::Test {
protected:
    void SetUp() override {
        if (!getenv("ORVEX_PTPIP_ADDRESS")) GTEST_SKIP() << "needs tests/ptpip-camera.sh";
        service_ = NewService(getenv("ORVEX_PTPIP_ADDRESS"));
        ASSERT_TRUE(service_ && service_->Refresh());
        ASSERT_NE(connection_ = service_->OpenConnection("100ORVEX"), nullptr);
    }
    void TearDown() override {
        if (connection_) connection_->Destroy(1);
        if (service_) service_->Destroy(1);
    }
    static std::string OnCard(const std::string& name) {
        return std::string(getenv("ORVEX_PTPIP_CARD")) + "\\DCIM\\100ORVEX\\" + name;
    }
    // The picture copied out as a copy does: to a file, with progress; the percentages seen in `percents`.
    std::vector<uint8_t> CopyOut(CameraConnection* connection, const char* name, std::vector<int>* percents = nullptr,
                                 int stopAt = 101, int* result = nullptr) {
        struct Seen { std::vector<int>* percents; int stopAt; } seen{percents, stopAt};
        auto progress = [](int code, int value, const char*, void* context) -> BOOL {
            auto* s = static_cast<Seen*>(context);
            if (code == 1 && s->percents) s->percents->push_back(value);
            return code != 1 || value < s->stopAt;
        };
        char path[260] = {};
        int deleteIt = 0;
        CameraImage* image = connection->OpenImage(name);
        int read = image ? image->ReadToFile(path, sizeof path, 1, &deleteIt, progress, &seen) : -1;
        if (result) *result = read;
        std::vector<uint8_t> bytes = read == 0 ? ReadFileBytes(path) : std::vector<uint8_t>();
        if (read == 0 && deleteIt) DeleteFileA(path);
        return bytes;
    }
    std::vector<uint8_t> Thumbnail(const char* name) {
        HGLOBAL data = nullptr;
        int freeIt = 0;
        if (connection_->OpenImage(name)->ReadData(&data, 0, &freeIt, nullptr, nullptr) != 0) return {};
        auto* at = static_cast<const uint8_t*>(GlobalLock(data));
        std::vector<uint8_t> bytes(at, at + GlobalSize(data));
        GlobalUnlock(data), GlobalFree(data);
        return bytes;
    }
    // The thumbnail's decoded width and height.
    std::pair<int, int> ThumbnailSize(const char* name) {
        std::vector<uint8_t> bytes = Thumbnail(name);
        pix::Bitmap thumb;
        int scale = 0;
        pix::DecodeJpeg(bytes.data(), bytes.size(), 1000, 1000, thumb, &scale);
        return {thumb.width, thumb.height};
    }

    CameraService* service_ = nullptr;
    CameraConnection* connection_ = nullptr;
};

// The card's folders and pictures with their facts, upright thumbnails (IMG_0004 was taken turned), whole pictures
// with progress, a download cancelled and the next one whole, a delete.
TEST_F(PtpCamera, ListsCopiesOutWithProgressCancelsAndDeletes) {
    char folder[256];
    Names folders;
    for (unsigned i = 0; i < service_->GetFolderCount(); ++i) folders.push_back((service_->GetFolderName(i, folder, 256), folder));
    EXPECT_EQ(folders, (Names{"100ORVEX", "101ORVEX"}));
    EXPECT_EQ(NamesOf(connection_), (Names{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG"}));

    EXPECT_EQ(ThumbnailSize("IMG_0001.JPG"), std::make_pair(160, 120));
    std::vector<uint8_t> file = ReadFileBytes(OnCard("IMG_0001.JPG")), marks[] = {{0xFF, 0xD8}, {0xFF, 0xD9}};
    auto start = std::search(file.begin() + 2, file.end(), marks[0].begin(), marks[0].end());  // the EXIF thumbnail
    auto end = std::search(start, file.end(), marks[1].begin(), marks[1].end());
    EXPECT_EQ(Thumbnail("IMG_0001.JPG"), std::vector<uint8_t>(start, end + 2)) << "an upright one comes as the camera has it";
    EXPECT_EQ(ThumbnailSize("IMG_0004.JPG"), std::make_pair(120, 160));
    ImageInfo info;
    ASSERT_TRUE(connection_->OpenImage("IMG_0004.JPG")->GetInfo(&info));
    EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(1200, 1600));
    EXPECT_STREQ(info.captureDate, "2024:07:05 12:28:00");
    EXPECT_EQ(info.fileSize, ReadFileBytes(OnCard("IMG_0004.JPG")).size());

    std::vector<int> percents;
    EXPECT_EQ(CopyOut(connection_, "IMG_0001.JPG", &percents), ReadFileBytes(OnCard("IMG_0001.JPG")));
    EXPECT_TRUE(!percents.empty() && std::is_sorted(percents.begin(), percents.end()) && percents.back() == 100);
    int cancelled = 0;
    EXPECT_TRUE(CopyOut(connection_, "IMG_0002.JPG", nullptr, 1, &cancelled).empty());
    EXPECT_EQ(cancelled, kReadCancelled);
    EXPECT_EQ(CopyOut(connection_, "IMG_0002.JPG"), ReadFileBytes(OnCard("IMG_0002.JPG")));

    connection_->DeleteImage("IMG_0003.JPG");
    EXPECT_EQ(NamesOf(connection_), (Names{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0004.JPG"}));
    EXPECT_TRUE(ReadFileBytes(OnCard("IMG_0003.JPG")).empty());
    EXPECT_EQ(connection_->CheckConnection(), 0);
}

// The simulator drops the link once, mid-picture: the read goes on over a new session and the picture comes whole.
TEST_F(PtpCamera, ADroppedLinkIsReconnectedAndThePictureComesWhole) {
    EXPECT_EQ(CopyOut(connection_, "IMG_0001.JPG"), ReadFileBytes(OnCard("IMG_0001.JPG")));
    EXPECT_EQ(connection_->CheckConnection(), 0);
}

int posts = 0;  // the driver's messages, as WaitUntil's pump delivers them
LRESULT CALLBACK CountPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++posts;
    return DefWindowProcA(window, message, wParam, lParam);
}

// New shots appear in a watched folder by themselves; a picture deleted elsewhere (another connection) goes.
TEST_F(PtpCamera, NewShotsAndPicturesDeletedElsewhereAreToldToTheWatcher) {
    static auto query = Export<QueryConnectionExtensionFunction>("ptpcam.dll", kQueryConnectionExtensionExport);
    ICameraWatch* watch = nullptr;
    ASSERT_EQ(query(connection_, &IID_ICameraWatch, reinterpret_cast<void**>(&watch)), S_OK);
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window, GWLP_WNDPROC, LONG_PTR(CountPosts));
    std::vector<std::pair<std::string, int>> changes;
    auto collect = [&] {
        MSG msg;  // the messages waiting, also when the changes are already there
        while (PeekMessageA(&msg, window, WM_APP, WM_APP, PM_REMOVE)) DispatchMessageA(&msg);
        char name[260];
        int added = 0;
        while (watch->NextChange(name, sizeof name, &added) == S_OK) changes.emplace_back(name, added);
        return !changes.empty();
    };
    Names before = NamesOf(connection_);  // the camera may have taken shots before the folder opened
    watch->Watch(window, WM_APP);
    ASSERT_TRUE(WaitUntil(collect, 10000)) << "no new shot";
    const std::string shot = changes[0].first;
    EXPECT_EQ(changes[0].second, 1);
    EXPECT_EQ(std::find(before.begin(), before.end(), shot), before.end()) << shot;
    Names names = NamesOf(connection_);
    EXPECT_NE(std::find(names.begin(), names.end(), shot), names.end());
    EXPECT_EQ(CopyOut(connection_, shot.c_str()), ReadFileBytes(OnCard(shot)));

    CameraConnection* other = service_->OpenConnection("100ORVEX");
    other->DeleteImage("IMG_0002.JPG");
    other->Destroy(1);
    auto gone = std::make_pair(std::string("IMG_0002.JPG"), 0);
    EXPECT_TRUE(WaitUntil([&] { return collect(), std::find(changes.begin(), changes.end(), gone) != changes.end(); }, 5000));
    EXPECT_GT(posts, 0);
    EXPECT_EQ(NamesOf(connection_)[1], "IMG_0003.JPG");
    watch->Watch(nullptr, 0);
    watch->Release();
    DestroyWindow(window);
}

// A camera whose answers are damaged at random: every session ends, none crashes or hangs the host.
TEST(PtpDamagedAnswers, EverySessionEndsWithoutACrashOrAHang) {
    if (!getenv("ORVEX_PTPIP_ADDRESS")) GTEST_SKIP() << "needs tests/ptpip-camera.sh";
    int pictures = 0;
    for (unsigned session = 0, sessions = EnvNumber("ORVEX_PTP_SESSIONS", 200); session < sessions; ++session) {
        CameraService* service = NewService(getenv("ORVEX_PTPIP_ADDRESS"));
        ASSERT_NE(service, nullptr);
        service->Refresh();
        char folder[256];
        for (unsigned f = 0; f < service->GetFolderCount() && f < 2; ++f) {
            CameraConnection* connection = service->GetFolderName(f, folder, 256) ? service->OpenConnection(folder) : nullptr;
            for (int i = 0; connection && i < connection->GetImageCount() && i < 3; ++i) {
                char name[260];
                connection->GetImageName(name, sizeof name, i);
                CameraImage* image = connection->OpenImage(name);
                HGLOBAL data = nullptr;
                int freeIt = 0;
                ImageInfo info;
                if (!image || !image->GetInfo(&info)) continue;
                for (int full : {0, 1})
                    if (image->ReadData(&data, full, &freeIt, nullptr, nullptr) == 0) ++pictures, GlobalFree(data);
            }
            if (connection) connection->Destroy(1);
        }
        service->Destroy(1);
    }
    EXPECT_GT(pictures, 0) << "no session got as far as a picture";
}

}  // namespace
