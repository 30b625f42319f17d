// What the installer leaves in the Wine prefix, and what its uninstaller
// takes away. tests/install-check.sh runs the "Installed" cases after a
// silent install and the "Uninstalled" cases after a silent uninstall.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/ExplorerSession.h"

namespace {

const char kClsid[] = "{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";
const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kJunctionKey =
    std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\") + kClsid;
const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvexView";
const std::string kLayouts = "Software\\Pictavia\\OrvexView\\Print Layouts\\";
const std::string kCameras = "Software\\Pictavia\\Orvex Cameras\\";

std::string InstallDir() {
    char folder[MAX_PATH] = {};
    ExpandEnvironmentStringsA("%ProgramW6432%\\Pictavia\\OrvexView", folder, MAX_PATH);
    return folder;
}

std::string SystemFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + name;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The text of a REG_SZ value; "<missing>" or "<not text>" otherwise.
std::string Text(HKEY root, const std::string& path, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer, type = 0;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_ANY, &type, buffer, &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return type == REG_SZ ? std::string(buffer) : "<not text>";
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Value {
    std::string key;
    const char* name;
    std::string text;
};

TEST(Installed, TheModuleAndTheDriversAreInProgramFilesAndTheCodecWhereProgramsFindIt) {
    for (const char* file : {"orvexview.dll", "pixcodec.dll", "diskcam.dll", "serialcam.dll", "Uninstall.exe"})
        EXPECT_TRUE(FileExists(InstallDir() + "\\" + file)) << file;
    EXPECT_TRUE(FileExists(SystemFile("pixcodec.dll")));
    HMODULE codec = LoadLibraryA("pixcodec.dll");
    EXPECT_TRUE(codec && GetProcAddress(codec, "GetImgLib"));
}

TEST(Installed, TheFolderClassAndItsJunction) {
    std::string module = InstallDir() + "\\orvexview.dll";
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kClassKey, nullptr), "OrvexView");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32", nullptr), module);
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kClassKey + "\\DefaultIcon", nullptr), module + ",6");
    DWORD attributes = 0, size = sizeof attributes;
    EXPECT_EQ(RegGetValueA(HKEY_CLASSES_ROOT, (kClassKey + "\\ShellFolder").c_str(), "Attributes", RRF_RT_REG_DWORD,
                           nullptr, &attributes, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(attributes, 0xa0000000u);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kJunctionKey));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "OrvexView");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), "\"" + InstallDir() + "\\Uninstall.exe\"");
}

TEST(Installed, SettingsCamerasAndPrintLayouts) {
    std::string dir = InstallDir();
    const std::vector<Value> values = {
        {"Software\\Pictavia\\OrvexView\\Settings", "Camera", "Memory Card"},
        {"Software\\Pictavia\\OrvexView\\Settings", "ViewType", "Thumbs"},
        {kCameras + "ImageViewer", "Path", dir + "\\diskcam.dll"},
        {kCameras + "ImageViewer", "ThumbFrameSize", "90"},
        {kCameras + "Memory Card", "Connection", "Local"},
        {kCameras + "Memory Card\\Local", "Path", dir + "\\diskcam.dll"},
        {kCameras + "Serial Camera", "Connection", "Remote"},
        {kCameras + "Serial Camera\\Local", "Path", dir + "\\diskcam.dll"},
        {kCameras + "Serial Camera\\Remote", "RemoteConnectionType", "Serial"},
        {kCameras + "Serial Camera\\Remote\\Serial", "Path", dir + "\\serialcam.dll"},
        {kCameras + "Serial Camera\\Remote\\Serial", "ComPort", "COM1"},
        {kCameras + "Serial Camera\\Remote\\Serial", "ComSpeed", "115200"},
        {kCameras + "Serial Camera\\Remote\\Serial", "SupportedSpeed", "9600,19200,38400,57600,115200"},
        {kCameras + "Serial Camera\\Remote\\Parallel", "Path", dir + "\\serialcam.dll,LPT1"},
        {kLayouts, "CurrentLayout", "Layout4"},
        {kLayouts + "Layout4", "Title", "Contact Sheet"},
        {kLayouts + "Layout1", "ImagesPerPage", "1"},
        {kLayouts + "Layout2", "ImagesPerPage", "2"},
        {kLayouts + "Layout3", "ImagesPerPage", "4"},
        {kLayouts + "Layout4", "ThumbSize", "100"},
    };
    for (const Value& value : values)
        EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, value.key, value.name), value.text) << value.key << " " << value.name;
}

TEST(Installed, WinesExplorerShowsTheRoot) {
    CoInitialize(nullptr);
    {
        ExplorerSession explorer("C:\\");
        ASSERT_NE(explorer.Window(), nullptr);
        ASSERT_TRUE(explorer.GoTo(std::string("::") + kClsid));
        std::vector<std::string> root = explorer.ViewItems("Digital Camera");
        ASSERT_GE(root.size(), 2u);
        EXPECT_EQ(root[1], "Removable Media");
    }
    CoUninitialize();
}

TEST(Uninstalled, NoKeyNoFileIsLeft) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kJunctionKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Pictavia"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(FileExists(InstallDir()));
    EXPECT_FALSE(FileExists(SystemFile("pixcodec.dll")));
}

}  // namespace
