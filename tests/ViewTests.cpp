// The root view and the camera view in a browser host of our own: what they
// list and merge into the menus, toolbar and status line, and what the
// user's commands, keys, clipboard and drags do with the pictures.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "server/CameraFolder.h"
#include "server/RootView.h"
#include "server/SourceFolder.h"
#include "support/BoxWatcher.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "transfer/CopyToDisk.h"
#include "transfer/DropSource.h"
#include "view/CameraView.h"
#include "base/SizeText.h"

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

class RootViewTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        root_ = InitializedRoot();
        ASSERT_EQ(root_->CreateViewObject(host_.Window(), IID_IShellView, view_.PutVoid()), S_OK);
    }
    void TearDown() override {
        host_.Close();
        view_.Reset();
        root_.Reset();
        CoreTest::TearDown();
    }

    // Opens the view and waits for the posted fill.
    HWND OpenAndFill() {
        EXPECT_EQ(host_.Open(view_.Get()), S_OK);
        HWND viewWindow = nullptr;
        view_->GetWindow(&viewWindow);
        HWND list = nullptr;
        WaitUntil(
            [&] {
                list = FindDescendant(viewWindow, "SysListView32");
                return list && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0;
            },
            5000);
        return list;
    }

    BrowserHost host_;
    ComRef<IShellFolder> root_;
    ComRef<IShellView> view_;
};

TEST_F(RootViewTest, ListsTheSourcesWithTheirIconsAndEnterBrowsesIntoOne) {
    HWND list = OpenAndFill();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(view_->Refresh(), S_OK);  // refilling shows each item once
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
    const std::pair<const char*, int> rows[] = {{"Digital Camera", 1}, {"Removable Media", 2}, {"Hard Disk", 3}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ListText(list, i), rows[i].first);
        EXPECT_EQ(ListImage(list, i), rows[i].second) << rows[i].first;  // icons 245, 240, 239
    }
    EXPECT_EQ(host_.StatusText(0), "");
    EXPECT_EQ(host_.StatusText(1), "OrvexView");
    ASSERT_EQ(host_.StatusParts().size(), 3u);
    EXPECT_EQ(host_.StatusParts()[2], -1);

    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    NMHDR enter = {list, 0, static_cast<UINT>(NM_RETURN)};
    SendMessageA(GetParent(list), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&enter));
    ASSERT_EQ(host_.browsedTo.size(), 1u);
    EXPECT_EQ(host_.browsedTo[0], "Removable Media");
    EXPECT_EQ(host_.lastBrowseFlags, static_cast<UINT>(SBSP_RELATIVE));
}

TEST_F(RootViewTest, SettingsAndAboutMergeIntoTheBrowserAndOpenTheirBoxes) {
    ScopedRegKey settings(HKEY_LOCAL_MACHINE, "Software\\Pictavia\\OrvexView\\Settings");
    settings.SetString("Camera", "Memory Card");
    ASSERT_NE(OpenAndFill(), nullptr);
    ASSERT_NE(host_.menu, nullptr);
    HMENU viewMenu = GetSubMenu(host_.menu, 2);
    ASSERT_EQ(GetMenuItemCount(viewMenu), 3);  // the browser's last item replaced by a separator and Settings
    EXPECT_EQ(GetMenuItemID(viewMenu, 0), 40000u);
    EXPECT_EQ(GetMenuItemID(viewMenu, 2), static_cast<UINT>(RootView::kSettings));
    EXPECT_FALSE(GetMenuState(viewMenu, RootView::kSettings, MF_BYCOMMAND) & MF_GRAYED);
    char about[128] = {};
    GetMenuStringA(GetSubMenu(host_.menu, 3), RootView::kAbout, about, sizeof about, MF_BYCOMMAND);
    EXPECT_EQ(std::string(about), "About &" + theModule.productName);
    ASSERT_EQ(host_.toolbarButtons.size(), 3u);
    EXPECT_EQ(host_.toolbarButtons[1].idCommand, RootView::kSettings);
    EXPECT_TRUE(host_.ButtonEnabled(RootView::kSettings));

    DialogAnswerer answerer(IDCANCEL);
    SendMessageA(host_.Window(), WM_COMMAND, RootView::kSettings, 0);  // through the browser, as its menu does
    SendMessageA(host_.Window(), WM_COMMAND, RootView::kAbout, 0);
    EXPECT_EQ(answerer.Captions(), (std::vector<std::string>{"Digital Camera Settings", "About " + theModule.productName +
                                                             " - version " + theModule.productVersion}));
}

TEST_F(RootViewTest, ActivationOnlyActsOnRealChanges) {
    ASSERT_EQ(host_.Open(view_.Get()), S_OK);
    int before = host_.activations;
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);  // first call always acts
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);    // a focus change only
    EXPECT_EQ(host_.activations, before + 1);
    EXPECT_EQ(view_->UIActivate(SVUIA_DEACTIVATE), S_OK);
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    EXPECT_EQ(host_.activations, before + 2);
}

TEST_F(RootViewTest, WindowIsMadeOnceAndDestroyedOnce) {
    ASSERT_NE(OpenAndFill(), nullptr);
    HWND again = reinterpret_cast<HWND>(1);
    FOLDERSETTINGS settings = {FVM_ICON, 0};
    RECT area = {0, 0, 100, 100};
    EXPECT_EQ(view_->CreateViewWindow(nullptr, &settings, &host_, &area, &again), E_UNEXPECTED);
    EXPECT_EQ(again, nullptr);
    FOLDERSETTINGS current = {};
    EXPECT_EQ(view_->GetCurrentInfo(&current), S_OK);
    EXPECT_EQ(current.ViewMode, static_cast<UINT>(FVM_ICON));
    EXPECT_EQ(view_->DestroyViewWindow(), S_OK);
    EXPECT_EQ(view_->DestroyViewWindow(), E_UNEXPECTED);
}

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

    // Opens the view of `folderName` in the host and waits for its fill.
    CameraView* Open(const std::string& folderName = "100TEST", int expectedItems = 3, bool fileDialog = false) {
        CloseView();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName));
        if (folderName.empty()) folder_->SetKind("Viewer");  // the "Hard Disk" folder
        EXPECT_EQ(folder_->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
        host_ = std::make_unique<BrowserHost>(fileDialog);
        EXPECT_EQ(host_->Open(view_.Get()), S_OK);
        auto* view = static_cast<CameraView*>(view_.Get());
        WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == expectedItems; },
                  expectedItems ? 5000 : 300);
        return view;
    }
    void CloseView() {
        host_.reset();
        view_.Reset();
        folder_.Reset();
    }
    // The source of the model "Memory Card" served by the test driver.
    void UseFakeCamera(const std::string& settings) {
        keys_->local->SetString("Path", BinPath("fakecam.dll") + "," + settings);
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    }
    HWND ViewWindow() {
        HWND window = nullptr;
        view_->GetWindow(&window);
        return window;
    }
    void Command(int command) { SendMessageA(ViewWindow(), WM_COMMAND, command, 0); }
    bool Grayed(int command) { return GetMenuState(host_->menu, command, MF_BYCOMMAND) & MF_GRAYED; }
    // The selection commands usable from the menus, then those of the toolbar.
    std::string Usable() {
        const struct {
            int command;
            const char* name;
            bool button;
        } commands[] = {{CameraView::kCopy, "Copy", false},          {CameraView::kRotate, "Rotate", true},
                        {CameraView::kDelete, "Delete", true},       {CameraView::kSelectAll, "SelectAll", false},
                        {CameraView::kProperties, "Properties", true}};
        std::string menu, toolbar;
        for (const auto& c : commands) {
            if (!Grayed(c.command)) menu += std::string(" ") + c.name;
            if (c.button && host_->ButtonEnabled(c.command)) toolbar += std::string(" ") + c.name;
        }
        return "menu:" + menu + " toolbar:" + toolbar;
    }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_;
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    ComRef<IShellView> view_;
    std::unique_ptr<BrowserHost> host_;
};

TEST_F(CameraViewTest, SelectionDrivesMenusToolbarStatusAndBoxes) {
    CameraView* view = Open();
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 0 ");
    EXPECT_EQ(host_->StatusText(1), "Removable Media");
    EXPECT_EQ(host_->StatusText(2), "");
    EXPECT_EQ(host_->toolbarButtons.size(), 14u);
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kThumbnailView));
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kSelectFolder));  // not a disk folder
    EXPECT_EQ(Usable(), "menu: SelectAll toolbar:");
    {
        MenuWatcher menus;
        RECT area;
        GetWindowRect(ViewWindow(), &area);
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
    const std::pair<int, const char*> sizes[] = {{0, ""},          {-5, ""},           {1, "1 byte"},
                                                 {1023, "1023 byte"}, {1024, "1.0KB"},   {1536, "1.5KB"},
                                                 {1048575, "1024.0KB"}, {1048576, "1.0MB"}};
    for (const auto& s : sizes) EXPECT_EQ(FormatFileSize(s.first), s.second) << s.first;
    EXPECT_EQ(FormatImageSize(1280, 960), "1280 x 960");
    EXPECT_EQ(FormatImageSize(0, 480), "");
}

TEST_F(CameraViewTest, TheListShowsTheCardsDetailsKeepsTheSelectionAndIsRemembered) {
    BoxWatcher errors(IDCANCEL);
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kListView);
    EXPECT_EQ(ConfigStore::Read(ConfigStore::kSettingsKey, "ViewType"), "List");
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));
    EXPECT_FALSE(host_->ButtonChecked(CameraView::kThumbnailView));
    ASSERT_NE(view->Control(), nullptr);
    HWND list = view->Control()->GetWindow();
    ASSERT_TRUE(WaitUntil([&] { return ListImage(list, 0) == 1 && ListImage(list, 1) == 1 &&
                                       ListImage(list, 2) == 1; }, 5000));  // every file fetched
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
    EXPECT_GT(edges[0], 0);
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
    struct Case {
        const char* settings;  // caps=2: the camera deletes only all at once
        int images;
        Names select;
        int noAt;  // 0: Yes to everything
        Names questions, left;
    };
    const Names three = {"FAKE1.JPG", "FAKE2.JPG", "FAKE3.JPG"};
    const Case cases[] = {
        {"images=3 caps=3", 3, three, 0, {all, warning}, {}},  // every picture: the camera's delete-all
        {"images=3 caps=3", 3, three, 2, {all, warning}, three},
        {"images=1 caps=3", 1, {"FAKE1.JPG"}, 0, {selected}, {}},
        {"images=5 caps=3", 5, {"FAKE2.JPG", "FAKE4.JPG"}, 0, {selected}, {"FAKE1.JPG", "FAKE3.JPG", "FAKE5.JPG"}},
        {"images=3 caps=2", 3, {}, 0, {all, warning}, {}},
    };
    for (const Case& c : cases) {
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
        EXPECT_FALSE(Grayed(CameraView::kDelete));
        EXPECT_TRUE(host_->ButtonEnabled(CameraView::kDelete));

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
        EXPECT_EQ(host_->StatusText(0).rfind("Total images: " + std::to_string(c.left.size()) + " ", 0), 0u);
    }
    EXPECT_EQ(host_->Tooltip(CameraView::kListView), "List View");
}

// Runs `command` and gives back what it printed, pumping this thread's
// messages meanwhile (the clipboard owner renders on request).
std::string RunPumping(const std::string& command) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};  // NOLINT
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::string line = command;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return "";
    CloseHandle(writeEnd);
    WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
    std::string output;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) output.append(chunk, got);
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    return output;
}

TEST_F(CameraViewTest, CopiedAndDraggedPicturesReachOtherPrograms) {
    std::string transfer = WorkDirectory() + "TRANSFER\\";
    RemoveTree(transfer);
    CameraView* view = Open();
    view->Control()->SelectItem("img_0001.jpg", 1);
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    Command(CameraView::kCopy);
    std::string listed = RunPumping(BinPath("clipboard_reader.exe"));
    EXPECT_EQ(listed, "file " + transfer + "img_0001.jpg\nfile " + transfer + "IMG_0002.JPG\n");
    EXPECT_EQ(ReadFileBytes(transfer + "IMG_0002.JPG"), ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    EXPECT_FALSE(Grayed(CameraView::kPaste));  // our own files are pictures the card takes

    // A new copy is a new transfer: the earlier file keeps its name. One
    // picture comes as a bitmap too, upright as its orientation tag shows it.
    view->Control()->SelectItem("img_0001.jpg", 0);
    Command(CameraView::kCopy);
    std::string again = RunPumping(BinPath("clipboard_reader.exe"));
    EXPECT_EQ(again.rfind("file " + transfer + "IMG_0002(", 0), 0u) << again;
    EXPECT_NE(again.find(").JPG\ndib 640 480\n"), std::string::npos) << again;

    // Real OLE drag loops; no button is down, so they drop where the cursor
    // is: on the view itself, which refuses its own pictures, then on the
    // other folder of the card, open in a second browser window on top.
    view->Control()->SelectItem("img_0001.jpg", 1);
    auto cursorOnto = [](IShellView* target) {
        HWND window = nullptr;
        target->GetWindow(&window);
        RECT area;
        GetWindowRect(window, &area);
        SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    };
    cursorOnto(view_.Get());
    view->BeginDrag();
    EXPECT_EQ(view->Items().size(), 3u);
    auto other = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), "101TEST"));
    ComRef<IShellView> otherView;
    ASSERT_EQ(other->CreateViewObject(nullptr, IID_IShellView, otherView.PutVoid()), S_OK);
    BrowserHost otherHost;
    ASSERT_EQ(otherHost.Open(otherView.Get()), S_OK);
    cursorOnto(otherView.Get());
    view->BeginDrag();
    const std::vector<ViewItem>& arrived = static_cast<CameraView*>(otherView.Get())->Items();
    ASSERT_EQ(arrived.size(), 2u);  // under the names this transfer gave them
    EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + arrived[0].name), ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    EXPECT_EQ(ReadFileBytes(card_.SecondFolder() + "\\" + arrived[1].name), ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    otherHost.Close();

    CloseView();  // a closing view takes its own data off the clipboard
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("Vistrel")));
    RemoveTree(transfer);
}

TEST_F(CameraViewTest, ShellFilesArriveByPasteAndByDrop) {
    CameraView* view = Open();
    std::string outside = MakeTempDir("shellfile");
    card_.Write(outside + "\\holiday.jpg", ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    // The shell's own data object for that file, as its folder views hand out.
    ComRef<IShellFolder> desktop, parent;
    ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    std::wstring wide(outside.begin(), outside.end());
    LPITEMIDLIST folderList = nullptr, fileList = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, &wide[0], nullptr, &folderList, nullptr), S_OK);
    ASSERT_EQ(desktop->BindToObject(folderList, nullptr, IID_IShellFolder, parent.PutVoid()), S_OK);
    wchar_t file[] = L"holiday.jpg";
    ASSERT_EQ(parent->ParseDisplayName(nullptr, nullptr, file, nullptr, &fileList, nullptr), S_OK);
    ComRef<IDataObject> data;
    LPCITEMIDLIST children[] = {fileList};
    ASSERT_EQ(parent->GetUIObjectOf(nullptr, 1, children, IID_IDataObject, nullptr, data.PutVoid()), S_OK);

    OleSetClipboard(nullptr);
    host_->Pump(100);
    EXPECT_TRUE(Grayed(CameraView::kPaste));
    ASSERT_EQ(OleSetClipboard(data.Get()), S_OK);  // as another program copying the file
    host_->Pump(200);
    EXPECT_FALSE(Grayed(CameraView::kPaste));  // at once: the view watches the clipboard
    Command(CameraView::kPaste);
    OleSetClipboard(nullptr);
    host_->Pump(200);
    EXPECT_TRUE(Grayed(CameraView::kPaste));
    ASSERT_EQ(view->Items().size(), 4u);
    EXPECT_EQ(view->Items().back().name, "holiday.jpg");
    EXPECT_EQ(ReadFileBytes(card_.Folder() + "\\holiday.jpg"), ReadFileBytes(outside + "\\holiday.jpg"));

    RECT area;
    GetWindowRect(ViewWindow(), &area);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    auto source = ComRef<DropSource>::Share(new DropSource);  // lets go at once: no button is down
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(data.Get(), source.Get(), DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_EQ(view->Items().size(), 5u);
    EXPECT_EQ(view->Items().back().name, "holiday (2).jpg");
    EXPECT_EQ(view->Control()->GetItemCount(), 5);
    CoTaskMemFree(fileList);
    CoTaskMemFree(folderList);
    RemoveTree(outside);
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

}  // namespace
