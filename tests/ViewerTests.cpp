// The full-resolution viewer through its real windows: opened, resized,
// zoomed, scrolled, turned and closed; a failing camera and a busy folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPictures.h"
#include "viewer/FullResViewer.h"

namespace {

bool HasStyle(HWND window, LONG style) { return (GetWindowLongA(window, GWL_STYLE) & style) != 0; }

std::string Titled(const char* zoom) { return std::string("IMG_0001.JPG - Full Resolution Image (") + zoom + ")"; }

class ViewerTest : public CoreTest {
protected:
    void TearDown() override {
        Close();
        EXPECT_EQ(FindWindowA("FrameHelperWin", nullptr), nullptr) << "a viewer window was left";
        EXPECT_EQ(folder_.Idle(), 1) << "the folder's transfer guard is given back";
        CoreTest::TearDown();
    }

    void Picture(int width, int height) {
        image_ = std::make_unique<FakeImage>("IMG_0001.JPG", MakeJpeg(QuadrantBitmap(width, height), {}));
    }
    // True when the viewer opened; it stays open until closed or the test ends.
    bool Open(int rotation = 0) {
        auto* viewer = new FullResViewer(image_.get(), rotation, &folder_);
        if (!viewer->Create(nullptr)) return false;  // it has released itself
        viewer_ = viewer;
        WaitUntil([] { return false; }, 100);
        return true;
    }
    void Close() {
        if (viewer_) DestroyWindow(viewer_->Frame());
        viewer_ = nullptr;
    }
    HWND Pane() { return viewer_->Pane(); }
    std::string Title() {
        char text[512] = {};
        GetWindowTextA(viewer_->Frame(), text, sizeof text);
        return text;
    }
    bool Enabled(int command) { return SendMessageA(viewer_->Toolbar(), TB_ISBUTTONENABLED, command, 0) != 0; }
    void Command(int command, int times = 1) {
        for (int i = 0; i < times; ++i) SendMessageA(viewer_->Frame(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    int Scroll(UINT message, int code, int position = 0) {
        SendMessageA(Pane(), message, MAKEWPARAM(code, position), 0);
        return GetScrollPos(Pane(), message == WM_VSCROLL ? SB_VERT : SB_HORZ);
    }
    // Resizes the frame so that the pane gets `cx` x `cy` (scroll bars included).
    void SizePane(int cx, int cy) {
        RECT frame, pane;
        GetWindowRect(viewer_->Frame(), &frame);
        GetWindowRect(Pane(), &pane);
        SetWindowPos(viewer_->Frame(), nullptr, 0, 0, frame.right - frame.left + cx - (pane.right - pane.left),
                     frame.bottom - frame.top + cy - (pane.bottom - pane.top), SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(Pane(), &pane);
        ASSERT_TRUE(pane.right - pane.left == cx && pane.bottom - pane.top == cy);
    }
    // What the pane shows at a point of its client area.
    Color PaneColor(int x, int y) {
        UpdateWindow(Pane());
        Canvas canvas(1, 1);
        HDC pane = GetDC(Pane());
        BitBlt(canvas.Dc(), 0, 0, 1, 1, pane, x, y, SRCCOPY);
        ReleaseDC(Pane(), pane);
        return canvas.At(0, 0);
    }

    TestFolder folder_{nullptr};  // only its transfer guard takes part
    std::unique_ptr<FakeImage> image_;
    FullResViewer* viewer_ = nullptr;
};

TEST_F(ViewerTest, OpenResizeZoomScrollTurnAndClose) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int width = (work.right - work.left) * 8 / 5, height = (work.bottom - work.top) * 8 / 5;
    Picture(width, height);
    ASSERT_TRUE(Open(-180));  // turned as the view shows it
    // Too large for the work area: it opens at the largest quarter step that
    // fits, in a frame sized to it in the work area's corner.
    EXPECT_EQ(Title(), Titled("50%"));
    int cx = width / 2, cy = height / 2;
    RECT client;
    GetClientRect(Pane(), &client);
    EXPECT_EQ(client.right, cx);
    EXPECT_EQ(client.bottom, cy);
    RECT frame;
    GetWindowRect(viewer_->Frame(), &frame);
    EXPECT_EQ(frame.left, work.left);
    EXPECT_EQ(frame.top, work.top);
    EXPECT_FALSE(HasStyle(Pane(), WS_HSCROLL | WS_VSCROLL));
    EXPECT_TRUE(Near(PaneColor(5, 5), kQuadrants[3]));  // the white corner
    EXPECT_TRUE(Near(PaneColor(cx - 1, cy - 1), kQuadrants[0])) << "the red corner reaches the last pixel";

    // A scroll bar appears only for a picture two pixels larger than the pane.
    SizePane(cx - 1, cy + 40);
    EXPECT_FALSE(HasStyle(Pane(), WS_HSCROLL));
    SizePane(cx - 2, cy + 40);
    EXPECT_TRUE(HasStyle(Pane(), WS_HSCROLL));
    SizePane(cx + 40, cy - 1);
    EXPECT_FALSE(HasStyle(Pane(), WS_VSCROLL | WS_HSCROLL));
    SizePane(cx + 40, cy - 2);
    EXPECT_TRUE(HasStyle(Pane(), WS_VSCROLL));
    SizePane(cx, cy - 2);  // the vertical bar leaves too little width: both
    EXPECT_TRUE(HasStyle(Pane(), WS_HSCROLL) && HasStyle(Pane(), WS_VSCROLL));
    SizePane(cx, cy);

    // One step in through the real button.
    SetForegroundWindow(viewer_->Frame());
    RECT button;
    SendMessageA(viewer_->Toolbar(), TB_GETRECT, FullResViewer::kZoomIn, reinterpret_cast<LPARAM>(&button));
    POINT center = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
    ClientToScreen(viewer_->Toolbar(), &center);
    SendClick(center, false);
    WaitUntil([&] { return Title() == Titled("75%"); }, 2000);
    EXPECT_EQ(Title(), Titled("75%"));

    Command(FullResViewer::kZoomIn);  // full size in the half-size pane
    GetClientRect(Pane(), &client);
    EXPECT_EQ(Scroll(WM_VSCROLL, SB_LINEDOWN), 10);
    EXPECT_EQ(viewer_->ImageRect().top, -10);
    EXPECT_EQ(Scroll(WM_VSCROLL, SB_THUMBTRACK, 5000), height - client.bottom);
    for (int i = 0; i < 50; ++i) Scroll(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(viewer_->ImageRect().right, client.right - 1) << "the picture's right edge at the pane's";
    Command(FullResViewer::kZoomIn);
    EXPECT_EQ(GetScrollPos(Pane(), SB_HORZ) + GetScrollPos(Pane(), SB_VERT), 0) << "a zoom goes back to the corner";
    EXPECT_EQ(viewer_->ImageRect().left + viewer_->ImageRect().top, 0);

    // Zoom stops at four times and at a quarter, and so do its buttons.
    Command(FullResViewer::kZoomIn, 12);
    EXPECT_EQ(Title(), Titled("400%"));
    EXPECT_FALSE(Enabled(FullResViewer::kZoomIn));
    Command(FullResViewer::kZoomOut, 16);
    EXPECT_EQ(Title(), Titled("25%"));
    EXPECT_FALSE(Enabled(FullResViewer::kZoomOut));
    EXPECT_TRUE(Enabled(FullResViewer::kZoomIn));
    RECT after;
    GetWindowRect(viewer_->Frame(), &after);
    EXPECT_TRUE(EqualRect(&frame, &after)) << "zooming keeps the frame's size";

    Command(FullResViewer::kRotate);  // a quarter clockwise more
    const RECT& turned = viewer_->ImageRect();
    EXPECT_EQ(turned.right - turned.left + 1, height / 4);
    EXPECT_EQ(turned.bottom - turned.top + 1, width / 4);
    EXPECT_TRUE(Near(PaneColor(turned.left + 5, turned.top + 5), kQuadrants[1]));  // green comes to the top left
    EXPECT_EQ(Title(), Titled("25%"));
}

TEST_F(ViewerTest, AReadErrorAsksRetryOrCancelAndABusyFolderIsLeftAlone) {
    Picture(64, 48);
    folder_.SetIdle(0);  // another transfer of the folder is running
    EXPECT_FALSE(Open());
    EXPECT_EQ(image_->reads, 0);
    EXPECT_EQ(folder_.Idle(), 0) << "the guard belongs to the other transfer";
    folder_.SetIdle(1);

    int idleDuringRead = -1;
    image_->duringRead = [&] { idleDuringRead = folder_.Idle(); };
    image_->failuresLeft = 1;
    DialogAnswerer boxes(IDRETRY);
    ASSERT_TRUE(Open());
    EXPECT_EQ(image_->reads, 2);
    EXPECT_EQ(idleDuringRead, 0) << "the guard is held during the read";
    Close();
    image_->failuresLeft = 1;
    boxes.SetAnswer(IDCANCEL);
    EXPECT_FALSE(Open());
    const std::string error = "Image Acquisition error.";
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{error, error}));
    EXPECT_EQ(boxes.Captions(), (std::vector<std::string>{theModule.productName, theModule.productName}));
}

}  // namespace
