// The two image controls driven through real windows and messages: the
// thumbnail grid (cells, wrap, scrolling, click and rubber band rules, drag
// start, the background loader and its error box) and the report list.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "controls/LayoutImp.h"
#include "controls/SimpleControl.h"
#include "controls/ThumbnailControl.h"
#include "support/BoxWatcher.h"
#include "support/CoreFixture.h"
#include "support/FakeImage.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

struct RecordingSink final : ImageControlSink {
    int drags = 0;
    std::vector<std::string> opened, menus, selections;
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int, const char* name) override { menus.push_back(name ? name : "<null>"); }
    void ItemOpened(int, const char* name) override { opened.push_back(name); }
    void SelectionChanged(const char* name, int selected, int) override {
        selections.push_back(std::string(name ? name : "") + (selected ? "+" : "-"));
    }
    void BeginDrag() override { ++drags; }
};

// A top-level window that hosts one image control: 1 the thumbnails, 0 the list.
class ThumbnailTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        WNDCLASSA cls = {};
        cls.lpfnWndProc = DefWindowProcA;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "ImageControlHost";
        RegisterClassA(&cls);
        host_ = CreateWindowExA(0, "ImageControlHost", "", WS_POPUP | WS_VISIBLE, 0, 100, 640, 480, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    void TearDown() override {
        Destroy();
        images_.clear();
        DestroyWindow(host_);
        SetKeys(false, false);
        CoreTest::TearDown();
    }
    void Destroy() {
        if (control_) {
            control_->DestroyControl();
            control_->Destroy(1);
        }
        control_ = nullptr;
    }

    // Makes the control's window with a client area `width` x `height`.
    void Create(int width, int height, int kind = 1) {
        Destroy();
        control_ = CreateImageControl(kind);
        control_->SetSink(&sink_);
        RECT rect = {0, 0, width - 1, height - 1};
        ASSERT_TRUE(control_->CreateControl(0, "", 0, &rect, host_, 0));
        if (kind) control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), 1);
    }
    void AddImage(const std::string& name, int width = 64, int height = 48) {
        images_.push_back(std::make_unique<FakeImage>(name, MakeJpeg(QuadrantBitmap(width, height), {}), &log_));
        control_->AddItem(images_.back().get(), name.c_str(), -1);
    }
    void AddImages(int count) {
        for (int i = 0; i < count; ++i) AddImage("IMG_" + std::to_string(i) + ".JPG");
    }

    LayoutImp* Layout() { return static_cast<ThumbnailControl*>(control_)->Layout(); }
    SimpleControl* Cell(int index) { return static_cast<SimpleControl*>(Layout()->CellAt(index)); }
    bool WaitLoaded() {
        return WaitUntil([&] {
            for (int i = 0; i < Layout()->GetItemCount(); ++i)
                if (!Layout()->CellAt(i)->HasImage()) return false;
            return true;
        }, 10000);
    }
    static void SetKeys(bool shift, bool control) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    // Puts the cursor at `point` of `window`, which also becomes where the
    // last message read happened (where a press reads it was).
    void PointAt(HWND window, POINT point) {
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        MSG msg;
        PostMessageA(host_, WM_NULL, 0, 0);
        PeekMessageA(&msg, host_, 0, 0, PM_REMOVE);
    }
    std::vector<int> Selected() {
        std::vector<int> selected;
        for (int i = 0; i < Layout()->GetItemCount(); ++i)
            if (Layout()->CellAt(i)->IsSelected()) selected.push_back(i);
        return selected;
    }

    HWND host_ = nullptr;
    ImageControl* control_ = nullptr;
    RecordingSink sink_;
    FetchLog log_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

std::string Box(RECT r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left + 1) + "x" +
           std::to_string(r.bottom - r.top + 1);
}

TEST_F(ThumbnailTest, CellsFitTheirPictureIntoTheSquareAndNumberTheUnnamed) {
    Create(640, 480);
    const struct {
        const char* name;
        int width, height;
        const char* picture;
    } cases[] = {{"wide.jpg", 640, 480, "5,15 80x60"}, {"tall.jpg", 400, 800, "25,5 40x80"},
                 {"small.jpg", 40, 30, "25,30 40x30"}};
    for (const auto& c : cases) AddImage(c.name, c.width, c.height);
    images_[2]->named = false;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Cell(i)->PrepareImage());
        EXPECT_EQ(Box(Cell(i)->PictureRect()), cases[i].picture) << cases[i].name;
    }
    EXPECT_EQ(Cell(0)->Caption(), "wide.jpg");
    EXPECT_EQ(Cell(2)->Caption(), "Pic 3");
    control_->RemoveAllItems();
    EXPECT_EQ(control_->GetItemCount(), 0);
    AddImage("again.jpg");
    EXPECT_EQ(Cell(0)->Caption(), "Pic 1");  // numbered from one again until its name is read
}

TEST_F(ThumbnailTest, RowsWrapAtTheWidthPlusSlack) {
    // Cells of 90 every 92 from 10: the third ends at 300, within 296 + 5 but not 290 + 5.
    for (const auto& c : {std::make_pair(295, 3), std::make_pair(289, 2)}) {
        Create(c.first, 2000);
        AddImages(4);
        EXPECT_EQ(Layout()->CellPosition(c.second - 1).y, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).x, 10) << c.first;
        EXPECT_EQ(Layout()->CellPosition(c.second).y, 10 + 110 + 2) << c.first;
    }
}

TEST_F(ThumbnailTest, ScrollingStaysInRangeAndABandPastTheEdgeScrollsTenAPass) {
    Create(400, 300);
    AddImages(3);
    EXPECT_FALSE(Layout()->ScrollBarShown());
    AddImages(9);
    ASSERT_TRUE(Layout()->ScrollBarShown());
    ASSERT_GT(Layout()->ScrollMax(), 20);
    HWND window = Layout()->Window();
    SendMessageA(window, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(Layout()->ScrollPos(), 0);
    SendMessageA(window, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(Layout()->ScrollPos(), 10);
    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 30000), 0);
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax());
    RECT cellRect;
    GetWindowRect(Cell(0)->Window(), &cellRect);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(cellRect.top - origin.y, 10 - Layout()->ScrollPos());  // cells moved with the content
    SendMessageA(window, WM_VSCROLL, SB_PAGEUP, 0);
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax() - 110);

    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
    PointAt(window, {5, 5});
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    const std::pair<int, int> passes[] = {{350, 10}, {350, Layout()->ScrollMax()}, {-40, Layout()->ScrollMax() - 10},
                                          {-40, 0}};  // below the bottom edge, then above the top
    for (size_t i = 0; i < 4; ++i) {
        for (int pass = 0; pass < (i % 2 ? 100 : 1); ++pass) {
            PointAt(window, {50, passes[i].first});
            SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, 0);
        }
        EXPECT_EQ(Layout()->ScrollPos(), passes[i].second) << i;
    }
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
}

enum How { kPlain = 0, kCtrl = 1, kShift = 2, kBelowPicture = 4, kBackground = 8 };

TEST_F(ThumbnailTest, ClickRulesOnAGridOfThreeARow) {
    struct Press {
        int cell;
        int how = kPlain;
    };
    const struct {
        const char* rule;
        int multiSelect;
        std::vector<Press> presses;
        std::vector<int> selected;
    } cases[] = {
        {"a click selects one", 1, {{4}}, {4}},
        {"Ctrl adds", 1, {{4}, {6, kCtrl}}, {4, 6}},
        {"Ctrl again removes", 1, {{4}, {6, kCtrl}, {6, kCtrl}}, {4}},
        {"removing keeps the anchor", 1, {{4}, {6, kCtrl}, {6, kCtrl}, {8, kShift}}, {6, 7, 8}},
        {"Shift takes the block from the anchor alone", 1, {{6}, {0, kCtrl}, {4, kShift}}, {0, 1, 3, 4}},
        {"Ctrl+Shift adds the block", 1, {{6}, {0, kCtrl}, {4, kShift | kCtrl}}, {0, 1, 3, 4, 6}},
        {"a press on a selected cell keeps it alone on release", 1, {{0}, {1, kCtrl}, {1}}, {1}},
        {"below the picture is background: an empty band", 1, {{0}, {1, kBelowPicture}}, {}},
        {"single selection: Ctrl is a plain click", 0, {{1}, {2, kCtrl}}, {2}},
        {"single selection: the background clears", 0, {{1}, {0, kBackground}}, {}},
    };
    Create(295, 2000);
    AddImages(9);
    for (const auto& c : cases) {
        control_->SetLayout(10, 2, 90, 110, 1, RGB(255, 255, 255), c.multiSelect);
        for (const Press& press : c.presses) {
            SetKeys(press.how & kShift, press.how & kCtrl);
            HWND cell = Cell(press.cell)->Window();
            if (press.how & kBackground) {
                SendMessageA(Layout()->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(280, 280));
            } else if (press.how & kBelowPicture) {  // the caption strip of a 90 x 110 cell
                PointAt(cell, {40, 100});
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 100));
                SendMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
            } else {  // released at once
                PostMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
                SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
            }
            SetKeys(false, false);
        }
        EXPECT_EQ(Selected(), c.selected) << c.rule;
    }
    EXPECT_EQ(sink_.drags, 0);
    EXPECT_GT(sink_.selections.size(), 10u);
}

TEST_F(ThumbnailTest, RubberBandSelectsCoveredCellsCtrlTogglesShiftAdds) {
    Create(295, 2000);
    AddImages(6);
    HWND window = Layout()->Window();
    const struct {
        POINT from, to;
        WPARAM keys;
        std::vector<int> selected;
    } bands[] = {{{5, 5}, {150, 50}, 0, {0, 1}},
                 {{110, 5}, {250, 50}, MK_CONTROL, {0, 2}},  // 1 toggles off, 2 on
                 {{5, 130}, {50, 160}, MK_SHIFT, {0, 2, 3}},
                 {{5, 130}, {50, 160}, 0, {3}}};
    for (const auto& band : bands) {
        PointAt(window, band.to);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON | band.keys, MAKELPARAM(band.from.x, band.from.y));
        SendMessageA(window, WM_LBUTTONUP, 0, 0);
        EXPECT_EQ(Selected(), band.selected) << band.keys;
    }
}

TEST_F(ThumbnailTest, MovingBeyondThreePixelsStartsADragEscapeCancels) {
    Create(295, 2000);
    AddImages(3);
    control_->SelectItem("IMG_0.JPG", 1);
    control_->SelectItem("IMG_1.JPG", 1);
    HWND layout = Layout()->Window(), cell = Cell(1)->Window();
    POINT press = {100, 100};
    PointAt(layout, press);
    ClientToScreen(layout, &press);
    SetCursorPos(press.x + 2, press.y + 2);
    PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);  // inside the box
    SetCursorPos(press.x + 8, press.y);
    PostMessageA(layout, WM_MOUSEMOVE, MK_LBUTTON, 0);  // outside
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));  // a drag leaves the selection alone

    PostMessageA(layout, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
}

TEST_F(ThumbnailTest, DoubleClickOpensAndRightClicksAskForMenus) {
    Create(295, 2000);
    AddImages(2);
    SendMessageA(Cell(1)->Window(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.opened, std::vector<std::string>{"IMG_1.JPG"});
    EXPECT_EQ(Selected(), std::vector<int>{1});
    SendMessageA(Cell(0)->Window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    SendMessageA(Cell(0)->Window(), WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    SendMessageA(Layout()->Window(), WM_RBUTTONUP, 0, MAKELPARAM(250, 250));
    EXPECT_EQ(sink_.menus, (std::vector<std::string>{"IMG_0.JPG", ""}));
    EXPECT_EQ(Selected(), std::vector<int>{0});
}

TEST_F(ThumbnailTest, LoaderFetchesSelectedFirstAndEverythingOnceEvenWhenAddedTo) {
    Create(640, 480);
    AddImages(6);
    for (auto& image : images_) image->delayMs = 30;
    control_->SelectItem("IMG_4.JPG", 1);
    control_->RestartLoader();
    AddImage("late.jpg");  // while loading: the loader starts over
    EXPECT_TRUE(Layout()->LoaderRunning());
    ASSERT_TRUE(WaitLoaded());
    std::vector<std::string> order = log_.Names();
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(order[0], "IMG_4.JPG");
    EXPECT_EQ(order[1], "IMG_0.JPG");
    for (auto& image : images_) EXPECT_EQ(image->reads, 1);
    control_->RemoveAllItems();
    EXPECT_FALSE(Layout()->LoaderRunning());
}

TEST_F(ThumbnailTest, RetryFetchesAgainAndCancelEndsTheRun) {
    Create(640, 480);
    AddImages(3);
    images_[0]->failuresLeft = 2;
    {
        BoxWatcher retry(IDRETRY);
        control_->RestartLoader();
        ASSERT_TRUE(WaitLoaded());
        EXPECT_EQ(retry.Texts(), std::vector<std::string>(2, "Image Acquisition error."));
    }
    control_->RemoveAllItems();
    AddImages(3);
    images_[4]->failuresLeft = 1;
    BoxWatcher cancel(IDCANCEL);
    control_->RestartLoader();
    WaitUntil([&] { return cancel.Count() == 1 && Layout()->CellAt(0)->HasImage(); }, 10000);
    WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(Layout()->CellAt(0)->HasImage());
    EXPECT_FALSE(Layout()->CellAt(1)->HasImage());
    EXPECT_FALSE(Layout()->CellAt(2)->HasImage());  // the run ended at Cancel
    control_->RestartLoader();
    EXPECT_TRUE(WaitLoaded());  // the next run fetches them
}

TEST_F(ThumbnailTest, StoppingWhileTheWorkerWaitsInSendMessageOrAnErrorBox) {
    Create(640, 480);
    AddImages(3);
    for (auto& image : images_) image->sendTo = host_;  // the worker blocks until this thread answers
    control_->RestartLoader();
    control_->RemoveAllItems();  // must not deadlock
    EXPECT_FALSE(Layout()->LoaderRunning());

    AddImages(2);
    images_[3]->failuresLeft = 100;
    BoxWatcher late(IDCANCEL, 300);
    control_->RestartLoader();
    WaitUntil([&] { return late.Count() > 0; }, 5000);
    Destroy();  // waits, still handling messages, until the box is answered
    EXPECT_EQ(late.Count(), 1);
}

TEST_F(ThumbnailTest, TurnsWhilePicturesArriveAreAppliedExactlyOnce) {
    Create(640, 480);
    AddImages(24);
    for (auto& image : images_) image->delayMs = 5;
    control_->RestartLoader();
    // Seven quarter turns each, interleaved with the loader's arrivals.
    for (int round = 0; round < 7; ++round)
        for (int i = 0; i < 24; ++i) {
            control_->RotateItem(("IMG_" + std::to_string(i) + ".JPG").c_str(), -90);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    ASSERT_TRUE(WaitLoaded());
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(control_->GetItemRotation(("IMG_" + std::to_string(i) + ".JPG").c_str()), -270);
        RECT r = Cell(i)->PictureRect();
        EXPECT_GT(r.bottom - r.top, r.right - r.left) << i;  // 64 x 48 turned an odd number of times
    }
    control_->RotateItem("IMG_0.JPG", -90);
    EXPECT_EQ(control_->GetItemRotation("IMG_0.JPG"), 0);  // eight quarter turns: upright again
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\thumbnails.png"));
}

// The report list in the same host, with three pictures the loader reads as files.
class ListHelperTest : public ThumbnailTest {
protected:
    void SetUp() override {
        ThumbnailTest::SetUp();
        Create(600, 400, 0);
        for (int i = 1; i <= 3; ++i) {
            AddImage("IMG_" + std::to_string(i) + ".JPG", 8, 8);
            images_.back()->fileReads = true;
        }
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
};

TEST_F(ListHelperTest, RowsStartAsPicturesNumberedThenTheLoaderFillsThemSelectedFirst) {
    EXPECT_EQ(Text(0, 0), "Pic 1");
    EXPECT_EQ(Text(2, 0), "Pic 3");
    EXPECT_EQ(Icon(1), 0);
    control_->SelectItem("IMG_3.JPG", 1);
    control_->RestartLoader();
    ASSERT_TRUE(WaitUntil([&] { return Icon(0) == 1 && Icon(1) == 1 && Icon(2) == 1; }, 5000));
    EXPECT_EQ(log_.Names().front(), "IMG_3.JPG");
    EXPECT_EQ(Text(0, 0), "IMG_1.JPG");
    EXPECT_EQ(Text(0, 1), "1.5KB");
    EXPECT_EQ(Text(0, 2), "2024:01:02 03:04:05");
    EXPECT_EQ(Text(0, 3), "640 x 480");
}

TEST_F(ListHelperTest, SelectionIsReportedOnceTurnsWrapAndSingleSelectionFollowsTheLayout) {
    control_->SelectItem("IMG_2.JPG", 1);
    control_->SelectItem("IMG_2.JPG", 1);  // already selected: no second report
    EXPECT_EQ(control_->GetSelectedCount(), 1);
    EXPECT_EQ(control_->IsItemSelected("IMG_2.JPG"), 1);
    control_->SelectItem("IMG_2.JPG", 0);
    EXPECT_EQ(sink_.selections, (std::vector<std::string>{"IMG_2.JPG+", "IMG_2.JPG-"}));
    for (int turn : {-90, -180, -270, 0}) EXPECT_EQ(control_->RotateItem("IMG_1.JPG", -90), turn);
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
    RECT client;
    GetClientRect(list, &client);
    for (POINT at : {POINT{row.left + 20, (row.top + row.bottom) / 2}, POINT{client.right - 10, client.bottom - 10}}) {
        ClientToScreen(list, &at);
        SendClick(at, true);
        WaitUntil([&] { return false; }, 300);
    }
    // Not a second one from WM_CONTEXTMENU; the empty part's is the background's.
    EXPECT_EQ(sink_.menus, (std::vector<std::string>{"IMG_2.JPG", ""}));
    SetFocus(list);
    SendKey(VK_APPS);  // the keyboard's menu key comes as WM_CONTEXTMENU alone
    WaitUntil([&] { return sink_.menus.size() == 3; }, 1000);
    EXPECT_EQ(sink_.menus.size(), 3u);
}

}  // namespace
