// The full-resolution viewer through its real windows: the zoom it opens at
// and its title, zoom steps and their buttons, turns, the pane's scroll bars
// and scrolling, the folder's transfer guard, and the error boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "SyntheticPhotos.h"
#include "camera/FolderConnection.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeImage.h"
#include "support/MenuWatcher.h"
#include "support/Screen.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "viewer/FullResViewer.h"

namespace {

// A folder whose only part in these tests is its transfer guard.
class GuardedFolder final : public FolderConnection {
public:
    GuardedFolder() : FolderConnection("", "Local") {}

protected:
    CameraService* ParentService() override { return nullptr; }
};

RECT WorkArea() {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

SIZE ClientSize(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// Notes the folder's guard when the fake camera's read sends it WM_NULL.
int idleDuringRead = -1;
LRESULT CALLBACK IdleProbe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NULL)
        idleDuringRead = reinterpret_cast<FolderConnection*>(GetWindowLongPtrA(window, GWLP_USERDATA))->Idle();
    return DefWindowProcA(window, message, wParam, lParam);
}

bool HasStyle(HWND window, LONG style) { return (GetWindowLongA(window, GWL_STYLE) & style) != 0; }

class ViewerTest : public CoreTest {
protected:
    void TearDown() override {
        if (viewer_) DestroyWindow(viewer_->Frame());
        viewer_ = nullptr;
        EXPECT_EQ(FindWindowA("FrameHelperWin", nullptr), nullptr) << "a viewer window was left";
        CoreTest::TearDown();
    }

    FakeImage& Picture(int width, int height) {
        image_ = std::make_unique<FakeImage>("IMG_0001.JPG",
                                             MakeJpeg(QuadrantBitmap(width, height), {}, kBaseline, 80));
        return *image_;
    }
    // True when the viewer opened; it stays open until the test ends.
    bool Open(int rotation = 0) {
        auto* viewer = new FullResViewer(image_.get(), rotation, &folder_);
        if (!viewer->Create(nullptr)) return false;  // it has released itself
        viewer_ = viewer;
        WaitUntil([] { return false; }, 100);
        return true;
    }

    std::string Title() {
        char text[512] = {};
        GetWindowTextA(viewer_->Frame(), text, sizeof text);
        return text;
    }
    bool ButtonEnabled(int command) {
        return SendMessageA(viewer_->Toolbar(), TB_ISBUTTONENABLED, WPARAM(command), 0) != 0;
    }
    void Command(int command) { SendMessageA(viewer_->Frame(), WM_COMMAND, MAKEWPARAM(command, 0), 0); }
    void ScrollPane(UINT message, int code, int position = 0) {
        SendMessageA(viewer_->Pane(), message, MAKEWPARAM(code, position), 0);
    }
    // Resizes the frame so that the pane gets `cx` x `cy` (scroll bars included).
    void SizePane(int cx, int cy) {
        RECT frame, pane;
        GetWindowRect(viewer_->Frame(), &frame);
        GetWindowRect(viewer_->Pane(), &pane);
        SetWindowPos(viewer_->Frame(), nullptr, 0, 0, frame.right - frame.left + cx - (pane.right - pane.left),
                     frame.bottom - frame.top + cy - (pane.bottom - pane.top), SWP_NOMOVE | SWP_NOZORDER);
        RECT now;
        GetWindowRect(viewer_->Pane(), &now);
        EXPECT_EQ(now.right - now.left, cx);
        EXPECT_EQ(now.bottom - now.top, cy);
    }
    // What the pane shows at a point of its client area.
    Color PaneColor(int x, int y) {
        UpdateWindow(viewer_->Pane());
        Canvas canvas(1, 1);
        HDC pane = GetDC(viewer_->Pane());
        BitBlt(canvas.Dc(), 0, 0, 1, 1, pane, x, y, SRCCOPY);
        ReleaseDC(viewer_->Pane(), pane);
        return canvas.At(0, 0);
    }

    GuardedFolder folder_;
    std::unique_ptr<FakeImage> image_;
    FullResViewer* viewer_ = nullptr;
};

TEST_F(ViewerTest, APictureThatFitsOpensAtFullSizeInAFrameSizedToIt) {
    RECT work = WorkArea();
    int width = (work.right - work.left) / 2, height = (work.bottom - work.top) / 2;
    Picture(width, height);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (100%)");
    SIZE pane = ClientSize(viewer_->Pane());
    EXPECT_EQ(pane.cx, width);
    EXPECT_EQ(pane.cy, height);
    RECT frame;
    GetWindowRect(viewer_->Frame(), &frame);
    EXPECT_EQ(frame.left, work.left);
    EXPECT_EQ(frame.top, work.top);
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_HSCROLL | WS_VSCROLL));
    EXPECT_TRUE(IsWindowVisible(viewer_->Toolbar()));
    EXPECT_TRUE(Near(PaneColor(5, 5), kQuadrants[0]));
    EXPECT_TRUE(Near(PaneColor(width - 5, height - 5), kQuadrants[3]));
    EXPECT_TRUE(Near(PaneColor(width - 1, height - 1), kQuadrants[3])) << "the picture reaches the last pixel";
}

TEST_F(ViewerTest, LargerPicturesOpenAtTheLargestQuarterStepThatFits) {
    RECT work = WorkArea();
    const struct {
        double times;
        const char* title;
        float zoom;
    } cases[] = {{1.6, "IMG_0001.JPG - Full Resolution Image (50%)", 0.5f},
                 {3.0, "IMG_0001.JPG - Full Resolution Image (25%)", 0.25f}};
    for (const auto& c : cases) {
        int width = int((work.right - work.left) * c.times), height = int((work.bottom - work.top) * c.times);
        Picture(width, height);
        ASSERT_TRUE(Open()) << c.times;
        EXPECT_EQ(Title(), c.title);
        SIZE pane = ClientSize(viewer_->Pane());
        EXPECT_EQ(pane.cx, int(width * c.zoom));
        EXPECT_EQ(pane.cy, int(height * c.zoom));
        RECT frame;
        GetWindowRect(viewer_->Frame(), &frame);
        EXPECT_LE(frame.right, work.right);
        EXPECT_LE(frame.bottom, work.bottom);
        DestroyWindow(viewer_->Frame());
        viewer_ = nullptr;
    }
}

TEST_F(ViewerTest, ZoomStepsStopAtAQuarterAndFourTimesWithTheirButtons) {
    Picture(200, 150);
    ASSERT_TRUE(Open());
    RECT before;
    GetWindowRect(viewer_->Frame(), &before);
    EXPECT_TRUE(ButtonEnabled(FullResViewer::kZoomIn));
    EXPECT_TRUE(ButtonEnabled(FullResViewer::kZoomOut));

    // One step through the real button.
    SetForegroundWindow(viewer_->Frame());
    RECT button;
    SendMessageA(viewer_->Toolbar(), TB_GETRECT, FullResViewer::kZoomIn, reinterpret_cast<LPARAM>(&button));
    POINT center = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
    ClientToScreen(viewer_->Toolbar(), &center);
    SendClick(center, false);
    WaitUntil([&] { return Title().find("(125%)") != std::string::npos; }, 2000);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (125%)");

    for (int i = 0; i < 10; ++i) Command(FullResViewer::kZoomIn);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (375%)");
    EXPECT_TRUE(ButtonEnabled(FullResViewer::kZoomIn));
    Command(FullResViewer::kZoomIn);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (400%)");
    EXPECT_FALSE(ButtonEnabled(FullResViewer::kZoomIn));
    Command(FullResViewer::kZoomIn);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (400%)");

    for (int i = 0; i < 14; ++i) Command(FullResViewer::kZoomOut);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (50%)");
    EXPECT_TRUE(ButtonEnabled(FullResViewer::kZoomOut));
    Command(FullResViewer::kZoomOut);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (25%)");
    EXPECT_FALSE(ButtonEnabled(FullResViewer::kZoomOut));
    EXPECT_TRUE(ButtonEnabled(FullResViewer::kZoomIn));
    Command(FullResViewer::kZoomOut);
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (25%)");

    RECT after;
    GetWindowRect(viewer_->Frame(), &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "zooming keeps the frame's size";
}

TEST_F(ViewerTest, TheViewsRotationIsAppliedAndRotateTurnsAQuarterMore) {
    Picture(200, 100);
    ASSERT_TRUE(Open(-180));
    EXPECT_TRUE(Near(PaneColor(5, 5), kQuadrants[3]));        // white now top left
    EXPECT_TRUE(Near(PaneColor(195, 95), kQuadrants[0]));     // red bottom right
    EXPECT_EQ(viewer_->ImageRect().right - viewer_->ImageRect().left + 1, 200);

    Command(FullResViewer::kRotate);
    const RECT& turned = viewer_->ImageRect();
    EXPECT_EQ(turned.right - turned.left + 1, 100);
    EXPECT_EQ(turned.bottom - turned.top + 1, 200);
    EXPECT_TRUE(HasStyle(viewer_->Pane(), WS_VSCROLL));  // taller than the pane now
    EXPECT_TRUE(Near(PaneColor(turned.left + 5, 5), kQuadrants[1]));  // green comes to the top left
    EXPECT_EQ(Title(), "IMG_0001.JPG - Full Resolution Image (100%)");
}

TEST_F(ViewerTest, AScrollBarAppearsOnlyForAPictureTwoPixelsLargerThanThePane) {
    Picture(300, 200);
    ASSERT_TRUE(Open());
    const int room = 40;  // enough for the other bar not to be needed
    SizePane(299, 200 + room);
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_HSCROLL));
    SizePane(298, 200 + room);
    EXPECT_TRUE(HasStyle(viewer_->Pane(), WS_HSCROLL));
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_VSCROLL));

    SizePane(300 + room, 199);
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_VSCROLL));
    SizePane(300 + room, 198);
    EXPECT_TRUE(HasStyle(viewer_->Pane(), WS_VSCROLL));
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_HSCROLL));

    SizePane(300, 198);  // the vertical bar leaves too little width: both
    EXPECT_TRUE(HasStyle(viewer_->Pane(), WS_HSCROLL));
    EXPECT_TRUE(HasStyle(viewer_->Pane(), WS_VSCROLL));
    SizePane(300, 200);
    EXPECT_FALSE(HasStyle(viewer_->Pane(), WS_HSCROLL | WS_VSCROLL));
}

TEST_F(ViewerTest, LinesAndPagesScrollWithinTheRangeAndZoomReturnsToTheCorner) {
    Picture(300, 200);
    ASSERT_TRUE(Open());
    Command(FullResViewer::kZoomIn);
    Command(FullResViewer::kZoomIn);
    Command(FullResViewer::kZoomIn);
    Command(FullResViewer::kZoomIn);  // 200 %: 600 x 400 in a 300 x 200 pane
    ASSERT_TRUE(HasStyle(viewer_->Pane(), WS_HSCROLL));
    ASSERT_TRUE(HasStyle(viewer_->Pane(), WS_VSCROLL));
    SIZE client = ClientSize(viewer_->Pane());

    ScrollPane(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 10);
    ScrollPane(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 50);
    EXPECT_EQ(viewer_->ImageRect().top, -50);
    ScrollPane(WM_VSCROLL, SB_PAGEUP);
    ScrollPane(WM_VSCROLL, SB_LINEUP);
    ScrollPane(WM_VSCROLL, SB_LINEUP);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 0);
    EXPECT_EQ(viewer_->ImageRect().top, 0);
    ScrollPane(WM_VSCROLL, SB_THUMBTRACK, 5000);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 400 - client.cy);

    for (int i = 0; i < 10; ++i) ScrollPane(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_HORZ), 600 - client.cx);
    EXPECT_EQ(viewer_->ImageRect().right, client.cx - 1);  // the picture's right edge at the pane's
    ScrollPane(WM_HSCROLL, SB_LINELEFT);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_HORZ), 590 - client.cx);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 400 - client.cy);

    Command(FullResViewer::kZoomIn);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_HORZ), 0);
    EXPECT_EQ(GetScrollPos(viewer_->Pane(), SB_VERT), 0);
    EXPECT_EQ(viewer_->ImageRect().left, 0);
    EXPECT_EQ(viewer_->ImageRect().top, 0);
}

TEST_F(ViewerTest, TheFoldersTransferGuardIsHeldWhileLoadingAndRefusedWhenTaken) {
    Picture(64, 48);
    folder_.SetIdle(0);  // another transfer of the folder is running
    EXPECT_FALSE(Open());
    EXPECT_EQ(image_->reads, 0);
    EXPECT_EQ(folder_.Idle(), 0) << "the guard belongs to the other transfer";

    folder_.SetIdle(1);
    HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(probe, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&folder_));
    SetWindowLongPtrA(probe, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&IdleProbe));
    image_->sendTo = probe;
    EXPECT_TRUE(Open());
    EXPECT_EQ(idleDuringRead, 0) << "held during the read";
    EXPECT_EQ(folder_.Idle(), 1) << "given back after loading";
    DestroyWindow(probe);
}

TEST_F(ViewerTest, AReadErrorAsksRetryOrCancel) {
    Picture(64, 48).failuresLeft = 1;
    {
        DialogAnswerer retry(IDRETRY);
        ASSERT_TRUE(Open());
        EXPECT_EQ(retry.Texts(), std::vector<std::string>{"Image Acquisition error."});
        EXPECT_EQ(retry.Captions(), std::vector<std::string>{theModule.productName});
    }
    EXPECT_EQ(image_->reads, 2);
    DestroyWindow(viewer_->Frame());
    viewer_ = nullptr;

    image_->failuresLeft = 1;
    DialogAnswerer cancel(IDCANCEL);
    EXPECT_FALSE(Open());
    EXPECT_EQ(cancel.Texts(), std::vector<std::string>{"Image Acquisition error."});
    EXPECT_EQ(folder_.Idle(), 1);
}

TEST_F(ViewerTest, AFileTheLibraryCannotReadIsReportedWithItsPath) {
    // The driver hands over a file that is no picture.
    image_ = std::make_unique<FakeImage>("IMG_0001.JPG", std::vector<uint8_t>{'n', 'o', 't', ' ', 'a'});
    image_->fileReads = true;
    DialogAnswerer answerer(IDOK);
    EXPECT_FALSE(Open());
    ASSERT_EQ(answerer.Texts().size(), 1u);
    EXPECT_EQ(answerer.Texts()[0].rfind("Cannot read from file:  C:\\", 0), 0u) << answerer.Texts()[0];
    EXPECT_EQ(answerer.Captions(), std::vector<std::string>{theModule.productName + " Error"});
    EXPECT_EQ(folder_.Idle(), 1);
}

TEST_F(ViewerTest, ScreenshotAtTheFittedZoom) {
    image_ = std::make_unique<FakeImage>("IMG_0042.JPG",
                                         synthetic::CameraJpeg(synthetic::PhotoLike(1600, 1200, 3), {}));
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);  // no hot button
    ASSERT_TRUE(Open());
    WaitUntil([] { return false; }, 300);
    std::string shots = BinDir() + "\\..\\test-output";
    CreateDirectoryA(shots.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenPng(shots + "\\viewer.png"));
}

}  // namespace
