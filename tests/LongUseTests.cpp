// Long use of a camera view in a browser: many open/fill/close cycles must not
// grow the process's handles, window objects or memory, and random user
// actions must neither crash, hang nor leak. ORVEX_CYCLES and ORVEX_ACTIONS
// set the counts (make soak runs 1,000 and 10,000); ORVEX_MONKEY_SEED replays.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

#include "camera/ConfigStore.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/BoxWatcher.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/MenuWatcher.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "transfer/CopyToDisk.h"
#include "view/CameraView.h"

namespace {

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* text = getenv(name);
    return text && *text ? unsigned(strtoul(text, nullptr, 10)) : fallback;
}

struct Usage {
    DWORD handles = 0, userObjects = 0, gdiObjects = 0;
    size_t privateBytes = 0;

    static Usage Now() {
        Usage usage;
        // Wine keeps no handle count: the value a new handle gets (the lowest
        // free slot) climbs when handles leak.
        if (!GetProcessHandleCount(GetCurrentProcess(), &usage.handles) || usage.handles == 0) {
            HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            usage.handles = DWORD(reinterpret_cast<uintptr_t>(probe) / 4);
            CloseHandle(probe);
        }
        usage.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        usage.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        usage.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        return usage;
    }
};

std::ostream& operator<<(std::ostream& out, const Usage& u) {
    return out << u.handles << " handles, " << u.userObjects << " window objects, " << u.gdiObjects
               << " GDI objects, " << u.privateBytes / 1024 << " KB private";
}

class LongUse : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        keys_ = std::make_unique<CardModelKeys>(card_.Root());
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
        cardFolder_ = card_.Folder();
    }
    // The same model as a serial camera: the simulator of tests/serial-camera.sh on COM5.
    bool UseSerialCamera() {
        const char* card = getenv("ORVEX_SERIAL_CARD");
        if (!card) return false;
        keys_->model->SetString("Connection", "Remote");
        line_ = std::make_unique<SimulatorLineKeys>("Memory Card");
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
        folderName_ = "100ORVEX";
        cardFolder_ = std::string(card) + "\\DCIM\\100ORVEX";
        return true;
    }
    void TearDown() override {
        Close();
        source_.Reset();
        line_.reset();
        keys_.reset();
        CoreTest::TearDown();
    }

    CameraView* Open() {
        Close();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName_));
        if (folder_->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()) != S_OK) return nullptr;
        host_ = std::make_unique<BrowserHost>();
        if (host_->Open(view_.Get()) != S_OK) return nullptr;
        auto* view = static_cast<CameraView*>(view_.Get());
        WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() > 0; }, 5000);
        return view;
    }
    // A command as the browser's menu or toolbar sends it.
    void Command(int command) {
        HWND window = nullptr;
        if (view_ && view_->GetWindow(&window) == S_OK) SendMessageA(window, WM_COMMAND, WPARAM(command), 0);
    }
    void Close() {
        for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
        host_.reset();
        view_.Reset();
        folder_.Reset();
    }
    // Puts pictures back when deletes have emptied the card, and takes away
    // what pastes of copies added beyond a card's worth: each copy and paste
    // doubles the card, and a leak check needs the same amount of data.
    void KeepCardBetween(size_t fewest, size_t most) {
        std::vector<std::string> pictures;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((cardFolder_ + "\\*.*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) pictures.push_back(found.cFileName);
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        for (size_t i = most; i < pictures.size(); ++i) DeleteFileA((cardFolder_ + "\\" + pictures[i]).c_str());
        for (size_t i = pictures.size(); i < fewest; ++i)
            card_.Write(cardFolder_ + "\\REFILL" + std::to_string(refills_++) + ".jpg",
                        MakeJpeg(QuadrantBitmap(320, 240), {}));
    }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_;
    std::unique_ptr<SimulatorLineKeys> line_;
    // The loader's error box opens on its worker thread, out of a test hook's sight.
    BoxWatcher workerBoxes_{IDCANCEL, 300};
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    ComRef<IShellView> view_;
    std::unique_ptr<BrowserHost> host_;
    std::string folderName_ = "100TEST", cardFolder_;
    int refills_ = 0;

    void Monkey(unsigned actions);
};

// Wine keeps no count of window and GDI objects (GetGuiResources answers 0),
// so there the handle count and private memory carry the check.
TEST_F(LongUse, OpeningFillingAndClosingAViewManyTimesGrowsNothing) {
    unsigned cycles = EnvNumber("ORVEX_CYCLES", 60);
    const unsigned warmUp = 10;
    Usage before;
    for (unsigned i = 0; i < cycles + warmUp; ++i) {
        if (i == warmUp) before = Usage::Now();
        CameraView* view = Open();
        ASSERT_NE(view, nullptr);
        host_->Pump(i % 3 == 0 ? 200 : 20);  // sometimes the loader finishes, sometimes it is stopped
        if (i % 4 == 0) Command(CameraView::kListView);
        Close();
    }
    Usage after = Usage::Now();
    std::printf("%u cycles: before %s\n", cycles, testing::PrintToString(before).c_str());
    std::printf("%u cycles: after  %s\n", cycles, testing::PrintToString(after).c_str());
    EXPECT_LE(after.handles, before.handles + 10) << before << " -> " << after;
    EXPECT_LE(after.userObjects, before.userObjects + 10);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 10);
    EXPECT_LE(after.privateBytes, before.privateBytes + 8 * 1024 * 1024) << before << " -> " << after;
}

// The card leaves its drive while its pictures are being copied: the error
// box's Cancel ends the copy with nothing left in the transfer directory, and
// with the card back a Refresh makes the view usable again.
TEST_F(LongUse, ACardPulledDuringACopyLeavesNothingAndARefreshBringsItBack) {
    const int pictures = 40;
    for (int i = 3; i < pictures; ++i)
        card_.Write(card_.Folder() + "\\MORE" + std::to_string(i) + ".jpg", MakeJpeg(QuadrantBitmap(320, 240), {}));
    CameraView* view = Open();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->Control()->GetItemCount(), pictures);
    std::string transfer = WorkDirectory() + "TRANSFER";
    RemoveTree(transfer);
    CreateDirectoryA(transfer.c_str(), nullptr);
    Command(CameraView::kSelectAll);
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(view->CreateDataObject(nullptr));
    ASSERT_TRUE(data);
    // The card goes as soon as the first picture has arrived.
    std::string pulled = card_.Folder() + "-pulled";
    HANDLE arrivals = FindFirstChangeNotificationA(transfer.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_NE(arrivals, INVALID_HANDLE_VALUE);
    std::atomic<bool> wasPulled{false};
    std::thread puller([&] {
        if (WaitForSingleObject(arrivals, 10000) == WAIT_OBJECT_0)
            wasPulled = MoveFileA(card_.Folder().c_str(), pulled.c_str()) != 0;
    });
    FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    {
        DialogAnswerer answerer(IDCANCEL);
        EXPECT_EQ(data->GetData(&files, &medium), E_UNEXPECTED);
        puller.join();
        FindCloseChangeNotification(arrivals);
        ASSERT_TRUE(wasPulled);
        EXPECT_FALSE(answerer.Captions().empty());  // "Image Acquisition error."
    }
    WIN32_FIND_DATAA found;
    HANDLE left = FindFirstFileA((transfer + "\\*.*").c_str(), &found);
    int leftFiles = 0;
    if (left != INVALID_HANDLE_VALUE) {
        do leftFiles += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (FindNextFileA(left, &found));
        FindClose(left);
    }
    EXPECT_EQ(leftFiles, 0);

    ASSERT_TRUE(MoveFileA(pulled.c_str(), card_.Folder().c_str()));
    Command(CameraView::kRefresh);
    WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == pictures; }, 5000);
    Command(CameraView::kSelectAll);
    ComRef<IDataObject> again = ComRef<IDataObject>::Share(view->CreateDataObject(nullptr));
    ASSERT_EQ(again->GetData(&files, &medium), S_OK);
    EXPECT_EQ(DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0), UINT(pictures));
    ReleaseStgMedium(&medium);
    data.Reset();
    again.Reset();
}

// Answers every question of the view at random: delete confirmations,
// error boxes, property boxes.
void AnswerAtRandom(HWND, void* context) {
    auto* answerer = static_cast<DialogAnswerer*>(context);
    static std::mt19937 random(7);
    const int answers[] = {IDYES, IDNO, IDOK, IDCANCEL};
    answerer->SetAnswer(answers[random() % 4]);
}

void LongUse::Monkey(unsigned actions) {
    unsigned seed = EnvNumber("ORVEX_MONKEY_SEED", std::random_device{}());
    std::printf("monkey: %u actions, seed %u (ORVEX_MONKEY_SEED=%u replays it)\n", actions, seed, seed);
    std::mt19937 random(seed);
    DialogAnswerer answerer(IDCANCEL);
    answerer.OnDialog(AnswerAtRandom, &answerer);
    MenuWatcher menus;
    CameraView* view = Open();
    ASSERT_NE(view, nullptr);
    const int commands[] = {CameraView::kCopy,        CameraView::kRotate,      CameraView::kDelete,
                            CameraView::kSelectAll,   CameraView::kRefresh,     CameraView::kPaste,
                            CameraView::kThumbnailView, CameraView::kListView, CameraView::kProperties,
                            CameraView::kPreview};
    const WORD keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE, 'A'};
    // An action that does not come back is a hang: say which, and end the run.
    std::atomic<DWORD> actionStart{GetTickCount()};
    std::atomic<unsigned> current{0}, currentKind{0};
    struct Watchdog {
        std::atomic<bool> finished{false};
        std::thread thread;
        ~Watchdog() {
            finished = true;
            if (thread.joinable()) thread.join();
        }
    } watchdog;
    watchdog.thread = std::thread([&] {
        while (!watchdog.finished) {
            Sleep(200);
            if (!watchdog.finished && GetTickCount() - actionStart > 30000) {
                std::printf("monkey: action %u (kind %u) of seed %u hangs\n", current.load(), currentKind.load(), seed);
                fflush(stdout);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    });
    Usage before = Usage::Now();
    for (unsigned i = 0; i < actions; ++i) {
        unsigned kind = random() % 10;
        DWORD start = GetTickCount();
        actionStart = start;
        current = i;
        currentKind = kind;
        if (getenv("ORVEX_MONKEY_TRACE")) std::printf("action %u kind %u\n", i, kind), fflush(stdout);
        HWND window = nullptr;
        view_->GetWindow(&window);
        HWND grid = FindDescendant(window, "LayoutImpWin");
        HWND list = FindDescendant(window, "SysListView32");
        HWND target = grid ? grid : list;
        RECT area = {};
        if (target) GetClientRect(target, &area);
        LPARAM at = MAKELPARAM(random() % UINT(area.right + 1), random() % UINT(area.bottom + 1));
        HWND cell = grid ? ChildWindowFromPoint(grid, {LOWORD(at), HIWORD(at)}) : target;
        HWND hit = cell ? cell : target;
        WPARAM modifiers = (random() % 3 == 0 ? MK_CONTROL : 0) | (random() % 4 == 0 ? MK_SHIFT : 0);
        switch (kind) {
            case 0:
            case 1:
                if (hit) {
                    SendMessageA(hit, WM_LBUTTONDOWN, MK_LBUTTON | modifiers, MAKELPARAM(10, 10));
                    SendMessageA(hit, WM_LBUTTONUP, modifiers, MAKELPARAM(10, 10));
                }
                break;
            case 2:
                if (hit) SendMessageA(hit, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
                break;
            case 3: host_->PressKey(keys[random() % 10], random() % 4 == 0); break;
            case 4:
            case 5: Command(commands[random() % 10]); break;
            case 6: if (target) PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0); break;
            case 8:  // a real OLE drag of the selection, dropped wherever the cursor is
                SetCursorPos(int(random() % 1280), int(random() % 960));
                view->BeginDrag();
                break;
            case 9:  // a real right click: the context menu, which the menu watcher closes
                if (hit) {
                    POINT screen = {10, 10};
                    ClientToScreen(hit, &screen);
                    SendClick(screen, true);
                }
                break;
            default:
                if (random() % 8 == 0) {
                    view = Open();  // a new visit to the folder
                    ASSERT_NE(view, nullptr) << "action " << i << " seed " << seed;
                }
        }
        host_->Pump(5);
        for (HWND viewer : OwnWindowsOfClass("FrameHelperWin")) DestroyWindow(viewer);
        EXPECT_LT(GetTickCount() - start, 15000u) << "action " << i << " (kind " << kind << ") seed " << seed;
        if (i % 50 == 49) KeepCardBetween(4, 40);
    }
    watchdog.finished = true;
    Close();
    OpenClipboard(nullptr);  // our data on the clipboard holds the folder
    EmptyClipboard();
    CloseClipboard();
    Usage after = Usage::Now();
    std::printf("monkey: %zu context menus\n", menus.Menus().size());
    std::printf("monkey: before %s\nmonkey: after  %s\n", testing::PrintToString(before).c_str(),
                testing::PrintToString(after).c_str());
    EXPECT_LE(after.handles, before.handles + 20) << before << " -> " << after;
    EXPECT_LE(after.privateBytes, before.privateBytes + 16 * 1024 * 1024) << before << " -> " << after;
}

// The camera stops answering in the middle of a thumbnail (--stall-after 1000
// --stall-seconds 4): closing the view ends the loader's read at once, not
// after a line timeout, and asks nothing of a user who has left.
TEST_F(LongUse, ClosingAViewWhileTheSerialCameraStallsAsksNothing) {
    if (!UseSerialCamera()) GTEST_SKIP() << "needs tests/serial-camera.sh";
    DialogAnswerer answerer(IDCANCEL);
    ASSERT_NE(Open(), nullptr);
    host_->Pump(1500);  // the first thumbnail is under way, then the camera stalls
    DWORD start = GetTickCount();
    Close();
    DWORD closing = GetTickCount() - start;
    std::printf("closing the view during a stall: %lu ms\n", closing);
    EXPECT_LT(closing, 2000u);
    EXPECT_TRUE(answerer.Captions().empty());
}

TEST_F(LongUse, RandomUserActionsNeverCrashHangOrLeak) { Monkey(EnvNumber("ORVEX_ACTIONS", 400)); }

// Against the camera simulator (tests/serial-camera.sh); skipped without it.
TEST_F(LongUse, RandomUserActionsOnASerialCamera) {
    if (!UseSerialCamera()) GTEST_SKIP() << "needs tests/serial-camera.sh";
    Monkey(EnvNumber("ORVEX_SERIAL_ACTIONS", 150));
}

}  // namespace
