// Wine's explorer, a real client of the module: typing the extension's
// location into its address box must show the root's three children.
#include <gtest/gtest.h>

#include "support/RemoteListView.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestPaths.h"

namespace {

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

    // Types `location` into the address box and presses Enter.
    bool GoTo(const std::string& location) const {
        HWND address = FindDescendant(window_, "ComboBoxEx32");
        HWND edit = address ? FindDescendant(address, "Edit") : nullptr;
        if (!edit) return false;
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(location.c_str()));
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
        return true;
    }

    // The list view inside a view dialog of the module, once there is one.
    HWND ViewList() const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                HWND dialog = FindDescendant(window_, "#32770");
                found = dialog ? FindDescendant(dialog, "SysListView32") : nullptr;
                return found && RemoteListView(found).Count() > 0;
            },
            10000);
        return found;
    }

private:
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

TEST(ExplorerSmoke, AddressBoxOpensTheRootWithItsThreeSources) {
    ScopedModuleRegistration registration(BinPath("orvexview.dll"));
    ScopedRegKey className(HKEY_CLASSES_ROOT, kFolderClassKey);
    className.SetString(nullptr, "OrvexView");

    Explorer explorer("C:\\");
    ASSERT_NE(explorer.Window(), nullptr) << "explorer opened no window";
    ASSERT_TRUE(explorer.GoTo("::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}"));
    HWND list = explorer.ViewList();
    ASSERT_NE(list, nullptr) << "the root view did not open";

    RemoteListView items(list);
    ASSERT_TRUE(items.Ok());
    EXPECT_EQ(items.Texts(0),
              (std::vector<std::string>{"Digital Camera", "Removable Media", "Hard Disk"}));

    Sleep(300);  // let the view paint before the picture is taken
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\explorer-root.png"));
}

}  // namespace
