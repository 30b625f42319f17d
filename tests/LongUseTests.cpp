// Long use of a camera view in a browser: many open/fill/close cycles must not grow the process's handles
// or memory, and random user actions must neither crash, hang nor leak. ORVEX_CYCLES and ORVEX_ACTIONS set
// the counts (make soak runs 1,000 and 10,000); ORVEX_MONKEY_SEED replays a run.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/IdLists.h"
#include "support/MenuWatcher.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "support/UserActions.h"

namespace {

// Handles, by the value a new one gets (Wine keeps no count; the lowest free slot climbs when handles
// leak), and private memory in KB. Wine counts no window or GDI objects.
std::pair<size_t, size_t> Usage() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return {reinterpret_cast<size_t>(probe) / 4, (memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) / 1024};
}

void ExpectNoGrowth(const char* what, std::pair<size_t, size_t> before, size_t handles, size_t megabytes) {
    EXPECT_LE(Usage().first, before.first + handles) << what;
    EXPECT_LE(Usage().second, before.second + megabytes * 1024) << what;
}

// A browser window on the calling thread, as Windows' explorer gives each window its own: through a root of its
// own to the card's folder, its view opened, filled for `ms` and closed.
void VisitOnThisThread(DWORD ms) {
    OleInitialize(nullptr);
    {
        ComRef<IShellFolder> folder;
        ComRef<IShellView> view;
        bool opened = SUCCEEDED(CoreTest::InitializedRoot()->BindToObject(AsList(ListBytes({"Removable Media", "100TEST"})),
                                                                          nullptr, IID_IShellFolder, folder.PutVoid())) &&
                      SUCCEEDED(folder->CreateViewObject(nullptr, IID_IShellView, view.PutVoid()));
        BrowserHost host;
        EXPECT_EQ(opened ? host.Open(view.Get()) : E_FAIL, S_OK);
        // Off screen, out of the monkey's drags: a drop onto a window whose thread has just ended its OLE (as
        // this one does after each visit) has hung inside Wine's DoDragDrop; drops between live threads work.
        SetWindowPos(host.Window(), nullptr, -3000, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        host.Pump(ms);
    }
    OleUninitialize();
}

class LongUse : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        for (unsigned i = 0; i < bigCard_; ++i)  // a big card for the soak: links to one picture
            CreateHardLinkW(Utf16(card_.Folder() + "\\BIG_" + std::to_string(i) + ".JPG").c_str(), Utf16(card_.Folder() + "\\IMG_0002.JPG").c_str(), nullptr);
        user_ = std::make_unique<ViewUser>(card_.Root(), false);
    }
    void TearDown() override { user_.reset(), CoreTest::TearDown(); }
    void Monkey(unsigned actions);  // random user actions, all questions answered at random

    TestCard card_;
    unsigned bigCard_ = EnvNumber("ORVEX_CARD_PICTURES", 0);
    std::unique_ptr<ViewUser> user_;
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

// Two windows on two threads visit the same card again and again; the counts come back to where they were.
TEST_F(LongUse, TwoWindowsOnTwoThreadsVisitTheSameCameraAgainAndAgain) {
    auto visits = [] {
        for (unsigned i = 0, n = EnvNumber("ORVEX_CYCLES", 200); i < n; ++i) VisitOnThisThread(i % 8 ? 5 : 100);
    };
    std::thread first(visits), second(visits);
    first.join(), second.join();
}

void LongUse::Monkey(unsigned actions) {
    static std::mt19937 random;
    unsigned seed = EnvNumber("ORVEX_MONKEY_SEED", std::random_device{}());
    std::printf("monkey: %u actions, seed %u (ORVEX_MONKEY_SEED=%u replays it)\n", actions, seed, seed), random.seed(seed);
    DialogAnswerer answerer(IDCANCEL);  // delete confirmations, error and property boxes answered at random
    answerer.OnDialog([](HWND dialog, void* a) {  // with a button the dialog has: the print dialog has no Yes
        int answer = std::array{IDYES, IDNO, IDOK, IDCANCEL}[random() % 4];
        for (int other : {IDCANCEL, IDOK, IDNO}) answer = GetDlgItem(dialog, answer) ? answer : other;
        static_cast<DialogAnswerer*>(a)->SetAnswer(answer);
    }, &answerer);
    MenuWatcher menus;
    ASSERT_NE(user_->Open(), nullptr);
    // An action that does not come back is a hang: say which, and end the run.
    std::atomic<unsigned> current{0}, done{0};
    std::thread secondWindow([&] {  // a second window, on a thread of its own, visits the same card all along
        for (unsigned k = 0; !done; ++k) VisitOnThisThread(k * 37 % 300);
    });
    // A long action that still answers (a picture takes half a minute on a paced serial line) is no hang.
    std::atomic<DWORD> since{GetTickCount()};
    HWND pulse = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::thread watchdog([&] {
        DWORD_PTR answer = 0;
        for (; !done; Sleep(200))
            if (GetTickCount() - since > 30000 && !SendMessageTimeoutA(pulse, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer))
                std::printf("monkey: action %u of seed %u hangs\n", current.load(), seed), fflush(stdout),
                    TerminateProcess(GetCurrentProcess(), 3);
    });
    auto before = Usage();
    for (unsigned i = 0; i < actions; current = ++i, since = GetTickCount()) {
        if (!user_->View() || random() % 80 == 0)
            EXPECT_NE(user_->Open(), nullptr) << "a new visit, action " << i << " of seed " << seed;
        else
            user_->RandomAction(random);
        if (i % 50 < 49) continue;  // deletes empty the card and pastes double it: a leak check needs the same data
        answerer.Forget(), menus.Forget();
        size_t files = 0;
        std::error_code ignored;
        for (auto& file : std::filesystem::directory_iterator(user_->pictures, ignored))
            if (++files > 40 + bigCard_) std::filesystem::remove(file.path(), ignored);
        for (; files < 4; ++files)
            card_.Write(user_->pictures + "\\REFILL" + std::to_string(i * 4 + files) + ".jpg", MakeJpeg(QuadrantBitmap(320, 240), {}));
    }
    done = 1, watchdog.join(), secondWindow.join(), user_->Leave(), DestroyWindow(pulse);
    if (OpenClipboard(nullptr)) EmptyClipboard(), CloseClipboard();  // our data on the clipboard holds the folder
    ExpectNoGrowth("monkey", before, 20, bigCard_ ? 16 + 96 : 16);  // a big card's pictures may fill their budget
}

TEST_F(LongUse, RandomUserActionsNeverCrashHangOrLeak) { Monkey(EnvNumber("ORVEX_ACTIONS", 400)); }

// Against the camera simulator (tests/serial-camera.sh); skipped without it.
TEST_F(LongUse, RandomUserActionsOnASerialCamera) {
    if (!getenv("ORVEX_SERIAL_CARD")) GTEST_SKIP() << "needs tests/serial-camera.sh";
    user_.reset(), user_ = std::make_unique<ViewUser>(card_.Root(), true);  // the old keys go first
    Monkey(EnvNumber("ORVEX_SERIAL_ACTIONS", 150));
}

}  // namespace
