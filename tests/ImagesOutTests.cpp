// Images out of the camera: copied through the data object (a drag and its formats,
// retry, turn, progress dialog and cancel, safe names), then printed (every layout on
// metafiles, a failing camera, the dialog through a real hook down to the paper).
#include <gtest/gtest.h>
#include <windows.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <numeric>
#include <utility>

#include "JpegCodec.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "print/ContactSheet.h"
#include "print/FixedLayout.h"
#include "print/PrintCommand.h"
#include "print/PrintLayouts.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/MetafilePages.h"
#include "support/ScopedRegistry.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"
#include "support/TestPrinter.h"
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"

namespace {

enum Shape { kLandscape, kPortrait, kSquare };

// A camera of pictures named IMG_0001.JPG ..., taken 2024:05:06 07:08:09, of
// red, green, blue and black quadrants: nothing of them is white on paper.
class CameraTest : public CoreTest {
protected:
    void TearDown() override {
        MakeCamera(-1);
        CoreTest::TearDown();
    }
    // A negative count just drops the camera.
    void MakeCamera(int count, Shape shape = kLandscape) {
        folder_.reset();
        if (service_) service_->Destroy(1);
        service_ = nullptr;
        items_.clear();
        if (count < 0) return;
        pix::Bitmap bitmap = QuadrantBitmap(shape == kPortrait ? 48 : 64, shape == kLandscape ? 48 : 64);
        for (int y = bitmap.height / 2; y < bitmap.height; ++y)
            std::fill_n(bitmap.Row(y) + bitmap.width / 2 * 3, bitmap.width / 2 * 3, uint8_t(0));
        ExifFields exif;
        exif.dateTimeOriginal = "2024:05:06 07:08:09";
        jpeg_ = MakeJpeg(bitmap, exif);
        std::vector<std::unique_ptr<FakeImage>> images;
        for (int i = 1; i <= count; ++i) {
            char name[32];
            wsprintfA(name, "IMG_%04d.JPG", i);
            images.push_back(std::make_unique<FakeImage>(name, jpeg_));
            items_.push_back({0, 0, name});
        }
        service_ = new FakeService(std::move(images), kCanDeleteSingle | kCanDeleteAll, 1);
        folder_ = std::make_unique<TestFolder>(service_);
        folder_->Connect(false);
        ASSERT_TRUE(folder_->IsConnected());
    }
    FakeImage* Image(size_t index) { return service_->Image(index); }
    int TotalReads() {
        int reads = 0;
        for (size_t i = 0; i < items_.size(); ++i) reads += Image(i)->reads;
        return reads;
    }

    std::vector<uint8_t> jpeg_;
    FakeService* service_ = nullptr;
    std::unique_ptr<TestFolder> folder_;
    std::vector<ViewItem> items_;
};

std::string TextAt(const std::vector<uint8_t>& bytes, size_t at) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at));
}

std::string Transferred(const char* name) { return WorkDirectory() + "TRANSFER\\" + name; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HRESULT Get(IDataObject* data, CLIPFORMAT format, std::vector<uint8_t>* bytes = nullptr) {
    FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&wanted, &medium);
    if (hr != S_OK) return hr;
    auto* at = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
    if (bytes) bytes->assign(at, at + GlobalSize(medium.hGlobal));
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return hr;
}
CLIPFORMAT Format(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

const std::vector<TransferItem> kBoth = {{0, "IMG_0001.JPG", ""}, {0, "IMG_0002.JPG", ""}};

class TransferTest : public CameraTest {
protected:
    void SetUp() override {
        CameraTest::SetUp();
        MakeCamera(2);
        browser_ = CreateWindowExA(0, "STATIC", "browser", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
        RemoveTree(WorkDirectory() + "TRANSFER");
    }
    void TearDown() override {
        DestroyWindow(browser_);
        RemoveTree(WorkDirectory() + "TRANSFER");
        CameraTest::TearDown();
    }
    ComRef<ImageDataObject> Make(std::vector<TransferItem> items = kBoth, DropSource* source = nullptr) {
        return ComRef<ImageDataObject>::Share(
            new ImageDataObject(source, folder_.get(), nullptr, browser_, std::move(items)));
    }

    HWND browser_ = nullptr;
};

TEST_F(TransferTest, DraggedPicturesAreFetchedOnlyAfterTheDropAndNamedInEveryFormat) {
    ComRef<DropSource> source = ComRef<DropSource>::Share(new DropSource);
    ComRef<ImageDataObject> data = Make(kBoth, source.Get());
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    // While the button is held a target sees an empty placeholder file.
    std::vector<uint8_t> block;
    ASSERT_EQ(Get(data.Get(), CF_HDROP, &block), S_OK);
    std::string placeholder = ImageDataObject::PlaceholderPath();
    EXPECT_EQ(TextAt(block, reinterpret_cast<const DROPFILES*>(block.data())->pFiles), placeholder);
    EXPECT_TRUE(Exists(placeholder));
    EXPECT_EQ(Get(data.Get(), Format(CFSTR_SHELLIDLIST)), DV_E_FORMATETC);
    // The private block starts with the browser window: how a view knows its own data.
    ASSERT_EQ(Get(data.Get(), Format("Vistrel"), &block), S_OK);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(block.data()), uint32_t(reinterpret_cast<UINT_PTR>(browser_)));
    EXPECT_EQ(Image(0)->reads + Image(1)->reads, 0);

    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    std::string first = Transferred("IMG_0001.JPG"), second = Transferred("IMG_0002.JPG");
    ASSERT_EQ(Get(data.Get(), CF_HDROP, &block), S_OK);
    const auto* drop = reinterpret_cast<const DROPFILES*>(block.data());
    EXPECT_EQ(TextAt(block, drop->pFiles), first);
    EXPECT_EQ(TextAt(block, drop->pFiles + first.size() + 1), second);
    EXPECT_EQ(block[drop->pFiles + first.size() + second.size() + 2], 0) << "the list ends";
    ASSERT_EQ(Get(data.Get(), Format(CFSTR_SHELLIDLIST), &block), S_OK);
    const auto* ids = reinterpret_cast<const CIDA*>(block.data());
    ASSERT_EQ(ids->cidl, 2u);
    EXPECT_EQ(ids->aoffset[0], 4 * sizeof(UINT)) << "the parent follows the offsets";
    EXPECT_EQ(TextAt(block, ids->aoffset[1] + 2), first);
    EXPECT_EQ(TextAt(block, ids->aoffset[2] + 2), second);
    EXPECT_EQ(Image(0)->reads + Image(1)->reads, 2) << "each picture is fetched once";
    EXPECT_EQ(ReadFileBytes(second), jpeg_);

    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    data.Reset();
    EXPECT_FALSE(Exists(placeholder));
    EXPECT_TRUE(Exists(first));
    ShowWindow(browser_, SW_HIDE);  // a closed browser window gets nothing
    EXPECT_EQ(Get(Make().Get(), Format("Vistrel")), E_UNEXPECTED);
}

TEST_F(TransferTest, ACopyOutRetriesTurnsAndCancels) {
    Image(0)->failuresLeft = 1;
    Image(1)->fileReads = true;  // the driver hands over its file
    {
        DialogAnswerer retry(IDRETRY);
        EXPECT_EQ(Get(Make({{0, "IMG_0001.JPG", ""}, {-90, "IMG_0002.JPG", ""}}).Get(), CF_HDROP), S_OK);
        // An ownerless task-modal box: its text is not there yet when it activates.
        ASSERT_EQ(retry.Captions(), std::vector<std::string>{theModule.productName});
        EXPECT_EQ(Image(0)->reads, 2);
    }
    std::vector<uint8_t> turned = ReadFileBytes(Transferred("IMG_0002.JPG"));
    pix::JpegHeader header = pix::ParseJpegHeader(turned.data(), turned.size());
    ASSERT_TRUE(header.valid);
    EXPECT_EQ(header.width, 48);
    EXPECT_EQ(header.height, 64);
    EXPECT_EQ(pix::ParseTiff(turned.data() + header.exifOffset, header.exifLength).dateTimeOriginal,
              "2024:05:06 07:08:09");
    pix::Bitmap pixels;
    ASSERT_TRUE(pix::DecodeJpeg(turned.data(), turned.size(), 48, 64, pixels, nullptr));
    const uint8_t* topLeft = pixels.Row(8) + 8 * 3;  // blue, green, red
    EXPECT_TRUE(Near({topLeft[2], topLeft[1], topLeft[0]}, kQuadrants[2])) << "turned clockwise: blue comes up";
    RemoveTree(WorkDirectory() + "TRANSFER");

    DialogAnswerer leaveOpen(IDOK);  // the progress dialog has no OK: only the Cancel below acts
    ComRef<ImageDataObject> data = Make();
    int reads = Image(0)->reads;
    HRESULT second = S_OK;
    bool reentered = false;  // as a message that the progress dialog pumps could
    Image(0)->duringRead = [&] { if (!std::exchange(reentered, true)) second = Get(data.Get(), CF_HDROP); };
    Image(0)->progress = Image(1)->progress = true;
    Image(1)->duringRead = [&] {
        HWND dialog = FindWindowA("#32770", "Start Image Transfer");
        EXPECT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowEnabled(browser_)) << "the browser waits for the dialog";
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED);
    EXPECT_EQ(second, E_UNEXPECTED) << "a second transfer started meanwhile is turned away";
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_FALSE(Exists(Transferred("IMG_0001.JPG"))) << "cancel deletes what was transferred";
    EXPECT_TRUE(IsWindowEnabled(browser_));
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED) << "the object stays spent";
    EXPECT_EQ(Image(0)->reads, reads + 1);
}

TEST_F(TransferTest, CameraNamesBecomeSafeUnusedFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"..\\..\\evil.jpg", "evil.jpg"}, {"C:\\Windows\\win.ini", "win.ini"}, {"D:x.jpg", "x.jpg"},
        {"a/b/c.jpg", "c.jpg"},           {"CON.jpg", "_CON.jpg"},              {"nul", "_nul."},
        {"a<b>|c?.jpg", "abc.jpg"},       {"name. . .", "name."},
    };
    for (const auto& c : cases) {
        FakeImage image(c.first, jpeg_);
        EXPECT_EQ(MakeTransferPath(&image), Transferred(c.second)) << c.first;
    }
    FakeImage dots("..", jpeg_);
    EXPECT_EQ(MakeTransferPath(&dots).rfind(Transferred("~ce"), 0), 0u);

    // A taken name gets a number.
    std::string plain = MakeTransferPath(Image(0));
    CloseHandle(CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    std::string clash = MakeTransferPath(Image(0));
    EXPECT_EQ(clash.rfind(Transferred("IMG_0001("), 0), 0u) << clash;
    EXPECT_EQ(clash.substr(clash.size() - 5), ").JPG");
}

using Box = std::array<int, 4>;  // x, y, width, height
enum Corner { kRed, kBlue };      // the colour at a picture's top left

// What the print dialog showed, and the layout the test clicks in it.
struct Seen {
    bool selectionEnabled = false, selectionChecked = false;
    std::string layouts;  // the layout buttons' captions, each ended by "|", the checked one starred
    int clickLayout = 0;  // a radio to click, or 0

    static void Inspect(HWND dialog, void* context) {
        auto* seen = static_cast<Seen*>(context);
        if (!GetDlgItem(dialog, IDC_LAYOUT_SINGLE)) return;
        seen->selectionEnabled = IsWindowEnabled(GetDlgItem(dialog, rad2)) != FALSE;
        seen->selectionChecked = IsDlgButtonChecked(dialog, rad2) == BST_CHECKED;
        for (const LayoutRow& row : kLayoutRows) {
            char text[128] = {};
            GetDlgItemTextA(dialog, row.radioId, text, sizeof text);
            bool checked = IsDlgButtonChecked(dialog, row.radioId) == BST_CHECKED;
            seen->layouts += (checked ? "*" : "") + std::string(text) + "|";
        }
        if (seen->clickLayout) SendDlgItemMessageA(dialog, seen->clickLayout, BM_CLICK, 0, 0);
    }
};

class PrintTest : public CameraTest {
protected:
    PrintJob Job(PrintDevice& device, const std::string& layout) {
        PrintJob job;
        job.folder = folder_.get();
        job.items = &items_;
        job.device = &device;
        job.docInfo = &docInfo_;
        job.layout = layout;
        job.indices = PrintIndices(items_, false);
        return job;
    }
    // A layout key (or with null, the key of all layouts) that lives for the test.
    ScopedRegKey& Layout(const char* subkey) {
        if (keys_.empty()) keys_.push_back(std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, kLayoutsKey));
        if (subkey)
            keys_.push_back(std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, std::string(kLayoutsKey) + subkey));
        return subkey ? *keys_.back() : *keys_.front();
    }
    // Prints through the print dialog, answered with `answer` through a real hook.
    void Show(int answer, Seen* seen) {
        DialogAnswerer answerer(answer);
        answerer.OnDialog(Seen::Inspect, seen);
        PrintImages(nullptr, folder_.get(), items_);
    }
    static std::vector<Box> Boxes(const MetafilePages& pages, int page) {
        std::vector<Box> boxes;
        for (const RecordedPicture& p : pages.Pictures(page)) boxes.push_back({p.x, p.y, p.width, p.height});
        return boxes;
    }

    DOCINFOA docInfo_ = {sizeof(DOCINFOA), "Vistrel Images", nullptr, nullptr, 0};
    std::vector<std::unique_ptr<ScopedRegKey>> keys_;  // the first holds the others
};

struct LayoutCase {
    const char* what;
    bool sheet;
    const char* value;  // ImagesPerPage or ThumbSize; null: the layout has no key
    int pageWidth, pageHeight;  // at 100 dpi: a sheet cell of "100" is 100 pixels
    Shape shape;
    int pictures;
    std::vector<int> perPage;  // pictures on each page; none: the job ends before a page
    std::vector<Box> first;    // where the first pictures of every page land
    Corner corner;
};

// Margins are a hundredth of the shorter side: 6 pixels here.
const LayoutCase kLayoutCases[] = {
    {"one a page, turned clockwise to the portrait cell", false, "1", 600, 800, kLandscape, 1, {1},
     {{6, 8, 588, 784}}, kBlue},
    {"one a page, upright on a landscape page", false, "1", 800, 600, kLandscape, 1, {1}, {{8, 6, 784, 588}}, kRed},
    {"two a portrait page, one above the other", false, "2", 600, 800, kLandscape, 5, {2, 2, 1},
     {{41, 6, 517, 388}, {41, 406, 517, 388}}, kRed},
    {"two a landscape page, side by side", false, "2", 800, 600, kSquare, 3, {2, 1},
     {{6, 106, 388, 388}, {406, 106, 388, 388}}, kRed},
    {"four a portrait page, row by row, the second row and column a margin further in", false, "4", 600, 800,
     kSquare, 5, {4, 1}, {{6, 56, 288, 288}, {312, 56, 288, 288}, {6, 462, 288, 288}, {312, 462, 288, 288}}, kRed},
    {"four a landscape page, column by column", false, "4", 800, 600, kSquare, 5, {4, 1},
     {{56, 6, 288, 288}, {56, 306, 288, 288}, {456, 6, 288, 288}, {456, 306, 288, 288}}, kRed},
    {"no layout key: one a page", false, nullptr, 600, 800, kSquare, 2, {1, 1}, {{6, 106, 588, 588}}, kRed},
    {"a sheet: five a row (a sixth would end at 636), seven rows (an eighth at 848)", true, "100", 600, 800,
     kSquare, 37, {35, 2},
     {{6, 6, 100, 100}, {112, 6, 100, 100}, {218, 6, 100, 100}, {324, 6, 100, 100}, {430, 6, 100, 100},
      {6, 112, 100, 100}},
     kRed},
    {"a sheet fits pictures unturned", true, "150", 600, 800, kPortrait, 1, {1}, {{25, 6, 112, 150}}, kRed},
    {"no layout key: sheet cells of an inch", true, nullptr, 600, 800, kSquare, 2, {2},
     {{6, 6, 100, 100}, {112, 6, 100, 100}}, kRed},
    {"a sheet cell wider than the page leaves the first row empty, then one a row", true, "700", 600, 2200,
     kSquare, 3, {2, 1}, {{6, 712, 700, 700}, {6, 1418, 700, 700}}, kRed},
    {"sheet cells of no size are placed, nothing drawn", true, "0", 600, 800, kSquare, 3, {0}, {}, kRed},
    {"no page for 0 a page", false, "0", 600, 800, kSquare, 3, {}, {}, kRed},
    {"no page for a count without cells", false, "3", 600, 800, kSquare, 3, {}, {}, kRed},
    {"no page for a sheet cell that fits no page", true, "790", 600, 800, kSquare, 3, {}, {}, kRed},
};

TEST_F(PrintTest, EveryLayoutPlacesItsPicturesPageByPage) {
    ScopedRegKey& fixed = Layout("Layout2");
    ScopedRegKey& sheet = Layout("Layout4");
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.what);
        MakeCamera(c.pictures, c.shape);
        if (c.value) (c.sheet ? sheet : fixed).SetString(c.sheet ? "ThumbSize" : "ImagesPerPage", c.value);
        MetafilePages pages(c.pageWidth, c.pageHeight);
        PrintJob job = Job(pages, !c.value ? "Layout9" : c.sheet ? "Layout4" : "Layout2");
        c.sheet ? PrintContactSheet(job) : PrintFixedLayout(job);
        EXPECT_EQ(pages.Calls().back(), c.perPage.empty() ? "AbortDoc" : "EndDoc");
        ASSERT_EQ(pages.PageCount(), int(c.perPage.size()));
        for (int page = 0; page < pages.PageCount(); ++page) {
            std::vector<Box> boxes = Boxes(pages, page);
            ASSERT_EQ(boxes.size(), size_t(c.perPage[size_t(page)])) << "page " << page;
            for (size_t i = 0; i < boxes.size() && i < c.first.size(); ++i)
                EXPECT_EQ(boxes[i], c.first[i]) << "page " << page << ", picture " << i;
        }
        EXPECT_EQ(TotalReads(), std::accumulate(c.perPage.begin(), c.perPage.end(), 0)) << "each is read once";
        if (c.first.empty()) continue;
        COLORREF corner = pages.Pictures(0)[0].topLeft;
        EXPECT_TRUE(c.corner == kRed ? GetRValue(corner) > 200 && GetBValue(corner) < 50
                                     : GetBValue(corner) > 200 && GetRValue(corner) < 50);
    }
}

TEST_F(PrintTest, AFailingCameraEndsTheJobAfterThePageItFailedOn) {
    MakeCamera(5, kSquare);
    Image(2)->failuresLeft = 1;  // IMG_0003, second on the second page
    items_.insert(items_.begin() + 1, ViewItem{0, 0, "GONE.JPG"});  // the camera cannot open it
    int idleDuringRead = -1;
    Image(0)->duringRead = [&] { idleDuringRead = folder_->Idle(); };
    Layout("Layout2").SetString("ImagesPerPage", "2");
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout2"));
    ASSERT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(Boxes(pages, 0), (std::vector<Box>{{106, 6, 388, 388}})) << "the unopened picture's cell stays empty";
    EXPECT_EQ(Boxes(pages, 1).size(), 1u);
    EXPECT_EQ(pages.Calls().back(), "EndDoc");
    EXPECT_EQ(Image(3)->reads, 0);
    EXPECT_EQ(idleDuringRead, 0) << "the folder's transfer guard is held during each read";
    EXPECT_EQ(folder_->Idle(), 1);

    folder_->SetIdle(0);  // another transfer of the folder runs
    MetafilePages busy(600, 800);
    PrintFixedLayout(Job(busy, "Layout2"));
    EXPECT_EQ(busy.Calls(), (std::vector<std::string>{"StartDoc", "StartPage", "EndPage", "EndDoc"}));
    EXPECT_EQ(folder_->Idle(), 0) << "another transfer's guard is left alone";
    EXPECT_EQ(Image(1)->reads, 1);
}

// The bounding box of the ink between two rows of a page that ghostscript
// rendered as raw PPM; empty while the file is not whole.
Box InkOnPaper(const std::vector<uint8_t>& ppm, double top, double bottom) {
    int width = 0, height = 0, depth = 0, used = 0;
    std::string head(ppm.begin(), ppm.begin() + std::min<ptrdiff_t>(ptrdiff_t(ppm.size()), 200));
    size_t comment = head.find('#'), skipped = 0;  // gs names itself on a comment line
    if (comment != std::string::npos) head.erase(comment, skipped = head.find('\n', comment) - comment);
    if (sscanf(head.c_str(), "P6 %d %d %d%n", &width, &height, &depth, &used) != 3 ||
        ppm.size() < skipped + size_t(used + 1) + size_t(width) * size_t(height) * 3)
        return {};
    used += int(skipped);
    int left = INT_MAX, right = -1, first = -1, last = -1;
    for (int y = int(top * height); y < int(bottom * height); ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &ppm[size_t(used + 1) + (size_t(y) * size_t(width) + size_t(x)) * 3];
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) continue;
            left = std::min(left, x), right = std::max(right, x), last = y;
            if (first < 0) first = y;
        }
    return right < 0 ? Box{-1, -1, 0, 0} : Box{left, first, right - left + 1, last - first + 1};
}

// The user picks "two a page" and cancels, then selects two pictures and prints.
TEST_F(PrintTest, TheSelectionPrintsOnPaperInTheLayoutChosenEarlier) {
    ASSERT_TRUE(EnsureTestPrinter());
    MakeCamera(0, kSquare);
    Seen none;
    Show(IDCANCEL, &none);
    EXPECT_EQ(none.layouts, "") << "a view without images shows no dialog";

    MakeCamera(4, kLandscape);
    Layout(nullptr).SetString("CurrentLayout", "Layout3");
    Layout("Layout1").SetString("Title", "One big");
    ScopedRegKey& two = Layout("Layout2");
    two.SetString("Title", "Two");
    two.SetString("Aspect", "1");  // a fixed layout; the rest print as contact sheets
    two.SetString("ImagesPerPage", "2");
    Layout("Layout3");  // no title: the caption is blanked; no Layout4: the template's stays
    Seen cancelled;
    cancelled.clickLayout = IDC_LAYOUT_TWO;
    Show(IDCANCEL, &cancelled);
    EXPECT_EQ(cancelled.layouts, "One big|Two|*|Contact Sheet|");
    EXPECT_FALSE(cancelled.selectionEnabled) << "nothing is selected";
    EXPECT_EQ(TotalReads(), 0);

    items_[1].selected = items_[3].selected = 1;
    bool progressShown = false;
    Image(1)->progress = true;  // slow: it shows the progress dialog
    Image(1)->duringRead = [&] { progressShown = FindWindowA("#32770", "Loading image for print") != nullptr; };
    Image(3)->fileReads = true;  // the driver hands over a file
    // Wine's FILE: port writes the job to a file of that name in the current
    // directory, where ghostscript renders it.
    for (const char* file : {"FILE:", "page.ppm"}) DeleteFileA(file);
    Seen printed;
    Show(IDOK, &printed);
    EXPECT_TRUE(printed.selectionChecked) << "a selection is what is printed unless the user says otherwise";
    EXPECT_EQ(Image(0)->reads + Image(2)->reads, 0);
    EXPECT_EQ(Image(1)->reads + Image(3)->reads, 2);
    EXPECT_TRUE(progressShown);

    // Wine starts the host's program without a process to wait for: the page
    // is done once it reads whole.
    RunHostProgram("Z:\\usr\\bin\\gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r50 -sOutputFile=page.ppm FILE:",
                   60000);
    for (int tries = 0; tries < 600 && InkOnPaper(ReadFileBytes("page.ppm"), 0, 0) == Box{}; ++tries) Sleep(100);
    // Letter at 300 dpi: the printable 2400 x 3000 starts at 75,150. Two a page
    // are cells of 2352 x 1452 at 24,24 and 24,1524, which the 4:3 picture fills
    // in height: 1936 wide from 232. Seen at 50 dpi, a sixth of all that.
    for (int half = 0; half < 2; ++half) {
        Box ink = InkOnPaper(ReadFileBytes("page.ppm"), half * 0.5, half * 0.5 + 0.5);
        Box expected = {(75 + 232) / 6, (150 + 24 + 1500 * half) / 6, 1936 / 6, 1452 / 6};
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(ink[size_t(i)], expected[size_t(i)], 2) << "half " << half;
    }
    for (const char* file : {"FILE:", "page.ppm"}) DeleteFileA(file);
}

}  // namespace
