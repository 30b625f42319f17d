// Wine's explorer, a real client of the module: typing the extension's
// location into its address box shows the root's three sources, and Enter on
// "Removable Media" shows the card's picture folders.
#include <gtest/gtest.h>

#include "support/ExplorerSession.h"
#include "support/RemoteListView.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"

namespace {

const char kLocation[] = "::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";

void SaveShot(const char* name) {
    Sleep(300);  // let the view paint before the picture is taken
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\" + name));
}

class ExplorerSmoke : public testing::Test {
protected:
    ExplorerSmoke() {
        // The module loads its codec library by name: explorer finds it on the PATH.
        char path[8192] = {};
        GetEnvironmentVariableA("PATH", path, sizeof path);
        SetEnvironmentVariableA("PATH", (BinDir() + ";" + path).c_str());
        className_.SetString(nullptr, "OrvexView");
        settings_.SetString("Camera", "Memory Card");
        local_.SetString("Path", BinPath("diskcam.dll") + "," + card_.Root());
    }
    ~ExplorerSmoke() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia"); }

    ScopedModuleRegistration registration_{BinPath("orvexview.dll")};
    ScopedRegKey className_{HKEY_CLASSES_ROOT, kFolderClassKey};
    TestCard card_;
    ScopedRegKey settings_{HKEY_LOCAL_MACHINE, "Software\\Pictavia\\OrvexView\\Settings"};
    ScopedRegKey local_{HKEY_LOCAL_MACHINE, "Software\\Pictavia\\Orvex Cameras\\Memory Card\\Local"};
};

TEST_F(ExplorerSmoke, AddressBoxOpensTheRootAndEnterOpensASource) {
    ExplorerSession explorer("C:\\");
    ASSERT_NE(explorer.Window(), nullptr) << "explorer opened no window";
    ASSERT_TRUE(explorer.GoTo(kLocation));
    EXPECT_EQ(explorer.ViewItems(),
              (std::vector<std::string>{"Digital Camera", "Removable Media", "Hard Disk"}));
    {
        // Our root view, with the module's icons 245, 240 and 239 as images 1, 2 and 3.
        RemoteListView list(explorer.ViewList());
        EXPECT_TRUE(list.HasIcons());
        EXPECT_EQ(list.Image(0), 1);
        EXPECT_EQ(list.Image(1), 2);
        EXPECT_EQ(list.Image(2), 3);
    }
    SaveShot("explorer-root.png");

    ASSERT_TRUE(explorer.Open(1));
    EXPECT_EQ(explorer.ViewItems("100TEST"), (std::vector<std::string>{"100TEST", "101TEST"}));
    SaveShot("explorer-removable.png");

    // Enter on the first card folder opens our camera view with its thumbnails.
    ASSERT_TRUE(explorer.Open(0));
    HWND grid = nullptr;
    int cells = 0;
    WaitUntil(
        [&] {
            grid = FindDescendant(explorer.Window(), "LayoutImpWin");
            cells = grid ? CountChildren(grid, "SimpleControlWin") : 0;
            return cells == 3;
        },
        10000);
    ASSERT_NE(grid, nullptr) << "the camera view did not open";
    EXPECT_EQ(cells, 3);  // the folder's three pictures
    EXPECT_TRUE(IsChild(explorer.Window(), grid));
    SaveShot("explorer-camera.png");
}

}  // namespace
