// The built module as shells load it: through its two exports, and in Wine's explorer, a real client, where typing the
// extension's location into the address box shows the root's three sources, Enter on "Removable Media" the card's
// picture folders, and Enter on one of them our camera view.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "base/ComObject.h"
#include "support/BrowserHost.h"
#include "support/ExplorerSession.h"
#include "support/IdLists.h"
#include "support/MenuWatcher.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "support/TestPrinter.h"

namespace {

// The built orvexview.dll, loaded for the test, with its two entry points.
struct ModuleLibrary {
    HMODULE module = LoadLibraryA(BinPath("orvexview.dll").c_str());
    LPFNGETCLASSOBJECT getClassObject = Export<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
    LPFNCANUNLOADNOW canUnloadNow = Export<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");
    ~ModuleLibrary() { FreeLibrary(module); }
};

constexpr CLSID kFolderClass = {0x7A3E91D0, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};
constexpr CLSID kSecondClass = {0x7A3E91D1, 0x5B2C, 0x4E8F, {0x9D, 0x61, 0x2F, 0x0C, 0x8A, 0x4B, 0x7E, 0x13}};

class ClassFactoryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll_.getClassObject, nullptr); }
    // Every scenario ends with nothing left alive in the module.
    void TearDown() override { EXPECT_EQ(dll_.canUnloadNow(), S_OK); }

    ComRef<IClassFactory> Factory() {
        ComRef<IClassFactory> factory;
        EXPECT_EQ(dll_.getClassObject(kFolderClass, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    ModuleLibrary dll_;
};

TEST_F(ClassFactoryTest, RefusalsLeaveNothingBehind) {
    auto refused = [](HRESULT result, auto call) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(call(&out), result);
        EXPECT_EQ(out, nullptr);
    };
    struct Row { const CLSID* clsid; const IID* iid; HRESULT result; };
    for (const Row& row : {Row{&kSecondClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
                           Row{&CLSID_ShellDesktop, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
                           Row{&kFolderClass, &IID_IShellFolder, E_NOINTERFACE}})
        refused(row.result, [&](void** out) { return dll_.getClassObject(*row.clsid, *row.iid, out); });
    auto factory = Factory();
    refused(CLASS_E_NOAGGREGATION, [&](void** out) { return factory->CreateInstance(factory.Get(), IID_IShellFolder, out); });
    refused(E_NOINTERFACE, [&](void** out) { return factory->CreateInstance(nullptr, IID_IShellView, out); });
    refused(E_NOINTERFACE, [&](void** out) { return factory->QueryInterface(IID_IShellFolder, out); });
}

// Factories, roots (one per caller: windows on other threads share none), enumerators and locks keep the module loaded.
TEST_F(ClassFactoryTest, EverythingHandedOutKeepsTheModuleLoaded) {
    auto factory = Factory();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);  // a factory alone keeps it
    ComRef<IShellFolder> folder, again;
    ComRef<IEnumIDList> items;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, again.PutVoid()), S_OK);
    EXPECT_NE(folder.Get(), again.Get());
    folder->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    folder.Reset(), again.Reset();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);  // the lock and the enumerator's root
    Factory()->LockServer(FALSE);
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
    items.Reset();
}

// The module file itself: two named exports, and imports from system DLLs only.
TEST_F(ClassFactoryTest, ExportsTwoEntriesAndImportsOnlySystemLibraries) {
    auto at = [&](DWORD rva) { return reinterpret_cast<BYTE*>(dll_.module) + rva; };
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(at(reinterpret_cast<IMAGE_DOS_HEADER*>(at(0))->e_lfanew));
    auto directory = [&](int entry) { return at(nt->OptionalHeader.DataDirectory[entry].VirtualAddress); };
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(directory(IMAGE_DIRECTORY_ENTRY_EXPORT));
    std::set<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<char*>(at(reinterpret_cast<DWORD*>(at(exports->AddressOfNames))[i])));
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
    EXPECT_EQ(exports->NumberOfFunctions, 2u);

    const std::set<std::string> system = {
        "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
        "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "version.dll", "winspool.drv", "windowscodecs.dll"};
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(directory(IMAGE_DIRECTORY_ENTRY_IMPORT));
    ASSERT_NE(import->Name, 0u);
    for (; import->Name; ++import) {
        std::string name = reinterpret_cast<char*>(at(import->Name));
        for (char& c : name) c = char(tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(system.count(name)) << name;
    }
}

using Names = std::vector<std::string>;

// The names of the files a copy put on the clipboard, as a second program reads them.
Names CopiedNames() {
    Names names;
    ComRef<IDataObject> clip;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(OleGetClipboard(clip.Put())) || FAILED(clip->GetData(&format, &medium))) return names;
    auto drop = static_cast<HDROP>(medium.hGlobal);
    for (UINT i = 0, n = DragQueryFileW(drop, ~0u, nullptr, 0); i < n; ++i) {
        wchar_t path[MAX_PATH] = {};
        DragQueryFileW(drop, i, path, MAX_PATH);
        names.push_back(Utf8(wcsrchr(path, L'\\') + 1));
    }
    ReleaseStgMedium(&medium);
    return names;
}

class ExplorerSmoke : public testing::Test {
protected:
    // A decoy under the codec's name (a driver: it lacks the codec's export) in the current folder, which is on
    // the PATH too; explorer inherits both. The module loads the codec beside itself all the same.
    ExplorerSmoke() {
        CopyFileA(BinPath("diskcam.dll").c_str(), (decoy_ + "\\pixcodec.dll").c_str(), FALSE);
        GetCurrentDirectoryA(MAX_PATH, cwd_), GetEnvironmentVariableA("PATH", path_, sizeof path_);
        SetCurrentDirectoryA(decoy_.c_str()), SetEnvironmentVariableA("PATH", (decoy_ + ";" + path_).c_str());
        settings_.SetString("Camera", "Memory Card");
        local_.SetString("Path", BinPath("diskcam.dll") + "," + card_.Root());
    }
    ~ExplorerSmoke() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia");
        SetEnvironmentVariableA("PATH", path_), SetCurrentDirectoryA(cwd_), RemoveTree(decoy_);
    }

    // Waits until the camera view in explorer shows `count` cell windows (0: any), kept in `cells_`.
    bool ShowsPictures(const ExplorerSession& explorer, size_t count) {
        return WaitUntil([&] {
            HWND grid = FindDescendant(explorer.Window(), "LayoutImpWin");
            cells_ = grid ? Descendants(grid, "SimpleControlWin") : std::vector<HWND>();
            return count ? cells_.size() == count : !cells_.empty();
        }, 10000);
    }
    void Click(size_t cell, WORD heldKey = 0, bool right = false) {
        RECT box;
        GetWindowRect(cells_[cell], &box);
        SendClick({(box.left + box.right) / 2, right ? box.bottom + 4 : (box.top + box.bottom) / 2}, right, heldKey);
        WaitUntil([] { return false; }, 300);
    }
    static Names Copied() {
        SendKey('C', true);
        WaitUntil([] { return false; }, 500);
        return CopiedNames();
    }
    // Answers the dialog explorer shows with `command`: its title, "" when none shows within `waitMs`.
    static std::string AnswerDialog(const ExplorerSession& explorer, int command, DWORD waitMs) {
        HWND dialog = nullptr;
        char title[128] = {};
        if (!WaitUntil([&] { return (dialog = explorer.TopWindow("#32770")) != nullptr; }, waitMs)) return title;
        GetWindowTextA(dialog, title, sizeof title);
        PostMessageA(dialog, WM_COMMAND, WPARAM(command), 0);
        WaitUntil([&] { return !IsWindow(dialog); }, 5000);
        return title;
    }
    static void PasteInto(const ExplorerSession& explorer, const std::string& folder) {
        HWND before = FindDescendant(explorer.Window(), "SHELLDLL_DefView"), shown = nullptr;
        ASSERT_TRUE(explorer.GoTo(folder));
        ASSERT_TRUE(WaitUntil([&] {
            return (shown = FindDescendant(explorer.Window(), "SHELLDLL_DefView")) && shown != before;
        }, 10000));
        ASSERT_TRUE(explorer.PasteFromBackground());
    }
    // Whether every one of `names` in `folder` has the bytes of the card's file in `from`.
    static bool Arrived(const std::string& folder, const std::string& from, const Names& names) {
        return WaitUntil([&] {
            for (const std::string& name : names)
                if (ReadFileBytes(folder + "\\" + name) != ReadFileBytes(from + "\\" + name)) return false;
            return true;
        }, 10000);
    }

    std::string decoy_ = MakeTempDir("decoy");
    char cwd_[MAX_PATH] = {}, path_[8192] = {};
    std::vector<HWND> cells_;
    ScopedModuleRegistration registration_{BinPath("orvexview.dll")};
    TestCard card_;
    ScopedRegKey settings_{HKEY_LOCAL_MACHINE, "Software\\Pictavia\\OrvexView\\Settings"};
    ScopedRegKey local_{HKEY_LOCAL_MACHINE, "Software\\Pictavia\\Orvex Cameras\\Memory Card\\Local"};
};

// Each load of a driver costs the process a thread-local slot for good: a driver is loaded once, however many
// visits, and stays after the module. A picture's viewer outlives the view that opened it (the browser went
// elsewhere): COM's unloading of idle servers leaves the module in place until the viewer has closed too.
using ModuleLifetime = ExplorerSmoke;

TEST_F(ModuleLifetime, VisitsLoadTheDriverOnceAndAnOpenViewerKeepsTheModuleLoaded) {
    auto host = std::make_unique<BrowserHost>();
    for (int visit = 0; visit < 2; ++visit) {  // the second opens a picture's viewer
        ComRef<IShellFolder> root, folder;
        ComRef<IShellView> view;
        ASSERT_EQ(CoCreateInstance(kFolderClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, root.PutVoid()),
                  S_OK);
        ASSERT_EQ(root->BindToObject(AsList(ListBytes({"Removable Media", "100TEST"})), nullptr, IID_IShellFolder,
                                     folder.PutVoid()), S_OK);
        ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, view.PutVoid()), S_OK);
        ASSERT_EQ(host->Open(view.Get()), S_OK);
        HWND cell = nullptr;
        WaitUntil([&] { return (cell = FindDescendant(host->Window(), "SimpleControlWin")) != nullptr; }, 5000);
        if (visit) SendMessageA(cell, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
        host->Close(), view.Reset(), folder.Reset(), root.Reset();
        EXPECT_NE(GetModuleHandleA("diskcam.dll"), nullptr) << "visit " << visit;
    }
    HWND viewer = FindWindowA("FrameHelperWin", nullptr);
    ASSERT_NE(viewer, nullptr);
    WaitUntil([] { return CoFreeUnusedLibraries(), false; }, 500);
    ASSERT_NE(GetModuleHandleA("orvexview.dll"), nullptr) << "unloaded under the viewer";
    SendMessageA(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([] { return CoFreeUnusedLibraries(), !GetModuleHandleA("orvexview.dll"); }, 3000));
    EXPECT_NE(GetModuleHandleA("diskcam.dll"), nullptr);
}

// A new user's walk in Wine's explorer. The address box opens OrvexView (its sources with their icons), the tree
// pane reaches a camera folder and the Location box says where they are. Clicks with Ctrl and Shift, the arrow keys
// and Ctrl+A select; Ctrl+C copies. Paste on a disk folder's background brings every picture whole under its own
// name, and again after Wine asks to replace them. The background menu reaches Settings and Print. A picture
// copied, then Up through every level to My Computer and into a disk folder, pastes too.
TEST_F(ExplorerSmoke, ANewUserFindsSelectsCopiesAndPastesTheirPictures) {
    OleInitialize(nullptr);
    ExplorerSession explorer("C:\\");
    ASSERT_TRUE(explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}"));
    EXPECT_EQ(explorer.ViewItems("Digital Camera"), (Names{"Digital Camera", "Removable Media", "Hard Disk"}));
    RemoteListView sources(explorer.ViewList());
    EXPECT_TRUE(sources.HasIcons());
    EXPECT_EQ((std::vector<int>{sources.Image(0), sources.Image(1), sources.Image(2)}), (std::vector<int>{1, 2, 3}));
    RemoteTreeView tree(explorer.Tree());
    Names path = {"Desktop", "My Computer", "OrvexView"};
    ASSERT_EQ(tree.Children(tree.Expand(path)), (Names{"Digital Camera", "Removable Media", "Hard Disk"}));
    path.push_back("Removable Media");
    EXPECT_EQ(tree.Children(tree.Expand(path)), (Names{"100TEST", "101TEST"}));
    path.push_back("100TEST");
    tree.Select(tree.Expand(path));
    ASSERT_TRUE(ShowsPictures(explorer, 3)) << "the camera view did not open";
    EXPECT_EQ(explorer.Location(), "100TEST");
    Names codecs;  // the module's own, never the decoy
    DWORD explorerId = 0;
    GetWindowThreadProcessId(explorer.Window(), &explorerId);
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, explorerId);
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    for (bool more = Module32First(modules, &module); more; more = Module32Next(modules, &module))
        if (!lstrcmpiA(module.szModule, "pixcodec.dll")) codecs.push_back(module.szExePath);
    CloseHandle(modules);
    EXPECT_EQ(codecs, Names{BinPath("pixcodec.dll")});

    Names all = (Click(1), SendKey('A', true), Copied());
    ASSERT_EQ(all, (Names{"img_0001.jpg", "IMG_0002.JPG", "IMG_0003.PNG"}));
    EXPECT_EQ((Click(0), Click(2, VK_SHIFT), Copied()), all);
    EXPECT_EQ((Click(1, VK_CONTROL), Copied()), (Names{all[0], all[2]}));
    EXPECT_EQ((Click(0), SendKey(VK_RIGHT), Copied()), (Names{all[1]}));
    EXPECT_EQ((SendKey(VK_RIGHT), SendKey(VK_LEFT), Copied()), (Names{all[1]}));

    EnsureTestPrinter();
    for (auto [key, title] : {std::make_pair('s', "Settings"), std::make_pair('i', "Print")}) {
        Click(0, 0, true);  // below the picture: the background's menu
        ASSERT_TRUE(explorer.ChooseInMenu(key)) << title;
        EXPECT_PRED_FORMAT2(testing::IsSubstring, title, AnswerDialog(explorer, IDCANCEL, 5000));
    }

    std::string target = MakeTempDir("pasted"), afterUp = MakeTempDir("pasted");
    EXPECT_EQ((Click(2), SendKey('A', true), Copied()), all);
    PasteInto(explorer, target);
    EXPECT_TRUE(Arrived(target, card_.Folder(), all));
    ASSERT_TRUE(explorer.PasteFromBackground());
    for (std::string title; !(title = AnswerDialog(explorer, IDYES, 3000)).empty();) EXPECT_EQ(title, "Confirm file overwrite");
    EXPECT_TRUE(Arrived(target, card_.Folder(), all));

    explorer.Back();
    ASSERT_TRUE(ShowsPictures(explorer, 3));
    EXPECT_EQ((Click(1), Copied()), (Names{all[1]}));
    for (const char* level : {"Removable Media", "OrvexView", "My Computer"}) {
        explorer.Up();
        EXPECT_TRUE(WaitUntil([&] { return explorer.Location() == level; }, 5000)) << explorer.Location();
    }
    PasteInto(explorer, afterUp);
    EXPECT_TRUE(Arrived(afterUp, card_.Folder(), {all[1]}));
    OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
    RemoveTree(target), RemoveTree(afterUp);
    OleUninitialize();
}

// A photographer's card: a RAW+JPEG pair, RAW files of many makers, videos and a HEIF picture. Select All, Copy
// and Paste into a disk folder bring every file whole under its own name: nothing stays behind on the card.
TEST_F(ExplorerSmoke, SelectAllCopyAndPasteLeaveNothingOnTheCard) {
    Names all = {"IMG_0100.CR2", "IMG_0100.JPG"};
    card_.Write(card_.SecondFolder() + "\\IMG_0100.CR2", ReadFileBytes(CameraFilesFolder() + "/CanonRaw.cr2"));
    card_.Write(card_.SecondFolder() + "\\IMG_0100.JPG", ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG"));
    for (const auto& entry : std::filesystem::directory_iterator(CameraFilesFolder()))
        if (entry.path().extension() != ".txt") {
            all.push_back(entry.path().filename().string());
            card_.Write(card_.SecondFolder() + "\\" + all.back(), ReadFileBytes(entry.path().string()));
        }
    std::sort(all.begin(), all.end());
    OleInitialize(nullptr);
    ExplorerSession explorer("C:\\");
    ASSERT_TRUE(explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}"));
    RemoteTreeView tree(explorer.Tree());
    tree.Select(tree.Expand({"Desktop", "My Computer", "OrvexView", "Removable Media", "101TEST"}));
    ASSERT_TRUE(ShowsPictures(explorer, 0)) << "the camera view did not open";
    Click(0);
    Names copied;
    EXPECT_TRUE(WaitUntil([&] {  // once the folder has filled
        SendKey('A', true), copied = Copied(), std::sort(copied.begin(), copied.end());
        return copied == all;
    }, 10000)) << copied.size() << " of " << all.size();
    std::string target = MakeTempDir("pasted");
    PasteInto(explorer, target);
    EXPECT_TRUE(Arrived(target, card_.SecondFolder(), all));
    OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
    RemoveTree(target);
    OleUninitialize();
}

// A program's Open dialog, both kinds, goes into a camera folder as a user
// would; the program gets the path of a file with the picture's bytes.
TEST_F(ExplorerSmoke, OpenDialogsHandAProgramACameraPicture) {
    const auto picture = ReadFileBytes(card_.Folder() + "\\IMG_0002.JPG");
    auto pick = [&](const char* dialog, const std::function<std::wstring()>& show) {
        std::string stuck;
        std::thread user([&] { stuck = PickPictureInOpenDialog({"Removable Media", "100TEST"}, 1); });
        std::wstring path = show();
        user.join();
        EXPECT_EQ(stuck, "") << dialog;
        EXPECT_EQ(ReadFileBytes(Utf8(path)), picture) << dialog;
    };
    pick("GetOpenFileNameW", [] {
        wchar_t file[MAX_PATH] = {};
        OPENFILENAMEW classic = {};
        classic.lStructSize = sizeof classic;
        classic.lpstrFile = file;
        classic.nMaxFile = MAX_PATH;
        classic.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        classic.lpstrInitialDir = L"C:\\";
        EXPECT_TRUE(GetOpenFileNameW(&classic)) << CommDlgExtendedError();
        return std::wstring(file);
    });
    CoInitialize(nullptr);
    pick("IFileOpenDialog", [] {
        ComRef<IFileOpenDialog> dialog;
        ComRef<IShellItem> result;
        wchar_t* path = nullptr;
        std::wstring chosen;
        CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog, dialog.PutVoid());
        if (dialog && dialog->Show(nullptr) == S_OK && SUCCEEDED(dialog->GetResult(result.Put())) &&
            SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)))
            chosen = path, CoTaskMemFree(path);
        return chosen;
    });
    CoUninitialize();
}

}  // namespace
