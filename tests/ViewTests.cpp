// The views in a browser host of our own and the image controls in a window
// of their own, driven through real windows, messages, input, clipboard and
// drags: what they list and show, and what the user's actions do.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "base/SizeText.h"
#include "controls/LayoutImp.h"
#include "controls/SimpleControl.h"
#include "controls/ThumbnailControl.h"
#include "server/CameraFolder.h"
#include "server/RootView.h"
#include "server/SourceFolder.h"
#include "support/BoxWatcher.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeImage.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "transfer/CopyToDisk.h"
#include "transfer/DropSource.h"
#include "view/CameraView.h"

namespace {

std::string ListText(HWND list, int row, int column = 0) {
    char text[128] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListImage(HWND list, int row) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

// A browser window of our own on the views of a memory card model's card.
class CameraViewTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        keys_ = std::make_unique<CardModelKeys>(card_.Root());
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    }
    void TearDown() override {
        CloseView();
        source_.Reset();
        keys_.reset();
        CoreTest::TearDown();
    }

    // Opens the view of `folderName` ("": the "Hard Disk" folder) and waits for its fill.
    CameraView* Open(const std::string& folderName = "100TEST", int expectedItems = 3, bool fileDialog = false) {
        CloseView();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName));
        if (folderName.empty()) folder_->SetKind("Viewer");
        EXPECT_EQ(folder_->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
        host_ = std::make_unique<BrowserHost>(fileDialog);
        EXPECT_EQ(host_->Open(view_.Get()), S_OK);
        auto* view = static_cast<CameraView*>(view_.Get());
        WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == expectedItems; },
                  expectedItems ? 5000 : 300);
        return view;
    }
    // Opens the root's view and waits for its list to fill.
    HWND OpenRoot() {
        CloseView();
        root_ = InitializedRoot();
        EXPECT_EQ(root_->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
        host_ = std::make_unique<BrowserHost>();
        EXPECT_EQ(host_->Open(view_.Get()), S_OK);
        HWND list = nullptr;
        WaitUntil([&] {
            list = FindDescendant(WindowOf(view_.Get()), "SysListView32");
            return list && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0;
        }, 5000);
        return list;
    }
    void CloseView() {
        host_.reset();
        view_.Reset();
        folder_.Reset();
        root_.Reset();
    }
    // The source of the model "Memory Card" served by the test driver.
    void UseFakeCamera(const std::string& settings) {
        keys_->local->SetString("Path", BinPath("fakecam.dll") + "," + settings);
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    }
    static HWND WindowOf(IShellView* view) {
        HWND window = nullptr;
        view->GetWindow(&window);
        return window;
    }
    static void CursorOnto(IShellView* view) {
        RECT area;
        GetWindowRect(WindowOf(view), &area);
        SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    }
    void Command(int command) { SendMessageA(WindowOf(view_.Get()), WM_COMMAND, command, 0); }
    bool Grayed(int command) { return GetMenuState(host_->menu, command, MF_BYCOMMAND) & MF_GRAYED; }
    // The selection commands usable from the menus, then from the toolbar.
    std::string Usable() {
        std::string menu = "menu:", toolbar = " toolbar:";
        const std::pair<int, const char*> commands[] = {
            {CameraView::kCopy, " Copy"}, {CameraView::kRotate, " Rotate"}, {CameraView::kDelete, " Delete"},
            {CameraView::kSelectAll, " SelectAll"}, {CameraView::kProperties, " Properties"}};
        for (const auto& c : commands) {
            if (!Grayed(c.first)) menu += c.second;
            bool button = c.first != CameraView::kCopy && c.first != CameraView::kSelectAll;
            if (button && host_->ButtonEnabled(c.first)) toolbar += c.second;
        }
        return menu + toolbar;
    }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_;
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    ComRef<IShellFolder> root_;
    ComRef<IShellView> view_;
    std::unique_ptr<BrowserHost> host_;
};

using RootViewTest = CameraViewTest;

// The sources, their icons and Enter on one are seen through Wine's explorer
// (ExplorerSmoke); here what a refill, the status line and the menus show.
TEST_F(RootViewTest, RefillsShowEachSourceOnceAndSettingsAndAboutMergeAndOpen) {
    HWND list = OpenRoot();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(host_->StatusText(0), "");
    EXPECT_EQ(host_->StatusText(1), "OrvexView");
    ASSERT_EQ(host_->StatusParts().size(), 3u);
    EXPECT_EQ(host_->StatusParts()[2], -1);

    HMENU viewMenu = GetSubMenu(host_->menu, 2);
    ASSERT_EQ(GetMenuItemCount(viewMenu), 3);  // the browser's last item replaced by a separator and Settings
    EXPECT_EQ(GetMenuItemID(viewMenu, 2), static_cast<UINT>(RootView::kSettings));
    EXPECT_FALSE(GetMenuState(viewMenu, RootView::kSettings, MF_BYCOMMAND) & MF_GRAYED);
    char item[128] = {};
    GetMenuStringA(GetSubMenu(host_->menu, 3), RootView::kAbout, item, sizeof item, MF_BYCOMMAND);
    EXPECT_EQ(std::string(item), "About &" + theModule.productName);
    EXPECT_TRUE(host_->ButtonEnabled(RootView::kSettings));

    DialogAnswerer answerer(IDCANCEL);
    SendMessageA(host_->Window(), WM_COMMAND, RootView::kSettings, 0);  // through the browser, as its menu does
    SendMessageA(host_->Window(), WM_COMMAND, RootView::kAbout, 0);
    const std::string about = "About " + theModule.productName + " - version " + theModule.productVersion;
    EXPECT_EQ(answerer.Captions(), (std::vector<std::string>{"Digital Camera Settings", about}));
}

TEST_F(RootViewTest, WindowIsMadeOnceAndActivationActsOnlyOnChanges) {
    ASSERT_NE(OpenRoot(), nullptr);
    int before = host_->activations;
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);  // first call always acts
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);    // a focus change only
    EXPECT_EQ(host_->activations, before + 1);
    EXPECT_EQ(view_->UIActivate(SVUIA_DEACTIVATE), S_OK);
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    EXPECT_EQ(host_->activations, before + 2);

    HWND again = reinterpret_cast<HWND>(1);
    FOLDERSETTINGS settings = {FVM_ICON, 0}, current = {};
    RECT area = {0, 0, 100, 100};
    EXPECT_EQ(view_->CreateViewWindow(nullptr, &settings, host_.get(), &area, &again), E_UNEXPECTED);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(view_->GetCurrentInfo(&current), S_OK);
    EXPECT_EQ(current.ViewMode, static_cast<UINT>(FVM_ICON));
    EXPECT_EQ(view_->DestroyViewWindow(), S_OK);
    EXPECT_EQ(view_->DestroyViewWindow(), E_UNEXPECTED);
}

TEST_F(CameraViewTest, SelectionDrivesMenusToolbarStatusAndBoxes) {
    CameraView* view = Open();
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 0 ");
    EXPECT_EQ(host_->StatusText(1), "Removable Media");
    EXPECT_EQ(host_->StatusText(2), "");
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kThumbnailView));
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kSelectFolder));  // not a disk folder
    EXPECT_EQ(Usable(), "menu: SelectAll toolbar:");
    {
        MenuWatcher menus;
        RECT area;
        GetWindowRect(WindowOf(view_.Get()), &area);
        // The control covers the view; a right click in its empty part is the background's.
        SendClick({area.right - 5, area.bottom - 5}, true);
        ASSERT_TRUE(WaitUntil([&] { return menus.Menus().size() == 1; }, 3000));
        view->ContextMenuRequested(0, "img_0001.jpg");
        ASSERT_EQ(menus.Menus().size(), 2u);
        EXPECT_EQ(menus.Menus()[0], (std::vector<std::string>{"Refresh", "-", "Thumbnail View [checked]",
                                                               "List View", "-", "Select All"}));
        EXPECT_EQ(menus.Menus()[1], (std::vector<std::string>{"Preview [grayed]", "-", "Copy", "Rotate", "Delete",
                                                               "-", "Print...", "-", "Properties [grayed]"}));
    }

    view->Control()->SelectItem("img_0001.jpg", 1);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 1 ");
    EXPECT_EQ(Usable(), "menu: Copy Rotate Delete SelectAll Properties toolbar: Rotate Delete Properties");
    DialogAnswerer answerer(IDOK);
    Command(CameraView::kProperties);
    ASSERT_EQ(answerer.Texts().size(), 1u);
    EXPECT_EQ(answerer.Texts()[0].rfind("File:\t" + card_.Folder() + "\\img_0001.jpg\nSize:\t", 0), 0u)
        << answerer.Texts()[0];
    EXPECT_NE(answerer.Texts()[0].find("Picture:\t800 x 600 pixels"), std::string::npos);

    view->Control()->SelectItem("IMG_0002.JPG", 1);
    EXPECT_EQ(Usable(), "menu: Copy Rotate Delete SelectAll toolbar: Rotate Delete");  // two: no properties
    EXPECT_EQ(view->Items()[0].selected, 1);
    EXPECT_EQ(view->Items()[1].selected, 1);
}

TEST_F(CameraViewTest, TurnOpenPrintSelectAllAndRefreshForgets) {
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    for (int turn : {-90, -180, -270, 0, -90}) {
        host_->PressKey('R', true);
        EXPECT_EQ(view->Items()[1].rotation, turn);
    }
    EXPECT_EQ(view->Items()[0].rotation, 0);

    view->ItemOpened(0, "IMG_0002.JPG");  // a double click: the full-size viewer
    std::vector<HWND> frames = OwnWindowsOfClass("FrameHelperWin");
    ASSERT_EQ(frames.size(), 1u);
    DestroyWindow(frames[0]);
    EXPECT_EQ(folder_->Idle(), 1);
    {
        DialogAnswerer answerer(IDCANCEL);
        host_->PressKey('P', true);
        // The print dialog, or the system's note that there is no printer yet.
        EXPECT_FALSE(answerer.Captions().empty());
        EXPECT_TRUE(IsWindowEnabled(host_->Window()));
    }
    host_->PressKey('A', true);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 3);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 3 ");
    EXPECT_EQ(view->Items()[2].selected, 1);

    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 0);
    EXPECT_EQ(view->Items()[1].selected, 0);
    EXPECT_EQ(view->Items()[1].rotation, 0);
}

TEST_F(CameraViewTest, CellWidthsOutsideTheRangeFallBackToNinety) {
    CameraView* view = Open();
    const std::pair<const char*, int> cases[] = {{"31", 90}, {"32", 32}, {"200", 200}, {"201", 90},
                                                 {"abc", 90}, {"120px", 120}};
    for (const auto& c : cases) {
        keys_->model->SetString("ThumbFrameSize", c.first);
        EXPECT_EQ(view->CellWidth(), c.second) << c.first;
    }
}

TEST(ViewStatusFormats, FileSizesAndImageSizes) {
    const std::pair<int, const char*> sizes[] = {{0, ""}, {-5, ""}, {1, "1 byte"}, {1023, "1023 byte"}, {1024, "1.0KB"},
                                                 {1536, "1.5KB"}, {1048575, "1024.0KB"}, {1048576, "1.0MB"}};
    for (const auto& s : sizes) EXPECT_EQ(FormatFileSize(s.first), s.second) << s.first;
    EXPECT_EQ(FormatImageSize(1280, 960), "1280 x 960");
    EXPECT_EQ(FormatImageSize(0, 480), "");
}

TEST_F(CameraViewTest, TheListShowsTheCardsDetailsKeepsTheSelectionAndIsRemembered) {
    BoxWatcher errors(IDCANCEL);
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kListView);
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));
    EXPECT_FALSE(host_->ButtonChecked(CameraView::kThumbnailView));
    HWND list = view->Control()->GetWindow();
    ASSERT_TRUE(WaitUntil([&] { return ListImage(list, 0) + ListImage(list, 1) + ListImage(list, 2) == 3; },
                          5000));  // every file fetched
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    EXPECT_EQ(ListText(list, 0), "img_0001.jpg");
    EXPECT_NE(ListText(list, 0, 1).find("KB"), std::string::npos);
    EXPECT_EQ(ListText(list, 0, 3), "800 x 600");
    EXPECT_EQ(ListText(list, 1), "IMG_0002.JPG");
    EXPECT_EQ(ListText(list, 1, 2), "2024:06:01 09:30:00");  // the EXIF capture date
    EXPECT_EQ(errors.Count(), 0);

    Command(CameraView::kThumbnailView);
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 1);
    Command(CameraView::kListView);
    Open();
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));  // the next view opens as a list
}

TEST_F(CameraViewTest, TheStatusLineNamesTheSourceAndALostCameraIsReported) {
    ScopedRegKey viewer(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
    viewer.SetString("Path", BinPath("diskcam.dll"));
    viewer.SetString("CurrentFolder", card_.Folder());
    source_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kImageViewer));
    CameraView* view = Open("");
    ASSERT_NE(view->Control(), nullptr);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
    EXPECT_EQ(host_->StatusText(1), "Images on Disk");
    EXPECT_EQ(host_->StatusText(2), card_.Folder());
    std::vector<int> edges = host_->StatusParts();
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_GT(edges[1], edges[0]);
    EXPECT_EQ(edges[2], -1);
    EXPECT_TRUE(host_->ButtonEnabled(CameraView::kSelectFolder));

    // A serial camera that does not answer still names itself and its link.
    keys_->settings->SetString("Camera", "Serial Cam");
    ScopedRegKey model(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam"));
    model.SetString("Connection", "Remote");
    ScopedRegKey remote(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote"));
    ScopedRegKey serial(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote\\Serial"));
    serial.SetString("ComPort", "COM2");
    serial.SetString("ComSpeed", "57600");
    serial.SetString("Path", BinPath("no-such-driver.dll"));
    const std::pair<const char*, const char*> links[] = {{"Serial", "COM2  57600 bps"}, {"Parallel", "Parallel"}};
    for (const auto& link : links) {
        remote.SetString("RemoteConnectionType", link.first);
        DialogAnswerer answerer(IDOK);
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
        Open("A", 0);
        ASSERT_TRUE(WaitUntil([&] { return !answerer.Texts().empty(); }, 5000));
        EXPECT_EQ(answerer.Texts()[0], "Connection Error.\nPlease check the connection and the camera settings.");
        EXPECT_EQ(answerer.Captions()[0], theModule.productName + " - Connection Error");
        EXPECT_EQ(host_->StatusText(0), "Total images: 0    Selected: 0 ");
        EXPECT_EQ(host_->StatusText(1), "Serial Cam");
        EXPECT_EQ(host_->StatusText(2), link.second);
    }
}

// Answers message boxes with Yes until the `noAt`-th, which gets No.
struct YesUntil {
    DialogAnswerer* answerer;
    int noAt;
    int seen = 0;
    static void Inspect(HWND, void* context) {
        auto* self = static_cast<YesUntil*>(context);
        self->answerer->SetAnswer(++self->seen == self->noAt ? IDNO : IDYES);
    }
};

TEST_F(CameraViewTest, DeleteAsksTheQuestionsTheCameraCallsAndKeepsTheRestInOrder) {
    const std::string selected = "Are you sure you want to delete selected images?";
    const std::string all = "Are you sure you want to delete all images?";
    const std::string warning = "WARNING! This command will permanently delete ALL images!\nDo you want to proceed?";
    using Names = std::vector<std::string>;
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
        UseFakeCamera(c.settings);
        CameraView* view = Open("FAKE", c.images);
        bool allOnly = std::string(c.settings).find("caps=2") != std::string::npos;
        char text[64] = {};
        GetMenuStringA(host_->menu, CameraView::kDelete, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, allOnly ? "&Delete All" : "&Delete Selected");
        EXPECT_EQ(host_->Tooltip(CameraView::kDelete), text + 1);
        EXPECT_EQ(!Grayed(CameraView::kDelete), allOnly);  // usable without a selection
        EXPECT_EQ(host_->ButtonEnabled(CameraView::kDelete), allOnly);
        for (const std::string& name : c.select) view->Control()->SelectItem(name.c_str(), 1);

        DialogAnswerer answerer(IDYES);
        YesUntil script = {&answerer, c.noAt};
        answerer.OnDialog(YesUntil::Inspect, &script);
        host_->PressKey(VK_DELETE);
        EXPECT_EQ(answerer.Texts(), c.questions);
        Names shown, kept;
        for (const ViewItem& item : view->Items()) shown.push_back(item.name);
        for (int i = 0; i < folder_->GetImageCount(); ++i) kept.push_back(folder_->GetImageName(i));
        EXPECT_EQ(shown, c.left);
        EXPECT_EQ(kept, c.left);
        EXPECT_EQ(view->Control()->GetItemCount(), int(c.left.size()));
    }
    EXPECT_EQ(host_->Tooltip(CameraView::kListView), "List View");
}

// What clipboard_reader.exe, a second program, reads from the clipboard;
// this thread's messages are pumped meanwhile (the owner renders on request).
std::string ReadClipboardElsewhere() {
    std::string out = WorkDirectory() + "reader.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};  // NOLINT
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    PROCESS_INFORMATION process = {};
    std::string line = BinPath("clipboard_reader.exe");
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(file);
    if (!started) return "";
    WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::vector<uint8_t> bytes = ReadFileBytes(out);
    DeleteFileA(out.c_str());
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

TEST_F(CameraViewTest, PicturesTravelByClipboardAndDragBetweenProgramsAndFolders) {
    std::string transfer = WorkDirectory() + "TRANSFER\\";
    RemoveTree(transfer);
    CameraView* view = Open();
    std::string outside = MakeTempDir("shellfile");
    card_.Write(outside + "\\holiday.jpg", ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    // The shell's own data object for that file, as its folder views hand out.
    std::string path = outside + "\\holiday.jpg";
    std::wstring wide(path.begin(), path.end());
    LPITEMIDLIST absolute = nullptr;
    LPCITEMIDLIST child = nullptr;
    ComRef<IShellFolder> parent;
    ComRef<IDataObject> data;
    ASSERT_EQ(SHParseDisplayName(wide.c_str(), nullptr, &absolute, 0, nullptr), S_OK);
    ASSERT_EQ(SHBindToParent(absolute, IID_IShellFolder, parent.PutVoid(), &child), S_OK);
    ASSERT_EQ(parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, data.PutVoid()), S_OK);
    CoTaskMemFree(absolute);

    OleSetClipboard(nullptr);
    host_->Pump(100);
    EXPECT_TRUE(Grayed(CameraView::kPaste));
    ASSERT_EQ(OleSetClipboard(data.Get()), S_OK);  // as another program copying the file
    host_->Pump(200);
    EXPECT_FALSE(Grayed(CameraView::kPaste));  // at once: the view watches the clipboard
    Command(CameraView::kPaste);
    ASSERT_EQ(view->Items().size(), 4u);
    EXPECT_EQ(view->Items().back().name, "holiday.jpg");
    EXPECT_EQ(view->Control()->GetItemCount(), 4);
    EXPECT_EQ(ReadFileBytes(card_.Folder() + "\\holiday.jpg"), ReadFileBytes(outside + "\\holiday.jpg"));
    OleSetClipboard(nullptr);
    host_->Pump(200);
    EXPECT_TRUE(Grayed(CameraView::kPaste));
    RemoveTree(outside);

    view->Control()->SelectItem("img_0001.jpg", 1);
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kCopy);
    EXPECT_EQ(ReadClipboardElsewhere(), "file " + transfer + "img_0001.jpg\nfile " + transfer + "IMG_0002.JPG\n");
    EXPECT_EQ(ReadFileBytes(transfer + "IMG_0002.JPG"), ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    EXPECT_FALSE(Grayed(CameraView::kPaste));  // our own files are pictures the card takes
    // A new copy is a new transfer: the earlier file keeps its name. One
    // picture comes as a bitmap too, upright as its orientation tag shows it.
    view->Control()->SelectItem("img_0001.jpg", 0);
    Command(CameraView::kCopy);
    std::string again = ReadClipboardElsewhere();
    EXPECT_EQ(again.rfind("file " + transfer + "IMG_0002(", 0), 0u) << again;
    EXPECT_NE(again.find(").JPG\ndib 640 480\n"), std::string::npos) << again;

    // Real OLE drag loops; no button is down, so they drop where the cursor
    // is: on the view itself, which refuses its own pictures, then on the
    // card's other folder, open in a second browser window on top.
    view->Control()->SelectItem("img_0001.jpg", 1);
    CursorOnto(view_.Get());
    view->BeginDrag();
    EXPECT_EQ(view->Items().size(), 4u);
    auto other = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), "101TEST"));
    ComRef<IShellView> otherView;
    ASSERT_EQ(other->CreateViewObject(nullptr, IID_IShellView, otherView.PutVoid()), S_OK);
    BrowserHost otherHost;
    ASSERT_EQ(otherHost.Open(otherView.Get()), S_OK);
    CursorOnto(otherView.Get());
    view->BeginDrag();
    const std::vector<ViewItem>& arrived = static_cast<CameraView*>(otherView.Get())->Items();
    ASSERT_EQ(arrived.size(), 2u);  // under the names this transfer gave them
    const char* sent[] = {"img_0001.jpg", "IMG_0002.JPG"};
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + arrived[i].name),
                  ReadFileBytes(card_.Folder() + "\\" + sent[i]));
    otherHost.Close();

    CloseView();  // a closing view takes its own data off the clipboard
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("Vistrel")));
    RemoveTree(transfer);
}

// A browser like Wine's explorer reads the selection's ID list array to see
// whether a folder was opened, then leaves the action to the view: the
// picture is fetched once, and a fetch the user cancelled opens nothing.
// Select All and the cell size are the dialog's too.
TEST_F(CameraViewTest, InAFileDialogTheDialogHasTheFirstWord) {
    keys_->model->SetString("ThumbFrameSize", "150");
    keys_->model->SetString("SmallThumbFrameSize", "64");
    CameraView* view = Open("100TEST", 3, true);
    EXPECT_EQ(view->CellWidth(), 64);
    host_->PressKey('A', true);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 0);

    int reads = 0;
    host_->onDefaultCommand = [&](IShellView* shown) {
        ComRef<IDataObject> data;
        if (shown->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid()) != S_OK) return S_FALSE;
        FORMATETC format = {CLIPFORMAT(RegisterClipboardFormatA(CFSTR_SHELLIDLIST)), nullptr, DVASPECT_CONTENT, -1,
                            TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (data->GetData(&format, &medium) == S_OK) {
            ++reads;
            ReleaseStgMedium(&medium);
        }
        // Gone from the card now: the viewer can only show the copy fetched here.
        DeleteFileA((card_.Folder() + "\\IMG_0002.JPG").c_str());
        return S_FALSE;
    };
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    view->ItemOpened(0, "IMG_0002.JPG");
    std::vector<HWND> viewers = OwnWindowsOfClass("FrameHelperWin");
    ASSERT_EQ(viewers.size(), 1u);
    EXPECT_EQ(reads, 1);
    char title[256] = {};
    GetWindowTextA(viewers[0], title, sizeof title);
    EXPECT_EQ(std::string(title).find("IMG_0002.JPG"), 0u) << title;
    DestroyWindow(viewers[0]);

    DeleteFileA((card_.Folder() + "\\img_0001.jpg").c_str());  // the fetch fails; the box gets Cancel
    view->Control()->SelectItem("IMG_0002.JPG", 0);
    view->Control()->SelectItem("img_0001.jpg", 1);
    DialogAnswerer answerer(IDCANCEL);
    view->ItemOpened(0, "img_0001.jpg");
    EXPECT_TRUE(OwnWindowsOfClass("FrameHelperWin").empty());
    EXPECT_EQ(answerer.Captions().size(), 1u);  // the transfer's Retry/Cancel, no second box
    EXPECT_EQ(host_->defaultCommands, 2);
}

struct RecordingSink final : ImageControlSink {
    int drags = 0;
    std::vector<std::string> opened, menus, selections;
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int, const char* name) override { menus.push_back(name ? name : "<null>"); }
    void ItemOpened(int, const char* name) override { opened.push_back(name); }
    void SelectionChanged(const char* name, int selected, int) override {
        selections.push_back(std::string(name ? name : "") + (selected ? "+" : "-"));
    }
    void BeginDrag() override { ++drags; }
};

// A top-level window that hosts one image control: the thumbnails here, the list below.
class ThumbnailTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 100, 640, 480, nullptr, nullptr, nullptr,
                                nullptr);
    }
    void TearDown() override {
        Destroy();
        images_.clear();
        DestroyWindow(host_);
        SetKeys(false, false);
        CoreTest::TearDown();
    }
    void Destroy() {
        if (control_) {
            control_->DestroyControl();
            control_->Destroy(1);
        }
        control_ = nullptr;
    }
    // Makes the control's window (kind 1: thumbnails, 0: list) with a client area `width` x `height`.
    void Create(int width, int height, int kind = 1) {
        Destroy();
        control_ = CreateImageControl(kind);
        control_->SetSink(&sink_);
        RECT rect = {0, 0, width - 1, height - 1};
        ASSERT_TRUE(control_->CreateControl(0, "", 0, &rect, host_, 0));
        if (kind) control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), 1);
    }
    void AddImage(const std::string& name, int width = 64, int height = 48) {
        images_.push_back(std::make_unique<FakeImage>(name, MakeJpeg(QuadrantBitmap(width, height), {}), &log_));
        control_->AddItem(images_.back().get(), name.c_str(), -1);
    }
    void AddImages(int count) {
        for (int i = 0; i < count; ++i) AddImage("IMG_" + std::to_string(i) + ".JPG");
    }
    LayoutImp* Layout() { return static_cast<ThumbnailControl*>(control_)->Layout(); }
    SimpleControl* Cell(int index) { return static_cast<SimpleControl*>(Layout()->CellAt(index)); }
    bool WaitLoaded() {
        return WaitUntil([&] {
            for (int i = 0; i < Layout()->GetItemCount(); ++i)
                if (!Layout()->CellAt(i)->HasImage()) return false;
            return true;
        }, 10000);
    }
    static void SetKeys(bool shift, bool control) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    // Puts the cursor at `point` of `window`, which also becomes where the
    // last message read happened (where a press reads it was).
    void PointAt(HWND window, POINT point) {
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        MSG msg;
        PostMessageA(host_, WM_NULL, 0, 0);
        PeekMessageA(&msg, host_, 0, 0, PM_REMOVE);
    }
    std::vector<int> Selected() {
        std::vector<int> selected;
        for (int i = 0; i < Layout()->GetItemCount(); ++i)
            if (Layout()->CellAt(i)->IsSelected()) selected.push_back(i);
        return selected;
    }

    HWND host_ = nullptr;
    ImageControl* control_ = nullptr;
    RecordingSink sink_;
    FetchLog log_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

TEST_F(ThumbnailTest, CellsFitTheirPictureIntoTheSquareAndNumberTheUnnamed) {
    Create(640, 480);
    const struct { const char* name; int width, height; RECT picture; } cases[] = {
        {"wide.jpg", 640, 480, {5, 15, 84, 74}}, {"tall.jpg", 400, 800, {25, 5, 64, 84}},
        {"small.jpg", 40, 30, {25, 30, 64, 59}}};
    for (const auto& c : cases) AddImage(c.name, c.width, c.height);
    images_[2]->named = false;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Cell(i)->PrepareImage());
        RECT r = Cell(i)->PictureRect();
        EXPECT_TRUE(EqualRect(&r, &cases[i].picture)) << cases[i].name << " " << r.left << "," << r.top << " "
                                                      << r.right << "," << r.bottom;
    }
    EXPECT_EQ(Cell(0)->Caption(), "wide.jpg");
    EXPECT_EQ(Cell(2)->Caption(), "Pic 3");
    control_->RemoveAllItems();
    EXPECT_EQ(control_->GetItemCount(), 0);
    AddImage("again.jpg");
    EXPECT_EQ(Cell(0)->Caption(), "Pic 1");  // numbered from one again until its name is read
}

TEST_F(ThumbnailTest, ScrollingStaysInRangeAndABandPastTheEdgeScrollsTenAPass) {
    Create(400, 300);
    AddImages(3);
    EXPECT_FALSE(Layout()->ScrollBarShown());
    AddImages(9);
    ASSERT_TRUE(Layout()->ScrollBarShown());
    ASSERT_GT(Layout()->ScrollMax(), 20);
    HWND window = Layout()->Window();
    SendMessageA(window, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(Layout()->ScrollPos(), 0);
    SendMessageA(window, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(Layout()->ScrollPos(), 10);
    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 30000), 0);
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax());
    RECT cell;
    GetWindowRect(Cell(0)->Window(), &cell);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&cell), 2);
    EXPECT_EQ(cell.top, 10 - Layout()->ScrollPos());  // cells moved with the content
    SendMessageA(window, WM_VSCROLL, SB_PAGEUP, 0);
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax() - 110);

    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
    PointAt(window, {5, 5});
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    const std::pair<int, int> passes[] = {{350, 10}, {350, Layout()->ScrollMax()}, {-40, Layout()->ScrollMax() - 10},
                                          {-40, 0}};  // below the bottom edge, then above the top
    for (size_t i = 0; i < 4; ++i) {
        for (int pass = 0; pass < (i % 2 ? 100 : 1); ++pass) {
            PointAt(window, {50, passes[i].first});
            SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, 0);
        }
        EXPECT_EQ(Layout()->ScrollPos(), passes[i].second) << i;
    }
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
}

enum How { kPlain = 0, kCtrl = 1, kShift = 2, kBelowPicture = 4, kBackground = 8 };

TEST_F(ThumbnailTest, RowsWrapAtTheWidthPlusSlack) {
    // Cells of 90 every 100 from 10: the third ends at 300, within a width of 296 + 5 but not 290 + 5.
    for (const auto& c : {std::make_pair(295, 3), std::make_pair(289, 2)}) {
        Create(c.first, 2000);
        AddImages(4);
        EXPECT_EQ(Layout()->CellPosition(c.second - 1).y, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).x, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).y, 10 + 110 + 2) << c.first;
    }
}

TEST_F(ThumbnailTest, ClickRulesOnAGridOfThreeARow) {
    struct Press { int cell, how = kPlain; };
    const struct { const char* rule; int multi; std::vector<Press> presses; std::vector<int> selected; } cases[] = {
        {"a click selects one", 1, {{4}}, {4}},
        {"Ctrl adds", 1, {{4}, {6, kCtrl}}, {4, 6}},
        {"Ctrl again removes", 1, {{4}, {6, kCtrl}, {6, kCtrl}}, {4}},
        {"removing keeps the anchor", 1, {{4}, {6, kCtrl}, {6, kCtrl}, {8, kShift}}, {6, 7, 8}},
        {"Shift takes the block from the anchor alone", 1, {{6}, {0, kCtrl}, {4, kShift}}, {0, 1, 3, 4}},
        {"Ctrl+Shift adds the block", 1, {{6}, {0, kCtrl}, {4, kShift | kCtrl}}, {0, 1, 3, 4, 6}},
        {"a press on a selected cell keeps it alone on release", 1, {{0}, {1, kCtrl}, {1}}, {1}},
        {"below the picture is background: an empty band", 1, {{0}, {1, kBelowPicture}}, {}},
        {"single selection: Ctrl is a plain click", 0, {{1}, {2, kCtrl}}, {2}},
        {"single selection: the background clears", 0, {{1}, {0, kBackground}}, {}},
    };
    Create(295, 2000);
    AddImages(9);
    for (const auto& c : cases) {
        control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), c.multi);
        for (const Press& press : c.presses) {
            SetKeys(press.how & kShift, press.how & kCtrl);
            HWND cell = Cell(press.cell)->Window();
            if (press.how & kBackground) {
                SendMessageA(Layout()->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(280, 280));
            } else if (press.how & kBelowPicture) {  // the caption strip of a 90 x 110 cell
                PointAt(cell, {40, 100});
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 100));
                SendMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
            } else {  // released at once
                PostMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
            }
            SetKeys(false, false);
        }
        EXPECT_EQ(Selected(), c.selected) << c.rule;
    }
    EXPECT_EQ(sink_.drags, 0);
    EXPECT_GT(sink_.selections.size(), 10u);
}

TEST_F(ThumbnailTest, RubberBandSelectsCoveredCellsCtrlTogglesShiftAdds) {
    Create(295, 2000);
    AddImages(6);
    HWND window = Layout()->Window();
    const struct { POINT from, to; WPARAM keys; std::vector<int> selected; } bands[] = {{{5, 5}, {150, 50}, 0, {0, 1}},
                 {{110, 5}, {250, 50}, MK_CONTROL, {0, 2}},  // 1 toggles off, 2 on
                 {{5, 130}, {50, 160}, MK_SHIFT, {0, 2, 3}},
                 {{5, 130}, {50, 160}, 0, {3}}};
    for (const auto& band : bands) {
        PointAt(window, band.to);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON | band.keys, MAKELPARAM(band.from.x, band.from.y));
        SendMessageA(window, WM_LBUTTONUP, 0, 0);
        EXPECT_EQ(Selected(), band.selected) << band.keys;
    }
}

TEST_F(ThumbnailTest, MovingBeyondThreePixelsStartsADragEscapeCancels) {
    Create(295, 2000);
    AddImages(3);
    control_->SelectItem("IMG_0.JPG", 1);
    control_->SelectItem("IMG_1.JPG", 1);
    HWND layout = Layout()->Window(), cell = Cell(1)->Window();
    POINT press = {100, 100};
    PointAt(layout, press);
    ClientToScreen(layout, &press);
    SetCursorPos(press.x + 2, press.y + 2);
    PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);  // inside the box
    SetCursorPos(press.x + 8, press.y);
    PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);  // outside
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));  // a drag leaves the selection alone

    PostMessageA(layout, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
}

TEST_F(ThumbnailTest, DoubleClickOpensAndRightClicksAskForMenus) {
    Create(295, 2000);
    AddImages(2);
    SendMessageA(Cell(1)->Window(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.opened, std::vector<std::string>{"IMG_1.JPG"});
    EXPECT_EQ(Selected(), std::vector<int>{1});
    SendMessageA(Cell(0)->Window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    SendMessageA(Cell(0)->Window(), WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    SendMessageA(Layout()->Window(), WM_RBUTTONUP, 0, MAKELPARAM(250, 250));
    EXPECT_EQ(sink_.menus, (std::vector<std::string>{"IMG_0.JPG", ""}));
    EXPECT_EQ(Selected(), std::vector<int>{0});
}

TEST_F(ThumbnailTest, LoaderFetchesSelectedFirstAndEverythingOnceEvenWhenAddedTo) {
    Create(640, 480);
    AddImages(6);
    for (auto& image : images_) image->delayMs = 30;
    control_->SelectItem("IMG_4.JPG", 1);
    control_->RestartLoader();
    AddImage("late.jpg");  // while loading: the loader starts over
    EXPECT_TRUE(Layout()->LoaderRunning());
    ASSERT_TRUE(WaitLoaded());
    std::vector<std::string> order = log_.Names();
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(order[0], "IMG_4.JPG");
    EXPECT_EQ(order[1], "IMG_0.JPG");
    for (auto& image : images_) EXPECT_EQ(image->reads, 1);
    control_->RemoveAllItems();
    EXPECT_FALSE(Layout()->LoaderRunning());
}

TEST_F(ThumbnailTest, RetryFetchesAgainAndCancelEndsTheRun) {
    Create(640, 480);
    AddImages(3);
    images_[0]->failuresLeft = 2;
    {
        BoxWatcher retry(IDRETRY);
        control_->RestartLoader();
        ASSERT_TRUE(WaitLoaded());
        EXPECT_EQ(retry.Texts(), std::vector<std::string>(2, "Image Acquisition error."));
    }
    control_->RemoveAllItems();
    AddImages(3);
    images_[4]->failuresLeft = 1;
    BoxWatcher cancel(IDCANCEL);
    control_->RestartLoader();
    WaitUntil([&] { return cancel.Count() == 1 && Layout()->CellAt(0)->HasImage(); }, 10000);
    WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(Layout()->CellAt(0)->HasImage());
    EXPECT_FALSE(Layout()->CellAt(1)->HasImage());
    EXPECT_FALSE(Layout()->CellAt(2)->HasImage());  // the run ended at Cancel
    control_->RestartLoader();
    EXPECT_TRUE(WaitLoaded());  // the next run fetches them
}

TEST_F(ThumbnailTest, StoppingWhileTheWorkerWaitsInSendMessageOrAnErrorBox) {
    Create(640, 480);
    AddImages(3);
    for (auto& image : images_) image->sendTo = host_;  // the worker blocks until this thread answers
    control_->RestartLoader();
    control_->RemoveAllItems();  // must not deadlock
    EXPECT_FALSE(Layout()->LoaderRunning());

    AddImages(2);
    images_[3]->failuresLeft = 100;
    BoxWatcher late(IDCANCEL, 300);
    control_->RestartLoader();
    WaitUntil([&] { return late.Count() > 0; }, 5000);
    Destroy();  // waits, still handling messages, until the box is answered
    EXPECT_EQ(late.Count(), 1);
}

TEST_F(ThumbnailTest, TurnsWhilePicturesArriveAreAppliedExactlyOnce) {
    Create(640, 480);
    AddImages(24);
    for (auto& image : images_) image->delayMs = 5;
    control_->RestartLoader();
    // Seven quarter turns each, interleaved with the loader's arrivals.
    for (int round = 0; round < 7; ++round)
        for (int i = 0; i < 24; ++i) {
            control_->RotateItem(("IMG_" + std::to_string(i) + ".JPG").c_str(), -90);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    ASSERT_TRUE(WaitLoaded());
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(control_->GetItemRotation(("IMG_" + std::to_string(i) + ".JPG").c_str()), -270);
        RECT r = Cell(i)->PictureRect();
        EXPECT_GT(r.bottom - r.top, r.right - r.left) << i;  // 64 x 48 turned an odd number of times
    }
    control_->RotateItem("IMG_0.JPG", -90);
    EXPECT_EQ(control_->GetItemRotation("IMG_0.JPG"), 0);  // eight quarter turns: upright again
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\thumbnails.png"));
}

// The report list in the same host, with three pictures the loader reads as files.
class ListHelperTest : public ThumbnailTest {
protected:
    void SetUp() override {
        ThumbnailTest::SetUp();
        Create(600, 400, 0);
        for (int i = 1; i <= 3; ++i) {
            AddImage("IMG_" + std::to_string(i) + ".JPG", 8, 8);
            images_.back()->fileReads = true;
        }
    }
};

TEST_F(ListHelperTest, RowsStartAsPicturesNumberedThenTheLoaderFillsThem) {
    HWND list = control_->GetWindow();
    EXPECT_EQ(ListText(list, 0), "Pic 1");
    EXPECT_EQ(ListText(list, 2), "Pic 3");
    EXPECT_EQ(ListImage(list, 1), 0);
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return ListImage(list, 0) + ListImage(list, 1) + ListImage(list, 2) == 3; }, 5000));
    EXPECT_EQ(ListText(list, 0), "IMG_1.JPG");
    EXPECT_EQ(ListText(list, 0, 1), "1.5KB");
    EXPECT_EQ(ListText(list, 0, 2), "2024:01:02 03:04:05");
    EXPECT_EQ(ListText(list, 0, 3), "640 x 480");
}

TEST_F(ListHelperTest, SelectionIsReportedOnceTurnsWrapAndSingleSelectionFollowsTheLayout) {
    control_->SelectItem("IMG_2.JPG", 1);
    control_->SelectItem("IMG_2.JPG", 1);  // already selected: no second report
    EXPECT_EQ(control_->GetSelectedCount(), 1);
    EXPECT_EQ(control_->IsItemSelected("IMG_2.JPG"), 1);
    control_->SelectItem("IMG_2.JPG", 0);
    EXPECT_EQ(sink_.selections, (std::vector<std::string>{"IMG_2.JPG+", "IMG_2.JPG-"}));
    for (int turn : {-90, -180, -270, 0}) EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), turn);
    control_->SetLayout(10, 2, 90, 98, 1, RGB(255, 255, 255), 0);
    EXPECT_TRUE(GetWindowLongA(control_->GetWindow(), GWL_STYLE) & LVS_SINGLESEL);
    control_->SetLayout(10, 2, 90, 98, 1, RGB(255, 255, 255), 1);
    EXPECT_FALSE(GetWindowLongA(control_->GetWindow(), GWL_STYLE) & LVS_SINGLESEL);
}

TEST_F(ListHelperTest, OneRightClickAsksForOneMenu) {
    HWND list = control_->GetWindow();
    SetForegroundWindow(host_);
    RECT row = {LVIR_BOUNDS, 0, 0, 0}, client;
    SendMessageA(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    GetClientRect(list, &client);
    for (POINT at : {POINT{row.left + 20, (row.top + row.bottom) / 2}, POINT{client.right - 10, client.bottom - 10}}) {
        ClientToScreen(list, &at);
        SendClick(at, true);
        WaitUntil([&] { return false; }, 300);
    }
    // Not a second one from WM_CONTEXTMENU; the empty part's is the background's.
    EXPECT_EQ(sink_.menus, (std::vector<std::string>{"IMG_2.JPG", ""}));
    SetFocus(list);
    SendKey(VK_APPS);  // the keyboard's menu key comes as WM_CONTEXTMENU alone
    WaitUntil([&] { return sink_.menus.size() == 3; }, 1000);
    EXPECT_EQ(sink_.menus.size(), 3u);
}

}  // namespace
