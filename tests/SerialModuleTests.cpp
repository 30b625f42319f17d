// The module over the serial camera driver, against the camera simulator
// told to drop the line mid-picture (tests/serial-camera.sh starts it).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "camera/ConfigStore.h"
#include "print/PrintFetch.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "transfer/ImageDataObject.h"
#include "viewer/FullResViewer.h"

namespace {

class SerialModule : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
        settings_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::kSettingsKey);
        settings_->SetString("Camera", "Sim Camera");
        // A reload reads nothing more when the disk-folder source is not installed.
        viewer_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
        viewer_->SetString("Path", BinPath("diskcam.dll"));
        model_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Sim Camera"));
        model_->SetString("Connection", "Remote");
        line_ = std::make_unique<SimulatorLineKeys>("Sim Camera");
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), "100ORVEX"));
        folder_->Connect(true);
        browser_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    }
    void TearDown() override {
        folder_.Reset();
        source_.Reset();
        if (browser_) DestroyWindow(browser_);
        line_.reset();
        viewer_.reset();
        model_.reset();
        if (settings_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia");
        settings_.reset();
        CoreTest::TearDown();
    }
    // How often the simulator's log says `text` so far.
    static int CameraLogCount(const char* text) {
        std::string card = getenv("ORVEX_SERIAL_CARD");
        std::vector<uint8_t> log = ReadFileBytes(card.substr(0, card.find_last_of('\\')) + "\\camera.log");
        std::string all(log.begin(), log.end());
        int count = 0;
        for (size_t at = 0; (at = all.find(text, at)) != std::string::npos; ++at) ++count;
        return count;
    }

    std::unique_ptr<ScopedRegKey> settings_, viewer_, model_;
    std::unique_ptr<SimulatorLineKeys> line_;
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    HWND browser_ = nullptr;
};

// The progress dialog is left alone; the error box gets Cancel.
void CancelOnlyTheErrorBox(HWND dialog, void* context) {
    char title[128] = {};
    GetWindowTextA(dialog, title, sizeof title);
    bool progress = strstr(title, "Transfer") != nullptr;
    static_cast<DialogAnswerer*>(context)->SetAnswer(progress ? IDOK : IDCANCEL);
}

// The camera goes silent mid-picture and stays off (--drop-after 50000 --off-seconds 60):
// the file read fails, the memory read the copy falls back to fails too.
using SerialModuleFaults = SerialModule;

TEST_F(SerialModuleFaults, ALineDroppedDuringACopyAsksRetryOrCancelAndLeavesNothing) {
    ASSERT_TRUE(folder_->IsConnected());
    EXPECT_EQ(folder_->GetImageCount(), 4);
    RemoveTree(WorkDirectory() + "TRANSFER");
    auto* data = new ImageDataObject(nullptr, folder_.Get(), nullptr, browser_, {{0, "IMG_0001.JPG", ""}});
    data->AddRef();
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    FORMATETC wanted = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    DWORD start = GetTickCount();
    EXPECT_EQ(data->GetData(&wanted, &medium), E_UNEXPECTED);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a clean failure, no hang
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_EQ(answerer.Captions().back(), theModule.productName);  // "Image Acquisition error."
    EXPECT_EQ(GetFileAttributesA((WorkDirectory() + "TRANSFER\\IMG_0001.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(folder_->Idle(), 1);
    data->Release();
}

// With a camera that behaves: a new speed chosen in the settings re-opens the
// connection through the same service, which keeps the speed it was loaded with.
using SerialModuleSettings = SerialModule;

TEST_F(SerialModuleSettings, ANewSpeedReopensTheConnectionThroughTheSameService) {
    ASSERT_TRUE(folder_->IsConnected());
    CameraService* service = source_->GetService();
    line_->serial->SetString("ComSpeed", "57600");  // what the settings dialog saves
    folder_->Connect(true);
    EXPECT_TRUE(folder_->IsConnected());
    EXPECT_EQ(folder_->GetComSpeed(), "57600");
    EXPECT_EQ(source_->GetService(), service);
    EXPECT_EQ(folder_->GetImageCount(), 4);
    // The camera was asked for 115200 once, when the driver was loaded.
    std::string card = getenv("ORVEX_SERIAL_CARD");
    std::vector<uint8_t> log = ReadFileBytes(card.substr(0, card.find_last_of('\\')) + "\\camera.log");
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("set int 17 = 5"), std::string::npos);
    EXPECT_EQ(text.find("set int 17 = 4"), std::string::npos);
}

// The user cancels the picture coming over the line: the viewer does not
// open and asks the camera for the picture no second time.
TEST_F(SerialModuleSettings, ACancelledPictureIsNotFetchedAgain) {
    ASSERT_TRUE(folder_->IsConnected());
    auto pictureRequests = [] { return CameraLogCount("get string 14"); };
    int before = pictureRequests();
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    // The user presses Cancel a moment into the picture.
    std::thread user([] {
        HWND progress = nullptr;
        for (int i = 0; i < 200 && !progress; ++i, Sleep(20)) progress = FindWindowA("#32770", nullptr);
        Sleep(700);
        if (progress) PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    });
    auto* viewer = new FullResViewer(folder_->OpenImage("IMG_0002.JPG"), 0, folder_.Get());
    EXPECT_FALSE(viewer->Create(nullptr));
    user.join();
    EXPECT_EQ(pictureRequests(), before + 1);
    EXPECT_EQ(folder_->Idle(), 1);
}

// The camera stops answering for a few seconds in the middle of each of the
// first three pictures (--stall-after 1000 --stall-seconds 4 --stall-times 3):
// the user's Cancel ends the wait at once, whatever was waiting for the
// picture, and nothing half-made stays.
class SerialModuleStall : public SerialModule {
protected:
    void TearDown() override {
        if (user_.joinable()) user_.join();
        // The camera finishes its stall before the next test talks to it.
        if (stallSeen_) Sleep(std::max<LONG>(0, LONG(stallSeen_ + 4500 - GetTickCount())));
        SerialModule::TearDown();
    }
    static int Stalls() { return CameraLogCount("fail: stalling"); }
    // The user presses Cancel on the progress box a moment into the next stall.
    void CancelDuringTheNextStall() {
        int before = Stalls();
        user_ = std::thread([this, before] {
            for (int i = 0; i < 500 && Stalls() == before; ++i) Sleep(20);
            if (Stalls() == before) return;
            stallSeen_ = GetTickCount();
            Sleep(300);
            HWND progress = FindWindowA("#32770", nullptr);
            cancelledAt_ = GetTickCount();
            if (progress) PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
        });
    }
    static bool ErrorBoxShown(const DialogAnswerer& answerer) {
        const std::vector<std::string>& captions = answerer.Captions();
        return std::find(captions.begin(), captions.end(), theModule.productName) != captions.end();
    }
    DWORD SinceCancel() {
        user_.join();
        EXPECT_NE(cancelledAt_, 0u) << "the camera never stalled";
        DWORD since = GetTickCount() - cancelledAt_;
        std::printf("back %lu ms after the cancel\n", since);
        return since;
    }

    std::thread user_;
    std::atomic<DWORD> stallSeen_{0}, cancelledAt_{0};
};

TEST_F(SerialModuleStall, ViewingAPictureTheCameraStallsOnEndsAtTheUsersCancel) {
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    CancelDuringTheNextStall();
    auto* viewer = new FullResViewer(folder_->OpenImage("IMG_0002.JPG"), 0, folder_.Get());
    EXPECT_FALSE(viewer->Create(nullptr));
    EXPECT_LT(SinceCancel(), 2000u);
    EXPECT_FALSE(ErrorBoxShown(answerer));
    EXPECT_EQ(folder_->Idle(), 1);
}

TEST_F(SerialModuleStall, CopyingAPictureTheCameraStallsOnEndsAtTheUsersCancelAndLeavesNothing) {
    RemoveTree(WorkDirectory() + "TRANSFER");
    auto* data = new ImageDataObject(nullptr, folder_.Get(), nullptr, browser_, {{0, "IMG_0001.JPG", ""}});
    data->AddRef();
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    CancelDuringTheNextStall();
    FORMATETC wanted = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    EXPECT_EQ(data->GetData(&wanted, &medium), E_UNEXPECTED);
    EXPECT_LT(SinceCancel(), 2000u);
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_EQ(GetFileAttributesA((WorkDirectory() + "TRANSFER\\IMG_0001.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(folder_->Idle(), 1);
    data->Release();
}

TEST_F(SerialModuleStall, PrintingAPictureTheCameraStallsOnEndsAtTheUsersCancel) {
    CameraImage* picture = folder_->OpenImage("IMG_0004.JPG");
    ASSERT_NE(picture, nullptr);
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    ProgressDialog progress;
    progress.Open(browser_);
    ImageHolder image;
    CancelDuringTheNextStall();
    EXPECT_FALSE(LoadGuarded(folder_.Get(), &progress, 1, picture, image.Get()));
    progress.Close();
    EXPECT_LT(SinceCancel(), 2000u);
    EXPECT_EQ(folder_->Idle(), 1);
}

// After the cancelled stalls the camera serves again: a picture arrives whole.
TEST_F(SerialModuleStall, AfterTheCancelledStallsAPictureArrivesWhole) {
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(CancelOnlyTheErrorBox, &answerer);
    auto* viewer = new FullResViewer(folder_->OpenImage("IMG_0002.JPG"), 0, folder_.Get());
    ASSERT_TRUE(viewer->Create(nullptr));
    for (HWND window : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(window);
    EXPECT_FALSE(ErrorBoxShown(answerer));
}

}  // namespace
