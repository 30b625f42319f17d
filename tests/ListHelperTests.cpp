// The report list: rows, details and icons as the loader fills them,
// selection notifications, rotation, single selection.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "controls/ImageControl.h"
#include "support/BoxWatcher.h"
#include "support/CoreFixture.h"
#include "support/FakeImage.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPictures.h"

namespace {

struct CountingSink final : ImageControlSink {
    std::vector<std::string> selections, menus;
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int, const char* name) override { menus.push_back(name ? name : "(null)"); }
    void ItemOpened(int, const char*) override {}
    void SelectionChanged(const char* name, int selected, int) override {
        selections.push_back(std::string(name ? name : "") + (selected ? "+" : "-"));
    }
    void BeginDrag() override {}
};

class ListHelperTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr, nullptr,
                                nullptr, nullptr);
        control_ = CreateImageControl(0);
        control_->SetSink(&sink_);
        RECT rect = {0, 0, 599, 399};
        ASSERT_TRUE(control_->CreateControl(0, "", 0, &rect, host_, 0));
        for (int i = 1; i <= 3; ++i) {
            images_.push_back(std::make_unique<FakeImage>("IMG_" + std::to_string(i) + ".JPG",
                                                          MakeJpeg(QuadrantBitmap(8, 8), {})));
            images_.back()->fileReads = true;
            control_->AddItem(images_.back().get(), ("IMG_" + std::to_string(i) + ".JPG").c_str(), -1);
        }
    }
    void TearDown() override {
        control_->DestroyControl();
        control_->Destroy(1);
        DestroyWindow(host_);
        CoreTest::TearDown();
    }
    std::string Text(int row, int column) {
        char text[128] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(control_->GetWindow(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    int Icon(int row) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageA(control_->GetWindow(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }

    HWND host_ = nullptr;
    ImageControl* control_ = nullptr;
    CountingSink sink_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

TEST_F(ListHelperTest, RowsStartAsPicturesNumberedThenTheLoaderFillsThem) {
    EXPECT_EQ(Text(0, 0), "Pic 1");
    EXPECT_EQ(Text(2, 0), "Pic 3");
    EXPECT_EQ(Icon(1), 0);
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return Icon(2) == 1; }, 5000));
    EXPECT_EQ(Text(0, 0), "IMG_1.JPG");
    EXPECT_EQ(Text(0, 1), "1.5KB");
    EXPECT_EQ(Text(0, 2), "2024:01:02 03:04:05");
    EXPECT_EQ(Text(0, 3), "640 x 480");
    EXPECT_EQ(Icon(0), 1);
}

TEST_F(ListHelperTest, SelectionChangesAreReportedOnce) {
    control_->SelectItem("IMG_2.JPG", 1);
    control_->SelectItem("IMG_2.JPG", 1);  // already selected: no second report
    EXPECT_EQ(sink_.selections, std::vector<std::string>{"IMG_2.JPG+"});
    EXPECT_EQ(control_->GetSelectedCount(), 1);
    EXPECT_EQ(control_->IsItemSelected("IMG_2.JPG"), 1);
    control_->SelectItem("IMG_2.JPG", 0);
    EXPECT_EQ(sink_.selections.back(), "IMG_2.JPG-");
}

TEST_F(ListHelperTest, RotationWrapsAndSingleSelectionFollowsTheLayout) {
    EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), -90);
    EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), -180);
    EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), -270);
    EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), 0);
    control_->SetLayout(10, 2, 90, 98, 1, RGB(255, 255, 255), 0);
    EXPECT_TRUE(GetWindowLongA(control_->GetWindow(), GWL_STYLE) & LVS_SINGLESEL);
    control_->SetLayout(10, 2, 90, 98, 1, RGB(255, 255, 255), 1);
    EXPECT_FALSE(GetWindowLongA(control_->GetWindow(), GWL_STYLE) & LVS_SINGLESEL);
}

TEST_F(ListHelperTest, OneRightClickAsksForOneMenu) {
    HWND list = control_->GetWindow();
    SetForegroundWindow(host_);
    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    POINT onRow = {row.left + 20, (row.top + row.bottom) / 2};
    ClientToScreen(list, &onRow);
    SendClick(onRow, true);
    WaitUntil([&] { return false; }, 300);
    EXPECT_EQ(sink_.menus, std::vector<std::string>{"IMG_2.JPG"});  // not a second one from WM_CONTEXTMENU

    RECT client;
    GetClientRect(list, &client);
    POINT empty = {client.right - 10, client.bottom - 10};
    ClientToScreen(list, &empty);
    SendClick(empty, true);
    WaitUntil([&] { return false; }, 300);
    ASSERT_EQ(sink_.menus.size(), 2u);
    EXPECT_EQ(sink_.menus[1], "");

    SetFocus(list);
    SendKey(VK_APPS);  // the keyboard's menu key comes as WM_CONTEXTMENU alone
    WaitUntil([&] { return sink_.menus.size() == 3; }, 1000);
    EXPECT_EQ(sink_.menus.size(), 3u);
}

}  // namespace
