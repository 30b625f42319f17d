// What the installer leaves in the Wine prefix, in both registry views, and what its uninstaller takes away.
// tests/install-check.sh runs the "Installed" cases after a silent install (also from the 32-bit build of this
// program) and the "Uninstalled" cases after a silent uninstall.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <thread>
#include <vector>

#include "support/ExplorerSession.h"
#include "support/ScopedRegistry.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

const std::string kClassKey = "CLSID\\{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";
const std::string kJunctionKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\" +
                                 kClassKey.substr(6);
const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvexView";
const std::string kLayouts = "Software\\Pictavia\\OrvexView\\Print Layouts\\";
const std::string kCameras = "Software\\Pictavia\\Orvex Cameras\\";

std::string Expand(const char* path) {
    char expanded[MAX_PATH] = {};
    ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
    return expanded;
}

// A registry view and the folder whose files its keys name: 64-bit programs', and 32-bit programs'.
struct View { REGSAM sam; std::string dir; };
const View kViews[] = {{KEY_WOW64_64KEY, Expand("%ProgramW6432%\\Pictavia\\OrvexView")},
                       {KEY_WOW64_32KEY, Expand("%ProgramFiles(x86)%\\Pictavia\\OrvexView")}};
const View& OwnView() { return kViews[sizeof(void*) == 4]; }

bool KeyExists(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A value as text: a REG_SZ's own, a REG_DWORD's in hex; "<missing>" or "<other>" otherwise.
std::string Text(HKEY root, const std::string& path, const char* name, REGSAM view) {
    char buffer[512] = {};
    DWORD size = sizeof buffer, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return "<missing>";
    LONG status = RegGetValueA(key, nullptr, name, RRF_RT_ANY, &type, buffer, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "<missing>";
    char number[16];
    snprintf(number, sizeof number, "0x%lx", *reinterpret_cast<DWORD*>(buffer));
    return type == REG_SZ ? std::string(buffer) : type == REG_DWORD ? std::string(number) : "<other>";
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The module loads the codec from its own folder: nothing of ours goes into the system folders.
TEST(Installed, EverythingIsInItsProgramFilesFoldersAndNothingInTheSystemFolders) {
    for (const char* file : {"orvexview.dll", "pixcodec.dll", "diskcam.dll", "serialcam.dll", "ptpcam.dll"}) {
        for (const View& view : kViews) EXPECT_TRUE(FileExists(view.dir + "\\" + file)) << view.dir << file;
        EXPECT_FALSE(FileExists(Expand("%SystemRoot%\\system32\\") + file)) << file;
        EXPECT_FALSE(FileExists(Expand("%SystemRoot%\\syswow64\\") + file)) << file;
    }
}

// Each view names the files of its own bitness: a 32-bit module loads 32-bit drivers only.
TEST(Installed, TheFolderClassItsJunctionSettingsCamerasAndPrintLayoutsInBothViews) {
    for (const View& view : kViews) {
        const std::string dir = view.dir, module = dir + "\\orvexview.dll";
        const HKEY classes = HKEY_CLASSES_ROOT, machine = HKEY_LOCAL_MACHINE;
        using Names = std::vector<std::pair<const char*, std::string>>;  // value names (null: the default) and texts
        struct Key { HKEY root; std::string path; Names values; };
        const std::string serial = kCameras + "Serial Camera\\Remote\\Serial", disk = dir + "\\diskcam.dll";
        const Key keys[] = {
            {classes, kClassKey, {{nullptr, "OrvexView"}}},
            {classes, kClassKey + "\\InprocServer32", {{nullptr, module}, {"ThreadingModel", "Apartment"}}},
            {classes, kClassKey + "\\ShellFolder", {{"Attributes", "0xb8000000"}}},
            {machine, "Software\\Pictavia\\OrvexView\\Settings", {{"Camera", "Memory Card"}, {"ViewType", "Thumbs"}}},
            {machine, kCameras + "ImageViewer", {{"Path", disk}, {"ThumbFrameSize", "90"}}},
            {machine, kCameras + "Memory Card", {{"Connection", "Local"}}},
            {machine, kCameras + "Memory Card\\Local", {{"Path", disk}}},
            {machine, serial, {{"Path", dir + "\\serialcam.dll"}, {"ComPort", "COM1"}, {"ComSpeed", "115200"}}},
            {machine, kCameras + "Wi-Fi Camera\\Remote", {{"RemoteConnectionType", "Network"}}},
            {machine, kCameras + "Wi-Fi Camera\\Remote\\Network", {{"Path", dir + "\\ptpcam.dll"}, {"Address", "192.168.1.1"}}},
            {machine, kLayouts, {{"CurrentLayout", "Layout4"}}},
            {machine, kLayouts + "Layout4", {{"Title", "Contact Sheet"}, {"ThumbSize", "100"}}},
        };
        for (const Key& key : keys)
            for (const auto& [name, text] : key.values)
                EXPECT_EQ(Text(key.root, key.path, name, view.sam), text) << key.path << " " << (name ? name : "(default)");
        EXPECT_TRUE(KeyExists(machine, kJunctionKey, view.sam));
    }
    const std::string uninstall = "\"" + kViews[0].dir + "\\Uninstall.exe\"";  // one product: one entry
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", KEY_WOW64_64KEY), uninstall);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", KEY_WOW64_64KEY), "OrvexView");
}

// A program's Open dialog, of this program's bitness, reaches a card's picture through the installed module and
// driver of that bitness (the user's own choice of card, as the settings would keep it, under the shared HKCU).
TEST(Installed, AProgramsOpenDialogReachesACameraPicture) {
    const std::string driver = OwnView().dir + "\\diskcam.dll";
    ASSERT_EQ(Text(HKEY_LOCAL_MACHINE, kCameras + "Memory Card\\Local", "Path", 0), driver);
    TestCard card;
    ScopedRegKey user(HKEY_CURRENT_USER, "Software\\Pictavia"), local(HKEY_CURRENT_USER, kCameras + "Memory Card\\Local");
    local.SetString("Path", driver + "," + card.Root());
    std::string stuck;
    std::thread pick([&] { stuck = PickPictureInOpenDialog({"Removable Media", "100TEST"}, 1); });
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    dialog.lpstrInitialDir = L"C:\\";
    EXPECT_TRUE(GetOpenFileNameW(&dialog)) << CommDlgExtendedError();
    pick.join();
    EXPECT_EQ(stuck, "");
    EXPECT_EQ(ReadFileBytes(Utf8(file)), ReadFileBytes(card.Folder() + "\\IMG_0002.JPG"));
}

TEST(Uninstalled, NoKeyNoFileIsLeftInEitherView) {
    using Key = std::pair<HKEY, std::string>;
    for (const View& view : kViews) {
        for (const Key& key : {Key{HKEY_CLASSES_ROOT, kClassKey}, Key{HKEY_LOCAL_MACHINE, kJunctionKey},
                               Key{HKEY_LOCAL_MACHINE, "Software\\Pictavia"}, Key{HKEY_LOCAL_MACHINE, kUninstallKey}})
            EXPECT_FALSE(KeyExists(key.first, key.second, view.sam)) << key.second;
        EXPECT_FALSE(FileExists(view.dir));
    }
}

}  // namespace
