#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "base/Module.h"
#include "server/RootView.h"
#include "support/BrowserHost.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/ScopedRegistry.h"
#include "support/Screen.h"

namespace {

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

    static std::string ItemText(HWND list, int item) {
        char text[128] = {};
        LVITEMA query = {};
        query.pszText = text;
        query.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&query));
        return text;
    }

    static int ItemImage(HWND list, int item) {
        LVITEMA query = {};
        query.mask = LVIF_IMAGE;
        query.iItem = item;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
        return query.iImage;
    }

    BrowserHost host_;
    ComRef<IShellFolder> root_;
    ComRef<IShellView> view_;
};

TEST_F(RootViewTest, ListsTheThreeChildrenWithTheirIcons) {
    HWND list = OpenAndFill();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(ItemText(list, 0), "Digital Camera");
    EXPECT_EQ(ItemText(list, 1), "Removable Media");
    EXPECT_EQ(ItemText(list, 2), "Hard Disk");
    // Images 1, 2, 3 are icons 245, 240, 239.
    EXPECT_EQ(ItemImage(list, 0), 1);
    EXPECT_EQ(ItemImage(list, 1), 2);
    EXPECT_EQ(ItemImage(list, 2), 3);
    EXPECT_EQ(host_.StatusText(0), "");
    EXPECT_EQ(host_.StatusText(1), "OrvexView");
    ASSERT_EQ(host_.StatusParts().size(), 3u);
    EXPECT_EQ(host_.StatusParts()[2], -1);
}

TEST_F(RootViewTest, RefreshingTwiceShowsEachItemOnce) {
    HWND list = OpenAndFill();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(view_->Refresh(), S_OK);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
}

TEST_F(RootViewTest, EnterOnAnItemBrowsesIntoItRelatively) {
    HWND list = OpenAndFill();
    ASSERT_NE(list, nullptr);
    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    NMHDR enter = {list, 0, static_cast<UINT>(NM_RETURN)};
    SendMessageA(GetParent(list), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&enter));
    ASSERT_EQ(host_.browsedTo.size(), 1u);
    EXPECT_EQ(host_.browsedTo[0], "Removable Media");
    EXPECT_EQ(host_.lastBrowseFlags, static_cast<UINT>(SBSP_RELATIVE));
}

TEST_F(RootViewTest, MenusAndSettingsButtonMergeIntoTheBrowser) {
    ASSERT_NE(OpenAndFill(), nullptr);
    ASSERT_NE(host_.menu, nullptr);
    HMENU viewMenu = GetSubMenu(host_.menu, 2);
    int count = GetMenuItemCount(viewMenu);
    ASSERT_EQ(count, 3);  // the browser's last item replaced by a separator and Settings
    EXPECT_EQ(GetMenuItemID(viewMenu, 0), 40000u);
    EXPECT_EQ(GetMenuItemID(viewMenu, 2), static_cast<UINT>(RootView::kSettings));
    EXPECT_FALSE(GetMenuState(viewMenu, RootView::kSettings, MF_BYCOMMAND) & MF_GRAYED);

    HMENU help = GetSubMenu(host_.menu, 3);
    char about[128] = {};
    GetMenuStringA(help, RootView::kAbout, about, sizeof about, MF_BYCOMMAND);
    EXPECT_EQ(std::string(about), "About &" + theModule.productName);

    ASSERT_EQ(host_.toolbarButtons.size(), 3u);
    EXPECT_EQ(host_.toolbarButtons[1].idCommand, RootView::kSettings);
    EXPECT_TRUE(host_.ButtonEnabled(RootView::kSettings));
}

TEST_F(RootViewTest, ActivationOnlyActsOnRealChanges) {
    ASSERT_EQ(host_.Open(view_.Get()), S_OK);
    int before = host_.activations;
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);  // first call always acts
    EXPECT_EQ(host_.activations, before + 1);
    EXPECT_EQ(view_->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);  // a focus change only
    EXPECT_EQ(host_.activations, before + 1);
    EXPECT_EQ(view_->UIActivate(SVUIA_DEACTIVATE), S_OK);
    EXPECT_EQ(host_.activations, before + 1);
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

    void* data = reinterpret_cast<void*>(1);
    EXPECT_EQ(view_->GetItemObject(SVGIO_SELECTION, IID_IDataObject, &data), E_NOTIMPL);
    EXPECT_EQ(data, nullptr);

    EXPECT_EQ(view_->DestroyViewWindow(), S_OK);
    EXPECT_EQ(view_->DestroyViewWindow(), E_UNEXPECTED);
    ComRef<IOleWindow> notAnswered;
    EXPECT_EQ(view_->QueryInterface(IID_IOleWindow, notAnswered.PutVoid()), E_NOINTERFACE);
}

TEST_F(RootViewTest, SettingsEditTheCameraAndAboutNamesTheProduct) {
    ScopedRegKey settings(HKEY_LOCAL_MACHINE, "Software\\Pictavia\\OrvexView\\Settings");
    settings.SetString("Camera", "Memory Card");
    OpenAndFill();
    HWND viewWindow = nullptr;
    view_->GetWindow(&viewWindow);
    DialogAnswerer answerer(IDCANCEL);
    SendMessageA(host_.Window(), WM_COMMAND, RootView::kSettings, 0);  // through the browser, as its menu does
    SendMessageA(host_.Window(), WM_COMMAND, RootView::kAbout, 0);
    ASSERT_EQ(answerer.Captions().size(), 2u);
    EXPECT_EQ(answerer.Captions()[0], "Digital Camera Settings");
    EXPECT_EQ(answerer.Captions()[1], "About " + theModule.productName + " - version " + theModule.productVersion);
}

}  // namespace
