// The serial camera driver, as the module loads it and through the module's view, against the camera
// simulator that tests/serial-camera.sh starts; tests/CMakeLists.txt tells it how to misbehave for each suite.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "print/PrintFetch.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/Screen.h"
#include "support/TestPictures.h"
#include "support/UserActions.h"
#include "transfer/CopyToDisk.h"

namespace {

struct ProgressLog {  // the progress codes in their order and the last percentage; stops at `cancelAtPercent`
    std::vector<int> codes;
    int lastPercent = -1, cancelAtPercent = 1000;
    static BOOL Callback(int code, int value, const char*, void* context) {
        auto* log = static_cast<ProgressLog*>(context);
        if (log->codes.empty() || log->codes.back() != code) log->codes.push_back(code);
        return code != 1 || (log->lastPercent = value) < log->cancelAtPercent;
    }
};

int CameraLogCount(const char* text) {  // how often the simulator's log says `text` so far
    std::vector<uint8_t> log = ReadFileBytes(getenv("ORVEX_SERIAL_LOG"));
    std::string all(log.begin(), log.end());
    int count = 0;
    for (size_t at = 0; (at = all.find(text, at)) != std::string::npos; ++at) ++count;
    return count;
}

bool NoCopyLeft() {  // no data object's folder ("<process>-<number>") is left
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((WorkDirectory() + "*-*").c_str(), &found);
    return search == INVALID_HANDLE_VALUE || !FindClose(search);
}

class SerialModule : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
        user_ = std::make_unique<ViewUser>("C:\\nowhere", true);
        answerer_.OnDialog([](HWND dialog, void* answerer) {  // the progress box is left alone, the error box cancelled
            char title[128] = {};
            GetWindowTextA(dialog, title, sizeof title);
            static_cast<DialogAnswerer*>(answerer)->SetAnswer(strstr(title, "Transfer") ? IDOK : IDCANCEL);
        }, &answerer_);
    }
    void TearDown() override { user_.reset(), CoreTest::TearDown(); }
    bool Connect() {
        user_->folder = ComRef<CameraFolder>::Share(new CameraFolder(user_->source.Get(), user_->folderName));
        return user_->folder->Connect(true), user_->folder->IsConnected();
    }
    // A picture (`full`) or its thumbnail as read into memory; empty when the read fails.
    std::vector<uint8_t> Fetch(const char* name, int full, int* result = nullptr, ProgressLog* log = nullptr) {
        HGLOBAL data = nullptr;
        int freeIt = 0, read = user_->folder->OpenImage(name)->ReadData(&data, full, &freeIt,
                                                                       log ? ProgressLog::Callback : nullptr, log);
        if (result) *result = read;
        auto* at = data ? static_cast<const uint8_t*>(GlobalLock(data)) : nullptr;
        std::vector<uint8_t> bytes(at, at ? at + GlobalSize(data) : nullptr);
        if (data) GlobalUnlock(data), GlobalFree(data);
        return bytes;
    }
    std::vector<uint8_t> CardFile(const std::string& name) { return ReadFileBytes(user_->pictures + "\\" + name); }
    bool ThumbnailOf(const char* name) {  // a small whole JPEG file kept inside the picture's own
        std::vector<uint8_t> thumb = Fetch(name, 0), picture = CardFile(name);
        return thumb.size() > 4 && thumb.size() < picture.size() / 10 && thumb[0] == 0xFF && thumb[1] == 0xD8 &&
               thumb.end()[-1] == 0xD9 && std::search(picture.begin(), picture.end(), thumb.begin(), thumb.end()) != picture.end();
    }
    long ErrorBoxes() const { return std::count(answerer_.Captions().begin(), answerer_.Captions().end(), theModule.productName); }
    // Does `action` while the user presses Cancel on the progress box (or, with `quit`, the program is told to
    // quit) a moment into the camera's next stall: how long after that the action came back. The stall is waited out.
    static DWORD CancelledInAStall(const std::function<void()>& action, bool quit = false) {
        int before = CameraLogCount("fail: stalling");
        std::atomic<DWORD> cancelledAt{0};
        DWORD program = GetCurrentThreadId();
        std::thread user([&] {
            if (!WaitUntil([&] { return CameraLogCount("fail: stalling") > before; }, 10000)) return;
            Sleep(300);
            cancelledAt = GetTickCount();
            quit ? PostThreadMessageA(program, WM_QUIT, 7, 0)
                 : PostMessageA(FindWindowA("#32770", nullptr), WM_COMMAND, IDCANCEL, 0);
            Sleep(4200);  // the rest of the stall
        });
        action();
        DWORD since = GetTickCount() - cancelledAt;
        user.join();
        EXPECT_NE(cancelledAt, 0u) << "the camera never stalled";
        return since;
    }

    std::unique_ptr<ViewUser> user_;
    DialogAnswerer answerer_{IDCANCEL};
};

using SerialCamera = SerialModule;

// Two source folders of the browser each make a service for the one camera: the camera has one session,
// and the first to go must not end it for the other. The same camera also answers on a parallel port.
TEST_F(SerialCamera, SecondServicesAndAParallelPortReachTheSameCamera) {
    ASSERT_TRUE(Connect());
    int endsBefore = CameraLogCount("<- action 4"), wakeUpsBefore = CameraLogCount("<- wake-up");
    ComRef<SourceFolder> second = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
    ASSERT_NE(second->GetService(), nullptr);
    user_->folder.Reset();
    user_->source = second;
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(ThumbnailOf("IMG_0004.JPG"));
    EXPECT_EQ(CameraLogCount("<- action 4"), endsBefore);
    EXPECT_EQ(CameraLogCount("<- wake-up"), wakeUpsBefore);
    user_->folder.Reset();
    user_->serialKey->SetString("ComPort", "LPT1");
    user_->source = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
    second.Reset();  // lets go of COM5
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(ThumbnailOf("IMG_0001.JPG"));
}

TEST_F(SerialCamera, ListsFetchesWithProgressCancelsADownloadAndDeletes) {
    ASSERT_TRUE(Connect());
    EXPECT_GT(CameraLogCount("set int 17 = 5"), 0);  // 115200, as the line's keys ask
    CameraService* service = user_->source->GetService();
    char name[256] = {};
    ASSERT_EQ(service->GetFolderCount(), 2u);
    EXPECT_TRUE(service->GetFolderName(1, name, sizeof name) && !strcmp(name, "101ORVEX")) << name;
    EXPECT_EQ(service->OpenConnection("NOSUCH"), nullptr);
    FolderConnection* folder = user_->folder.Get();
    ASSERT_EQ(folder->GetImageCount(), 4);
    EXPECT_EQ(folder->GetImageName(3), "IMG_0004.JPG");
    ImageInfo info = {};
    ASSERT_TRUE(folder->OpenImage("IMG_0004.JPG")->GetInfo(&info));
    EXPECT_EQ(info.fileSize, CardFile("IMG_0004.JPG").size());
    EXPECT_EQ(folder->OpenImage("NOSUCH.JPG"), nullptr);

    CameraImage* image = folder->OpenImage("IMG_0002.JPG");
    EXPECT_NE(image->NeedsProgress(), 0);
    ProgressLog log, cancelling{{}, -1, 10};
    char path[260] = {};
    int deleteIt = 0, result = 0;
    ASSERT_EQ(image->ReadToFile(path, sizeof path, 1, &deleteIt, ProgressLog::Callback, &log), 0);
    EXPECT_EQ(deleteIt, 1);
    EXPECT_EQ(ReadFileBytes(path), CardFile("IMG_0002.JPG"));
    DeleteFileA(path);
    EXPECT_EQ(log.codes, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(log.lastPercent, 95);  // the bar moves with the bytes
    EXPECT_TRUE(Fetch("IMG_0003.JPG", 1, &result, &cancelling).empty());
    EXPECT_EQ(result, -2);
    EXPECT_EQ(Fetch("IMG_0003.JPG", 1), CardFile("IMG_0003.JPG"));  // the line is usable again

    folder->DeleteImage("IMG_0002.JPG");
    ASSERT_EQ(folder->GetImageCount(), 3);
    EXPECT_EQ(folder->GetImageName(1), "IMG_0003.JPG");
    EXPECT_TRUE(CardFile("IMG_0002.JPG").empty());
    folder->DeleteAllImages();
    EXPECT_EQ(folder->GetImageCount(), 0);
}

using SerialCameraFaults = SerialModule;

TEST_F(SerialCameraFaults, ASpoiltPacketIsAskedForAgain) {  // --corrupt-packet 3
    ASSERT_TRUE(Connect());
    EXPECT_EQ(Fetch("IMG_0001.JPG", 1), CardFile("IMG_0001.JPG"));
}

TEST_F(SerialCameraFaults, ADroppedLineFailsCleanlyAndTheCameraComesBack) {  // --drop-after 20000 --off-seconds 3
    ASSERT_TRUE(Connect());
    int result = 0;
    DWORD start = GetTickCount();
    EXPECT_TRUE(Fetch("IMG_0001.JPG", 1, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a failure, not a hang
    Sleep(3000);  // switched on again
    user_->folder->Connect(false);  // the module's check of the line
    ASSERT_TRUE(user_->folder->IsConnected());
    EXPECT_EQ(Fetch("IMG_0001.JPG", 1), CardFile("IMG_0001.JPG"));
}

// The camera goes silent mid-picture and stays off (--drop-after 50000 --off-seconds 60): the file read
// fails, and so does the memory read the copy falls back to; the error box's Cancel ends it with nothing left.
using SerialModuleFaults = SerialModule;

TEST_F(SerialModuleFaults, ALineDroppedDuringACopyAsksRetryOrCancelAndLeavesNothing) {
    ASSERT_NE(user_->Open(), nullptr);
    user_->Click(0);
    STGMEDIUM medium;
    DWORD start = GetTickCount();
    EXPECT_EQ(user_->CopyOut(&medium), E_UNEXPECTED);
    EXPECT_LT(GetTickCount() - start, 15000u);  // a clean failure, no hang
    EXPECT_GE(ErrorBoxes(), 1);  // "Image Acquisition error."
    EXPECT_TRUE(NoCopyLeft());
    EXPECT_EQ(user_->folder->Idle(), 1);
}

// The camera stalls in the middle of each of the next four pictures (their thumbnails are smaller; --stall-after 20000
// --stall-seconds 4 --stall-times 4): the user's Cancel, or the program's quit, ends the wait at once, whatever waits
// for the picture, nothing half-made stays and nothing is fetched again; then a picture arrives whole.
using SerialPictureStall = SerialModule;

TEST_F(SerialPictureStall, EachFetchTheCameraStallsOnEndsAtTheUsersCancel) {
    ASSERT_NE(user_->Open(), nullptr);
    user_->host->Pump(1000);  // the thumbnails arrive
    int pictureRequests = CameraLogCount("get string 14");
    user_->Click(1);
    EXPECT_LT(CancelledInAStall([&] { user_->Command(CameraView::kPreview); }), 2000u) << "viewing";
    EXPECT_EQ(CameraLogCount("get string 14"), pictureRequests + 1);
    EXPECT_TRUE(OwnWindowsOfClass("FrameHelperWin").empty());
    EXPECT_EQ(ErrorBoxes(), 0);
    EXPECT_LT(CancelledInAStall([&] { user_->Command(CameraView::kPreview); }, true), 2000u) << "quitting";
    MSG quit = {};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 7) << "the quit reaches the loop";

    user_->Click(0);
    STGMEDIUM medium;
    EXPECT_LT(CancelledInAStall([&] { EXPECT_EQ(user_->CopyOut(&medium), E_UNEXPECTED); }), 2000u) << "copying";
    EXPECT_TRUE(NoCopyLeft());

    ProgressDialog progress;  // printing fetches its pictures on its own
    progress.Open(user_->host->Window());
    CameraImage* picture = user_->folder->OpenImage("IMG_0004.JPG");
    auto print = [&] { EXPECT_FALSE(LoadGuarded(user_->folder.Get(), &progress, 1, picture, ImageHolder().Get())); };
    EXPECT_LT(CancelledInAStall(print), 2000u) << "printing";
    progress.Close();
    EXPECT_EQ(user_->folder->Idle(), 1);
    long boxes = ErrorBoxes();
    user_->Command(CameraView::kPreview);
    EXPECT_EQ(OwnWindowsOfClass("FrameHelperWin").size(), 1u);
    EXPECT_EQ(ErrorBoxes(), boxes);
}

// The camera paces its bytes at the line's speed (--pace-factor 1): the user previews a picture while thumbnails
// still arrive and goes Back during the download. The browser answers at once, the thumbnail then under way ends
// without asking anything, and the picture still arrives.
using SerialPacedLine = SerialModule;

TEST_F(SerialPacedLine, GoingBackDuringADownloadAnswersAtOnce) {
    ASSERT_NE(user_->Open(), nullptr);
    user_->Click(1);
    static ViewUser* user;
    static DWORD took;
    user = user_.get(), took = ~0u;
    SetTimer(nullptr, 0, 1500, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        DWORD start = GetTickCount();
        user->host.reset(), user->view.Reset(), user->folder.Reset();  // the browser lets the view go
        took = GetTickCount() - start;
    });
    user_->Command(CameraView::kPreview);
    EXPECT_LT(took, 1000u);
    EXPECT_EQ(OwnWindowsOfClass("FrameHelperWin").size(), 1u);
    EXPECT_EQ(ErrorBoxes(), 0);
}

}  // namespace
