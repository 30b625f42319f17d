// The full-resolution viewer through its real windows: opened, resized,
// zoomed, scrolled, turned and closed; a failing camera and a busy folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <utility>

#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPictures.h"
#include "viewer/FullResViewer.h"

namespace {

std::unique_ptr<FakeImage> Picture(int width, int height) {
    return std::make_unique<FakeImage>("IMG_0001.JPG", MakeJpeg(QuadrantBitmap(width, height), {}));
}

std::string Titled(const char* zoom) { return std::string("IMG_0001.JPG - Full Resolution Image (") + zoom + ")"; }

using Pair = std::pair<LONG, LONG>;
Pair Size(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }
RECT WindowRect(HWND window) { RECT r; GetWindowRect(window, &r); return r; }

class ViewerTest : public CoreTest {
protected:
    void TearDown() override {
        Close();
        EXPECT_EQ(FindWindowA("FrameHelperWin", nullptr), nullptr) << "a viewer window was left";
        EXPECT_EQ(folder_.Idle(), 1) << "the folder's transfer guard is given back";
        CoreTest::TearDown();
    }

    // True when the viewer opened; it stays open until closed or the test ends.
    bool Open(int rotation = 0) {
        auto* viewer = new FullResViewer(image_.get(), rotation, &folder_);
        if (!viewer->Create(nullptr)) return false;  // it has released itself
        viewer_ = viewer;
        WaitUntil([] { return false; }, 100);
        return true;
    }
    void Close() { if (viewer_) DestroyWindow(std::exchange(viewer_, nullptr)->Frame()); }
    HWND Pane() { return viewer_->Pane(); }
    RECT Client() { RECT r; GetClientRect(Pane(), &r); return r; }
    LONG Bars() { return GetWindowLongA(Pane(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL); }
    // The title, then " +" and " -" for the zoom buttons that work.
    std::string State() {
        char text[512] = {};
        GetWindowTextA(viewer_->Frame(), text, sizeof text);
        auto enabled = [&](int id) { return SendMessageA(viewer_->Toolbar(), TB_ISBUTTONENABLED, id, 0) != 0; };
        return text + std::string(enabled(FullResViewer::kZoomIn) ? " +" : "") +
               (enabled(FullResViewer::kZoomOut) ? " -" : "");
    }
    void Command(int command, int times = 1) { while (times--) SendMessageA(viewer_->Frame(), WM_COMMAND, command, 0); }
    int Scroll(UINT message, int code, int position = 0) {
        SendMessageA(Pane(), message, MAKEWPARAM(code, position), 0);
        return GetScrollPos(Pane(), message == WM_VSCROLL ? SB_VERT : SB_HORZ);
    }
    // Resizes the frame so that the pane gets `cx` x `cy` (scroll bars included).
    void SizePane(int cx, int cy) {
        Pair frame = Size(WindowRect(viewer_->Frame())), pane = Size(WindowRect(Pane()));
        SetWindowPos(viewer_->Frame(), nullptr, 0, 0, frame.first + cx - pane.first, frame.second + cy - pane.second,
                     SWP_NOMOVE | SWP_NOZORDER);
        ASSERT_EQ(Size(WindowRect(Pane())), Pair(cx, cy));
    }
    // What the pane shows at a point of its client area.
    Color PaneColor(int x, int y) {
        UpdateWindow(Pane());
        HDC pane = GetDC(Pane());
        COLORREF color = GetPixel(pane, x, y);
        ReleaseDC(Pane(), pane);
        return {GetRValue(color), GetGValue(color), GetBValue(color)};
    }

    TestFolder folder_{nullptr};  // only its transfer guard takes part
    std::unique_ptr<FakeImage> image_ = Picture(64, 48);
    FullResViewer* viewer_ = nullptr;
};

TEST_F(ViewerTest, OpenResizeZoomScrollTurnAndClose) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int width = (work.right - work.left) * 8 / 5, height = (work.bottom - work.top) * 8 / 5;
    image_ = Picture(width, height);
    ASSERT_TRUE(Open(-180));  // turned as the view shows it
    // Too large for the work area: it opens at the largest quarter step that
    // fits, in a frame sized to it in the work area's corner.
    EXPECT_EQ(State(), Titled("50%") + " + -");
    int cx = width / 2, cy = height / 2;
    EXPECT_EQ(Size(Client()), Pair(cx, cy));
    RECT frame = WindowRect(viewer_->Frame());
    EXPECT_EQ(Pair(frame.left, frame.top), Pair(work.left, work.top));
    EXPECT_EQ(Bars(), 0);
    EXPECT_TRUE(Near(PaneColor(5, 5), kQuadrants[3]));  // the white corner
    EXPECT_TRUE(Near(PaneColor(cx - 1, cy - 1), kQuadrants[0])) << "the red corner reaches the last pixel";

    // A scroll bar appears only for a picture two pixels larger than the pane;
    // the vertical one can leave too little width, and brings the other.
    const struct { int dx, dy; LONG bars; } panes[] = {{-1, 40, 0}, {-2, 40, WS_HSCROLL}, {40, -1, 0},
        {40, -2, WS_VSCROLL}, {0, -2, WS_HSCROLL | WS_VSCROLL}, {0, 0, 0}};
    for (const auto& p : panes) {
        SizePane(cx + p.dx, cy + p.dy);
        EXPECT_EQ(Bars(), p.bars) << "pane " << cx + p.dx << " x " << cy + p.dy;
    }

    SetForegroundWindow(viewer_->Frame());  // one step in through the real button
    RECT button;
    SendMessageA(viewer_->Toolbar(), TB_GETRECT, FullResViewer::kZoomIn, reinterpret_cast<LPARAM>(&button));
    MapWindowPoints(viewer_->Toolbar(), nullptr, reinterpret_cast<POINT*>(&button), 2);
    SendClick({(button.left + button.right) / 2, (button.top + button.bottom) / 2}, false);
    EXPECT_TRUE(WaitUntil([&] { return State() == Titled("75%") + " + -"; }, 2000)) << State();

    Command(FullResViewer::kZoomIn);  // full size in the half-size pane
    EXPECT_EQ(Scroll(WM_VSCROLL, SB_LINEDOWN), 10);
    EXPECT_EQ(viewer_->ImageRect().top, -10);
    EXPECT_EQ(Scroll(WM_VSCROLL, SB_THUMBTRACK, 5000), height - Client().bottom);
    for (int i = 0; i < 50; ++i) Scroll(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(viewer_->ImageRect().right, Client().right - 1) << "the picture's right edge at the pane's";
    Command(FullResViewer::kZoomIn);
    EXPECT_EQ(GetScrollPos(Pane(), SB_HORZ) + GetScrollPos(Pane(), SB_VERT), 0) << "a zoom goes back to the corner";
    EXPECT_EQ(viewer_->ImageRect().left + viewer_->ImageRect().top, 0);

    // Zoom stops at four times and at a quarter, and so do its buttons; the frame keeps its size.
    Command(FullResViewer::kZoomIn, 12);
    EXPECT_EQ(State(), Titled("400%") + " -");
    Command(FullResViewer::kZoomOut, 16);
    EXPECT_EQ(State(), Titled("25%") + " +");
    EXPECT_EQ(Size(WindowRect(viewer_->Frame())), Size(frame));

    Command(FullResViewer::kRotate);  // a quarter clockwise more, at the same zoom
    const RECT& turned = viewer_->ImageRect();
    EXPECT_EQ(Size(turned), Pair(height / 4 - 1, width / 4 - 1));  // its right and bottom are inside
    EXPECT_TRUE(Near(PaneColor(turned.left + 5, turned.top + 5), kQuadrants[1]));  // green comes to the top left
    EXPECT_EQ(State(), Titled("25%") + " +");
}

TEST_F(ViewerTest, AReadErrorAsksRetryOrCancelAndABusyFolderIsLeftAlone) {
    folder_.SetIdle(0);  // another transfer of the folder is running
    EXPECT_FALSE(Open());
    EXPECT_EQ(image_->reads, 0);
    EXPECT_EQ(folder_.Idle(), 0) << "the guard belongs to the other transfer";
    folder_.SetIdle(1);

    image_->duringRead = [&] { EXPECT_EQ(folder_.Idle(), 0) << "the guard is held during the read"; };
    image_->failuresLeft = 1;
    DialogAnswerer boxes(IDRETRY);
    ASSERT_TRUE(Open());
    EXPECT_EQ(image_->reads, 2);
    Close();
    image_->failuresLeft = 1;
    boxes.SetAnswer(IDCANCEL);
    EXPECT_FALSE(Open());
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, "Image Acquisition error."));
    EXPECT_EQ(boxes.Captions(), std::vector<std::string>(2, theModule.productName));
}

}  // namespace
