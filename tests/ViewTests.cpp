// The views in a browser host of our own and the image controls in a window
// of their own, driven through real windows, messages, input, clipboard and
// drags: what they list and show, and what the user's actions do.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>

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
#include "view/CameraView.h"

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

void CursorOnto(HWND window) {
    RECT area;
    GetWindowRect(window, &area);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
}

// Closes the one full-size viewer open and gives its title; "" when not just one is open.
std::string CloseViewer() {
    std::vector<HWND> frames = OwnWindowsOfClass("FrameHelperWin");
    char title[256] = {};
    if (frames.size() == 1) GetWindowTextA(frames[0], title, sizeof title);
    if (frames.size() == 1) DestroyWindow(frames[0]);
    return title;
}

// A browser window of our own on the views of a memory card model's card.
class CameraViewTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        UseSource("Local");
    }
    void TearDown() override {
        CloseView();
        source_.Reset();
        CoreTest::TearDown();
    }
    void UseSource(const char* kind) { source_ = ComRef<SourceFolder>::Share(new SourceFolder(kind)); }
    void Show(IShellFolder* folder, bool fileDialog = false) {
        host_ = std::make_unique<BrowserHost>(fileDialog);
        EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
        EXPECT_EQ(host_->Open(view_.Get()), S_OK);
    }
    // Opens the view of `folderName` ("": the "Hard Disk" folder) and waits for its `items`.
    CameraView* Open(const std::string& folderName = "100TEST", int items = 3, bool fileDialog = false) {
        CloseView();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName));
        if (folderName.empty()) folder_->SetKind("Viewer");
        Show(folder_.Get(), fileDialog);
        auto* view = static_cast<CameraView*>(view_.Get());
        bool filled = WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == items; }, 5000);
        EXPECT_TRUE(filled || !items) << folderName << " does not show " << items << " pictures";
        return view;
    }
    void CloseView() {
        host_.reset();
        view_.Reset();
        folder_.Reset();
    }
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

    HMENU viewMenu = GetSubMenu(host_->menu, 2);
    ASSERT_EQ(GetMenuItemCount(viewMenu), 3);  // the browser's last item replaced by a separator and Settings
    EXPECT_EQ(GetMenuItemID(viewMenu, 2), static_cast<UINT>(RootView::kSettings));
    EXPECT_TRUE(host_->ButtonEnabled(RootView::kSettings));

    DialogAnswerer answerer(IDCANCEL);
    Command(RootView::kSettings);  // through the browser, as its menu does
    Command(RootView::kAbout);
    const std::string about = "About " + theModule.productName + " - version " + theModule.productVersion;
    EXPECT_EQ(answerer.Captions(), (Names{"Digital Camera Settings", about}));
}

TEST_F(CameraViewTest, SelectionDrivesMenusToolbarStatusAndBoxes) {
    CameraView* view = Open();
    EXPECT_EQ(Status(), "Total images: 3    Selected: 0 |Removable Media|");
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kSelectFolder));  // not a disk folder
    EXPECT_EQ(Usable(), "menu: SelectAll toolbar:");
    MenuWatcher menus;
    RECT area;
    GetWindowRect(view->Control()->GetWindow(), &area);
    SendClick({area.right - 5, area.bottom - 5}, true);  // the control's empty part: the background's menu
    ASSERT_TRUE(WaitUntil([&] { return menus.Menus().size() == 1; }, 3000));
    view->ContextMenuRequested(0, "img_0001.jpg");
    EXPECT_EQ(menus.Menus(), (std::vector<Names>{
        {"Refresh", "-", "Thumbnail View [checked]", "List View", "-", "Select All"},
        {"Preview [grayed]", "-", "Copy", "Rotate", "Delete", "-", "Print...", "-", "Properties [grayed]"}}));

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

    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(Status(), "Total images: 3    Selected: 0 |Removable Media|");
    EXPECT_EQ(view->Items()[1].rotation, 0);
}

TEST_F(CameraViewTest, CellWidthsOutsideTheRangeFallBackToNinety) {
    CameraView* view = Open();
    const std::pair<const char*, int> cases[] = {{"31", 90}, {"32", 32}, {"200", 200}, {"201", 90}, {"abc", 90},
                                                 {"120px", 120}};
    for (const auto& c : cases) {
        keys_->model->SetString("ThumbFrameSize", c.first);
        EXPECT_EQ(view->CellWidth(), c.second) << c.first;
    }
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
    EXPECT_EQ(ListText(list, 0), "img_0001.jpg");
    EXPECT_EQ(ListText(list, 1, 2), "2024:06:01 09:30:00");  // the card's EXIF capture date
    EXPECT_EQ(errors.Count(), 0);

    Command(CameraView::kThumbnailView);
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
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

// What clipboard_reader.exe, a second program, reads from the clipboard;
// this thread's messages are pumped meanwhile (the owner renders on request).
std::string ReadClipboardElsewhere() {
    std::string out = WorkDirectory() + "reader.txt", line = BinPath("clipboard_reader.exe");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};  // NOLINT
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    std::string text;
    for (uint8_t c : ReadFileBytes(out)) if (c != '\r') text += char(c);
    DeleteFileA(out.c_str());
    return text;
}

TEST_F(CameraViewTest, PicturesTravelByClipboardAndDragBetweenProgramsAndFolders) {
    std::string transfer = WorkDirectory() + "TRANSFER\\", path = card_.Root() + "\\holiday.jpg";
    RemoveTree(transfer);
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
    EXPECT_EQ(ReadClipboardElsewhere(), "file " + transfer + "img_0001.jpg\nfile " + transfer + "IMG_0002.JPG\n");
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
    ASSERT_EQ(arrived.size(), 2u);  // under the names this transfer gave them
    for (size_t i = 0; i < 2; ++i)  // the card's first two, as selected
        EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + arrived[i].name),
                  ReadFileBytes(card_.Folder() + "\\" + view->Items()[i].name));
    otherHost.Close();

    CloseView();  // a closing view takes its own data off the clipboard
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("Vistrel")));
    RemoveTree(transfer);
}

// A browser like Wine's explorer reads the selection's ID list array to see whether a folder was opened, then
// leaves the action to the view: the picture is fetched once, and a fetch the user cancelled opens nothing.
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
        FORMATETC format = {CLIPFORMAT(RegisterClipboardFormatA(CFSTR_SHELLIDLIST)), nullptr, DVASPECT_CONTENT, -1,
                            TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (shown->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid()) == S_OK)
            reads += data->GetData(&format, &medium) == S_OK;
        ReleaseStgMedium(&medium);
        // Gone from the card now: the viewer can only show the copy fetched here.
        DeleteFileA((card_.Folder() + "\\IMG_0002.JPG").c_str());
        return S_FALSE;
    };
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    view->ItemOpened(0, "IMG_0002.JPG");
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(CloseViewer().find("IMG_0002.JPG"), 0u);

    DeleteFileA((card_.Folder() + "\\img_0001.jpg").c_str());  // the fetch fails; the box gets Cancel
    view->Control()->SelectItem("IMG_0002.JPG", 0);
    view->Control()->SelectItem("img_0001.jpg", 1);
    DialogAnswerer answerer(IDCANCEL);
    view->ItemOpened(0, "img_0001.jpg");
    EXPECT_TRUE(OwnWindowsOfClass("FrameHelperWin").empty());
    EXPECT_EQ(answerer.Captions().size(), 1u);  // the transfer's Retry/Cancel, no second box
}

struct RecordingSink final : ImageControlSink {
    int drags = 0;
    Names opened, menus, selections;
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
    void TearDown() override {
        Destroy();
        DestroyWindow(host_);
        CoreTest::TearDown();
    }
    void Destroy() {
        if (control_) control_->DestroyControl();
        if (control_) control_->Destroy(1);
        control_ = nullptr;
    }
    // A control (kind 1: thumbnails, 0: list) with a `width` x `height` client area showing IMG_0.JPG...
    void Create(int width, int height, int images = 0, int kind = 1) {
        Destroy();
        control_ = CreateImageControl(kind);
        control_->SetSink(&sink_);
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

    HWND host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 100, 640, 480, nullptr, nullptr, nullptr,
                                 nullptr);
    ImageControl* control_ = nullptr;
    RecordingSink sink_;
    FetchLog log_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

TEST_F(ThumbnailTest, CellsFitTheirPictureAndRowsWrapAtTheWidthPlusSlack) {
    Create(640, 480);
    const struct { const char* name; int width, height; std::vector<LONG> picture; } cases[] = {
        {"wide.jpg", 640, 480, {5, 15, 84, 74}}, {"tall.jpg", 400, 800, {25, 5, 64, 84}},
        {"small.jpg", 40, 30, {25, 30, 64, 59}}};
    for (const auto& c : cases) AddImage(c.name, c.width, c.height);
    images_[2]->named = false;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Cell(i)->PrepareImage());
        RECT r = Cell(i)->PictureRect();
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), cases[i].picture) << cases[i].name;
    }
    EXPECT_EQ(Cell(0)->Caption(), "wide.jpg");
    EXPECT_EQ(Cell(2)->Caption(), "Pic 3");  // numbered until its name is read

    // Cells of 90 every 100 from 10: the third ends at 300, within a width of 296 + 5 but not 290 + 5.
    for (const auto& c : {std::make_pair(295, 3), std::make_pair(289, 2)}) {
        Create(c.first, 2000, 4);
        EXPECT_EQ(Layout()->CellPosition(c.second - 1).y, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).x, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).y, 10 + 110 + 2) << c.first;
    }
}

TEST_F(ThumbnailTest, TheScrollBarComesWhenNeededAndABandPastTheEdgeScrollsTenAPass) {
    Create(400, 300, 3);
    EXPECT_FALSE(Layout()->ScrollBarShown());
    Create(400, 300, 12);
    ASSERT_TRUE(Layout()->ScrollBarShown());
    ASSERT_GT(Layout()->ScrollMax(), 20);
    HWND window = Layout()->Window();
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

TEST_F(ThumbnailTest, TheMouseOnAGridOfThreeARow) {
    struct Press { int cell, how = kPlain; };
    const struct { const char* rule; int multi; std::vector<Press> presses; std::vector<int> selected; } cases[] = {
        {"single selection: Ctrl is a plain click", 0, {{1}, {2, kCtrl}}, {2}},
        {"single selection: the background clears", 0, {{1}, {0, kBackground}}, {}},
        {"a click selects one", 1, {{4}}, {4}},
        {"Ctrl adds", 1, {{4}, {6, kCtrl}}, {4, 6}},
        {"Ctrl again removes", 1, {{4}, {6, kCtrl}, {6, kCtrl}}, {4}},
        {"removing keeps the anchor", 1, {{4}, {6, kCtrl}, {6, kCtrl}, {8, kShift}}, {6, 7, 8}},
        {"Shift takes the block from the anchor alone", 1, {{6}, {0, kCtrl}, {4, kShift}}, {0, 1, 3, 4}},
        {"Ctrl+Shift adds the block", 1, {{6}, {0, kCtrl}, {4, kShift | kCtrl}}, {0, 1, 3, 4, 6}},
        {"a press on a selected cell keeps it alone on release", 1, {{0}, {1, kCtrl}, {1}}, {1}},
        {"below the picture is background: an empty band", 1, {{0}, {1, kBelowPicture}}, {}},
    };
    Create(295, 2000, 9);
    HWND layout = Layout()->Window();
    for (const auto& c : cases) {
        control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), c.multi);
        for (const Press& press : c.presses) {
            SetKeys(press.how & kShift, press.how & kCtrl);
            HWND cell = Cell(press.cell)->Window();
            if (press.how & kBackground) {
                SendMessageA(layout, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(280, 280));
            } else if (press.how & kBelowPicture) {  // the caption strip of a 90 x 110 cell
                PointAt(cell, {40, 100});
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 100));
                SendMessageA(layout, WM_LBUTTONUP, 0, 0);
            } else {  // released at once
                PostMessageA(layout, WM_LBUTTONUP, 0, 0);
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
            }
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
    SendMessageA(Cell(0)->Window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    SendMessageA(Cell(0)->Window(), WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.menus, Names{Name(0)});  // and selects it alone, as the drag below shows

    // Moving more than three pixels from a press on a selected cell starts a drag; Escape cancels one.
    control_->SelectItem("IMG_1.JPG", 1);
    PointAt(layout, {100, 100});
    for (POINT move : {POINT{102, 102}, POINT{108, 100}}) {  // inside the box, then outside
        ClientToScreen(layout, &move);
        SetCursorPos(move.x, move.y);
        PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);
    }
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));  // a drag leaves the selection alone

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

TEST_F(ThumbnailTest, CancelEndsTheRunAndRetryFetchesAgain) {
    Create(640, 480, 3);
    images_[1]->failuresLeft = 1;
    {
        BoxWatcher cancel(IDCANCEL);
        control_->RestartLoader();
        WaitUntil([&] { return cancel.Count() == 1 && !Loaded().empty(); }, 10000);
        WaitUntil([] { return false; }, 300);  // time for fetches that must not come
        EXPECT_EQ(Loaded(), std::vector<int>{0});
    }
    images_[1]->failuresLeft = 2;
    BoxWatcher retry(IDRETRY);
    control_->RestartLoader();
    ASSERT_TRUE(WaitLoaded());  // the next run fetches the rest
    EXPECT_EQ(retry.Texts(), Names(2, "Image Acquisition error."));
}

TEST_F(ThumbnailTest, StoppingWhileTheWorkerWaitsInSendMessageOrAnErrorBox) {
    Create(640, 480, 3);
    for (auto& image : images_) image->sendTo = host_;  // the worker blocks until this thread answers
    control_->RestartLoader();
    control_->RemoveAllItems();  // must not deadlock
    EXPECT_FALSE(Layout()->LoaderRunning());

    AddImage("IMG_3.JPG");
    images_.back()->failuresLeft = 100;
    BoxWatcher late(IDCANCEL, 300);
    control_->RestartLoader();
    WaitUntil([&] { return late.Count() > 0; }, 5000);
    Destroy();  // waits, still handling messages, until the box is answered
    EXPECT_EQ(late.Count(), 1);
}

TEST_F(ThumbnailTest, TurnsWhilePicturesArriveAreAppliedExactlyOnce) {
    Create(640, 480, 24);
    for (auto& image : images_) image->delayMs = 5;
    control_->RestartLoader();
    // Seven quarter turns each, interleaved with the loader's arrivals.
    for (int turn = 0; turn < 7 * 24; ++turn) {
        control_->RotateItem(Name(turn % 24).c_str(), -90);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    ASSERT_TRUE(WaitLoaded());
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(control_->GetItemRotation(Name(i).c_str()), -270);
        RECT r = Cell(i)->PictureRect();
        EXPECT_GT(r.bottom - r.top, r.right - r.left) << i;  // 64 x 48 turned an odd number of times
    }
    control_->RotateItem("IMG_0.JPG", -90);
    EXPECT_EQ(control_->GetItemRotation("IMG_0.JPG"), 0);  // eight quarter turns: upright again
    CreateDirectoryA((BinDir() + "\\..\\test-output").c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(BinDir() + "\\..\\test-output\\thumbnails.png"));
}

// The report list in the same host, with three pictures the loader reads as files.
using ListHelperTest = ThumbnailTest;

TEST_F(ListHelperTest, RowsAreNumberedUntilLoadedSelectionIsReportedOnceAndTurnsWrap) {
    Create(600, 400, 3, 0);
    for (auto& image : images_) image->fileReads = true;
    HWND list = control_->GetWindow();
    EXPECT_EQ(ListText(list, 2), "Pic 3");
    EXPECT_EQ(RowsWithPictures(list), 0);
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return RowsWithPictures(list) == 3; }, 5000));
    std::string row;
    for (int column = 0; column < 4; ++column) row += ListText(list, 0, column) + "|";
    EXPECT_EQ(row, "IMG_0.JPG|1.5KB|2024:01:02 03:04:05|640 x 480|");

    control_->SelectItem("IMG_2.JPG", 1);
    control_->SelectItem("IMG_2.JPG", 1);  // already selected: no second report
    EXPECT_EQ(control_->IsItemSelected("IMG_2.JPG"), 1);
    control_->SelectItem("IMG_2.JPG", 0);
    EXPECT_EQ(sink_.selections, (Names{"IMG_2.JPG+", "IMG_2.JPG-"}));
    for (int turn : {-90, -180, -270, 0}) EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), turn);
    for (int multi : {0, 1}) {  // single selection follows the layout's setting
        control_->SetLayout(10, 2, 90, 98, 1, RGB(255, 255, 255), multi);
        EXPECT_EQ(bool(GetWindowLongA(list, GWL_STYLE) & LVS_SINGLESEL), !multi);
    }
}

}  // namespace
