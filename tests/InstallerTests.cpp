// What the installer leaves in the Wine prefix, and what its uninstaller takes away. tests/install-check.sh runs the
// "Installed" cases after a silent install and the "Uninstalled" cases after a silent uninstall.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

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
std::string InstallDir() { return Expand("%ProgramW6432%\\Pictavia\\OrvexView"); }

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A value as text: a REG_SZ's own, a REG_DWORD's in hex; "<missing>" or "<other>" otherwise.
std::string Text(HKEY root, const std::string& path, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer, type = 0;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS)
        return "<missing>";
    char number[16];
    snprintf(number, sizeof number, "0x%lx", *reinterpret_cast<DWORD*>(buffer));
    return type == REG_SZ ? std::string(buffer) : type == REG_DWORD ? std::string(number) : "<other>";
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The module loads the codec from its own folder: nothing of ours goes into the system folder.
TEST(Installed, EverythingIsInItsProgramFilesFolderAndNothingInTheSystemFolder) {
    for (const char* file : {"orvexview.dll", "pixcodec.dll", "diskcam.dll", "serialcam.dll", "ptpcam.dll"}) {
        EXPECT_TRUE(FileExists(InstallDir() + "\\" + file)) << file;
        EXPECT_FALSE(FileExists(Expand("%SystemRoot%\\system32\\") + file)) << file;
    }
}

TEST(Installed, TheFolderClassItsJunctionSettingsCamerasAndPrintLayouts) {
    const std::string dir = InstallDir(), module = dir + "\\orvexview.dll";
    const HKEY classes = HKEY_CLASSES_ROOT, machine = HKEY_LOCAL_MACHINE;
    using Names = std::vector<std::pair<const char*, std::string>>;  // value names (null: the default) and texts
    struct Key { HKEY root; std::string path; Names values; };
    const std::string serial = kCameras + "Serial Camera\\Remote\\Serial", disk = dir + "\\diskcam.dll";
    const Key keys[] = {
        {classes, kClassKey, {{nullptr, "OrvexView"}}},
        {classes, kClassKey + "\\InprocServer32", {{nullptr, module}, {"ThreadingModel", "Apartment"}}},
        {classes, kClassKey + "\\ShellFolder", {{"Attributes", "0xb8000000"}}},
        {machine, kUninstallKey, {{"DisplayName", "OrvexView"}, {"UninstallString", "\"" + dir + "\\Uninstall.exe\""}}},
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
            EXPECT_EQ(Text(key.root, key.path, name), text) << key.path << " " << (name ? name : "(default)");
    EXPECT_TRUE(KeyExists(machine, kJunctionKey));
}

TEST(Uninstalled, NoKeyNoFileIsLeft) {
    using Key = std::pair<HKEY, std::string>;
    for (const Key& key : {Key{HKEY_CLASSES_ROOT, kClassKey}, Key{HKEY_LOCAL_MACHINE, kJunctionKey},
                           Key{HKEY_LOCAL_MACHINE, "Software\\Pictavia"}, Key{HKEY_LOCAL_MACHINE, kUninstallKey}})
        EXPECT_FALSE(KeyExists(key.first, key.second)) << key.second;
    EXPECT_FALSE(FileExists(InstallDir()));
}

}  // namespace
