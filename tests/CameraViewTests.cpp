// The camera view in a browser host of our own: window, fill, menus, toolbar
// and status line, command states, cell sizes, activation.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "camera/ConfigStore.h"
#include "controls/ImageControl.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/BoxWatcher.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "transfer/CopyToDisk.h"
#include "transfer/ImageDataObject.h"
#include "support/MenuWatcher.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "view/CameraView.h"
#include "base/SizeText.h"

namespace {


class CameraViewTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        keys_ = std::make_unique<CardModelKeys>(card_.Root());
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    }
    void TearDown() override {
        host_.reset();
        view_.Reset();
        folder_.Reset();
        source_.Reset();
        keys_.reset();
        CoreTest::TearDown();
    }

    // Opens the view of `folderName` in the host and waits for its fill.
    CameraView* Open(const std::string& folderName = "100TEST", int expectedItems = 3,
                     bool fileDialog = false) {
        CloseView();
        folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), folderName));
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

    static bool Grayed(HMENU menu, int command) {
        return GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED;
    }
    HMENU Edit() { return GetSubMenu(host_->menu, 1); }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_;
    ComRef<SourceFolder> source_;
    ComRef<CameraFolder> folder_;
    ComRef<IShellView> view_;
    std::unique_ptr<BrowserHost> host_;
};

TEST_F(CameraViewTest, FillsThumbnailsAndTheStatusLine) {
    CameraView* view = Open();
    ASSERT_NE(view->Control(), nullptr);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
    EXPECT_EQ(view->Items().size(), 3u);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 0 ");
    EXPECT_EQ(host_->StatusText(1), "Removable Media");
    EXPECT_EQ(host_->StatusText(2), "");
    ComRef<IOleWindow> notAnswered;
    EXPECT_EQ(view_->QueryInterface(IID_IOleWindow, notAnswered.PutVoid()), E_NOINTERFACE);
    ComRef<IUnknown> unknown;
    EXPECT_EQ(view_->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
}

TEST_F(CameraViewTest, MenusAndToolbarFollowTheSelection) {
    CameraView* view = Open();
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    WaitUntil([] { return false; }, 300);
    SaveScreenPng(shots + "\\host-camera-view.png");
    HMENU edit = Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(Grayed(edit, CameraView::kRotate));
    EXPECT_TRUE(Grayed(edit, CameraView::kCopy));
    EXPECT_TRUE(Grayed(edit, CameraView::kDelete));
    EXPECT_FALSE(Grayed(edit, CameraView::kSelectAll));
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kRotate));
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kSelectFolder));  // not a disk folder
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kThumbnailView));
    EXPECT_EQ(host_->toolbarButtons.size(), 14u);

    view->Control()->SelectItem("img_0001.jpg", 1);
    EXPECT_FALSE(Grayed(edit, CameraView::kRotate));
    EXPECT_FALSE(Grayed(GetSubMenu(host_->menu, 0), CameraView::kProperties));
    EXPECT_TRUE(host_->ButtonEnabled(CameraView::kProperties));
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 1 ");
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    EXPECT_TRUE(Grayed(GetSubMenu(host_->menu, 0), CameraView::kProperties));  // two: no properties
    EXPECT_FALSE(host_->ButtonEnabled(CameraView::kProperties));
    EXPECT_TRUE(host_->ButtonEnabled(CameraView::kDelete));
    EXPECT_EQ(view->Items()[0].selected, 1);
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

TEST_F(CameraViewTest, RefreshForgetsSelectionAndRotation) {
    CameraView* view = Open();
    view->Control()->SelectItem("img_0001.jpg", 1);
    ASSERT_EQ(view->Items()[0].selected, 1);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(view->Items()[0].selected, 0);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 0);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
}

TEST_F(CameraViewTest, ADisconnectedFolderShowsTheConnectionError) {
    DialogAnswerer answerer(IDOK);
    Open("NOSUCHFOLDER", 0);
    WaitUntil([&] { return !answerer.Texts().empty(); }, 5000);
    ASSERT_EQ(answerer.Texts().size(), 1u);
    EXPECT_EQ(answerer.Texts()[0], "Connection Error.\nPlease check the connection and the camera settings.");
    EXPECT_EQ(answerer.Captions()[0], theModule.productName + " - Connection Error");
    EXPECT_EQ(host_->StatusText(0), "Total images: 0    Selected: 0 ");
}

TEST_F(CameraViewTest, WindowIsMadeOnceAndF1DoesNothing) {
    Open();
    HWND window = nullptr;
    EXPECT_EQ(view_->GetWindow(&window), S_OK);
    MSG f1 = {window, WM_KEYDOWN, VK_F1, 0, 0, {0, 0}};
    EXPECT_EQ(view_->TranslateAccelerator(&f1), S_OK);  // translated to a command nobody handles
    HWND again = nullptr;
    FOLDERSETTINGS settings = {FVM_ICON, 0};
    RECT area = {0, 0, 10, 10};
    EXPECT_EQ(view_->CreateViewWindow(nullptr, &settings, host_.get(), &area, &again), E_UNEXPECTED);
    void* data = nullptr;
    EXPECT_EQ(view_->GetItemObject(SVGIO_SELECTION, IID_IDataObject, &data), E_FAIL);
    EXPECT_EQ(view_->GetItemObject(SVGIO_SELECTION, IID_IDropTarget, &data), E_NOTIMPL);
}

TEST(ViewStatusFormats, FileSizesAndImageSizes) {
    EXPECT_EQ(FormatFileSize(0), "");
    EXPECT_EQ(FormatFileSize(-5), "");
    EXPECT_EQ(FormatFileSize(1), "1 byte");
    EXPECT_EQ(FormatFileSize(1023), "1023 byte");
    EXPECT_EQ(FormatFileSize(1024), "1.0KB");
    EXPECT_EQ(FormatFileSize(1536), "1.5KB");
    EXPECT_EQ(FormatFileSize(1048575), "1024.0KB");
    EXPECT_EQ(FormatFileSize(1048576), "1.0MB");
    EXPECT_EQ(FormatFileSize(3145728), "3.0MB");
    EXPECT_EQ(FormatImageSize(1280, 960), "1280 x 960");
    EXPECT_EQ(FormatImageSize(0, 480), "");
}

}  // namespace

namespace {

// A data object carrying only the private block of a view in window `owner`.
class OwnBlock final : public IDataObject {
public:
    explicit OwnBlock(HWND owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE, 4);
        *static_cast<DWORD*>(GlobalLock(medium->hGlobal)) = DWORD(reinterpret_cast<UINT_PTR>(owner_));
        GlobalUnlock(medium->hGlobal);
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format->cfFormat == RegisterClipboardFormatA("Vistrel") || format->cfFormat == CF_HDROP
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    HWND owner_;
};

TEST_F(CameraViewTest, PastedAndDroppedFilesBecomeNewItemsAtTheEnd) {
    CameraView* view = Open();
    std::string outside = MakeTempDir("paste");
    card_.Write(outside + "\\new.jpg", ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    IDataObject* files = MakeFileDrop({outside + "\\new.jpg"});
    ASSERT_EQ(OleSetClipboard(files), S_OK);
    EXPECT_TRUE(view->CanPaste());
    HWND window = nullptr;
    view_->GetWindow(&window);
    SendMessageA(window, WM_COMMAND, CameraView::kPaste, 0);
    OleSetClipboard(nullptr);
    ASSERT_EQ(view->Items().size(), 4u);
    EXPECT_EQ(view->Items().back().name, "new.jpg");
    EXPECT_EQ(view->Control()->GetItemCount(), 4);

    IDropTarget* target = CreateViewDropTarget(folder_.Get(), view);
    DWORD effect = DROPEFFECT_COPY;
    POINTL point = {0, 0};
    target->DragEnter(files, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    target->Drop(files, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(view->Items().back().name, "new (2).jpg");

    OwnBlock own(view->GetParentWindow());  // what this browser window's own view offered
    target->DragEnter(&own, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    target->Drop(&own, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(view->Items().size(), 5u);
    target->Release();
    files->Release();
    RemoveTree(outside);
}

}  // namespace

namespace {

TEST_F(CameraViewTest, SwitchingToTheListKeepsTheSelectionAndIsRemembered) {
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    HWND window = nullptr;
    view_->GetWindow(&window);
    SendMessageA(window, WM_COMMAND, CameraView::kListView, 0);
    EXPECT_EQ(view->GetViewType(), "List");
    EXPECT_EQ(ConfigStore::Read(ConfigStore::kSettingsKey, "ViewType"), "List");
    ASSERT_NE(view->Control(), nullptr);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));
    SendMessageA(window, WM_COMMAND, CameraView::kThumbnailView, 0);
    EXPECT_EQ(view->Control()->IsItemSelected("IMG_0002.JPG"), 1);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 1);
}

}  // namespace

namespace {

TEST_F(CameraViewTest, DeleteFollowsWhatTheCameraCanDelete) {
    struct Case {
        const char* settings;
        const char* menuText;
        const char* tooltip;
        bool usableWithoutSelection;
    };
    const Case cases[] = {{"caps=3", "&Delete Selected", "Delete Selected", false},
                          {"caps=2", "&Delete All", "Delete All", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        UseFakeCamera(c.settings);
        CameraView* view = Open("FAKE", 3);
        ASSERT_NE(view->Control(), nullptr);
        char text[64] = {};
        GetMenuStringA(Edit(), CameraView::kDelete, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, c.menuText);
        EXPECT_EQ(host_->Tooltip(CameraView::kDelete), c.tooltip);
        EXPECT_EQ(!Grayed(Edit(), CameraView::kDelete), c.usableWithoutSelection);
        EXPECT_EQ(host_->ButtonEnabled(CameraView::kDelete), c.usableWithoutSelection);
        view->Control()->SelectItem("FAKE2.JPG", 1);
        EXPECT_FALSE(Grayed(Edit(), CameraView::kDelete));
        EXPECT_TRUE(host_->ButtonEnabled(CameraView::kDelete));
    }
    EXPECT_EQ(host_->Tooltip(CameraView::kRefresh), "Refresh");
    EXPECT_EQ(host_->Tooltip(CameraView::kListView), "List View");
    EXPECT_EQ(host_->Tooltip(9999), "");
}

TEST_F(CameraViewTest, StatusLineNamesTheSource) {
    ScopedRegKey viewer(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(ConfigStore::kImageViewer));
    viewer.SetString("Path", BinPath("diskcam.dll"));
    viewer.SetString("CurrentFolder", card_.Folder());
    // The "Hard Disk" folder: the image viewer's source, a folder of kind "Viewer".
    source_ = ComRef<SourceFolder>::Share(new SourceFolder(SourceFolder::kImageViewer));
    CloseView();
    folder_ = ComRef<CameraFolder>::Share(new CameraFolder(source_.Get(), ""));
    folder_->SetKind("Viewer");
    host_ = std::make_unique<BrowserHost>();
    ASSERT_EQ(folder_->CreateViewObject(nullptr, IID_IShellView, view_.PutVoid()), S_OK);
    ASSERT_EQ(host_->Open(view_.Get()), S_OK);
    auto* view = static_cast<CameraView*>(view_.Get());
    WaitUntil([&] { return view->Control() && view->Control()->GetItemCount() == 3; }, 5000);
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
    const std::pair<const char*, const char*> links[] = {{"Serial", "COM2  57600 bps"},
                                                         {"Parallel", "Parallel"}};
    for (const auto& link : links) {
        remote.SetString("RemoteConnectionType", link.first);
        DialogAnswerer answerer(IDOK);
        source_ = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
        Open("A", 0);
        EXPECT_TRUE(WaitUntil([&] { return !answerer.Texts().empty(); }, 5000));
        EXPECT_EQ(host_->StatusText(0), "Total images: 0    Selected: 0 ");
        EXPECT_EQ(host_->StatusText(1), "Serial Cam");
        EXPECT_EQ(host_->StatusText(2), link.second);
    }
}

TEST_F(CameraViewTest, SelectAllFromTheKeyboardActsOnlyOutsideFileDialogs) {
    CameraView* view = Open();
    host_->PressKey('A', true);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 3);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 3 ");
    EXPECT_EQ(view->Items()[2].selected, 1);

    keys_->model->SetString("ThumbFrameSize", "150");
    keys_->model->SetString("SmallThumbFrameSize", "64");
    view = Open("100TEST", 3, true);
    EXPECT_TRUE(view->InFileDialog());
    EXPECT_EQ(view->CellWidth(), 64);
    host_->PressKey('A', true);
    EXPECT_EQ(view->Control()->GetSelectedCount(), 0);
    view->ItemOpened(0, "img_0001.jpg");  // a double click is the dialog's to answer
    EXPECT_EQ(host_->defaultCommands, 1);
}

// A browser like Wine's explorer reads the selection's ID list array to see
// whether a folder was opened, then leaves the action to the view: the
// picture is fetched once, and a fetch the user cancelled opens nothing.
TEST_F(CameraViewTest, ADefaultCommandThatReadTheSelectionOpensWhatItFetched) {
    CameraView* view = Open("100TEST", 3, true);
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

TEST_F(CameraViewTest, ContextMenusOfTheBackgroundAndOfAnItem) {
    CameraView* view = Open();
    MenuWatcher menus;
    RECT area;
    GetWindowRect(ViewWindow(), &area);
    // The control covers the view; a right click in its empty part is the background's.
    SendClick({area.right - 5, area.bottom - 5}, true);
    ASSERT_TRUE(WaitUntil([&] { return menus.Menus().size() == 1; }, 3000));
    view->ContextMenuRequested(0, "img_0001.jpg");
    ASSERT_EQ(menus.Menus().size(), 2u);
    EXPECT_EQ(menus.Menus()[0],
              (std::vector<std::string>{"Refresh", "-", "Thumbnail View [checked]", "List View", "-", "Select All"}));
    EXPECT_EQ(menus.Menus()[1], (std::vector<std::string>{"Preview [grayed]", "-", "Copy", "Rotate", "Delete", "-",
                                                          "Print...", "-", "Properties [grayed]"}));
}

TEST_F(CameraViewTest, PasteFollowsTheClipboardAtOnce) {
    Open();
    OleSetClipboard(nullptr);
    host_->Pump(100);
    EXPECT_TRUE(Grayed(Edit(), CameraView::kPaste));
    IDataObject* files = MakeFileDrop({card_.Folder() + "\\img_0001.jpg"});
    ASSERT_EQ(OleSetClipboard(files), S_OK);  // as another program copying files
    host_->Pump(200);
    EXPECT_FALSE(Grayed(Edit(), CameraView::kPaste));
    OleSetClipboard(nullptr);
    host_->Pump(200);
    EXPECT_TRUE(Grayed(Edit(), CameraView::kPaste));
    files->Release();
}

}  // namespace

namespace {

TEST_F(CameraViewTest, TheListShowsTheCardsDetailsAndFetchesEveryFile) {
    keys_->settings->SetString("ViewType", "List");
    BoxWatcher errors(IDCANCEL);
    CameraView* view = Open();
    HWND list = view->Control()->GetWindow();
    auto cell = [&](int row, int column) {
        char text[128] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(&item));
        return std::string(text);
    };
    auto fetched = [&](int row) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage == 1;
    };
    ASSERT_TRUE(WaitUntil([&] { return fetched(0) && fetched(1) && fetched(2); }, 5000));
    EXPECT_EQ(cell(0, 0), "img_0001.jpg");
    EXPECT_EQ(cell(0, 1), FormatFileSize(int(ReadFileBytes(card_.Folder() + "\\img_0001.jpg").size())));
    EXPECT_EQ(cell(1, 0), "IMG_0002.JPG");
    EXPECT_FALSE(cell(1, 2).empty());  // the EXIF capture date
    EXPECT_NE(cell(0, 3).find(" x "), std::string::npos);
    EXPECT_EQ(errors.Count(), 0);
    EXPECT_TRUE(host_->ButtonChecked(CameraView::kListView));
    EXPECT_FALSE(host_->ButtonChecked(CameraView::kThumbnailView));
}

}  // namespace

namespace {

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

TEST_F(CameraViewTest, CopiedPicturesAreReadByAnotherProgram) {
    RemoveTree(WorkDirectory() + "TRANSFER");
    CameraView* view = Open();
    view->Control()->SelectItem("img_0001.jpg", 1);
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kCopy, 0);
    std::string transfer = WorkDirectory() + "TRANSFER\\";
    std::string listed = RunPumping(BinPath("clipboard_reader.exe"));
    EXPECT_EQ(listed, "file " + transfer + "img_0001.jpg\nfile " + transfer + "IMG_0002.JPG\n");
    EXPECT_EQ(ReadFileBytes(transfer + "IMG_0002.JPG"), ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    EXPECT_FALSE(Grayed(Edit(), CameraView::kPaste));  // our own files are pictures the card takes

    view->Control()->SelectItem("img_0001.jpg", 0);
    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kCopy, 0);
    // A new copy is a new transfer; the earlier file keeps its name.
    std::string size = "640 480";
    // Upright, as the camera's orientation tag shows it.
    std::string again = RunPumping(BinPath("clipboard_reader.exe"));
    EXPECT_EQ(again.rfind("file " + transfer + "IMG_0002(", 0), 0u) << again;
    EXPECT_NE(again.find(").JPG\ndib " + size + "\n"), std::string::npos) << again;
    std::string second = again.substr(5, again.find('\n') - 5);

    CloseView();  // a closing view takes its own data off the clipboard
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("Vistrel")));
    DeleteFileA((transfer + "img_0001.jpg").c_str());
    DeleteFileA((transfer + "IMG_0002.JPG").c_str());
    DeleteFileA(second.c_str());
}

// A drop target that does what a file browser's folder does with a drop:
// copies the dropped files in with the shell's file operation. (Wine's own
// folder target reads only the ID list array, as real ID lists.)
class FolderDropWindow final : public IDropTarget {
public:
    explicit FolderDropWindow(const std::string& folder) : folder_(folder) {
        // A window of its own class: a STATIC would be transparent to hit testing.
        WNDCLASSA cls = {};
        cls.lpfnWndProc = DefWindowProcA;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "FolderDropWindow";
        RegisterClassA(&cls);
        window_ = CreateWindowExA(WS_EX_TOPMOST, "FolderDropWindow", "drop here", WS_POPUP | WS_VISIBLE, 300, 300,
                                  200, 150, nullptr, nullptr, nullptr, nullptr);
        RegisterDragDrop(window_, this);
    }
    ~FolderDropWindow() {
        RevokeDragDrop(window_);
        DestroyWindow(window_);
    }
    POINT Centre() const {
        RECT area;
        GetWindowRect(window_, &area);
        return {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    }
    std::vector<std::string> dropped;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        *effect = data ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        dropped = Files(data);
        std::string from;
        for (const std::string& file : dropped) from += file + '\0';
        from += '\0';
        std::string to = folder_ + '\0';
        SHFILEOPSTRUCTA operation = {};
        operation.wFunc = FO_COPY;
        operation.pFrom = from.c_str();
        operation.pTo = to.c_str();
        operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
        *effect = SHFileOperationA(&operation) == 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }

private:
    static std::vector<std::string> Files(IDataObject* data) {
        FORMATETC wanted = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        std::vector<std::string> files;
        if (data->GetData(&wanted, &medium) != S_OK) return files;
        auto drop = static_cast<HDROP>(medium.hGlobal);
        for (UINT i = 0, n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
            char path[MAX_PATH] = {};
            DragQueryFileA(drop, i, path, MAX_PATH);
            files.push_back(path);
        }
        ReleaseStgMedium(&medium);
        return files;
    }

    std::string folder_;
    HWND window_ = nullptr;
};

TEST_F(CameraViewTest, DraggedPicturesLandInAFolder) {
    RemoveTree(WorkDirectory() + "TRANSFER");
    CameraView* view = Open();
    view->Control()->SelectItem("img_0001.jpg", 1);
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    std::string folder = MakeTempDir("dropped");
    FolderDropWindow target(folder);
    POINT at = target.Centre();
    SetCursorPos(at.x, at.y);
    // A real OLE drag loop; no button is down, so it drops where the cursor is
    // (the placeholder a target sees while a button is held is checked with the
    // data object itself).
    view->BeginDrag();
    ASSERT_EQ(target.dropped.size(), 2u);
    EXPECT_EQ(ReadFileBytes(folder + "\\img_0001.jpg"), ReadFileBytes(card_.Folder() + "\\img_0001.jpg"));
    EXPECT_EQ(ReadFileBytes(folder + "\\IMG_0002.JPG"), ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    for (const std::string& file : target.dropped) DeleteFileA(file.c_str());
    RemoveTree(folder);
}

}  // namespace

namespace {

TEST_F(CameraViewTest, OpeningAPictureShowsItFullSize) {
    CameraView* view = Open();
    view->Control()->RotateItem("img_0001.jpg", -90);
    view->ItemOpened(0, "img_0001.jpg");
    std::vector<HWND> frames = OwnWindowsOfClass("FrameHelperWin");
    ASSERT_EQ(frames.size(), 1u);
    char title[128] = {};
    GetWindowTextA(frames[0], title, sizeof title);
    EXPECT_EQ(std::string(title).rfind("img_0001.jpg - Full Resolution Image (", 0), 0u) << title;
    WaitUntil([] { return false; }, 300);
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    SaveScreenPng(shots + "\\viewer-from-view.png");
    DestroyWindow(frames[0]);
    EXPECT_EQ(folder_->Idle(), 1);
}

}  // namespace

namespace {

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

std::vector<std::string> Names(const std::vector<ViewItem>& items) {
    std::vector<std::string> names;
    for (const ViewItem& item : items) names.push_back(item.name);
    return names;
}

TEST_F(CameraViewTest, DeleteAsksTheQuestionsTheCameraCalls) {
    const std::string selected = "Are you sure you want to delete selected images?";
    const std::string all = "Are you sure you want to delete all images?";
    const std::string warning = "WARNING! This command will permanently delete ALL images!\nDo you want to proceed?";
    struct Case {
        const char* settings;
        std::vector<const char*> select;
        int noAt;  // 0: Yes to everything
        std::vector<std::string> questions;
        size_t left;
    };
    const Case cases[] = {
        {"images=3 caps=3", {"FAKE1.JPG", "FAKE2.JPG", "FAKE3.JPG"}, 0, {all, warning}, 0},
        {"images=3 caps=3", {"FAKE1.JPG", "FAKE2.JPG", "FAKE3.JPG"}, 2, {all, warning}, 3},
        {"images=1 caps=3", {"FAKE1.JPG"}, 0, {selected}, 0},
        {"images=3 caps=2", {}, 0, {all, warning}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " no at " + std::to_string(c.noAt));
        UseFakeCamera(c.settings);
        CameraView* view = Open("FAKE", atoi(c.settings + 7));
        for (const char* name : c.select) view->Control()->SelectItem(name, 1);
        DialogAnswerer answerer(IDYES);
        YesUntil script = {&answerer, c.noAt};
        answerer.OnDialog(YesUntil::Inspect, &script);
        host_->PressKey(VK_DELETE);
        EXPECT_EQ(answerer.Texts(), c.questions);
        EXPECT_EQ(view->Items().size(), c.left);
        EXPECT_EQ(view->Control()->GetItemCount(), int(c.left));
    }
}

TEST_F(CameraViewTest, DeletingTheSecondAndFourthKeepsTheOrder) {
    UseFakeCamera("images=5");
    CameraView* view = Open("FAKE", 5);
    view->Control()->SelectItem("FAKE2.JPG", 1);
    view->Control()->SelectItem("FAKE4.JPG", 1);
    DialogAnswerer yes(IDYES);
    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kDelete, 0);
    const std::vector<std::string> left = {"FAKE1.JPG", "FAKE3.JPG", "FAKE5.JPG"};
    EXPECT_EQ(Names(view->Items()), left);
    EXPECT_EQ(folder_->GetImageCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(folder_->GetImageName(i), left[size_t(i)]);
    EXPECT_EQ(view->Control()->GetItemCount(), 3);
    EXPECT_EQ(host_->StatusText(0), "Total images: 3    Selected: 0 ");
}

TEST_F(CameraViewTest, FourTurnsComeBackToUpright) {
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    const int expected[] = {-90, -180, -270, 0};
    for (int turn : expected) {
        host_->PressKey('R', true);
        EXPECT_EQ(view->Items()[1].rotation, turn);
    }
    EXPECT_EQ(view->Items()[0].rotation, 0);
}

TEST_F(CameraViewTest, PropertiesAndAboutShowTheirBoxes) {
    CameraView* view = Open();
    DialogAnswerer answerer(IDOK);
    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kProperties, 0);  // nothing selected
    EXPECT_TRUE(answerer.Texts().empty());
    view->Control()->SelectItem("img_0001.jpg", 1);
    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kProperties, 0);
    ASSERT_EQ(answerer.Texts().size(), 1u);
    EXPECT_EQ(answerer.Texts()[0].rfind("File:\t" + card_.Folder() + "\\img_0001.jpg\nSize:\t", 0), 0u)
        << answerer.Texts()[0];
    EXPECT_NE(answerer.Texts()[0].find("Picture:\t800 x 600 pixels"), std::string::npos);

    SendMessageA(ViewWindow(), WM_COMMAND, CameraView::kAbout, 0);
    ASSERT_EQ(answerer.Captions().size(), 2u);
    EXPECT_EQ(answerer.Captions()[1], "About " + theModule.productName + " - version " + theModule.productVersion);
}

}  // namespace

namespace {

// Lets go at once: OLE's loop drops where the cursor is.
class DropAtOnce final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override { return DRAGDROP_S_DROP; }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

TEST_F(CameraViewTest, AFileDraggedFromTheShellArrivesInTheCamera) {
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

    RECT area;
    GetWindowRect(ViewWindow(), &area);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    DropAtOnce source;
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(data.Get(), &source, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(ReadFileBytes(card_.Folder() + "\\holiday.jpg"), ReadFileBytes(outside + "\\holiday.jpg"));
    ASSERT_EQ(view->Items().size(), 4u);
    EXPECT_EQ(view->Items().back().name, "holiday.jpg");
    EXPECT_EQ(view->Control()->GetItemCount(), 4);
    CoTaskMemFree(fileList);
    CoTaskMemFree(folderList);
    RemoveTree(outside);
}

}  // namespace

namespace {

TEST_F(CameraViewTest, CtrlPAsksHowToPrint) {
    CameraView* view = Open();
    view->Control()->SelectItem("IMG_0002.JPG", 1);
    DialogAnswerer answerer(IDCANCEL);
    host_->PressKey('P', true);
    // The print dialog, or the system's note that there is no printer yet.
    ASSERT_FALSE(answerer.Captions().empty());
    EXPECT_EQ(view->Control()->GetSelectedCount(), 1);
    EXPECT_TRUE(IsWindowEnabled(host_->Window()));
}

}  // namespace
