// The module's view over the serial camera driver, against the camera
// simulator that tests/serial-camera.sh starts; tests/CMakeLists.txt tells
// it how to misbehave for each suite.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "print/PrintFetch.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "support/UserActions.h"
#include "transfer/CopyToDisk.h"

namespace {

// The progress dialog is left alone; the error box gets Cancel.
void CancelOnlyTheErrorBox(HWND dialog, void* context) {
    char title[128] = {};
    GetWindowTextA(dialog, title, sizeof title);
    static_cast<DialogAnswerer*>(context)->SetAnswer(strstr(title, "Transfer") ? IDOK : IDCANCEL);
}

class SerialModule : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
        user_ = std::make_unique<ViewUser>("C:\\nowhere", true);
        answerer_.OnDialog(CancelOnlyTheErrorBox, &answerer_);
    }
    void TearDown() override {
        if (user_thread_.joinable()) user_thread_.join();
        user_.reset();
        CoreTest::TearDown();
    }
    // How often the simulator's log says `text` so far.
    static int CameraLogCount(const char* text) {
        std::vector<uint8_t> log = ReadFileBytes(getenv("ORVEX_SERIAL_LOG"));
        std::string all(log.begin(), log.end());
        int count = 0;
        for (size_t at = 0; (at = all.find(text, at)) != std::string::npos; ++at) ++count;
        return count;
    }
    long ErrorBoxes() const {
        return std::count(answerer_.Captions().begin(), answerer_.Captions().end(), theModule.productName);
    }
    // The user presses Cancel on the progress box a moment into the camera's next stall.
    void CancelDuringTheNextStall() {
        int before = CameraLogCount("fail: stalling");
        cancelledAt_ = 0;
        user_thread_ = std::thread([this, before] {
            for (int i = 0; i < 500 && CameraLogCount("fail: stalling") == before; ++i) Sleep(20);
            if (CameraLogCount("fail: stalling") == before) return;
            stallSeen_ = GetTickCount();
            Sleep(300);
            HWND progress = FindWindowA("#32770", nullptr);
            cancelledAt_ = GetTickCount();
            if (progress) PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
        });
    }
    // How long after the cancel the wait ended; then the camera's stall is waited out.
    DWORD SinceCancel() {
        DWORD since = GetTickCount() - cancelledAt_;
        user_thread_.join();
        EXPECT_NE(cancelledAt_, 0u) << "the camera never stalled";
        Sleep(std::max<LONG>(0, LONG(stallSeen_ + 4500 - GetTickCount())));
        return since;
    }
    bool NoTransferFile(const char* name) {
        return GetFileAttributesA((WorkDirectory() + "TRANSFER\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    std::unique_ptr<ViewUser> user_;
    DialogAnswerer answerer_{IDCANCEL};
    std::thread user_thread_;
    std::atomic<DWORD> stallSeen_{0}, cancelledAt_{0};
};

// The camera goes silent mid-picture and stays off (--drop-after 50000
// --off-seconds 60): the file read fails, and so does the memory read the copy
// falls back to; the error box's Cancel ends it with nothing left.
using SerialModuleFaults = SerialModule;

TEST_F(SerialModuleFaults, ALineDroppedDuringACopyAsksRetryOrCancelAndLeavesNothing) {
    ASSERT_NE(user_->Open(), nullptr);
    EXPECT_EQ(user_->View()->Control()->GetItemCount(), 4);
    RemoveTree(WorkDirectory() + "TRANSFER");
    user_->Click(0);
    STGMEDIUM medium;
    DWORD start = GetTickCount();
    EXPECT_EQ(user_->CopyOut(&medium), E_UNEXPECTED);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a clean failure, no hang
    ASSERT_FALSE(answerer_.Captions().empty());
    EXPECT_EQ(answerer_.Captions().back(), theModule.productName);  // "Image Acquisition error."
    EXPECT_TRUE(NoTransferFile("IMG_0001.JPG"));
    EXPECT_EQ(user_->folder->Idle(), 1);
}

// A new speed chosen in the settings re-opens the connection through the same
// service, which keeps the speed it was loaded with.
using SerialModuleSettings = SerialModule;

TEST_F(SerialModuleSettings, ANewSpeedReopensTheConnectionThroughTheSameService) {
    user_->folder = ComRef<CameraFolder>::Share(new CameraFolder(user_->source.Get(), "100ORVEX"));
    user_->folder->Connect(true);
    ASSERT_TRUE(user_->folder->IsConnected());
    CameraService* service = user_->source->GetService();
    user_->line->serial->SetString("ComSpeed", "57600");  // what the settings dialog saves
    user_->folder->Connect(true);
    EXPECT_TRUE(user_->folder->IsConnected());
    EXPECT_EQ(user_->folder->GetComSpeed(), "57600");
    EXPECT_EQ(user_->source->GetService(), service);
    EXPECT_EQ(user_->folder->GetImageCount(), 4);
    // The camera was asked for 115200 once, when the driver was loaded.
    EXPECT_GT(CameraLogCount("set int 17 = 5"), 0);
    EXPECT_EQ(CameraLogCount("set int 17 = 4"), 0);
}

// The camera stops answering for a few seconds in the middle of a thumbnail
// (--stall-after 1000 --stall-seconds 4): leaving the folder ends the loader's
// read at once, not after a line timeout, and asks nothing.
using SerialThumbnailStall = SerialModule;

TEST_F(SerialThumbnailStall, LeavingTheFolderEndsTheStalledReadAtOnce) {
    ASSERT_NE(user_->Open(), nullptr);
    user_->host->Pump(1500);  // the first thumbnail is under way, then the camera stalls
    DWORD start = GetTickCount();
    user_->Leave();
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(answerer_.Captions().empty());
}

// The camera stalls in the middle of each of the next three pictures (their
// thumbnails are smaller; --stall-after 20000 --stall-seconds 4 --stall-times
// 3): the user's Cancel ends the wait at once, whatever waits for the picture,
// nothing half-made stays and nothing is fetched again; then a picture arrives whole.
using SerialPictureStall = SerialModule;

TEST_F(SerialPictureStall, EachFetchTheCameraStallsOnEndsAtTheUsersCancel) {
    ASSERT_NE(user_->Open(), nullptr);
    user_->host->Pump(1000);  // the thumbnails arrive
    int pictureRequests = CameraLogCount("get string 14");
    user_->Click(1);
    CancelDuringTheNextStall();
    user_->Command(CameraView::kPreview);
    EXPECT_LT(SinceCancel(), 2000u) << "viewing";
    EXPECT_EQ(CameraLogCount("get string 14"), pictureRequests + 1);
    EXPECT_TRUE(OwnWindowsOfClass("FrameHelperWin").empty());
    EXPECT_EQ(ErrorBoxes(), 0);

    RemoveTree(WorkDirectory() + "TRANSFER");
    user_->Click(0);
    CancelDuringTheNextStall();
    STGMEDIUM medium;
    EXPECT_EQ(user_->CopyOut(&medium), E_UNEXPECTED);
    EXPECT_LT(SinceCancel(), 2000u) << "copying";
    EXPECT_TRUE(NoTransferFile("IMG_0001.JPG"));

    // Printing fetches its pictures on its own.
    ProgressDialog progress;
    progress.Open(user_->host->Window());
    ImageHolder image;
    CancelDuringTheNextStall();
    EXPECT_FALSE(LoadGuarded(user_->folder.Get(), &progress, 1, user_->folder->OpenImage("IMG_0004.JPG"), image.Get()));
    progress.Close();
    EXPECT_LT(SinceCancel(), 2000u) << "printing";
    EXPECT_EQ(user_->folder->Idle(), 1);

    long boxes = ErrorBoxes();
    user_->Command(CameraView::kPreview);
    EXPECT_EQ(OwnWindowsOfClass("FrameHelperWin").size(), 1u);
    EXPECT_EQ(ErrorBoxes(), boxes);
}

}  // namespace
