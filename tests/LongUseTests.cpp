// Long use of a camera view in a browser: many open/fill/close cycles must not
// grow the process's handles or memory, and random user actions must neither
// crash, hang nor leak. ORVEX_CYCLES and ORVEX_ACTIONS set the counts (make
// soak runs 1,000 and 10,000); ORVEX_MONKEY_SEED replays a run.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "support/BoxWatcher.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "support/UserActions.h"
#include "transfer/CopyToDisk.h"

namespace {

// Handles, by the value a new one gets (Wine keeps no count; the lowest free
// slot climbs when handles leak), and private memory in KB. Wine counts no
// window or GDI objects.
std::pair<size_t, size_t> Usage() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return {reinterpret_cast<size_t>(probe) / 4, (memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) / 1024};
}

void ExpectNoGrowth(const char* what, std::pair<size_t, size_t> before, size_t handles, size_t megabytes) {
    auto after = Usage();
    std::printf("%s: handles %zu -> %zu, private %zu -> %zu KB\n", what, before.first, after.first, before.second,
                after.second);
    EXPECT_LE(after.first, before.first + handles) << what;
    EXPECT_LE(after.second, before.second + megabytes * 1024) << what;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
}

class LongUse : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        user_ = std::make_unique<ViewUser>(card_.Root(), false);
    }
    void TearDown() override {
        user_.reset();
        CoreTest::TearDown();
    }
    void Monkey(unsigned actions);

    TestCard card_;
    std::unique_ptr<ViewUser> user_;
    // The loader's error box opens on its worker thread, out of a test hook's sight.
    BoxWatcher workerBoxes_{IDCANCEL, 300};
};

TEST_F(LongUse, OpeningFillingAndClosingAViewManyTimesGrowsNothing) {
    unsigned cycles = EnvNumber("ORVEX_CYCLES", 60), warmUp = 10;
    std::pair<size_t, size_t> before;
    for (unsigned i = 0; i < cycles + warmUp; ++i) {
        if (i == warmUp) before = Usage();
        ASSERT_NE(user_->Open(), nullptr);
        user_->host->Pump(i % 3 == 0 ? 200 : 20);  // sometimes the loader finishes, sometimes it is stopped
        if (i % 4 == 0) user_->Command(CameraView::kListView);
        user_->Leave();
    }
    ExpectNoGrowth("cycles", before, 10, 8);
}

// The card leaves its drive while its pictures are being copied: the error
// box's Cancel ends the copy with nothing left in the transfer directory, and
// with the card back a Refresh makes the view usable again.
TEST_F(LongUse, ACardPulledDuringACopyLeavesNothingAndARefreshBringsItBack) {
    const int pictures = 40;
    for (int i = 3; i < pictures; ++i)
        card_.Write(card_.Folder() + "\\MORE" + std::to_string(i) + ".jpg", MakeJpeg(QuadrantBitmap(320, 240), {}));
    CameraView* view = user_->Open();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->Control()->GetItemCount(), pictures);
    std::string transfer = WorkDirectory() + "TRANSFER", pulled = card_.Folder() + "-pulled";
    RemoveTree(transfer);
    CreateDirectoryA(transfer.c_str(), nullptr);
    user_->Command(CameraView::kSelectAll);
    // The card goes as soon as the first picture has arrived.
    HANDLE arrivals = FindFirstChangeNotificationA(transfer.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    std::atomic<bool> wasPulled{false};
    std::thread puller([&] {
        if (WaitForSingleObject(arrivals, 10000) == WAIT_OBJECT_0)
            wasPulled = MoveFileA(card_.Folder().c_str(), pulled.c_str()) != 0;
    });
    STGMEDIUM medium;
    {
        DialogAnswerer answerer(IDCANCEL);
        EXPECT_EQ(user_->CopyOut(&medium), E_UNEXPECTED);
        puller.join();
        FindCloseChangeNotification(arrivals);
        ASSERT_TRUE(wasPulled);
        EXPECT_FALSE(answerer.Captions().empty());  // "Image Acquisition error."
    }
    EXPECT_TRUE(FilesIn(transfer).empty());

    ASSERT_TRUE(MoveFileA(pulled.c_str(), card_.Folder().c_str()));
    user_->Command(CameraView::kRefresh);
    WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == pictures; }, 5000);
    user_->Command(CameraView::kSelectAll);
    ASSERT_EQ(user_->CopyOut(&medium), S_OK);
    EXPECT_EQ(DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0), UINT(pictures));
    ReleaseStgMedium(&medium);
}

// Answers every question of the view at random: delete confirmations, error boxes, property boxes.
void AnswerAtRandom(HWND, void* context) {
    static std::mt19937 random(7);
    const int answers[] = {IDYES, IDNO, IDOK, IDCANCEL};
    static_cast<DialogAnswerer*>(context)->SetAnswer(answers[random() % 4]);
}

void LongUse::Monkey(unsigned actions) {
    unsigned seed = EnvNumber("ORVEX_MONKEY_SEED", std::random_device{}());
    std::printf("monkey: %u actions, seed %u (ORVEX_MONKEY_SEED=%u replays it)\n", actions, seed, seed);
    std::mt19937 random(seed);
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(AnswerAtRandom, &answerer);
    MenuWatcher menus;
    ASSERT_NE(user_->Open(), nullptr);
    // An action that does not come back is a hang: say which, and end the run.
    std::atomic<unsigned> current{0};
    std::atomic<DWORD> since{GetTickCount()};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (; !done; Sleep(200))
            if (GetTickCount() - since > 30000)
                std::printf("monkey: action %u of seed %u hangs\n", current.load(), seed), fflush(stdout),
                    TerminateProcess(GetCurrentProcess(), 3);
    });
    auto before = Usage();
    for (unsigned i = 0; i < actions && user_->View(); ++i) {
        current = i;
        since = GetTickCount();
        if (random() % 80 == 0)
            EXPECT_NE(user_->Open(), nullptr) << "a new visit, action " << i << " of seed " << seed;
        else
            user_->RandomAction(random);
        EXPECT_LT(GetTickCount() - since, 15000u) << "action " << i << " of seed " << seed;
        // Deletes empty the card and pastes double it: a leak check needs the same amount of data.
        std::vector<std::string> names = i % 50 == 49 ? FilesIn(user_->pictures) : std::vector<std::string>(4);
        for (size_t k = 40; k < names.size(); ++k) DeleteFileA((user_->pictures + "\\" + names[k]).c_str());
        for (size_t k = names.size(); k < 4; ++k)
            card_.Write(user_->pictures + "\\REFILL" + std::to_string(i) + "_" + std::to_string(k) + ".jpg",
                        MakeJpeg(QuadrantBitmap(320, 240), {}));
    }
    done = true;
    watchdog.join();
    user_->Leave();
    OpenClipboard(nullptr);  // our data on the clipboard holds the folder
    EmptyClipboard();
    CloseClipboard();
    ExpectNoGrowth("monkey", before, 20, 16);
}

TEST_F(LongUse, RandomUserActionsNeverCrashHangOrLeak) { Monkey(EnvNumber("ORVEX_ACTIONS", 400)); }

// Against the camera simulator (tests/serial-camera.sh); skipped without it.
TEST_F(LongUse, RandomUserActionsOnASerialCamera) {
    if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
    user_.reset();
    user_ = std::make_unique<ViewUser>(card_.Root(), true);
    Monkey(EnvNumber("ORVEX_SERIAL_ACTIONS", 150));
}

}  // namespace
