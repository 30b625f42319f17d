// Images out: the data object's clipboard blocks byte for byte, lazy
// rendering around a drag, copies to disk with their names, rotations,
// cancels and retries, and the transfer guard.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <memory>

#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "imaging/ImageLibrary.h"
#include "support/DialogAnswerer.h"
#include "support/CoreFixture.h"
#include "support/FakeCamera.h"
#include "support/TestCard.h"
#include "support/Screen.h"
#include "support/TestPictures.h"
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"

namespace {

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

std::string TextAt(const std::vector<uint8_t>& bytes, size_t at) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at));
}

std::string TransferDirectory() { return WorkDirectory() + "TRANSFER\\"; }

class TransferTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ExifFields exif;
        exif.dateTimeOriginal = "2024:05:06 07:08:09";
        jpeg_ = MakeJpeg(QuadrantBitmap(64, 48), exif);
        std::vector<std::unique_ptr<FakeImage>> images;
        for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG"}) images.push_back(std::make_unique<FakeImage>(name, jpeg_));
        service_ = new FakeService(std::move(images), kCanDeleteSingle | kCanDeleteAll, 1);
        folder_ = std::make_unique<TestFolder>(service_);
        folder_->Connect(false);
        ASSERT_TRUE(folder_->IsConnected());
        browser_ = CreateWindowExA(0, "STATIC", "browser", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
        EmptyTransferDirectory();
    }
    void TearDown() override {
        folder_.reset();
        service_->Destroy(1);
        DestroyWindow(browser_);
        EmptyTransferDirectory();
        CoreTest::TearDown();
    }
    static void EmptyTransferDirectory() { RemoveTree(WorkDirectory() + "TRANSFER"); }
    FakeImage* Image(size_t index) { return service_->Image(index); }
    ComRef<ImageDataObject> Make(std::vector<TransferItem> items, DropSource* source = nullptr) {
        return ComRef<ImageDataObject>::Share(
            new ImageDataObject(source, folder_.get(), nullptr, browser_, std::move(items)));
    }
    static std::vector<TransferItem> Both() { return {{0, "IMG_0001.JPG", ""}, {0, "IMG_0002.JPG", ""}}; }
    static HRESULT Get(IDataObject* data, CLIPFORMAT format, std::vector<uint8_t>* bytes = nullptr) {
        FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        HRESULT hr = data->GetData(&wanted, &medium);
        if (hr == S_OK && bytes) {
            auto* at = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
            bytes->assign(at, at + GlobalSize(medium.hGlobal));
            GlobalUnlock(medium.hGlobal);
        }
        if (hr == S_OK) ReleaseStgMedium(&medium);
        return hr;
    }
    static CLIPFORMAT Format(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }
    static int CountFormats(IDataObject* data) {
        ComRef<IEnumFORMATETC> formats;
        data->EnumFormatEtc(DATADIR_GET, formats.Put());
        FORMATETC format;
        int count = 0;
        while (formats->Next(1, &format, nullptr) == S_OK) ++count;
        return count;
    }

    std::vector<uint8_t> jpeg_;
    FakeService* service_ = nullptr;
    std::unique_ptr<TestFolder> folder_;
    HWND browser_ = nullptr;
};

TEST_F(TransferTest, ClipboardBlocksAreLaidOutByteForByte) {
    ComRef<ImageDataObject> data = Make(Both());
    std::vector<uint8_t> block;
    ASSERT_EQ(Get(data.Get(), Format("Vistrel"), &block), S_OK);
    ASSERT_EQ(block.size(), 788u);
    EXPECT_EQ(Get32(block, 0), uint32_t(reinterpret_cast<UINT_PTR>(browser_)));
    EXPECT_EQ(TextAt(block, 4), "FAKE");
    EXPECT_EQ(block[264], 0);
    EXPECT_EQ(TextAt(block, 265), "IMG_0001.JPG");
    EXPECT_EQ(TextAt(block, 265 + 13), "IMG_0002.JPG");
    EXPECT_EQ(block[265 + 26], 0);

    ASSERT_EQ(Get(data.Get(), CF_HDROP, &block), S_OK);
    ASSERT_EQ(block.size(), 2u * 260 + 24);
    EXPECT_EQ(Get32(block, 0), 20u);
    EXPECT_EQ(Get32(block, 16), 0u);  // single-byte names
    std::string first = TransferDirectory() + "IMG_0001.JPG", second = TransferDirectory() + "IMG_0002.JPG";
    EXPECT_EQ(TextAt(block, 20), first);
    EXPECT_EQ(TextAt(block, 20 + first.size() + 1), second);
    EXPECT_EQ(block[20 + first.size() + second.size() + 2], 0);

    ASSERT_EQ(Get(data.Get(), Format("Shell IDList Array"), &block), S_OK);
    ASSERT_EQ(block.size(), 590u);
    EXPECT_EQ(Get32(block, 0), 2u);
    EXPECT_EQ(Get32(block, 4), 16u);
    EXPECT_EQ(Get32(block, 8), 34u);
    EXPECT_EQ(Get32(block, 12), 296u);
    EXPECT_EQ(block[16], 18);
    EXPECT_EQ(TextAt(block, 18), "xxx");
    EXPECT_EQ(block[34] | block[35] << 8, 262);
    EXPECT_EQ(TextAt(block, 36), first);
    EXPECT_EQ(TextAt(block, 298), second);

    FORMATETC dib = {CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&dib), DV_E_FORMATETC);
    EXPECT_EQ(CountFormats(data.Get()), 3);
    FORMATETC stream = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    EXPECT_EQ(data->QueryGetData(&stream), DV_E_TYMED);

    ComRef<ImageDataObject> single = Make({{0, "IMG_0002.JPG", ""}});
    EXPECT_EQ(CountFormats(single.Get()), 4);
    ASSERT_EQ(Get(single.Get(), CF_DIB, &block), S_OK);
    BITMAPINFOHEADER header;
    std::memcpy(&header, block.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 64);
    EXPECT_EQ(std::abs(header.biHeight), 48);
}

TEST_F(TransferTest, FilesAreFetchedOnlyAfterTheDropAndOnlyOnce) {
    ComRef<DropSource> source = ComRef<DropSource>::Share(new DropSource);
    ComRef<ImageDataObject> data = Make(Both(), source.Get());
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    std::vector<uint8_t> block;
    ASSERT_EQ(Get(data.Get(), CF_HDROP, &block), S_OK);
    ASSERT_EQ(block.size(), 280u);
    std::string placeholder = ImageDataObject::PlaceholderPath();
    EXPECT_EQ(TextAt(block, 20), placeholder);
    EXPECT_NE(GetFileAttributesA(placeholder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Get(data.Get(), Format("Shell IDList Array")), DV_E_FORMATETC);
    EXPECT_EQ(Image(0)->reads + Image(1)->reads, 0);

    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    ASSERT_EQ(Get(data.Get(), CF_HDROP, &block), S_OK);
    ASSERT_EQ(Get(data.Get(), Format("Shell IDList Array")), S_OK);
    EXPECT_EQ(Image(0)->reads, 1);
    EXPECT_EQ(Image(1)->reads, 1);
    EXPECT_EQ(ReadFileBytes(TransferDirectory() + "IMG_0002.JPG").size(), jpeg_.size());

    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    data.Reset();
    EXPECT_EQ(GetFileAttributesA(placeholder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((TransferDirectory() + "IMG_0001.JPG").c_str()), INVALID_FILE_ATTRIBUTES);

    ShowWindow(browser_, SW_HIDE);  // a closed browser window gets nothing
    EXPECT_EQ(Get(Make(Both()).Get(), Format("Vistrel")), E_UNEXPECTED);
}

TEST_F(TransferTest, CancelInTheProgressDialogDeletesWhatWasTransferred) {
    DialogAnswerer leaveOpen(IDOK);  // the progress dialog has no OK: only our Cancel below acts
    Image(1)->progress = true;
    HWND owner = browser_;
    Image(1)->duringRead = [&] {
        HWND dialog = FindWindowA("#32770", "Start Image Transfer");
        EXPECT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowEnabled(owner));  // the owner waits for the dialog
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    ComRef<ImageDataObject> data = Make(Both());
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED);
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetFileAttributesA((TransferDirectory() + "IMG_0001.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    int reads = Image(0)->reads + Image(1)->reads;
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED);  // the object stays spent
    EXPECT_EQ(Image(0)->reads + Image(1)->reads, reads);
}

TEST_F(TransferTest, ReadErrorsAskRetryOrCancel) {
    Image(0)->failuresLeft = 1;
    {
        DialogAnswerer retry(IDRETRY);
        ComRef<ImageDataObject> data = Make(Both());
        EXPECT_EQ(Get(data.Get(), CF_HDROP), S_OK);
        // An ownerless task-modal box: its text is not there yet when it activates.
        ASSERT_EQ(retry.Captions(), std::vector<std::string>{theModule.productName});
        EXPECT_EQ(Image(0)->reads, 2);
    }
    EmptyTransferDirectory();
    Image(1)->failuresLeft = 1;
    DialogAnswerer cancel(IDCANCEL);
    ComRef<ImageDataObject> data = Make(Both());
    EXPECT_EQ(Get(data.Get(), Format("Shell IDList Array")), E_UNEXPECTED);
    EXPECT_EQ(cancel.Texts().size(), 1u);
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_EQ(GetFileAttributesA((TransferDirectory() + "IMG_0001.JPG").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A window whose messages start a second rendering, as a pumped message would.
ImageDataObject* reentered = nullptr;
HRESULT reenteredResult = S_OK;
LRESULT CALLBACK ReenteringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP && reentered) {
        FORMATETC wanted = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        reenteredResult = reentered->GetData(&wanted, &medium);
        if (reenteredResult == S_OK) ReleaseStgMedium(&medium);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(TransferTest, ASecondTransferStartedWhileOneRunsIsTurnedAway) {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = ReenteringProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "ReenteringWindow";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(0, "ReenteringWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DialogAnswerer leaveOpen(IDOK);
    ComRef<ImageDataObject> data = Make(Both());
    reentered = data.Get();
    reenteredResult = S_OK;
    Image(0)->progress = true;  // its dialog pumps the message below
    Image(0)->duringRead = [&] { PostMessageA(window, WM_APP, 0, 0); };
    EXPECT_EQ(Get(data.Get(), CF_HDROP), S_OK);
    EXPECT_EQ(reenteredResult, E_UNEXPECTED);
    EXPECT_EQ(folder_->Idle(), 1);
    EXPECT_EQ(Image(0)->reads, 1);
    reentered = nullptr;
    DestroyWindow(window);
}

TEST_F(TransferTest, NamesClashAndUnnamedPicturesAreCounted) {
    std::string plain = MakeTransferPath(Image(0));
    EXPECT_EQ(plain, TransferDirectory() + "IMG_0001.JPG");
    HANDLE taken = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(taken);
    std::string clash = MakeTransferPath(Image(0));
    EXPECT_EQ(clash.rfind(TransferDirectory() + "IMG_0001(", 0), 0u);
    EXPECT_EQ(clash.substr(clash.size() - 5), ").JPG");

    Image(1)->named = false;
    std::string unnamed = MakeTransferPath(Image(1));
    int number = atoi(unnamed.c_str() + TransferDirectory().size() + 3);
    EXPECT_EQ(unnamed, TransferDirectory() + "~ce" + std::to_string(number) + ".jpg");
    std::string skipped = TransferDirectory() + "~ce" + std::to_string(number + 1) + ".jpg";
    CloseHandle(CreateFileA(skipped.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    EXPECT_EQ(MakeTransferPath(Image(1)), TransferDirectory() + "~ce" + std::to_string(number + 2) + ".jpg");

    EXPECT_EQ(NamedTempName("PICT", "", true), TransferDirectory() + "PICT.");
    EXPECT_EQ(FindLastChar("a.b.c", '.'), 3);
    EXPECT_EQ(FindLastChar("abc", '.'), -1);
}

TEST_F(TransferTest, CameraNamesCannotLeaveTheTransferDirectory) {
    const std::pair<const char*, const char*> cases[] = {
        {"..\\..\\evil.jpg", "evil.jpg"}, {"C:\\Windows\\win.ini", "win.ini"}, {"D:x.jpg", "x.jpg"},
        {"a/b/c.jpg", "c.jpg"},           {"CON.jpg", "_CON.jpg"},              {"nul", "_nul."},
        {"a<b>|c?.jpg", "abc.jpg"},       {"name. . .", "name."},
    };
    for (const auto& c : cases) {
        FakeImage image(c.first, jpeg_);
        EXPECT_EQ(MakeTransferPath(&image), TransferDirectory() + c.second) << c.first;
    }
    FakeImage dots("..", jpeg_);
    EXPECT_EQ(MakeTransferPath(&dots).rfind(TransferDirectory() + "~ce", 0), 0u);
}

TEST_F(TransferTest, CopiesAreExactUnlessTurnedAndTurnedCopiesKeepTheirDate) {
    Image(0)->fileReads = true;
    Image(1)->fileReads = true;
    ComRef<ImageDataObject> data = Make({{0, "IMG_0001.JPG", ""}, {-90, "IMG_0002.JPG", ""}});
    ASSERT_EQ(Get(data.Get(), CF_HDROP), S_OK);
    EXPECT_EQ(ReadFileBytes(TransferDirectory() + "IMG_0001.JPG"), jpeg_);

    std::vector<uint8_t> turned = ReadFileBytes(TransferDirectory() + "IMG_0002.JPG");
    pix::JpegHeader header = pix::ParseJpegHeader(turned.data(), turned.size());
    ASSERT_TRUE(header.valid);
    EXPECT_EQ(header.width, 48);
    EXPECT_EQ(header.height, 64);
    pix::ExifInfo info = pix::ParseTiff(turned.data() + header.exifOffset, header.exifLength);
    EXPECT_EQ(info.dateTimeOriginal, "2024:05:06 07:08:09");
    // Turned a quarter clockwise: the red top-left corner is now top-right.
    HGLOBAL block = ToGlobal(turned);
    ImageHolder picture;
    ASSERT_GE(GetImageLibrary()->LoadMemory(picture.Get(), block), 1);
    GlobalFree(block);
    Canvas canvas(48, 64);
    RECT all = {0, 0, 47, 63};
    GetImageLibrary()->Draw(canvas.Dc(), picture.Get(), 0, 0, &all, nullptr, SRCCOPY);
    EXPECT_TRUE(Near(canvas.At(40, 8), kQuadrants[0]));
    EXPECT_TRUE(Near(canvas.At(8, 8), kQuadrants[2]));
}

}  // namespace
