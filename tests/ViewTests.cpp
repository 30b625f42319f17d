// The views in a browser host of our own, the image controls in a window of their own, and the pictures out of
// the camera: copied (a drag and its formats, retry, turn, progress, cancel, safe names), printed (every layout
// on metafiles, a failing camera, the real dialog to the paper) and shown full size (zoomed, scrolled, turned;
// a failing camera, a busy folder). All through real windows, messages, input, clipboard and drags.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <thread>
#include <utility>

#include "JpegCodec.h"
#include "controls/LayoutImp.h"
#include "controls/SimpleControl.h"
#include "controls/ThumbnailControl.h"
#include "print/ContactSheet.h"
#include "print/FixedLayout.h"
#include "print/PrintCommand.h"
#include "print/PrintLayouts.h"
#include "server/CameraFolder.h"
#include "server/RootView.h"
#include "server/SourceFolder.h"
#include "support/BoxWatcher.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/MenuWatcher.h"
#include "support/MetafilePages.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "support/TestPrinter.h"
#include "transfer/CopyToDisk.h"
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"
#include "view/CameraView.h"
#include "viewer/FullResViewer.h"

namespace {

using Names = std::vector<std::string>;

std::string ListText(HWND list, int row, int column = 0) {
    char text[128] = {};
    ListView_GetItemText(list, row, column, text, sizeof text);
    return text;
}

// The rows that show their picture (image 1) rather than the placeholder (0).
int RowsWithPictures(HWND list) {
    int shown = 0;
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    for (; SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)); ++item.iItem) shown += item.iImage;
    return shown;
}

using Pair = std::pair<LONG, LONG>;
Pair Size(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }
RECT WindowRect(HWND window) { RECT r; GetWindowRect(window, &r); return r; }
void CursorOnto(HWND w) { RECT r = WindowRect(w); SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

// Closes the one full-size viewer open and gives its title; "" when not just one is open.
std::string CloseViewer() {
    std::vector<HWND> frames = OwnWindowsOfClass("FrameHelperWin");
    char title[256] = {};
    if (frames.size() == 1) GetWindowTextA(frames[0], title, sizeof title), DestroyWindow(frames[0]);
    return title;
}

// A browser window of our own on the views of a memory card model's card.
class CameraViewTest : public CoreTest {
protected:
    void SetUp() override { CoreTest::SetUp(), UseSource("Local"); }
    void TearDown() override { CloseView(), source_.Reset(), CoreTest::TearDown(); }
    void UseSource(const char* kind) { source_ = ComRef<SourceFolder>::Share(new SourceFolder(kind)); }
    void Show(IShellFolder* folder) {
        host_ = std::make_unique<BrowserHost>();
        EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
        EXPECT_EQ(host_->Open(view_.Get()), S_OK);
    }
    // Opens the view of `folderName` ("": the "Hard Disk" folder) and waits for its `items`.
    CameraView* Open(const std::string& folderName = "100TEST", int items = 3) {
        CloseView();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName));
        if (folderName.empty()) folder_->SetKind("Viewer");
        Show(folder_.Get());
        auto* view = static_cast<CameraView*>(view_.Get());
        bool filled = WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == items; }, 5000);
        EXPECT_TRUE(filled || !items) << folderName << " does not show " << items << " pictures";
        return view;
    }
    void CloseView() { host_.reset(), view_.Reset(), folder_.Reset(); }
    void Command(int command) { SendMessageA(host_->Window(), WM_COMMAND, command, 0); }
    bool Grayed(int command) { return GetMenuState(host_->menu, command, MF_BYCOMMAND) & MF_GRAYED; }
    std::string Status() { return host_->StatusText(0) + "|" + host_->StatusText(1) + "|" + host_->StatusText(2); }
    // The selection commands usable from the menus, then from the toolbar.
    std::string Usable() {
        std::string menu = "menu:", toolbar = " toolbar:";
        const struct { int command; const char* name; bool button; } commands[] = {{CameraView::kCopy, " Copy", false},
            {CameraView::kRotate, " Rotate", true}, {CameraView::kDelete, " Delete", true},
            {CameraView::kSelectAll, " SelectAll", false}, {CameraView::kProperties, " Properties", true}};
        for (const auto& c : commands) {
            if (!Grayed(c.command)) menu += c.name;
            if (c.button && host_->ButtonEnabled(c.command)) toolbar += c.name;
        }
        return menu + toolbar;
    }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_ = std::make_unique<CardModelKeys>(card_.Root());
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    ComRef<IShellView> view_;
    std::unique_ptr<BrowserHost> host_;
};

using RootViewTest = CameraViewTest;

// The sources, their icons and Enter on one are seen through Wine's explorer
// (ExplorerSmoke); here what a refill, the status line and the menus show.
TEST_F(RootViewTest, RefillsShowEachSourceOnceAndSettingsAndAboutMergeAndOpen) {
    ComRef<IShellFolder> root = InitializedRoot();
    Show(root.Get());
    auto rows = [&] { return SendMessageA(FindDescendant(host_->Window(), "SysListView32"), LVM_GETITEMCOUNT, 0, 0); };
    WaitUntil(rows, 5000);
    for (int refill = 0; refill < 2; ++refill) EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(Status(), "|OrvexView|");

    EXPECT_EQ(GetMenuItemID(GetSubMenu(host_->menu, 2), 2), UINT(RootView::kSettings));  // after a separator

    DialogAnswerer answerer(IDCANCEL);
    Command(RootView::kSettings);  // through the browser, as its menu does
    Command(RootView::kAbout);
    const std::string about = "About " + theModule.productName + " - version " + theModule.productVersion;
    EXPECT_EQ(answerer.Captions(), (Names{"Digital Camera Settings", about}));
}

TEST_F(CameraViewTest, SelectionDrivesMenusToolbarStatusAndBoxesAndCellsKeepASizeTheyCanShow) {
    CameraView* view = Open();
    EXPECT_EQ(Status(), "Total images: 3    Selected: 0 |Removable Media|");
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kSelectFolder));  // not a disk folder
    EXPECT_EQ(Usable(), "menu: SelectAll toolbar:");
    MenuWatcher menus;
    RECT area = WindowRect(view->Control()->GetWindow());
    SendClick({area.right - 5, area.bottom - 5}, true);  // the control's empty part: the background's menu
    ASSERT_TRUE(WaitUntil([&] { return menus.Menus().size() == 1; }, 3000));
    view->ContextMenuRequested(0, "img_0001.jpg");
    EXPECT_EQ(menus.Menus(), (std::vector<Names>{
        {"&Thumbnail View [checked]", "&List View", "-", "Refresh", "Select &Folder [grayed]", "-", "&Paste [grayed]",
         "Select &All", "-", "Pr&int...", "&Settings", "-", "About &" + theModule.productName},
        {"Pre&view [grayed]", "-", "&Copy", "R&otate", "&Delete", "-", "Pr&int...", "-", "P&roperties [grayed]"}}));

    view->Control()->SelectItem("img_0001.jpg", 1);
    EXPECT_EQ(Usable(), "menu: Copy Rotate Delete SelectAll Properties toolbar: Rotate Delete Properties");
    DialogAnswerer answerer(IDOK);
    Command(CameraView::kProperties);
    ASSERT_EQ(answerer.Texts().size(), 1u);
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "File:\t" + card_.Folder() + "\\img_0001.jpg\nSize:\t",
                        answerer.Texts()[0]);
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Picture:\t800 x 600 pixels", answerer.Texts()[0]);

    view->Control()->SelectItem("IMG_0002.JPG", 1);
    EXPECT_EQ(Usable(), "menu: Copy Rotate Delete SelectAll toolbar: Rotate Delete");  // two: no properties

    // The cell width a user set, when it is one the view can show; else 90.
    const std::pair<const char*, int> widths[] = {{"31", 90}, {"32", 32}, {"200", 200}, {"201", 90}, {"abc", 90},
                                                  {"120px", 120}};
    for (const auto& c : widths) {
        keys_->model->SetString("ThumbFrameSize", c.first);
        EXPECT_EQ(view->CellWidth(), c.second) << c.first;
    }
}

// At the screen's DPI (tests/high-dpi.sh runs this at 192): a 90-pixel cell is drawn 180 pixels wide, and the
// viewer's toolbar pictures grow with it.
TEST_F(CameraViewTest, CellsAndToolbarsGrowWithTheScreensDpi) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi == 96) GTEST_SKIP() << "tests/high-dpi.sh runs it at 192 DPI";
    CameraView* view = Open();
    RECT cell = WindowRect(FindDescendant(host_->Window(), "SimpleControlWin"));
    EXPECT_EQ(cell.right - cell.left, 90 * dpi / 96);
    view->ItemOpened(0, "IMG_0002.JPG");
    HWND toolbar = FindDescendant(FindWindowA("FrameHelperWin", nullptr), "ToolbarWindow32");
    EXPECT_GE(LOWORD(SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0)), 16 * dpi / 96);
    EXPECT_NE(CloseViewer(), "");
}

TEST_F(CameraViewTest, KeysTurnOpenPrintSelectAllAndARefreshForgetsTheTurns) {
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    for (int turn : {-90, -180, -270, 0, -90}) {
        host_->PressKey('R', true);
        EXPECT_EQ(view->Items()[1].rotation, turn);
    }
    EXPECT_EQ(view->Items()[0].rotation, 0);

    view->ItemOpened(0, "IMG_0002.JPG");  // a double click: the full-size viewer
    EXPECT_NE(CloseViewer(), "");
    DialogAnswerer printing(IDCANCEL);  // the print dialog, or the system's note that there is no printer yet
    host_->PressKey('P', true);
    EXPECT_FALSE(printing.Captions().empty());
    EXPECT_TRUE(IsWindowEnabled(host_->Window()));
    host_->PressKey('A', true);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 3 ");

    host_->PressKey(VK_F5);
    EXPECT_EQ(Status(), "Total images: 3    Selected: 0 |Removable Media|");
    EXPECT_EQ(view->Items()[1].rotation, 0);
}

// A video opens in the program the user has for its kind, from a copy; it is not turned, and printing it alone
// is refused with a word why.
TEST_F(CameraViewTest, AVideoPlaysInTheUsersOwnProgramAndIsNeverTurnedOrPrinted) {
    std::string clip = card_.Folder() + "\\MVI_0004.MOV", played = MakeTempDir("played") + "\\played.mov";
    card_.Write(clip, ReadFileBytes(CameraFilesFolder() + "/QuickTime.mov"));
    ScopedRegKey kind(HKEY_LOCAL_MACHINE, "Software\\Classes\\.mov"), player(HKEY_LOCAL_MACHINE, "Software\\Classes\\OrvexTest.Clip");
    kind.SetString(nullptr, "OrvexTest.Clip");
    ScopedRegKey command(HKEY_LOCAL_MACHINE, "Software\\Classes\\OrvexTest.Clip\\shell\\open\\command");
    command.SetString(nullptr, "cmd.exe /c copy \"%1\" \"" + played + "\"");
    CameraView* view = Open("100TEST", 4);

    {
        DialogAnswerer copying(IDOK);  // the copy's progress box has no OK: it is left to finish
        view->ItemOpened(3, "MVI_0004.MOV");  // a double click
        EXPECT_TRUE(WaitUntil([&] { return !ReadFileBytes(played).empty(); }, 10000));
    }
    EXPECT_EQ(ReadFileBytes(played), ReadFileBytes(clip));
    EXPECT_EQ(FindWindowA("FrameHelperWin", nullptr), nullptr) << "a video has no picture viewer";

    view->Control()->SelectItem("MVI_0004.MOV", 1);
    EXPECT_EQ(Usable(), "menu: Copy Delete SelectAll Properties toolbar: Delete Properties");
    DialogAnswerer printing(IDOK);
    host_->PressKey('P', true);
    ASSERT_EQ(printing.Captions(), std::vector<std::string>{"Print"});
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Videos are not printed", printing.Texts()[0]);
    RemoveTree(played.substr(0, played.rfind('\\')));
}

TEST_F(CameraViewTest, TheListShowsTheCardsDetailsKeepsTheSelectionAndIsRemembered) {
    BoxWatcher errors(IDCANCEL);
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kListView);
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));
    HWND list = view->Control()->GetWindow();
    ASSERT_TRUE(WaitUntil([&] { return RowsWithPictures(list) == 3; }, 5000));  // every file fetched
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    EXPECT_EQ(errors.Count(), 0);

    Command(CameraView::kThumbnailView);
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    for (int i = 0; i < 100; ++i) {  // each list frees its icons once: a reference of ours outlives them then
        Command(CameraView::kListView);
        auto* icons = reinterpret_cast<IUnknown*>(ListView_GetImageList(view->Control()->GetWindow(), LVSIL_SMALL));
        icons->AddRef();  // an image list is a COM object too
        Command(CameraView::kThumbnailView);
        ASSERT_EQ(ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(icons)), 2) << "freed twice, switch " << i;
        icons->Release();
    }
    Command(CameraView::kListView);
    Open();
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));  // the next view opens as a list
}

TEST_F(CameraViewTest, TheStatusLineNamesTheSourceAndALostCameraIsReported) {
    ScopedRegKey viewer(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
    viewer.SetString("Path", BinPath("diskcam.dll"));
    viewer.SetString("CurrentFolder", card_.Folder());
    UseSource(SourceFolder::kImageViewer);
    Open("");
    EXPECT_EQ(Status(), "Total images: 3    Selected: 0 |Images on Disk|" + card_.Folder());
    EXPECT_TRUE(host_->ButtonEnabled(CameraView::kSelectFolder));

    // A serial camera that does not answer (its driver is missing) still names itself and its link.
    keys_->settings->SetString("Camera", "Serial Cam");
    ScopedRegKey model(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam"));
    model.SetString("Connection", "Remote");
    ScopedRegKey remote(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote"));
    ScopedRegKey serial(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote\\Serial"));
    serial.SetString("Path", BinPath("no-such-driver.dll"));
    serial.SetString("ComPort", "COM5");
    serial.SetString("ComSpeed", "115200");
    for (const auto& link : {std::make_pair("Serial", "COM5  115200 bps"), std::make_pair("Parallel", "Parallel")}) {
        remote.SetString("RemoteConnectionType", link.first);
        DialogAnswerer answerer(IDOK);
        UseSource("Remote");
        Open("A", 0);
        ASSERT_TRUE(WaitUntil([&] { return !answerer.Texts().empty(); }, 5000));
        EXPECT_EQ(answerer.Texts()[0], "Connection Error.\nPlease check the connection and the camera settings.");
        EXPECT_EQ(Status(), std::string("Total images: 0    Selected: 0 |Serial Cam|") + link.second);
    }
}

TEST_F(CameraViewTest, DeleteAsksTheQuestionsTheCameraCallsAndKeepsTheRestInOrder) {
    const std::string selected = "Are you sure you want to delete selected images?";
    const std::string all = "Are you sure you want to delete all images?";
    const std::string warning = "WARNING! This command will permanently delete ALL images!\nDo you want to proceed?";
    const Names three = {"FAKE1.JPG", "FAKE2.JPG", "FAKE3.JPG"};
    // caps=2: the camera deletes only all at once; noAt: the question answered No (0: none).
    const struct { const char* settings; int images; Names select; int noAt; Names questions, left; } cases[] = {
        {"images=3 caps=3", 3, three, 0, {all, warning}, {}},  // every picture: the camera's delete-all
        {"images=3 caps=3", 3, three, 2, {all, warning}, three},
        {"images=1 caps=3", 1, {"FAKE1.JPG"}, 0, {selected}, {}},
        {"images=5 caps=3", 5, {"FAKE2.JPG", "FAKE4.JPG"}, 0, {selected}, {"FAKE1.JPG", "FAKE3.JPG", "FAKE5.JPG"}},
        {"images=3 caps=2", 3, {}, 0, {all, warning}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " no at " + std::to_string(c.noAt));
        keys_->local->SetString("Path", BinPath("fakecam.dll") + "," + c.settings);
        UseSource("Local");
        CameraView* view = Open("FAKE", c.images);
        // Usable without a selection only as the camera's delete-all (the case that selects nothing).
        EXPECT_EQ(host_->ButtonEnabled(CameraView::kDelete), c.select.empty());
        for (const std::string& name : c.select) view->Control()->SelectItem(name.c_str(), 1);

        DialogAnswerer answerer(IDYES);
        std::pair<DialogAnswerer*, int> script = {&answerer, c.noAt};  // counts down to the No
        answerer.OnDialog([](HWND, void* context) {
            auto* counting = static_cast<std::pair<DialogAnswerer*, int>*>(context);
            counting->first->SetAnswer(--counting->second == 0 ? IDNO : IDYES);
        }, &script);
        host_->PressKey(VK_DELETE);
        EXPECT_EQ(answerer.Texts(), c.questions);
        Names kept;
        for (int i = 0; i < folder_->GetImageCount(); ++i) kept.push_back(folder_->GetImageName(i));
        EXPECT_EQ(kept, c.left);
        EXPECT_EQ(view->Control()->GetItemCount(), int(c.left.size()));
    }
}

// A camera that tells of pictures taken and deleted on it, from its own thread: the view follows by itself, and
// once closed hears nothing more.
TEST_F(CameraViewTest, PicturesTakenAndDeletedOnTheCameraComeAndGoByThemselves) {
    FakeCameraLibrary camera;
    const FakeWatchCounts before = camera.Counts();
    keys_->local->SetString("Path", BinPath("fakecam.dll") + ",images=2");
    CameraView* view = Open("FAKE", 2);
    auto elsewhere = [](const std::function<void()>& work) { std::thread(work).join(); };
    elsewhere([&] { camera.Change("NEW1.JPG", true), camera.Change("NEW1.JPG", true), camera.Change("NONE.JPG", false); });
    ASSERT_TRUE(WaitUntil([&] { return view->Control()->GetItemCount() == 3; }, 5000));
    view->Control()->SelectItem("NEW1.JPG", 1);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 1 ");
    view->ItemOpened(0, "NEW1.JPG");
    EXPECT_EQ(CloseViewer(), "NEW1.JPG - Full Resolution Image (100%)");

    elsewhere([&] { camera.Change("FAKE1.JPG", false); });
    ASSERT_TRUE(WaitUntil([&] { return view->Control()->GetItemCount() == 2; }, 5000));
    Names shown;
    for (const ViewItem& item : view->Items()) shown.push_back(item.name);
    EXPECT_EQ(shown, (Names{"FAKE2.JPG", "NEW1.JPG"}));
    EXPECT_EQ(host_->StatusText(0), "Total images: 2    Selected: 1 ");

    std::atomic<bool> closed{false};
    std::thread busy([&] {
        for (int i = 0; !closed; ++i, Sleep(1)) camera.Change("BURST" + std::to_string(i % 5) + ".JPG", i % 2);
    });
    host_->Pump(100);
    host_.reset(), Sleep(50);  // the window goes; a browser lets the folder go later
    CloseView();
    closed = true, busy.join();
    WaitUntil([&] { return camera.Counts().released != before.released; }, 5000);  // a loader may keep the folder
    FakeWatchCounts after = camera.Counts();
    EXPECT_EQ((std::vector<LONG>{after.given - before.given, after.released - before.released, after.overReleased,
                                 after.changesForDeadWindows, after.destroyedWatched}),
              (std::vector<LONG>{1, 1, 0, 0, 0}));
}

// What a second program (clipboard_reader.exe) reads from the clipboard, saving streams into `folder`; this
// thread pumps meanwhile.
std::string ReadClipboardElsewhere(const std::string& folder) {
    std::string out = WorkDirectory() + "reader.txt", line = BinPath("clipboard_reader.exe") + " " + folder;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};  // NOLINT
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup, startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
        CloseHandle(process.hThread), CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdOutput);
    std::string text;
    for (uint8_t c : ReadFileBytes(out)) if (c != '\r') text += char(c);
    DeleteFileA(out.c_str());
    return text;
}

TEST_F(CameraViewTest, PicturesTravelByClipboardAndDragBetweenProgramsAndFolders) {
    std::string path = card_.Root() + "\\holiday.jpg";
    CameraView* view = Open();
    card_.Write(path, ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    // A picture beside the card's folders, and the shell's own data object for it, as its folder views hand out.
    std::wstring wide(path.begin(), path.end());
    ComRef<IShellItem> item;
    ComRef<IDataObject> data;
    ASSERT_EQ(SHCreateItemFromParsingName(wide.c_str(), nullptr, IID_IShellItem, item.PutVoid()), S_OK);
    ASSERT_EQ(item->BindToHandler(nullptr, BHID_DataObject, IID_IDataObject, data.PutVoid()), S_OK);

    // As another program copying or clearing; the view watches the clipboard.
    auto pasteGrayedWith = [&](IDataObject* offer) {
        OleSetClipboard(offer);
        host_->Pump(200);
        return Grayed(CameraView::kPaste);
    };
    EXPECT_FALSE(pasteGrayedWith(data.Get()));
    Command(CameraView::kPaste);
    EXPECT_EQ(view->Control()->GetItemCount(), 4);
    EXPECT_EQ(view->Items().back().name, "holiday.jpg");
    EXPECT_EQ(ReadFileBytes(card_.Folder() + "\\holiday.jpg"), ReadFileBytes(path));
    EXPECT_TRUE(pasteGrayedWith(nullptr));

    view->Control()->SelectItem("img_0001.jpg", 1);
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kCopy);
    EXPECT_FALSE(Grayed(CameraView::kPaste));  // our own files are pictures the card takes

    // Real OLE drag loops; no button is down, so they drop where the cursor is: on the view itself, which refuses
    // its own pictures, then on the card's other folder, open in a second browser window on top.
    CursorOnto(host_->Window());
    view->BeginDrag();
    EXPECT_EQ(view->Items().size(), 4u);
    auto other = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), "101TEST"));
    ComRef<IShellView> otherView;
    ASSERT_EQ(other->CreateViewObject(nullptr, IID_IShellView, otherView.PutVoid()), S_OK);
    BrowserHost otherHost;
    ASSERT_EQ(otherHost.Open(otherView.Get()), S_OK);
    CursorOnto(otherHost.Window());
    view->BeginDrag();
    const std::vector<ViewItem>& arrived = static_cast<CameraView*>(otherView.Get())->Items();
    ASSERT_EQ(arrived.size(), 2u);
    Names copied = {"img_0001.jpg", "IMG_0002.JPG"};  // the card's first two, as selected, under their own names
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(arrived[i].name, copied[i]);
        EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + copied[i]),
                  ReadFileBytes(card_.Folder() + "\\" + copied[i]));
    }
    otherHost.Close();

    // The copy outlives its view and is first read after the view has gone, the shell's way in each format.
    CloseView();
    std::map<std::string, Names> read;
    std::string streams = MakeTempDir("streams"), line, folder;
    std::istringstream lines(ReadClipboardElsewhere(streams));
    while (std::getline(lines, line)) {
        std::string kind = line.substr(0, line.find(' ')), file = line.substr(kind.size() + 1);
        if (kind != "stream") folder = file.substr(0, file.rfind('\\'));
        read[kind].push_back(file.substr(file.rfind('\\') + 1));
        EXPECT_EQ(ReadFileBytes(file), ReadFileBytes(card_.Folder() + "\\" + read[kind].back())) << line;
    }
    EXPECT_EQ(read, (std::map<std::string, Names>{{"file", copied}, {"id", copied}, {"stream", copied}}));
    view = Open("101TEST", 2);  // and pasted into another folder
    Command(CameraView::kPaste);
    ASSERT_EQ(view->Items().size(), 4u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + view->Items()[i + 2].name),
                  ReadFileBytes(card_.Folder() + "\\" + copied[i]));
    OleSetClipboard(nullptr);  // a released copy takes its files along
    EXPECT_TRUE(!folder.empty() && GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) << folder;
    RemoveTree(streams);
}

struct RecordingSink final : ImageControlSink {
    int drags = 0;
    Names opened, selections;
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int, const char*) override {}
    void ItemOpened(int, const char* name) override { opened.push_back(name); }
    void SelectionChanged(const char* name, int selected, int) override {
        selections.push_back(std::string(name ? name : "") + (selected ? "+" : "-"));
    }
    void BeginDrag() override { ++drags; }
};

// A top-level window that hosts one image control: the thumbnails here, the list below.
class ThumbnailTest : public CoreTest {
protected:
    void TearDown() override { Destroy(), DestroyWindow(host_), CoreTest::TearDown(); }
    void Destroy() { if (ImageControl* c = std::exchange(control_, nullptr)) c->DestroyControl(), c->Destroy(1); }
    // A control (kind 1: thumbnails, 0: list) with a `width` x `height` client area showing IMG_0.JPG...
    void Create(int width, int height, int images = 0, int kind = 1) {
        Destroy();
        (control_ = CreateImageControl(kind))->SetSink(&sink_);
        RECT rect = {0, 0, width - 1, height - 1};
        ASSERT_TRUE(control_->CreateControl(0, "", 0, &rect, host_, 0));
        if (kind) control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), 1);
        for (int i = 0; i < images; ++i) AddImage(Name(i));
    }
    static std::string Name(int i) { return "IMG_" + std::to_string(i) + ".JPG"; }
    void AddImage(const std::string& name, int width = 64, int height = 48) {
        images_.push_back(std::make_unique<FakeImage>(name, MakeJpeg(QuadrantBitmap(width, height), {}), &log_));
        control_->AddItem(images_.back().get(), name.c_str(), -1);
    }
    LayoutImp* Layout() { return static_cast<ThumbnailControl*>(control_)->Layout(); }
    SimpleControl* Cell(int index) { return static_cast<SimpleControl*>(Layout()->CellAt(index)); }
    std::vector<int> Cells(int (ThumbnailCell::*has)()) {
        std::vector<int> cells;
        for (int i = 0; i < Layout()->GetItemCount(); ++i)
            if ((Layout()->CellAt(i)->*has)()) cells.push_back(i);
        return cells;
    }
    std::vector<int> Selected() { return Cells(&ThumbnailCell::IsSelected); }
    std::vector<int> Loaded() { return Cells(&ThumbnailCell::HasImage); }
    bool WaitLoaded() { return WaitUntil([&] { return int(Loaded().size()) == Layout()->GetItemCount(); }, 10000); }
    static void SetKeys(bool shift, bool control) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0, keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    // Puts the cursor at `point` of `window`, also as where the last message read happened (where a press was).
    void PointAt(HWND window, POINT point) {
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        MSG msg;
        PostMessageA(host_, WM_NULL, 0, 0);
        PeekMessageA(&msg, host_, 0, 0, PM_REMOVE);
    }

    HWND host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 100, 640, 480, nullptr, nullptr, nullptr,
                                 nullptr);
    ImageControl* control_ = nullptr;
    RecordingSink sink_;
    FetchLog log_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

// Cells of 90 every 100 from 10: the third ends at 300, within a width of 296 + 5 but not 290 + 5.
TEST_F(ThumbnailTest, RowsWrapAtTheWidthPlusSlackAndScrollWhenTheyOverflow) {
    for (const auto& c : {std::make_pair(295, 3), std::make_pair(289, 2)}) {
        Create(c.first, 2000, 4);
        POINT last = Layout()->CellPosition(c.second - 1), next = Layout()->CellPosition(c.second);
        EXPECT_EQ(std::vector<LONG>({last.y, next.x, next.y}), std::vector<LONG>({10, 10, 10 + 110 + 2})) << c.first;
    }
    for (int images : {3, 12}) {
        Create(400, 300, images);
        EXPECT_EQ(Layout()->ScrollBarShown(), images == 12) << images;
    }
}

enum How { kPlain = 0, kCtrl = 1, kShift = 2, kBackground = 4 };

TEST_F(ThumbnailTest, TheMouseOnAGridOfThreeARow) {
    struct Press { int cell, how = kPlain; };
    const struct { const char* rule; int multi; std::vector<Press> presses; std::vector<int> selected; } cases[] = {
        {"single selection: Ctrl is a plain click", 0, {{1}, {2, kCtrl}}, {2}},
        {"single selection: the background clears", 0, {{1}, {0, kBackground}}, {}},
        {"a click selects one", 1, {{4}}, {4}},
        {"Ctrl adds", 1, {{4}, {6, kCtrl}}, {4, 6}},
        {"Ctrl again removes, keeping the anchor", 1, {{4}, {6, kCtrl}, {6, kCtrl}, {8, kShift}}, {6, 7, 8}},
        {"Shift takes the block from the anchor alone", 1, {{6}, {0, kCtrl}, {4, kShift}}, {0, 1, 3, 4}},
        {"Ctrl+Shift adds the block", 1, {{6}, {0, kCtrl}, {4, kShift | kCtrl}}, {0, 1, 3, 4, 6}},
        {"a press on a selected cell keeps it alone on release", 1, {{0}, {1, kCtrl}, {1}}, {1}},
    };
    Create(295, 2000, 9);
    HWND layout = Layout()->Window();
    for (const auto& c : cases) {
        control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), c.multi);
        for (const Press& press : c.presses) {
            bool background = press.how & kBackground;
            SetKeys(press.how & kShift, press.how & kCtrl);
            if (!background) PostMessageA(layout, WM_LBUTTONUP, 0, 0);  // a cell is released at once
            WPARAM keys = MK_LBUTTON | (press.how & kShift ? MK_SHIFT : 0) | (press.how & kCtrl ? MK_CONTROL : 0);
            SendMessageA(background ? layout : Cell(press.cell)->Window(), WM_LBUTTONDOWN, keys,
                         background ? MAKELPARAM(280, 280) : MAKELPARAM(40, 40));
            SetKeys(false, false);
        }
        EXPECT_EQ(Selected(), c.selected) << c.rule;
    }
    EXPECT_EQ(sink_.drags, 0);

    // A rubber band selects the cells it covers; with Ctrl it toggles them, with Shift it adds them.
    const struct { POINT from, to; WPARAM keys; std::vector<int> selected; } bands[] = {{{5, 5}, {150, 50}, 0, {0, 1}},
                 {{110, 5}, {250, 50}, MK_CONTROL, {0, 2}},  // 1 toggles off, 2 on
                 {{5, 130}, {50, 160}, MK_SHIFT, {0, 2, 3}},
                 {{5, 130}, {50, 160}, 0, {3}}};
    for (const auto& band : bands) {
        PointAt(layout, band.to);
        SendMessageA(layout, WM_LBUTTONDOWN, MK_LBUTTON | band.keys, MAKELPARAM(band.from.x, band.from.y));
        SendMessageA(layout, WM_LBUTTONUP, 0, 0);
        EXPECT_EQ(Selected(), band.selected) << band.keys;
    }

    HWND cell = Cell(1)->Window();
    SendMessageA(cell, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.opened, Names{Name(1)});

    // Moving more than three pixels from a press on a selected cell starts a drag; Escape cancels one.
    control_->SelectItem("IMG_1.JPG", 1);
    const std::vector<int> selected = Selected();
    PointAt(layout, {100, 100});
    for (POINT move : {POINT{102, 102}, POINT{108, 100}}) {  // inside the box, then outside
        ClientToScreen(layout, &move);
        SetCursorPos(move.x, move.y);
        PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);
    }
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
    EXPECT_EQ(Selected(), selected);  // a drag leaves the selection alone

    PostMessageA(layout, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
}

TEST_F(ThumbnailTest, LoaderFetchesSelectedFirstAndEverythingOnceEvenWhenAddedTo) {
    Create(640, 480, 6);
    for (auto& image : images_) image->delayMs = 30;
    control_->SelectItem("IMG_4.JPG", 1);
    control_->RestartLoader();
    AddImage("late.jpg");  // while loading: the loader starts over
    ASSERT_TRUE(WaitLoaded());
    Names order = log_.Names();
    EXPECT_EQ(Names(order.begin(), order.begin() + 2), (Names{"IMG_4.JPG", "IMG_0.JPG"}));
    for (auto& image : images_) EXPECT_EQ(image->reads, 1);
}

// A picture that cannot be read stays a placeholder on its own, with nobody asked, until the next run.
TEST_F(ThumbnailTest, AnUnreadablePictureStaysAPlaceholderAloneAndStoppingNeverDeadlocks) {
    Create(640, 480, 3);
    images_[1]->failuresLeft = 1;
    BoxWatcher boxes(IDCANCEL);
    control_->RestartLoader();
    WaitUntil([&] { return Loaded().size() == 2; }, 10000);
    WaitUntil([] { return false; }, 300);  // time for fetches that must not come
    EXPECT_EQ(Loaded(), (std::vector<int>{0, 2}));
    EXPECT_EQ(images_[1]->reads, 1);
    control_->RestartLoader();
    ASSERT_TRUE(WaitLoaded());  // the next run fetches it
    EXPECT_EQ(boxes.Count(), 0);

    Create(640, 480, 3);  // stopping while the worker waits in SendMessage
    for (auto& image : images_) image->sendTo = host_;  // the worker blocks until this thread answers
    control_->RestartLoader();
    control_->RemoveAllItems();  // must not deadlock
    EXPECT_FALSE(Layout()->LoaderRunning());
}

// A timer due while the loader is being stopped waits until the stop is over (a nested stop used to spin on the
// handle the inner one had closed).
TEST_F(ThumbnailTest, MessagesWaitUntilTheLoaderHasStopped) {
    Create(640, 480, 3);
    for (auto& image : images_) image->delayMs = 300;
    control_->RestartLoader();
    static ImageControl* emptied;
    emptied = control_;
    SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR timer, DWORD) { KillTimer(nullptr, timer), emptied->RemoveAllItems(); });
    Sleep(50);
    control_->RestartLoader();
    EXPECT_EQ(control_->GetItemCount(), 3) << "the timer ran inside the stop";
    EXPECT_TRUE(WaitUntil([&] { return control_->GetItemCount() == 0; }, 2000));
}

TEST_F(ThumbnailTest, TurnsWhilePicturesArriveAreAppliedExactlyOnce) {
    Create(640, 480, 24);
    for (auto& image : images_) image->delayMs = 5;
    control_->RestartLoader();
    // Seven quarter turns each, interleaved with the loader's arrivals.
    for (int turn = 0; turn < 7 * 24; ++turn) {
        control_->RotateItem(Name(turn % 24).c_str(), -90);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
    }
    ASSERT_TRUE(WaitLoaded());
    for (int i = 0; i < 24; ++i) {
        RECT r = Cell(i)->PictureRect();
        EXPECT_GT(r.bottom - r.top, r.right - r.left) << i;  // 64 x 48 turned an odd number of times
    }
}

// Thousands of pictures: windows only near the view, what the user looks at loaded first, and the scroll box's whole
// range (a 16-bit position jumped back past 32,767 pixels).
TEST_F(ThumbnailTest, ThousandsOfPicturesHaveWindowsOnlyInViewAndLoadWhereTheUserLooks) {
    Create(640, 480);
    std::vector<uint8_t> jpeg = MakeJpeg(QuadrantBitmap(64, 48), {});
    for (int i = 0; i < 3000; ++i) {
        images_.push_back(std::make_unique<FakeImage>(Name(i), jpeg, &log_));
        images_.back()->delayMs = 2;
        control_->AddItem(images_.back().get(), Name(i).c_str(), -1);
    }
    EXPECT_EQ(Cell(2999)->Caption(), Name(2999));  // the name from the start
    EXPECT_LT(Descendants(Layout()->Window(), "SimpleControlWin").size(), 3u * 6 * 5);  // 6 a row, under 5 rows in view
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return Layout()->FetchedCount() >= 20; }, 5000));
    SendMessageA(Layout()->Window(), WM_KEYDOWN, VK_END, 0);
    size_t jumped = log_.Names().size();
    ASSERT_TRUE(WaitUntil([&] { return log_.Names().size() > jumped + 30; }, 5000));
    Names after = log_.Names();
    for (size_t i = jumped + 1; i < jumped + 30; ++i) EXPECT_GE(std::stoi(after[i].substr(4)), 2958) << after[i];

    SCROLLBARINFO bar = {sizeof bar, {}, 0, 0, 0, {}, {}};
    GetScrollBarInfo(Layout()->Window(), OBJID_VSCROLL, &bar);
    int x = (bar.rcScrollBar.left + bar.rcScrollBar.right) / 2;
    SetCursorPos(x, bar.rcScrollBar.top + (bar.xyThumbTop + bar.xyThumbBottom) / 2);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    SetCursorPos(x, bar.rcScrollBar.top + (bar.rcScrollBar.bottom - bar.rcScrollBar.top) * 3 / 4);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return Layout()->ScrollPos() > 32767 && Layout()->ScrollPos() < Layout()->ScrollMax(); }, 3000))
        << Layout()->ScrollPos();
}

// The report list in the same host, with three pictures the loader reads as files.
using ListHelperTest = ThumbnailTest;

TEST_F(ListHelperTest, RowsAreNumberedUntilLoadedSelectionIsReportedOnceAndTurnsWrap) {
    Create(600, 400, 3, 0);
    for (auto& image : images_) image->fileReads = true;
    HWND list = control_->GetWindow();
    EXPECT_TRUE(WaitUntil([&] { return ListText(list, 2) == "IMG_2.JPG"; }, 1000));  // before any detail
    EXPECT_EQ(RowsWithPictures(list), 0);
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return RowsWithPictures(list) == 3; }, 5000));
    std::string row;
    for (int column = 0; column < 4; ++column) row += ListText(list, 0, column) + "|";
    EXPECT_EQ(row, "IMG_0.JPG|1.5KB|2024:01:02 03:04:05|640 x 480|");

    control_->SelectItem("IMG_2.JPG", 1);
    EXPECT_EQ(control_->IsItemSelected("IMG_2.JPG"), 1);
    control_->SelectItem("IMG_2.JPG", 0);
    EXPECT_EQ(sink_.selections, (Names{"IMG_2.JPG+", "IMG_2.JPG-"}));
    for (int turn : {-90, -180, -270, 0}) EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), turn);
}


enum Shape { kLandscape, kPortrait, kSquare };

using Box = std::array<int, 4>;  // x, y, width, height
const DOCINFOW kDoc = {sizeof(DOCINFOW), L"Vistrel Images", nullptr, nullptr, 0};

// What the print dialog showed: the layout captions, each ended by "|" and the checked one
// starred, then "selection" if enabled and "*" if checked. Then it clicks the radio `click`.
struct Seen { std::string text; int click; };
void Inspect(HWND dialog, void* context) {
    auto* seen = static_cast<Seen*>(context);
    if (!GetDlgItem(dialog, IDC_LAYOUT_SINGLE)) return;
    for (const LayoutRow& row : kLayoutRows) {
        char text[128] = {};
        GetDlgItemTextA(dialog, row.radioId, text, sizeof text);
        seen->text += (IsDlgButtonChecked(dialog, row.radioId) ? "*" : "") + std::string(text) + "|";
    }
    seen->text += std::string(IsWindowEnabled(GetDlgItem(dialog, rad2)) ? "selection" : "") +
                  (IsDlgButtonChecked(dialog, rad2) ? "*" : "");
    if (seen->click) SendDlgItemMessageA(dialog, seen->click, BM_CLICK, 0, 0);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HRESULT Get(IDataObject* data, CLIPFORMAT format, std::vector<uint8_t>* bytes = nullptr) {
    FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&wanted, &medium);
    auto* at = static_cast<const uint8_t*>(hr == S_OK ? GlobalLock(medium.hGlobal) : nullptr);
    if (at && bytes) bytes->assign(at, at + GlobalSize(medium.hGlobal));
    if (at) GlobalUnlock(medium.hGlobal), ReleaseStgMedium(&medium);
    return hr;
}
CLIPFORMAT Format(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

// The bytes of picture `index`'s FileContents stream.
std::vector<uint8_t> Contents(IDataObject* data, LONG index) {
    FORMATETC wanted = {Format(CFSTR_FILECONTENTS), nullptr, DVASPECT_CONTENT, index, TYMED_ISTREAM};
    STGMEDIUM medium = {};
    std::vector<uint8_t> bytes;
    if (data->GetData(&wanted, &medium) != S_OK) return bytes;
    uint8_t buffer[4096];
    for (ULONG got = 0; SUCCEEDED(medium.pstm->Read(buffer, sizeof buffer, &got)) && got;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ReleaseStgMedium(&medium);
    return bytes;
}

// The CF_HDROP list of wide names up to its closing zero, each name ended by its own.
std::string DroppedFiles(IDataObject* data) {
    std::vector<uint8_t> block;
    if (Get(data, CF_HDROP, &block) != S_OK) return "(none)";
    const auto* header = reinterpret_cast<const DROPFILES*>(block.data());
    if (!header->fWide) return "(narrow)";
    std::wstring list(reinterpret_cast<const wchar_t*>(&block[header->pFiles]), (block.size() - header->pFiles) / 2);
    list = list.substr(0, list.find(std::wstring(2, L'\0')) + 1);
    return std::string(list.begin(), list.end());
}

// A camera of IMG_0001.JPG ..., taken 2024:05:06 07:08:09, of red, green, blue and black (not white) quadrants.
class ImagesOutTest : public CoreTest {
protected:
    void SetUp() override { CoreTest::SetUp(), MakeCamera(2); }
    void TearDown() override { DestroyWindow(browser_), folder_.reset(), CoreTest::TearDown(); }
    void MakeCamera(int count, Shape shape = kLandscape) {
        folder_.reset(), items_.clear();
        pix::Bitmap bitmap = QuadrantBitmap(shape == kPortrait ? 48 : 64, shape == kLandscape ? 48 : 64);
        for (int y = bitmap.height / 2; y < bitmap.height; ++y)
            std::fill_n(bitmap.Row(y) + bitmap.width / 2 * 3, bitmap.width / 2 * 3, uint8_t(0));
        jpeg_ = MakeJpeg(bitmap, {0, "2024:05:06 07:08:09", 0, 0, {}, false});
        std::vector<std::unique_ptr<FakeImage>> images;
        for (int i = 1; i <= count; ++i) {
            std::string name = "IMG_" + std::to_string(10000 + i).substr(1) + ".JPG";
            images.push_back(std::make_unique<FakeImage>(name, jpeg_));
            items_.push_back({0, 0, name});
        }
        service_ = std::make_unique<FakeService>(std::move(images), kCanDeleteSingle | kCanDeleteAll);
        folder_ = std::make_unique<TestFolder>(service_.get());
        folder_->Connect(false);
    }
    FakeImage* Image(size_t index) { return service_->Image(index); }
    int TotalReads() { int n = 0; for (size_t i = 0; i < items_.size(); ++i) n += Image(i)->reads; return n; }
    // Both pictures, the second turned by `turn` degrees.
    ComRef<ImageDataObject> Make(DropSource* source = nullptr, int turn = 0) {
        std::vector<TransferItem> items = {{0, "IMG_0001.JPG", ""}, {turn, "IMG_0002.JPG", ""}};
        return ComRef<ImageDataObject>::Share(new ImageDataObject(source, folder_.get(), nullptr, browser_, items));
    }
    PrintJob Job(PrintDevice& device, const std::string& layout) {
        return {folder_.get(), nullptr, &items_, &device, &kDoc, nullptr, layout, PrintIndices(items_, false)};
    }
    void Layout(const char* subkey, std::initializer_list<std::pair<const char*, const char*>> values = {}) {
        keys_.push_back(std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, std::string(kLayoutsKey) + subkey));
        for (const auto& value : values) keys_.back()->SetString(value.first, value.second);
    }
    // Prints through the print dialog, answered through a real hook: what it showed.
    std::string Show(int answer, int click = 0) {
        Seen seen{"", click};
        DialogAnswerer answerer(answer);
        answerer.OnDialog(Inspect, &seen);
        PrintImages(nullptr, folder_.get(), items_);
        return seen.text;
    }
    std::vector<Box> Boxes(const MetafilePages& pages, int page) {
        std::vector<Box> boxes;
        for (const RecordedPicture& p : pages.Pictures(page)) boxes.push_back({p.x, p.y, p.width, p.height});
        return boxes;
    }

    std::vector<uint8_t> jpeg_;
    std::unique_ptr<FakeService> service_;
    std::unique_ptr<TestFolder> folder_;
    std::vector<ViewItem> items_;
    HWND browser_ = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    ScopedRegKey userLayouts_{HKEY_CURRENT_USER, kLayoutsKey};  // removes the layout a test's user chose
    ScopedRegKey layouts_{HKEY_LOCAL_MACHINE, kLayoutsKey};  // removes the keys below too
    std::vector<std::unique_ptr<ScopedRegKey>> keys_;
};
using TransferTest = ImagesOutTest;
using PrintTest = ImagesOutTest;

// The first picture fails once; the second comes turned, from a file the driver hands over.
TEST_F(TransferTest, ADragFetchesAfterTheDropRetriesTurnsAndNamesInEveryFormat) {
    Image(0)->failuresLeft = 1;
    Image(1)->fileReads = true;
    ComRef<DropSource> source = ComRef<DropSource>::Share(new DropSource);
    ComRef<ImageDataObject> data = Make(source.Get(), -90);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    // While the button is held a target sees an empty placeholder file, and that a copy is meant.
    std::string dropped = DroppedFiles(data.Get()), placeholder = data->PlaceholderPath();
    EXPECT_EQ(dropped, placeholder + '\0');
    EXPECT_TRUE(Exists(placeholder));
    std::vector<uint8_t> effect;
    EXPECT_EQ(Get(data.Get(), Format(CFSTR_PREFERREDDROPEFFECT), &effect), S_OK);
    EXPECT_EQ(effect, (std::vector<uint8_t>{DROPEFFECT_COPY, 0, 0, 0}));
    for (const char* fetching : {CFSTR_SHELLIDLIST, "FileGroupDescriptorW"})
        EXPECT_EQ(Get(data.Get(), Format(fetching)), DV_E_FORMATETC) << fetching;
    EXPECT_EQ(TotalReads(), 0);

    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    DialogAnswerer retry(IDRETRY);
    std::string first = data->Folder() + "IMG_0001.JPG", second = data->Folder() + "IMG_0002.JPG";
    EXPECT_EQ(DroppedFiles(data.Get()), first + '\0' + second + '\0');
    // An ownerless task-modal box: its text is not there yet when it activates.
    EXPECT_EQ(retry.Captions(), std::vector<std::string>{theModule.productName});
    EXPECT_EQ(Get(data.Get(), Format(CFSTR_SHELLIDLIST)), S_OK);
    EXPECT_EQ(Contents(data.Get(), 1), ReadFileBytes(second)) << "a rendered picture streams from its file";
    EXPECT_EQ(TotalReads(), 3) << "each picture is fetched once, the first again after its failure";
    EXPECT_EQ(ReadFileBytes(first), jpeg_);
    std::vector<uint8_t> turned = ReadFileBytes(second);
    EXPECT_NE(std::string(turned.begin(), turned.end()).find("2024:05:06 07:08:09"), std::string::npos);
    pix::Bitmap pixels;
    ASSERT_TRUE(pix::DecodeJpeg(turned.data(), turned.size(), 48, 64, pixels, nullptr));
    const uint8_t* topLeft = pixels.Row(8) + 8 * 3;  // blue, green, red
    EXPECT_TRUE(Near({topLeft[2], topLeft[1], topLeft[0]}, kQuadrants[2])) << "turned clockwise: blue comes up";

    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    std::string folder = data->Folder();
    data.Reset();
    EXPECT_FALSE(Exists(folder)) << "the object's folder goes with it";
}

// The file group names each picture, with the camera's size and capture time; its stream is the camera's memory
// read, no file on the way, or for a picture shown turned its turned file. What is listed is what is offered.
TEST_F(TransferTest, TheFileGroupStreamsEachPictureFromMemoryOrItsTurnedFile) {
    Image(0)->fileSize = uint32_t(jpeg_.size());  // as real drivers report it
    ComRef<ImageDataObject> data = Make(nullptr, -90);
    ComRef<IEnumFORMATETC> formats;
    FORMATETC entries[8];
    ULONG count = 0;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.Put()), S_OK);
    EXPECT_EQ(formats->Next(8, entries, &count), S_FALSE) << "fewer than asked";
    std::vector<CLIPFORMAT> listed;
    for (ULONG i = 0; i < count; ++i) listed.push_back(entries[i].cfFormat);
    EXPECT_TRUE(std::all_of(entries, entries + count, [&](FORMATETC& f) { return data->QueryGetData(&f) == S_OK; }));
    EXPECT_EQ(listed, (std::vector<CLIPFORMAT>{Format("Vistrel"), CF_HDROP, Format(CFSTR_SHELLIDLIST),
                                               Format(CFSTR_PREFERREDDROPEFFECT), Format("FileGroupDescriptorW"),
                                               Format(CFSTR_FILECONTENTS)}));
    EXPECT_EQ(Get(data.Get(), CF_DIB), DV_E_FORMATETC) << "a bitmap is for one picture";

    std::vector<uint8_t> block;
    ASSERT_EQ(Get(data.Get(), Format("FileGroupDescriptorW"), &block), S_OK);
    EXPECT_EQ(TotalReads(), 1) << "only the turned picture is fetched, for its size";
    const auto* group = reinterpret_cast<const FILEGROUPDESCRIPTORW*>(block.data());
    ASSERT_EQ(group->cItems, 2u);
    std::vector<uint8_t> turned = ReadFileBytes(data->Folder() + "IMG_0002.JPG");
    for (UINT i = 0; i < 2; ++i) {
        const FILEDESCRIPTORW& file = group->fgd[i];
        std::vector<uint8_t> bytes = Contents(data.Get(), LONG(i));
        EXPECT_EQ(bytes, i == 0 ? jpeg_ : turned);
        EXPECT_EQ(std::wstring(file.cFileName), i == 0 ? L"IMG_0001.JPG" : L"IMG_0002.JPG");
        EXPECT_TRUE(file.nFileSizeLow == bytes.size() && file.nFileSizeHigh == 0) << file.nFileSizeLow;
        EXPECT_EQ(file.dwFlags, DWORD(FD_FILESIZE | FD_WRITESTIME | FD_PROGRESSUI));
        FILETIME local;
        SYSTEMTIME taken;
        FileTimeToLocalFileTime(&file.ftLastWriteTime, &local), FileTimeToSystemTime(&local, &taken);
        EXPECT_EQ((std::vector<WORD>{taken.wYear, taken.wMonth, taken.wDay, taken.wHour, taken.wMinute, taken.wSecond}),
                  (std::vector<WORD>{2024, 1, 2, 3, 4, 5}));  // the camera's, not the turned file's
    }
    EXPECT_FALSE(Exists(data->Folder() + "IMG_0001.JPG")) << "no file on the way";
    EXPECT_EQ(TotalReads(), 2);
}

TEST_F(TransferTest, ACopyOutShowsProgressAndCancels) {
    DialogAnswerer leaveOpen(IDOK);  // the progress dialog has no OK: only the Cancel below acts
    ComRef<ImageDataObject> data = Make();
    bool reentered = false;  // as a message that the progress dialog pumps could
    Image(0)->duringRead = [&] {
        if (std::exchange(reentered, true)) return;
        EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED) << "a second transfer started meanwhile is turned away";
    };
    Image(0)->progress = Image(1)->progress = true;
    Image(1)->duringRead = [&] {
        EXPECT_FALSE(IsWindowEnabled(browser_)) << "the browser waits for the dialog";
        PostMessageA(FindWindowA("#32770", "Start Image Transfer"), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED);
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_FALSE(Exists(data->Folder() + "IMG_0001.JPG")) << "cancel deletes what was transferred";
    EXPECT_TRUE(IsWindowEnabled(browser_));
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED) << "the object stays spent";
    EXPECT_EQ(Image(0)->reads, 1);
}

TEST_F(TransferTest, CameraNamesBecomeSafeUnusedFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"..\\..\\evil.jpg", "evil.jpg"}, {"C:\\Windows\\win.ini", "win.ini"}, {"D:x.jpg", "x.jpg"},
        {"a/b/c.jpg", "c.jpg"},           {"CON.jpg", "_CON.jpg"},              {"nul", "_nul."},
        {"a<b>|c?.jpg", "abc.jpg"},       {"name. . .", "name."},
    };
    std::string folder = MakeRenderFolder();
    for (const auto& c : cases) {
        FakeImage image(c.first, jpeg_);
        EXPECT_EQ(MakeTransferPath(&image, folder), folder + c.second) << c.first;
    }
    FakeImage dots("..", jpeg_);
    EXPECT_EQ(MakeTransferPath(&dots, folder).rfind(folder + "~ce", 0), 0u);
    std::string taken = MakeTransferPath(Image(0), folder);
    CloseHandle(CreateFileA(taken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    std::string clash = MakeTransferPath(Image(0), folder);  // a taken name gets a number
    EXPECT_TRUE(clash.rfind(folder + "IMG_0001(", 0) == 0 && clash.substr(clash.size() - 5) == ").JPG") << clash;
    RemoveRenderFolder(folder);
    EXPECT_FALSE(Exists(taken));
}

// A layout key's value (ImagesPerPage or ThumbSize; null: no key) on a page of that size at 100 dpi (a sheet cell of
// "100" is 100 pixels); the pictures on each page (none: the job ends before a page), where the first ones of every
// page land, the quadrant at a picture's top left.
struct LayoutCase {
    const char* what; bool sheet; const char* value; int pageWidth, pageHeight; Shape shape; int pictures;
    std::vector<int> perPage; std::vector<Box> first; int corner = 0;
};

// Margins are a hundredth of the shorter side: 6 pixels here.
const LayoutCase kLayoutCases[] = {
    {"one a page, turned clockwise", false, "1", 600, 800, kLandscape, 1, {1}, {{6, 8, 588, 784}}, 2},
    {"one a page, upright on a landscape page", false, "1", 800, 600, kLandscape, 1, {1}, {{8, 6, 784, 588}}},
    {"two, stacked", false, "2", 600, 800, kLandscape, 5, {2, 2, 1}, {{41, 6, 517, 388}, {41, 406, 517, 388}}},
    {"two, side by side", false, "2", 800, 600, kSquare, 3, {2, 1}, {{6, 106, 388, 388}, {406, 106, 388, 388}}},
    {"four, row by row, the second row and column a margin further in", false, "4", 600, 800,
     kSquare, 5, {4, 1}, {{6, 56, 288, 288}, {312, 56, 288, 288}, {6, 462, 288, 288}, {312, 462, 288, 288}}},
    {"four a landscape page, column by column", false, "4", 800, 600, kSquare, 5, {4, 1},
     {{56, 6, 288, 288}, {56, 306, 288, 288}, {456, 6, 288, 288}, {456, 306, 288, 288}}},
    {"no key: one a page", false, nullptr, 600, 800, kSquare, 2, {1, 1}, {{6, 106, 588, 588}}},
    {"a sheet: five a row (a sixth would end at 636), seven rows (an eighth at 848)", true, "100", 600, 800,
     kSquare, 37, {35, 2}, {{6, 6, 100, 100}, {112, 6, 100, 100}, {218, 6, 100, 100}, {324, 6, 100, 100},
                            {430, 6, 100, 100}, {6, 112, 100, 100}}},
    {"a sheet fits pictures unturned", true, "150", 600, 800, kPortrait, 1, {1}, {{25, 6, 112, 150}}},
    {"no key: inch cells", true, nullptr, 600, 800, kSquare, 2, {2}, {{6, 6, 100, 100}, {112, 6, 100, 100}}},
    {"a sheet cell wider than the page leaves the first row empty, then one a row", true, "700", 600, 2200,
     kSquare, 3, {2, 1}, {{6, 712, 700, 700}, {6, 1418, 700, 700}}},
    {"sheet cells of no size are placed, nothing drawn", true, "0", 600, 800, kSquare, 3, {0}, {}},
    {"no page for 0 a page", false, "0", 600, 800, kSquare, 3, {}, {}},
    {"no page for a count without cells", false, "3", 600, 800, kSquare, 3, {}, {}},
    {"no page for a sheet cell that fits no page", true, "790", 600, 800, kSquare, 3, {}, {}},
};

TEST_F(PrintTest, EveryLayoutPlacesItsPicturesPageByPage) {
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.what);
        MakeCamera(c.pictures, c.shape);
        const char* layout = !c.value ? "Layout9" : c.sheet ? "Layout4" : "Layout2";
        if (c.value) Layout(layout, {{c.sheet ? "ThumbSize" : "ImagesPerPage", c.value}});
        MetafilePages pages(c.pageWidth, c.pageHeight);
        (c.sheet ? PrintContactSheet : PrintFixedLayout)(Job(pages, layout));
        EXPECT_EQ(pages.Calls().back(), c.perPage.empty() ? "AbortDoc" : "EndDoc");
        std::vector<int> perPage;
        for (int page = 0; page < pages.PageCount(); ++page) {
            std::vector<Box> boxes = Boxes(pages, page);
            perPage.push_back(int(boxes.size()));
            boxes.resize(std::min(boxes.size(), c.first.size()));
            EXPECT_EQ(boxes, std::vector<Box>(c.first.begin(), c.first.begin() + boxes.size())) << "page " << page;
        }
        EXPECT_EQ(perPage, c.perPage);
        EXPECT_EQ(TotalReads(), std::accumulate(perPage.begin(), perPage.end(), 0)) << "each is read once";
        if (c.first.empty()) continue;
        COLORREF corner = pages.Pictures(0)[0].topLeft;
        EXPECT_TRUE(Near({GetRValue(corner), GetGValue(corner), GetBValue(corner)}, kQuadrants[c.corner]));
    }
}

TEST_F(PrintTest, AFailingCameraEndsTheJobAfterThePageItFailedOn) {
    MakeCamera(5, kSquare);
    Image(2)->failuresLeft = 1;  // IMG_0003, second on the second page
    items_.insert(items_.begin() + 1, ViewItem{0, 0, "GONE.JPG"});  // the camera cannot open it
    Image(0)->duringRead = [&] { EXPECT_EQ(folder_->Idle(), 0) << "the folder's transfer guard is held"; };
    Layout("Layout2", {{"ImagesPerPage", "2"}});
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout2"));
    ASSERT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(Boxes(pages, 0), (std::vector<Box>{{106, 6, 388, 388}})) << "the unopened picture's cell stays empty";
    EXPECT_EQ(Boxes(pages, 1).size(), 1u);
    EXPECT_EQ(pages.Calls().back(), "EndDoc");
    EXPECT_EQ(Image(3)->reads, 0);
    EXPECT_EQ(folder_->Idle(), 1);
}

// The ink's bounding box between two heights (page fractions) of a letter page gs rendered at 50 dpi; {} if partial.
Box InkOnPaper(const std::vector<uint8_t>& ppm, double top, double bottom) {
    const int width = 425, height = 550;
    std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 200));
    size_t at = head.find("\n425 550\n255\n") + 13;  // after "P6" and the comment line gs names itself in
    if (at < 13 || ppm.size() < at + width * height * 3) return {};
    int left = INT_MAX, right = -1, first = -1, last = -1;
    for (int y = int(top * height); y < int(bottom * height); ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &ppm[at + (size_t(y) * width + size_t(x)) * 3];
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) continue;
            left = std::min(left, x), right = std::max(right, x), first = first < 0 ? y : first, last = y;
        }
    return right < 0 ? Box{-1, -1, 0, 0} : Box{left, first, right - left + 1, last - first + 1};
}

// The user picks "two a page" and cancels, then selects two pictures and prints.
TEST_F(PrintTest, TheSelectionPrintsOnPaperInTheLayoutChosenEarlier) {
    ASSERT_TRUE(EnsureTestPrinter());
    MakeCamera(0);
    EXPECT_EQ(Show(IDCANCEL), "") << "a view without images shows no dialog";

    MakeCamera(4);
    layouts_.SetString("CurrentLayout", "Layout3");
    Layout("Layout1", {{"Title", "One big"}});
    // A fixed layout; the rest print as contact sheets.
    Layout("Layout2", {{"Title", "Two"}, {"Aspect", "1"}, {"ImagesPerPage", "2"}});
    Layout("Layout3");  // no title: the caption is blanked; no Layout4: the template's stays
    EXPECT_EQ(Show(IDCANCEL, IDC_LAYOUT_TWO), "One big|Two|*|Contact Sheet|") << "nothing is selected";
    EXPECT_EQ(TotalReads(), 0);

    items_[1].selected = items_[3].selected = 1;
    Image(1)->progress = true;  // slow: it shows the progress dialog
    Image(1)->duringRead = [&] {  // and the user refreshes meanwhile: the view's items change
        EXPECT_NE(FindWindowA("#32770", "Loading image for print"), nullptr);
        items_.assign(items_.size(), ViewItem{0, 0, "GONE.JPG"});
    };
    Image(3)->fileReads = true;  // the driver hands over a file
    // Wine's FILE: port writes the job to the file "FILE:" here, for ghostscript to render.
    for (const char* file : {"FILE:", "page.ppm"}) DeleteFileA(file);
    EXPECT_EQ(Show(IDOK), "One big|*Two||Contact Sheet|selection*")
        << "the layout chosen before; the selection is printed unless the user says otherwise";
    EXPECT_EQ(Image(0)->reads + Image(2)->reads, 0);

    // Wine gives no process of a host program to wait for: the page is done once whole.
    RunHostProgram("Z:\\usr\\bin\\gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r50 -sOutputFile=page.ppm FILE:",
                   60000);
    for (int tries = 0; tries < 600 && InkOnPaper(ReadFileBytes("page.ppm"), 0, 0) == Box{}; ++tries) Sleep(100);
    // Letter at 300 dpi: the printable 2400 x 3000 starts at 75,150. Two a page are cells of 2352 x 1452 at 24,24
    // and 24,1524, which the 4:3 picture fills in height: 1936 wide from 232. Seen at 50 dpi, a sixth of all that.
    for (int half = 0; half < 2; ++half) {
        Box ink = InkOnPaper(ReadFileBytes("page.ppm"), half * 0.5, half * 0.5 + 0.5);
        Box expected = {(75 + 232) / 6, (150 + 24 + 1500 * half) / 6, 1936 / 6, 1452 / 6};
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(ink[size_t(i)], expected[size_t(i)], 2) << "half " << half;
    }
    for (const char* file : {"FILE:", "page.ppm"}) DeleteFileA(file);
}

// Every key, value name, type and data byte from `path` down: equal at two moments when nothing changed.
std::wstring RegistryTree(HKEY root, const std::wstring& path) {
    std::wstring tree = L"[" + path + L"]\n", name(16384, L'\0');
    std::vector<BYTE> data(1 << 16);
    HKEY key = nullptr;  // a missing key lists nothing
    RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    for (DWORD i = 0, length, type, size; length = DWORD(name.size()), size = DWORD(data.size()),
         RegEnumValueW(key, i, &name[0], &length, nullptr, &type, data.data(), &size) == ERROR_SUCCESS; ++i)
        tree += name.substr(0, length) + L' ' + std::to_wstring(type) + L' ' + std::wstring(&data[0], &data[0] + size) + L'\n';
    for (DWORD i = 0, length; length = DWORD(name.size()),
         RegEnumKeyExW(key, i, &name[0], &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i)
        tree += RegistryTree(key, name.substr(0, length));
    RegCloseKey(key);
    return tree + L"[end]\n";
}

// What a user changes is theirs alone: the machine's keys stay as installed, and another user sees the machine's.
TEST_F(CameraViewTest, WhatAUserChangesIsKeptForThatUserAloneAndTheMachinesKeysStayAsInstalled) {
    ASSERT_TRUE(EnsureTestPrinter());
    ScopedRegKey remote(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote"));
    ScopedRegKey serial(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote\\Serial"));
    ScopedRegKey viewer(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
    ScopedRegKey layouts(HKEY_LOCAL_MACHINE, kLayoutsKey);
    remote.SetString("RemoteConnectionType", "Serial"), serial.SetString("ComSpeed", "115200");
    viewer.SetString("Path", BinPath("diskcam.dll")), viewer.SetString("CurrentFolder", card_.Folder());
    keys_->settings->SetString("ViewType", "Thumbs"), layouts.SetString("CurrentLayout", "Layout4");
    const std::wstring machine = RegistryTree(HKEY_LOCAL_MACHINE, L"Software\\Pictavia");

    Open(), Command(CameraView::kListView);
    DialogAnswerer settings(IDOK);
    settings.OnDialog([](HWND box, void*) { SendDlgItemMessageA(box, IDC_SPEED_LIST, CB_SELECTSTRING, 0, LPARAM("9600")); },
                      nullptr);
    Command(CameraView::kSettings);
    Seen seen{"", IDC_LAYOUT_TWO};
    DialogAnswerer print(IDCANCEL);  // the layout is kept as it is clicked
    print.OnDialog(Inspect, &seen);
    Command(CameraView::kPrint);
    UseSource(SourceFolder::kImageViewer), Open("");
    static std::string other;
    other = card_.SecondFolder();
    DialogAnswerer folder(0);  // no button: the folder is chosen and OK pressed once the dialog has filled its tree
    folder.OnDialog([](HWND dialog, void*) {
        static HWND picker;
        picker = dialog;
        SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR timer, DWORD) {
            KillTimer(nullptr, timer);
            SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, LPARAM(other.c_str()));
            PostMessageA(picker, WM_COMMAND, IDOK, 0);
        });
    }, nullptr);
    // Wine's picker now and then keeps its start over a choice made this early: the user picks again.
    for (int tries = 0; tries < 3 && ConfigStore::Read(ConfigStore::ModelKey(ConfigStore::kImageViewer), "CurrentFolder") != other;
         ++tries)
        Command(CameraView::kSelectFolder);
    EXPECT_EQ(RegistryTree(HKEY_LOCAL_MACHINE, L"Software\\Pictavia"), machine);

    const struct { std::string key; const char* value; std::string user, machine; } kept[] = {
        {ConfigStore::kSettingsKey, "ViewType", "List", "Thumbs"}, {kLayoutsKey, "CurrentLayout", "Layout2", "Layout4"},
        {ConfigStore::ModelKey("Memory Card", "Remote\\Serial"), "ComSpeed", "9600", "115200"},
        {ConfigStore::ModelKey(ConfigStore::kImageViewer), "CurrentFolder", other, card_.Folder()}};
    for (const auto& k : kept) EXPECT_EQ(ConfigStore::Read(k.key, k.value), k.user);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pictavia");  // another user, who chose nothing yet
    for (const auto& k : kept) EXPECT_EQ(ConfigStore::Read(k.key, k.value), k.machine);
}

std::unique_ptr<FakeImage> Picture(int width, int height) {
    return std::make_unique<FakeImage>("IMG_0001.JPG", MakeJpeg(QuadrantBitmap(width, height), {}));
}

std::string Titled(const char* zoom) { return std::string("IMG_0001.JPG - Full Resolution Image (") + zoom + ")"; }

class ViewerTest : public CoreTest {
protected:
    void TearDown() override {
        Close();
        EXPECT_EQ(FindWindowA("FrameHelperWin", nullptr), nullptr) << "a viewer window was left";
        EXPECT_EQ(folder_.Idle(), 1) << "the folder's transfer guard is given back";
        CoreTest::TearDown();
    }

    // True when the viewer opened; it stays open until closed or the test ends.
    bool Open(int rotation = 0) {
        auto* viewer = new FullResViewer(image_.get(), rotation, &folder_);
        if (!viewer->Create(nullptr)) return false;  // it has released itself
        viewer_ = viewer;
        WaitUntil([] { return false; }, 100);
        return true;
    }
    void Close() { if (viewer_) DestroyWindow(std::exchange(viewer_, nullptr)->Frame()); }
    HWND Pane() { return viewer_->Pane(); }
    RECT Client() { RECT r; GetClientRect(Pane(), &r); return r; }
    LONG Bars() { return GetWindowLongA(Pane(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL); }
    // The title, then " +" and " -" for the zoom buttons that work.
    std::string State() {
        char text[512] = {};
        GetWindowTextA(viewer_->Frame(), text, sizeof text);
        auto enabled = [&](int id) { return SendMessageA(viewer_->Toolbar(), TB_ISBUTTONENABLED, id, 0) != 0; };
        return text + std::string(enabled(FullResViewer::kZoomIn) ? " +" : "") +
               (enabled(FullResViewer::kZoomOut) ? " -" : "");
    }
    void Command(int command, int times = 1) { while (times--) SendMessageA(viewer_->Frame(), WM_COMMAND, command, 0); }
    int Scroll(UINT message, int code, int position = 0) {
        SendMessageA(Pane(), message, MAKEWPARAM(code, position), 0);
        return GetScrollPos(Pane(), message == WM_VSCROLL ? SB_VERT : SB_HORZ);
    }
    // Resizes the frame so that the pane gets `cx` x `cy` (scroll bars included).
    void SizePane(int cx, int cy) {
        Pair frame = Size(WindowRect(viewer_->Frame())), pane = Size(WindowRect(Pane()));
        SetWindowPos(viewer_->Frame(), nullptr, 0, 0, frame.first + cx - pane.first, frame.second + cy - pane.second,
                     SWP_NOMOVE | SWP_NOZORDER);
        ASSERT_EQ(Size(WindowRect(Pane())), Pair(cx, cy));
    }
    Color PaneColor(int x, int y) {  // what the pane shows at a point of its client area
        UpdateWindow(Pane());
        HDC pane = GetDC(Pane());
        COLORREF color = GetPixel(pane, x, y);
        ReleaseDC(Pane(), pane);
        return {GetRValue(color), GetGValue(color), GetBValue(color)};
    }

    TestFolder folder_{nullptr};  // only its transfer guard takes part
    std::unique_ptr<FakeImage> image_ = Picture(64, 48);
    FullResViewer* viewer_ = nullptr;
};

TEST_F(ViewerTest, OpenResizeZoomScrollTurnAndClose) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int width = (work.right - work.left) * 8 / 5, height = (work.bottom - work.top) * 8 / 5;
    image_ = Picture(width, height);
    ASSERT_TRUE(Open(-180));  // turned as the view shows it
    // Too large for the work area: it opens at the largest quarter step that fits, in the work area's corner.
    EXPECT_EQ(State(), Titled("50%") + " + -");
    int cx = width / 2, cy = height / 2;
    EXPECT_EQ(Size(Client()), Pair(cx, cy));
    RECT frame = WindowRect(viewer_->Frame());
    EXPECT_EQ(Bars(), 0);
    EXPECT_TRUE(Near(PaneColor(5, 5), kQuadrants[3]));  // the white corner
    EXPECT_TRUE(Near(PaneColor(cx - 1, cy - 1), kQuadrants[0])) << "the red corner reaches the last pixel";

    // A scroll bar comes only for a picture two pixels larger than the pane; a vertical one can bring the other.
    const struct { int dx, dy; LONG bars; } panes[] = {{-1, 40, 0}, {-2, 40, WS_HSCROLL}, {40, -1, 0},
        {40, -2, WS_VSCROLL}, {0, -2, WS_HSCROLL | WS_VSCROLL}, {0, 0, 0}};
    for (const auto& p : panes) {
        SizePane(cx + p.dx, cy + p.dy);
        EXPECT_EQ(Bars(), p.bars) << "pane " << cx + p.dx << " x " << cy + p.dy;
    }

    SetForegroundWindow(viewer_->Frame());  // one step in through the real button
    RECT button;
    SendMessageA(viewer_->Toolbar(), TB_GETRECT, FullResViewer::kZoomIn, reinterpret_cast<LPARAM>(&button));
    MapWindowPoints(viewer_->Toolbar(), nullptr, reinterpret_cast<POINT*>(&button), 2);
    SendClick({(button.left + button.right) / 2, (button.top + button.bottom) / 2}, false);
    EXPECT_TRUE(WaitUntil([&] { return State() == Titled("75%") + " + -"; }, 2000)) << State();

    Command(FullResViewer::kZoomIn);  // full size in the half-size pane
    EXPECT_EQ(Scroll(WM_VSCROLL, SB_LINEDOWN), 10);
    EXPECT_EQ(viewer_->ImageRect().top, -10);
    for (int i = 0; i < 50; ++i) Scroll(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(viewer_->ImageRect().right, Client().right - 1) << "the picture's right edge at the pane's";

    // Zoom stops at four times and at a quarter, and so do its buttons; the frame keeps its size.
    Command(FullResViewer::kZoomIn, 12);
    EXPECT_EQ(State(), Titled("400%") + " -");
    Command(FullResViewer::kZoomOut, 16);
    EXPECT_EQ(State(), Titled("25%") + " +");
    EXPECT_EQ(Size(WindowRect(viewer_->Frame())), Size(frame));

    Command(FullResViewer::kRotate);  // a quarter clockwise more, at the same zoom
    const RECT& turned = viewer_->ImageRect();
    EXPECT_EQ(Size(turned), Pair(height / 4 - 1, width / 4 - 1));  // its right and bottom are inside
    EXPECT_TRUE(Near(PaneColor(turned.left + 5, turned.top + 5), kQuadrants[1]));  // green comes to the top left
    EXPECT_EQ(State(), Titled("25%") + " +");
}

// The scroll box dragged to the end of a picture taller than the 16 bits a scroll message carries.
TEST_F(ViewerTest, TheScrollBoxDragsToTheEndOfAVeryTallPicture) {
    image_ = Picture(64, 9000);
    ASSERT_TRUE(Open());
    Command(FullResViewer::kZoomIn, 16);  // 400%: 36,000 pixels high
    SCROLLBARINFO bar = {sizeof bar, {}, 0, 0, 0, 0, {}};
    ASSERT_TRUE(GetScrollBarInfo(Pane(), OBJID_VSCROLL, &bar));
    LONG x = (bar.rcScrollBar.left + bar.rcScrollBar.right) / 2, y = bar.rcScrollBar.top + bar.xyThumbTop + 2;
    auto at = [](LONG px, LONG py, DWORD button) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi = {px * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1), py * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1),
                    0, button | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 0, 0};
        return input;
    };
    INPUT drag[] = {at(x, y, MOUSEEVENTF_LEFTDOWN), at(x, bar.rcScrollBar.bottom + 40, 0),
                    at(x, bar.rcScrollBar.bottom + 40, MOUSEEVENTF_LEFTUP)};
    SetForegroundWindow(viewer_->Frame());
    SendInput(3, drag, sizeof(INPUT));
    EXPECT_TRUE(WaitUntil([&] { return GetScrollPos(Pane(), SB_VERT) == 36000 - Client().bottom; }, 3000));
}

TEST_F(ViewerTest, AReadErrorAsksRetryOrCancelAndABusyFolderIsLeftAlone) {
    folder_.SetIdle(0);  // another transfer of the folder is running
    EXPECT_FALSE(Open());
    EXPECT_EQ(image_->reads, 0);
    EXPECT_EQ(folder_.Idle(), 0) << "the guard belongs to the other transfer";
    folder_.SetIdle(1);

    image_->duringRead = [&] { EXPECT_EQ(folder_.Idle(), 0) << "the guard is held during the read"; };
    image_->failuresLeft = 1;
    DialogAnswerer boxes(IDRETRY);
    ASSERT_TRUE(Open());
    EXPECT_EQ(image_->reads, 2);
    Close();
    image_->failuresLeft = 1;
    boxes.SetAnswer(IDCANCEL);
    EXPECT_FALSE(Open());
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, "Image Acquisition error."));
}

}  // namespace
