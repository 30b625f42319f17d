// Wine's explorer, a real client of the module: its folder tree must show the
// root's three children under the extension's junction in My Computer.
#include <gtest/gtest.h>

#include "support/RemoteTree.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestPaths.h"

namespace {

const char kJunctionKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\"
    "{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";

class Explorer {
public:
    explicit Explorer(const std::string& arguments) {
        std::string command = "explorer.exe " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_)) {
            CloseHandle(process_.hThread);
            WaitUntil([&] { return (window_ = FindProcessWindow(process_.dwProcessId)) != nullptr; },
                      20000);
        }
    }
    ~Explorer() {
        if (!process_.hProcess) return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 5000);
        CloseHandle(process_.hProcess);
    }
    HWND Window() const { return window_; }

private:
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

// Expands the path of tree items named `path` and returns the last one.
HTREEITEM ExpandPath(const RemoteTree& tree, const std::vector<std::string>& path) {
    HTREEITEM item = nullptr;
    for (const auto& name : path) {
        HTREEITEM found = nullptr;
        WaitUntil([&] { return (found = tree.FindChild(item ? item : TVI_ROOT, name)) != nullptr; },
                  10000);
        if (!found) return nullptr;
        tree.Expand(found);
        item = found;
    }
    return item;
}

TEST(ExplorerSmoke, FolderTreeShowsTheThreeSources) {
    ScopedModuleRegistration registration(BinPath("orvexview.dll"));
    ScopedRegKey className(HKEY_CLASSES_ROOT, kFolderClassKey);
    className.SetString(nullptr, "OrvexView");
    ScopedRegKey junction(HKEY_LOCAL_MACHINE, kJunctionKey);

    Explorer explorer("C:\\");
    ASSERT_NE(explorer.Window(), nullptr) << "explorer opened no window";
    HWND treeWindow = nullptr;
    WaitUntil([&] { return (treeWindow = FindDescendant(explorer.Window(), "SysTreeView32")); },
              10000);
    ASSERT_NE(treeWindow, nullptr);

    RemoteTree tree(treeWindow);
    ASSERT_TRUE(tree.Ok());
    HTREEITEM root = ExpandPath(tree, {"Desktop", "My Computer", "OrvexView"});
    ASSERT_NE(root, nullptr) << "no OrvexView item under My Computer";

    std::vector<std::string> children;
    WaitUntil([&] { return (children = tree.ChildTexts(root)).size() >= 3; }, 10000);
    EXPECT_EQ(children,
              (std::vector<std::string>{"Digital Camera", "Removable Media", "Hard Disk"}));

    Sleep(300);  // let the tree paint before the picture is taken
    std::string shot = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shot.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shot + "\\explorer-tree.png"));
}

}  // namespace
