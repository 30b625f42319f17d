// The thumbnail control: cells, layout grid, scrolling, selection rules,
// drag detection, the background loader and its error box, driven through
// real windows and messages.
#include <gtest/gtest.h>

#include <memory>

#include "controls/ImageControl.h"
#include "controls/LayoutImp.h"
#include "controls/SimpleControl.h"
#include "controls/ThumbnailControl.h"
#include "support/BoxWatcher.h"
#include "support/CoreFixture.h"
#include "support/FakeImage.h"
#include "support/Screen.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

namespace {

struct RecordingSink final : ImageControlSink {
    int selectionChanges = 0, drags = 0;
    std::vector<std::string> opened, menus;
    void ItemClicked(int, const char*) override {}
    void ContextMenuRequested(int, const char* name) override { menus.push_back(name ? name : "<null>"); }
    void ItemOpened(int, const char* name) override { opened.push_back(name); }
    void SelectionChanged(const char*, int, int) override { ++selectionChanges; }
    void BeginDrag() override { ++drags; }
};

// A top-level window that hosts one thumbnail control.
class ThumbnailTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        WNDCLASSA cls = {};
        cls.lpfnWndProc = DefWindowProcA;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "ThumbTestHost";
        RegisterClassA(&cls);
        host_ = CreateWindowExA(0, "ThumbTestHost", "Thumbnails", WS_POPUP | WS_VISIBLE, 0, 100, 640, 480,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        control_ = CreateImageControl(1);
        control_->SetSink(&sink_);
    }
    void TearDown() override {
        if (control_) {
            control_->DestroyControl();
            control_->Destroy(1);
        }
        images_.clear();
        DestroyWindow(host_);
        SetKeys(false, false);
        CoreTest::TearDown();
    }

    // Creates the control's window with a client area `width` x `height`.
    void Create(int width, int height, int multiSelect = 1, int orientation = 1) {
        RECT rect = {0, 0, width - 1, height - 1};
        ASSERT_TRUE(control_->CreateControl(0, "", 0, &rect, host_, 0));
        control_->SetLayout(10, 2, 90, 110, short(orientation), RGB(255, 255, 255), multiSelect);
    }

    FakeImage* AddImage(const std::string& name, int width = 64, int height = 48) {
        images_.push_back(std::make_unique<FakeImage>(name, MakeJpeg(QuadrantBitmap(width, height), {}), &log_));
        control_->AddItem(images_.back().get(), name.c_str(), -1);
        return images_.back().get();
    }

    void AddImages(int count) {
        for (int i = 0; i < count; ++i) AddImage("IMG_" + std::to_string(i) + ".JPG");
    }

    LayoutImp* Layout() { return static_cast<ThumbnailControl*>(control_)->Layout(); }
    SimpleControl* Cell(int index) { return static_cast<SimpleControl*>(Layout()->CellAt(index)); }

    bool AllLoaded() {
        for (int i = 0; i < Layout()->GetItemCount(); ++i)
            if (!Layout()->CellAt(i)->HasImage()) return false;
        return true;
    }
    bool WaitLoaded() { return WaitUntil([&] { return AllLoaded(); }, 10000); }

    static void SetKeys(bool shift, bool control) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    // A left click on cell `index`'s picture, released at once.
    void Click(int index, bool shift = false, bool control = false) {
        SetKeys(shift, control);
        HWND cell = Cell(index)->Window();
        PostMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
        SendMessageA(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
        SetKeys(false, false);
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

TEST_F(ThumbnailTest, CellsFitTheirPictureIntoTheSquareArea) {
    Create(640, 480);
    AddImage("wide.jpg", 640, 480);
    AddImage("tall.jpg", 400, 800);
    AddImage("small.jpg", 40, 30);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Cell(i)->PrepareImage());
    RECT r = Cell(0)->PictureRect();
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 15);
    EXPECT_EQ(r.right - r.left + 1, 80);
    EXPECT_EQ(r.bottom - r.top + 1, 60);
    r = Cell(1)->PictureRect();
    EXPECT_EQ(r.left, 25);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right - r.left + 1, 40);
    r = Cell(2)->PictureRect();
    EXPECT_EQ(r.left, 25);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left + 1, 40);
    EXPECT_EQ(Cell(0)->Caption(), "wide.jpg");
}

TEST_F(ThumbnailTest, CaptionsNumberCellsAndRemoveAllStartsAgainAtOne) {
    Create(640, 480);
    AddImages(2);
    images_[1]->named = false;
    EXPECT_EQ(Cell(1)->Caption(), "Pic 2");
    Cell(1)->PrepareImage();
    EXPECT_EQ(Cell(1)->Caption(), "Pic 2");
    control_->RemoveAllItems();
    EXPECT_EQ(control_->GetItemCount(), 0);
    AddImage("again.jpg");
    EXPECT_EQ(Cell(0)->Caption(), "Pic 1");
}

TEST_F(ThumbnailTest, PressesBelowThePictureActLikeTheBackground) {
    Create(640, 480);
    AddImages(3);
    Click(0);
    ASSERT_EQ(Selected(), std::vector<int>{0});
    // The caption strip of a 90 x 110 cell starts below y = 90.
    SendMessageA(Cell(1)->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 100));
    SendMessageA(Layout()->Window(), WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(Selected().empty());  // an empty rubber band selected nothing
}

TEST_F(ThumbnailTest, GridWrapsAtTheWidthPlusSlack) {
    Create(295, 2000);  // clientWidth 296: 3 cells end at 300, within 296 + 5
    AddImages(4);
    EXPECT_EQ(Layout()->CellPosition(2).y, 10);
    EXPECT_EQ(Layout()->CellPosition(3).x, 10);
    EXPECT_EQ(Layout()->CellPosition(3).y, 10 + 110 + 2);
    control_->DestroyControl();
    control_->Destroy(1);
    control_ = CreateImageControl(1);
    Create(289, 2000);  // clientWidth 290: the third cell would end at 300 > 295
    AddImages(3);
    EXPECT_EQ(Layout()->CellPosition(2).x, 10);
}

TEST_F(ThumbnailTest, ScrollBarAppearsWhenTheGridOverflowsAndScrollingClamps) {
    Create(400, 300);
    AddImages(3);
    EXPECT_FALSE(Layout()->ScrollBarShown());
    EXPECT_EQ(Layout()->ScrollMax(), 0);
    AddImages(9);
    ASSERT_TRUE(Layout()->ScrollBarShown());
    EXPECT_GT(Layout()->ScrollMax(), 0);
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
}

TEST_F(ThumbnailTest, PlainCtrlAndShiftClickRules) {
    Create(295, 2000);  // three per row
    AddImages(9);
    Click(4);
    EXPECT_EQ(Selected(), std::vector<int>{4});
    EXPECT_EQ(Layout()->Anchor(), 4);
    Click(6, false, true);  // Ctrl selects and moves the anchor
    EXPECT_EQ(Selected(), (std::vector<int>{4, 6}));
    EXPECT_EQ(Layout()->Anchor(), 6);
    Click(6, false, true);  // Ctrl again deselects; the anchor stays
    EXPECT_EQ(Selected(), std::vector<int>{4});
    EXPECT_EQ(Layout()->Anchor(), 6);
    Click(0);
    Click(4, true);  // Shift: the block between (1,1) and (2,2)
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 3, 4}));
    Click(8);
    Click(8, false, false);
    Click(7, true, true);  // anchor 8 to 7 added with Ctrl held
    EXPECT_EQ(Selected(), (std::vector<int>{7, 8}));
    EXPECT_GT(sink_.selectionChanges, 4);
}

TEST_F(ThumbnailTest, PressingASelectedCellShrinksTheSelectionOnRelease) {
    Create(295, 2000);
    AddImages(4);
    Click(0);
    Click(1, false, true);
    ASSERT_EQ(Selected(), (std::vector<int>{0, 1}));
    Click(1);
    EXPECT_EQ(Selected(), std::vector<int>{1});
    EXPECT_EQ(sink_.drags, 0);
}

TEST_F(ThumbnailTest, MovingBeyondThreePixelsStartsADragEscapeCancels) {
    Create(295, 2000);
    AddImages(3);
    Click(0);
    Click(1, false, true);
    POINT press = {100, 100};
    SetCursorPos(press.x, press.y);
    MSG msg;
    PostMessageA(host_, WM_NULL, 0, 0);
    PeekMessageA(&msg, host_, 0, 0, PM_REMOVE);  // GetMessagePos is now the press
    SetCursorPos(press.x + 2, press.y + 2);
    PostMessageA(Layout()->Window(), WM_MOUSEMOVE, MK_LBUTTON, 0);  // inside the box
    SetCursorPos(press.x + 8, press.y);
    PostMessageA(Layout()->Window(), WM_MOUSEMOVE, MK_LBUTTON, 0);  // outside
    SendMessageA(Cell(1)->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_EQ(sink_.drags, 1);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));  // a drag leaves the selection alone

    PostMessageA(Layout()->Window(), WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(Cell(1)->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
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

TEST_F(ThumbnailTest, RubberBandSelectsCoveredCellsCtrlTogglesShiftAdds) {
    Create(295, 2000);
    AddImages(6);
    HWND window = Layout()->Window();
    auto band = [&](POINT from, POINT to, WPARAM keys) {
        POINT screen = to;
        ClientToScreen(window, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(from.x, from.y));
        SendMessageA(window, WM_LBUTTONUP, 0, 0);
    };
    band({5, 5}, {150, 50}, 0);  // covers cells 0 and 1
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));
    band({110, 5}, {250, 50}, MK_CONTROL);  // covers 1 and 2: 1 toggles off, 2 on
    EXPECT_EQ(Selected(), (std::vector<int>{0, 2}));
    band({5, 130}, {50, 160}, MK_SHIFT);  // adds cell 3
    EXPECT_EQ(Selected(), (std::vector<int>{0, 2, 3}));
    band({5, 130}, {50, 160}, 0);
    EXPECT_EQ(Selected(), std::vector<int>{3});
}

TEST_F(ThumbnailTest, RubberBandPastTheEdgeScrollsTenPixelsAPassWithinTheRange) {
    Create(400, 300);
    AddImages(12);
    HWND window = Layout()->Window();
    ASSERT_GT(Layout()->ScrollMax(), 20);
    auto dragTo = [&](int clientY) {
        POINT screen = {50, clientY};
        ClientToScreen(window, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, 0);
    };
    POINT start = {5, 5};
    POINT screen = start;
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    dragTo(300 + 50);  // well below the bottom edge
    EXPECT_EQ(Layout()->ScrollPos(), 10);
    for (int i = 0; i < 100; ++i) dragTo(300 + 50);
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax());
    dragTo(-40);  // above the top edge
    EXPECT_EQ(Layout()->ScrollPos(), Layout()->ScrollMax() - 10);
    for (int i = 0; i < 100; ++i) dragTo(-40);
    EXPECT_EQ(Layout()->ScrollPos(), 0);
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
}

TEST_F(ThumbnailTest, WithoutMultiSelectABackgroundPressClears) {
    Create(295, 2000, 0);
    AddImages(3);
    Click(1);
    Click(2, false, true);  // Ctrl does nothing special: a plain click
    EXPECT_EQ(Selected(), std::vector<int>{2});
    SendMessageA(Layout()->Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(280, 280));
    EXPECT_TRUE(Selected().empty());
}

TEST_F(ThumbnailTest, LoaderFetchesSelectedFirstAndEverythingOnce) {
    Create(640, 480);
    AddImages(6);
    control_->SelectItem("IMG_4.JPG", 1);
    control_->RestartLoader();
    ASSERT_TRUE(WaitLoaded());
    std::vector<std::string> order = log_.Names();
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order[0], "IMG_4.JPG");
    EXPECT_EQ(order[1], "IMG_0.JPG");
    for (auto& image : images_) EXPECT_EQ(image->reads, 1);
}

TEST_F(ThumbnailTest, AddingWhileLoadingRestartsFromTheFirstItem) {
    Create(640, 480);
    AddImages(4);
    for (auto& image : images_) image->delayMs = 30;
    control_->RestartLoader();
    AddImage("late.jpg");
    EXPECT_TRUE(Layout()->LoaderRunning());
    ASSERT_TRUE(WaitLoaded());
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
        EXPECT_EQ(retry.Count(), 2);
        EXPECT_EQ(retry.Texts()[0], "Image Acquisition error.");
    }
    control_->RemoveAllItems();
    AddImages(3);
    images_[4]->failuresLeft = 1;
    {
        BoxWatcher cancel(IDCANCEL);
        control_->RestartLoader();
        WaitUntil([&] { return cancel.Count() == 1 && !Layout()->CellAt(1)->HasImage() &&
                               Layout()->CellAt(0)->HasImage(); }, 10000);
        WaitUntil([] { return false; }, 300);
        EXPECT_TRUE(Layout()->CellAt(0)->HasImage());
        EXPECT_FALSE(Layout()->CellAt(1)->HasImage());
        EXPECT_FALSE(Layout()->CellAt(2)->HasImage());  // the run ended at Cancel
        control_->RestartLoader();
        ASSERT_TRUE(WaitLoaded());  // the next run fetches them
    }
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
    control_->DestroyControl();  // waits, still handling messages, until the box is answered
    control_->Destroy(1);
    control_ = nullptr;
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
}

TEST_F(ThumbnailTest, AFilledGridAsTheUserSeesIt) {
    Create(640, 480);
    for (int i = 0; i < 14; ++i) {
        images_.push_back(std::make_unique<FakeImage>(
            "IMG_" + std::to_string(100 + i) + ".JPG",
            MakeJpeg(i % 3 ? QuadrantBitmap(160, 120) : QuadrantBitmap(90, 120), {}), &log_));
        control_->AddItem(images_.back().get(), ("IMG_" + std::to_string(100 + i) + ".JPG").c_str(), -1);
    }
    images_[5]->failuresLeft = 1;  // fetched on the user's Retry
    control_->SelectItem("IMG_101.JPG", 1);
    control_->SelectItem("IMG_102.JPG", 1);
    control_->RotateItem("IMG_103.JPG", -90);
    BoxWatcher retry(IDRETRY);
    control_->RestartLoader();
    ASSERT_TRUE(WaitLoaded());
    WaitUntil([] { return false; }, 300);
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\thumbnails.png"));
}

}  // namespace
