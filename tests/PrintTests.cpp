// Printing: the print dialog with its layout buttons and "CurrentLayout",
// the fixed layouts and the contact sheet recorded page by page on
// metafiles, and real pages through Wine's PostScript printer on FILE:.
#include <gtest/gtest.h>
#include <windows.h>
#include <dlgs.h>
#include <wincodec.h>

#include <cstdlib>
#include <memory>

#include "print/ContactSheet.h"
#include "print/FixedLayout.h"
#include "print/PrintCommand.h"
#include "print/PrintLayouts.h"
#include "print/SpoolerDevice.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/MetafilePages.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "support/TestPrinter.h"

namespace {

struct Box {
    int x, y, width, height;
};

bool operator==(const Box& a, const Box& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "(" << box.x << "," << box.y << " " << box.width << "x" << box.height << ")";
}

Box BoxOf(const RecordedPicture& picture) { return {picture.x, picture.y, picture.width, picture.height}; }

// A square picture centred in a cell.
Box SquareIn(const Box& cell) {
    int side = std::min(cell.width, cell.height);
    return {cell.x + (cell.width - side) / 2, cell.y + (cell.height - side) / 2, side, side};
}

bool Near(COLORREF color, int r, int g, int b) {
    return std::abs(GetRValue(color) - r) < 40 && std::abs(GetGValue(color) - g) < 40 &&
           std::abs(GetBValue(color) - b) < 40;
}

// Red, green, blue and black quadrants: nothing of it is white on paper.
pix::Bitmap DarkQuadrants(int width, int height) {
    pix::Bitmap bitmap = QuadrantBitmap(width, height);
    for (int y = height / 2; y < height; ++y)
        for (int x = width / 2; x < width; ++x) {
            uint8_t* p = bitmap.Row(y) + x * 3;
            p[0] = p[1] = p[2] = 0;
        }
    return bitmap;
}

const std::string kLayouts = kLayoutsKey;

class PrintTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        landscape_ = MakeJpeg(DarkQuadrants(64, 48), ExifFields());
        portrait_ = MakeJpeg(DarkQuadrants(48, 64), ExifFields());
        square_ = MakeJpeg(DarkQuadrants(48, 48), ExifFields());
    }
    void TearDown() override {
        folder_.reset();
        if (service_) service_->Destroy(1);
        CoreTest::TearDown();
    }
    // A camera of `count` pictures named IMG_0001.JPG ..., all of `jpeg`.
    void MakeCamera(int count, const std::vector<uint8_t>& jpeg) {
        std::vector<std::unique_ptr<FakeImage>> images;
        for (int i = 1; i <= count; ++i) {
            char name[32];
            wsprintfA(name, "IMG_%04d.JPG", i);
            images.push_back(std::make_unique<FakeImage>(name, jpeg));
            items_.push_back({0, 0, name});
        }
        service_ = new FakeService(std::move(images), kCanDeleteSingle | kCanDeleteAll, 1);
        folder_ = std::make_unique<TestFolder>(service_);
        folder_->Connect(false);
        ASSERT_TRUE(folder_->IsConnected());
    }
    FakeImage* Image(size_t index) { return service_->Image(index); }
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
    // A layout key that lives for the test.
    ScopedRegKey& Layout(const char* subkey) {
        if (!layouts_) layouts_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, kLayouts);
        keys_.push_back(std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, kLayouts + subkey));
        return *keys_.back();
    }
    ScopedRegKey& Layouts() {
        if (!layouts_) layouts_ = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, kLayouts);
        return *layouts_;
    }
    static std::vector<Box> Boxes(const MetafilePages& pages, int page) {
        std::vector<Box> boxes;
        for (const RecordedPicture& picture : pages.Pictures(page)) boxes.push_back(BoxOf(picture));
        return boxes;
    }

    std::vector<uint8_t> landscape_, portrait_, square_;
    FakeService* service_ = nullptr;
    std::unique_ptr<TestFolder> folder_;
    std::vector<ViewItem> items_;
    DOCINFOA docInfo_ = {sizeof(DOCINFOA), "Vistrel Images", nullptr, nullptr, 0};
    // Declared after the folder: keys go before the parent key they live in.
    std::unique_ptr<ScopedRegKey> layouts_;
    std::vector<std::unique_ptr<ScopedRegKey>> keys_;
};

// --- Fixed layouts ---------------------------------------------------------

struct FixedCase {
    int perPage, width, height;
    std::vector<Box> cells;
};

TEST_F(PrintTest, EveryFixedLayoutCentresSquarePicturesInItsCellsPortraitAndLandscape) {
    const FixedCase cases[] = {
        {1, 600, 800, {{6, 6, 588, 788}}},
        {2, 600, 800, {{6, 6, 588, 388}, {6, 406, 588, 388}}},
        // Portrait four-up: the second column and row start 2m past the middle.
        {4, 600, 800, {{6, 6, 288, 388}, {312, 6, 288, 388}, {6, 412, 288, 388}, {312, 412, 288, 388}}},
        {1, 800, 600, {{6, 6, 788, 588}}},
        {2, 800, 600, {{6, 6, 388, 588}, {406, 6, 388, 588}}},
        // Landscape four-up goes column by column.
        {4, 800, 600, {{6, 6, 388, 288}, {6, 306, 388, 288}, {406, 6, 388, 288}, {406, 306, 388, 288}}},
    };
    MakeCamera(5, square_);
    ScopedRegKey& layout = Layout("Layout2");
    for (const FixedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.perPage << " per page on " << c.width << "x" << c.height);
        layout.SetString("ImagesPerPage", std::to_string(c.perPage));
        MetafilePages pages(c.width, c.height);
        PrintFixedLayout(Job(pages, "Layout2"));
        ASSERT_EQ(pages.PageCount(), (5 + c.perPage - 1) / c.perPage);
        for (int page = 0; page < pages.PageCount(); ++page) {
            std::vector<Box> boxes = Boxes(pages, page);
            size_t expected = std::min<size_t>(size_t(c.perPage), size_t(5 - page * c.perPage));
            ASSERT_EQ(boxes.size(), expected) << "page " << page;
            for (size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i], SquareIn(c.cells[i])) << "cell " << i;
        }
        EXPECT_EQ(pages.Calls().back(), "EndDoc");
        EXPECT_EQ(pages.DocumentName(), "Vistrel Images");
    }
}

TEST_F(PrintTest, FiveImagesTwoToAPortraitPageMakeThreePagesTheLastWithItsUpperCell) {
    MakeCamera(5, landscape_);
    Layout("Layout2").SetString("ImagesPerPage", "2");
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout2"));
    ASSERT_EQ(pages.PageCount(), 3);
    std::vector<Box> last = Boxes(pages, 2);
    ASSERT_EQ(last.size(), 1u);
    // 64 x 48 in a 588 x 388 cell: the height limits it.
    EXPECT_EQ(last[0], (Box{41, 6, 517, 388}));
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(Image(i)->reads, 1);
}

TEST_F(PrintTest, APictureIsTurnedAQuarterClockwiseToItsCellsOrientation) {
    MakeCamera(1, landscape_);
    Layout("Layout1").SetString("ImagesPerPage", "1");
    MetafilePages turned(600, 800);
    PrintFixedLayout(Job(turned, "Layout1"));
    std::vector<RecordedPicture> pictures = turned.Pictures(0);
    ASSERT_EQ(pictures.size(), 1u);
    // Turned to 48 x 64, it fills the cell's width.
    EXPECT_EQ(BoxOf(pictures[0]), (Box{6, 8, 588, 784}));
    EXPECT_TRUE(Near(pictures[0].topLeft, 0, 0, 255)) << "the blue bottom-left comes to the top";

    MetafilePages upright(800, 600);
    PrintFixedLayout(Job(upright, "Layout1"));
    ASSERT_EQ(upright.Pictures(0).size(), 1u);
    EXPECT_TRUE(Near(upright.Pictures(0)[0].topLeft, 255, 0, 0));
}

TEST_F(PrintTest, ASquarePictureIsNeverTurned) {
    MakeCamera(1, square_);
    for (int width : {600, 800}) {
        MetafilePages pages(width, 1400 - width);
        PrintFixedLayout(Job(pages, "Layout1"));
        ASSERT_EQ(pages.Pictures(0).size(), 1u);
        EXPECT_TRUE(Near(pages.Pictures(0)[0].topLeft, 255, 0, 0)) << width;
    }
}

TEST_F(PrintTest, ImagesPerPageWithoutCellsEndsTheJobBeforeAnyPageOrRead) {
    MakeCamera(3, square_);
    ScopedRegKey& layout = Layout("Layout3");
    for (const char* count : {"0", "3", "-2", "many"}) {
        layout.SetString("ImagesPerPage", count);
        MetafilePages pages(600, 800);
        PrintFixedLayout(Job(pages, "Layout3"));
        EXPECT_EQ(pages.Calls(), (std::vector<std::string>{"StartDoc", "AbortDoc"})) << count;
    }
    EXPECT_EQ(Image(0)->reads, 0);
}

// --- Contact sheet ---------------------------------------------------------

TEST_F(PrintTest, ContactSheetRowsBreakAtTheRightEdgeAndPagesAtTheBottom) {
    MakeCamera(37, square_);
    Layout("Layout4").SetString("ThumbSize", "100");
    MetafilePages pages(600, 800);  // 100 dpi: cells of 100 x 100, margin 6
    PrintContactSheet(Job(pages, "Layout4"));
    ASSERT_EQ(pages.PageCount(), 2);
    std::vector<Box> first = Boxes(pages, 0), second = Boxes(pages, 1);
    // Five to a row (a sixth would end at 636), seven rows (an eighth at 848).
    ASSERT_EQ(first.size(), 35u);
    EXPECT_EQ(first[0], (Box{6, 6, 100, 100}));
    EXPECT_EQ(first[4], (Box{430, 6, 100, 100}));
    EXPECT_EQ(first[5], (Box{6, 112, 100, 100}));
    EXPECT_EQ(first[34], (Box{430, 642, 100, 100}));
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0], (Box{6, 6, 100, 100}));
    EXPECT_EQ(second[1], (Box{112, 6, 100, 100}));
}

TEST_F(PrintTest, ContactSheetFitsPicturesUnturnedIntoTheirCells) {
    MakeCamera(1, portrait_);
    Layout("Layout4").SetString("ThumbSize", "150");
    MetafilePages pages(600, 800);
    PrintContactSheet(Job(pages, "Layout4"));
    std::vector<RecordedPicture> pictures = pages.Pictures(0);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(BoxOf(pictures[0]), (Box{6 + (150 - 112) / 2, 6, 112, 150}));
    EXPECT_TRUE(Near(pictures[0].topLeft, 255, 0, 0));
}

TEST_F(PrintTest, ACellWiderThanThePageLeavesTheFirstRowEmptyThenGoesOnePerRow) {
    MakeCamera(7, square_);
    Layout("Layout4").SetString("ThumbSize", "100");
    MetafilePages pages(600, 800, 100);
    // 700 dpi across, 100 down: cells of 700 x 100.
    class Wide final : public PrintDevice {
    public:
        explicit Wide(MetafilePages& inner) : inner_(inner) {}
        int StartDocument(const DOCINFOA* info) override { return inner_.StartDocument(info); }
        void StartPage() override { inner_.StartPage(); }
        void EndPage() override { inner_.EndPage(); }
        void EndDocument() override { inner_.EndDocument(); }
        void AbortDocument() override { inner_.AbortDocument(); }
        double Caps(int index) override { return index == LOGPIXELSX ? 700 : inner_.Caps(index); }
        HDC Dc() override { return inner_.Dc(); }

    private:
        MetafilePages& inner_;
    } wide(pages);
    PrintContactSheet(Job(wide, "Layout4"));
    ASSERT_EQ(pages.PageCount(), 2);
    std::vector<Box> first = Boxes(pages, 0);
    ASSERT_EQ(first.size(), 6u);  // rows at 112, 218, ... 642
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], (Box{306, 112 + 106 * int(i), 100, 100}));
    EXPECT_EQ(Boxes(pages, 1).size(), 1u);
}

TEST_F(PrintTest, ACellThatFitsNoPageEndsTheJobWithoutAPageOrARead) {
    MakeCamera(2, square_);
    ScopedRegKey& layout = Layout("Layout4");
    for (const char* size : {"1000", "790", "1e30"}) {
        layout.SetString("ThumbSize", size);
        MetafilePages pages(600, 800);
        PrintContactSheet(Job(pages, "Layout4"));
        EXPECT_EQ(pages.Calls(), (std::vector<std::string>{"StartDoc", "AbortDoc"})) << size;
    }
    EXPECT_EQ(Image(0)->reads, 0);
}

TEST_F(PrintTest, ACellOfNoSizeIsPlacedButNothingIsDrawn) {
    MakeCamera(3, square_);
    Layout("Layout4").SetString("ThumbSize", "0");
    MetafilePages pages(600, 800);
    PrintContactSheet(Job(pages, "Layout4"));
    ASSERT_EQ(pages.PageCount(), 1);
    EXPECT_TRUE(pages.Pictures(0).empty());
    EXPECT_EQ(Image(0)->reads, 0);
}

// --- Both composers: missing keys, missing images, failures ----------------

TEST_F(PrintTest, AMissingLayoutKeyPrintsWithTheDefaults) {
    MakeCamera(2, square_);
    MetafilePages fixed(600, 800);
    PrintFixedLayout(Job(fixed, "Layout9"));
    EXPECT_EQ(fixed.PageCount(), 2);  // one to a page
    MetafilePages sheet(600, 800);
    PrintContactSheet(Job(sheet, "Layout9"));
    ASSERT_EQ(sheet.PageCount(), 1);
    EXPECT_EQ(Boxes(sheet, 0)[1], (Box{112, 6, 100, 100}));  // a hundredth of an inch times 100
}

TEST_F(PrintTest, AnImageTheCameraCannotOpenLeavesItsCellEmptyAndTheJobGoesOn) {
    MakeCamera(2, square_);
    items_.insert(items_.begin() + 1, ViewItem{0, 0, "GONE.JPG"});
    Layout("Layout3").SetString("ImagesPerPage", "4");
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout3"));
    ASSERT_EQ(pages.PageCount(), 1);
    std::vector<Box> boxes = Boxes(pages, 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], SquareIn({6, 412, 288, 388}));  // the third cell; the second stays empty
}

TEST_F(PrintTest, AFailedReadEndsTheJobAfterTheCurrentPage) {
    MakeCamera(5, square_);
    Image(2)->failuresLeft = 1;
    Layout("Layout2").SetString("ImagesPerPage", "2");
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout2"));
    EXPECT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(Boxes(pages, 1).size(), 0u);
    EXPECT_EQ(pages.Calls().back(), "EndDoc");
    EXPECT_EQ(Image(3)->reads, 0);
    EXPECT_EQ(folder_->Idle(), 1);

    Image(0)->failuresLeft = 1;
    MetafilePages sheet(600, 800);
    PrintContactSheet(Job(sheet, "Layout2"));
    EXPECT_EQ(sheet.PageCount(), 1);
    EXPECT_EQ(Image(1)->reads, 1);
}

TEST_F(PrintTest, TheFoldersTransferGuardIsHeldDuringEachReadAndABusyFolderEndsTheJob) {
    MakeCamera(2, square_);
    int idleDuringRead = -1;
    Image(0)->duringRead = [&] { idleDuringRead = folder_->Idle(); };
    MetafilePages pages(600, 800);
    PrintContactSheet(Job(pages, "Layout4"));
    EXPECT_EQ(idleDuringRead, 0);
    EXPECT_EQ(folder_->Idle(), 1);
    EXPECT_EQ(Boxes(pages, 0).size(), 2u);

    folder_->SetIdle(0);
    MetafilePages busy(600, 800);
    PrintFixedLayout(Job(busy, "Layout4"));
    EXPECT_EQ(busy.Calls(), (std::vector<std::string>{"StartDoc", "StartPage", "EndPage", "EndDoc"}));
    EXPECT_EQ(folder_->Idle(), 0) << "another transfer's guard is left alone";
    EXPECT_EQ(Image(1)->reads, 1);
}

TEST_F(PrintTest, FilesAndMemoryBlocksBothPrintAndSlowImagesShowTheProgressDialog) {
    MakeCamera(2, square_);
    Image(0)->fileReads = true;
    Image(1)->progress = true;
    HWND owner = CreateWindowExA(0, "STATIC", "view parent", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    std::string title;
    Image(1)->duringRead = [&] {
        HWND dialog = FindWindowA("#32770", nullptr);
        char text[128] = {};
        if (dialog) GetWindowTextA(dialog, text, sizeof text);
        title = text;
    };
    DialogAnswerer leaveOpen(IDOK);  // the progress dialog has no OK
    Layout("Layout1").SetString("ImagesPerPage", "1");
    MetafilePages pages(600, 800);
    PrintJob job = Job(pages, "Layout1");
    job.progressOwner = owner;
    PrintFixedLayout(job);
    EXPECT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(Boxes(pages, 0).size(), 1u);
    EXPECT_EQ(Boxes(pages, 1).size(), 1u);
    EXPECT_EQ(title, "Loading image for print");
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST_F(PrintTest, ADocumentTheDeviceRefusesPrintsNothing) {
    MakeCamera(1, square_);
    MetafilePages pages(600, 800);
    pages.refuseDocument = true;
    PrintFixedLayout(Job(pages, "Layout1"));
    PrintContactSheet(Job(pages, "Layout4"));
    EXPECT_EQ(pages.Calls(), (std::vector<std::string>{"StartDoc", "StartDoc"}));
    PrintJob noDocument = Job(pages, "Layout1");
    noDocument.docInfo = nullptr;
    PrintFixedLayout(noDocument);
    EXPECT_EQ(pages.Calls().size(), 2u);
}

}  // namespace

namespace {

// --- The print dialog, answered through a real hook --------------------------

// What the print dialog showed, and what the test did in it.
struct Seen {
    int dialogs = 0;
    bool selectionEnabled = false, selectionChecked = false, allChecked = false;
    std::string captions[4];
    int checkedLayout = 0;
    int clickLayout = 0;  // a radio id to click, or 0
    int clickRange = 0;   // rad1 or rad2 to click, or 0
};

class PrintDialogTest : public PrintTest {
protected:
    void SetUp() override {
        PrintTest::SetUp();
        ASSERT_TRUE(EnsureTestPrinter());
    }

    static void Inspect(HWND dialog, void* context) {
        auto* seen = static_cast<Seen*>(context);
        if (!GetDlgItem(dialog, IDC_LAYOUT_SINGLE)) return;
        ++seen->dialogs;
        seen->selectionEnabled = IsWindowEnabled(GetDlgItem(dialog, rad2)) != FALSE;
        seen->selectionChecked = IsDlgButtonChecked(dialog, rad2) == BST_CHECKED;
        seen->allChecked = IsDlgButtonChecked(dialog, rad1) == BST_CHECKED;
        for (int i = 0; i < 4; ++i) {
            char text[128] = {};
            GetDlgItemTextA(dialog, kLayoutRows[i].radioId, text, sizeof text);
            seen->captions[i] = text;
            if (IsDlgButtonChecked(dialog, kLayoutRows[i].radioId) == BST_CHECKED)
                seen->checkedLayout = kLayoutRows[i].radioId;
        }
        if (seen->clickLayout) SendDlgItemMessageA(dialog, seen->clickLayout, BM_CLICK, 0, 0);
        if (seen->clickRange) SendDlgItemMessageA(dialog, seen->clickRange, BM_CLICK, 0, 0);
    }
    Seen Show(int answer, Seen seen = Seen()) {
        DialogAnswerer answerer(answer);
        answerer.OnDialog(Inspect, &seen);
        PrintImages(nullptr, folder_.get(), items_);
        return seen;
    }
    int TotalReads(int count) {
        int reads = 0;
        for (int i = 0; i < count; ++i) reads += Image(size_t(i))->reads;
        return reads;
    }
};

TEST_F(PrintDialogTest, WithoutASelectionTheSelectionChoiceIsOffAndWithOneItIsChosen) {
    EXPECT_EQ(PrintDialogFlags(0), 0x45114u);
    EXPECT_EQ(PrintDialogFlags(2), 0x45111u);
    MakeCamera(3, square_);
    Seen none = Show(IDCANCEL);
    ASSERT_EQ(none.dialogs, 1);
    EXPECT_FALSE(none.selectionEnabled);
    EXPECT_TRUE(none.allChecked);

    items_[1].selected = 1;
    Seen some = Show(IDCANCEL);
    ASSERT_EQ(some.dialogs, 1);
    EXPECT_TRUE(some.selectionEnabled);
    EXPECT_TRUE(some.selectionChecked);
    EXPECT_EQ(TotalReads(3), 0) << "a cancelled dialog prints nothing";
}

TEST_F(PrintDialogTest, LayoutTitlesComeFromTheirKeysAndTheCurrentOneIsChecked) {
    MakeCamera(1, square_);
    Layouts().SetString("CurrentLayout", "Layout3");
    Layout("Layout1").SetString("Title", "One big");
    Layout("Layout2").SetString("Title", "Two");
    Layout("Layout3");  // no title: the caption is blanked
    Layout("Layout4").SetString("Title", "Sheet");
    Seen seen = Show(IDCANCEL);
    ASSERT_EQ(seen.dialogs, 1);
    EXPECT_EQ(seen.captions[0], "One big");
    EXPECT_EQ(seen.captions[1], "Two");
    EXPECT_EQ(seen.captions[2], "");
    EXPECT_EQ(seen.captions[3], "Sheet");
    EXPECT_EQ(seen.checkedLayout, IDC_LAYOUT_FOUR);
}

TEST_F(PrintDialogTest, AMissingLayoutKeyKeepsTheTemplatesCaptionsFromThereOn) {
    MakeCamera(1, square_);
    Layouts().SetString("CurrentLayout", "Layout4");
    Layout("Layout1").SetString("Title", "One big");
    Seen seen = Show(IDCANCEL);
    EXPECT_EQ(seen.captions[0], "One big");
    EXPECT_EQ(seen.captions[1], "Two images per page");
    EXPECT_EQ(seen.captions[3], "Contact Sheet");
    EXPECT_EQ(seen.checkedLayout, 0);
}

TEST_F(PrintDialogTest, ClickingALayoutIsKeptEvenWhenTheDialogIsCancelled) {
    MakeCamera(1, square_);
    Layouts().SetString("CurrentLayout", "Layout1");
    Seen click;
    click.clickLayout = IDC_LAYOUT_TWO;
    Show(IDCANCEL, click);
    EXPECT_EQ(ReadCurrentLayout(""), "Layout2");
    click.clickLayout = IDC_LAYOUT_FOUR;
    Show(IDCANCEL, click);
    EXPECT_EQ(ReadCurrentLayout(""), "Layout3");
}

TEST_F(PrintDialogTest, AViewWithoutImagesShowsNoDialog) {
    MakeCamera(0, square_);
    Seen seen = Show(IDCANCEL);
    EXPECT_EQ(seen.dialogs, 0);
}

}  // namespace

namespace {

// --- Real pages through Wine's PostScript printer ------------------------------

struct PngPage {
    UINT width = 0, height = 0;
    std::vector<uint8_t> bgr;  // 24-bit rows, no padding
    bool Ink(int x, int y) const {
        const uint8_t* p = &bgr[(size_t(y) * width + size_t(x)) * 3];
        return p[0] < 200 || p[1] < 200 || p[2] < 200;
    }
};

bool ReadPng(const std::string& path, PngPage* page) {
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return false;
    std::wstring wide(path.begin(), path.end());
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    bool ok = SUCCEEDED(factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                                           WICDecodeMetadataCacheOnDemand, &decoder)) &&
              SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
              SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr,
                                              0, WICBitmapPaletteTypeCustom)) &&
              SUCCEEDED(converter->GetSize(&page->width, &page->height));
    if (ok) {
        page->bgr.resize(size_t(page->width) * page->height * 3);
        ok = SUCCEEDED(converter->CopyPixels(nullptr, page->width * 3, UINT(page->bgr.size()), page->bgr.data()));
    }
    if (converter) converter->Release();
    if (frame) frame->Release();
    if (decoder) decoder->Release();
    factory->Release();
    return ok;
}

// The bounding box of the ink inside `area`; width 0 when there is none.
Box InkBox(const PngPage& page, const Box& area) {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = std::max(area.y, 0); y < std::min(area.y + area.height, int(page.height)); ++y)
        for (int x = std::max(area.x, 0); x < std::min(area.x + area.width, int(page.width)); ++x)
            if (page.Ink(x, y)) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    if (right < 0) return {0, 0, 0, 0};
    return {left, top, right - left + 1, bottom - top + 1};
}

std::string UnixPath(const std::string& windowsPath) {
    typedef char* (CDECL * ToUnix)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "";
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = toUnix(wide.c_str());
    std::string path = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return path;
}

class SpoolerTest : public PrintTest {
protected:
    void SetUp() override {
        PrintTest::SetUp();
        ASSERT_TRUE(EnsureTestPrinter());
        outputDir_ = BinDir() + "\\printed";
        CreateDirectoryA(outputDir_.c_str(), nullptr);
    }

    struct Metrics {
        int offsetX, offsetY, width, height, dpi;
    };
    // Prints `count` pictures with `layout` to a PostScript file and renders its first page.
    bool PrintToPng(const std::string& layout, int count, const char* name, Metrics* metrics, PngPage* page) {
        HDC dc = CreateTestPrinterDc(DMORIENT_PORTRAIT);
        if (!dc) return false;
        *metrics = {GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
                    GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, LOGPIXELSX)};
        std::string ps = outputDir_ + "\\" + name + ".ps", png = outputDir_ + "\\" + name + ".png";
        DeleteFileA(ps.c_str());
        DeleteFileA(png.c_str());
        SpoolerDevice device(dc);
        PrintJob job = Job(device, layout);
        job.indices.resize(size_t(count));
        DOCINFOA info = docInfo_;
        info.lpszOutput = ps.c_str();
        job.docInfo = &info;
        layout.rfind("Layout4", 0) == 0 ? PrintContactSheet(job) : PrintFixedLayout(job);
        DeleteDC(dc);
        std::string command = "Z:\\usr\\bin\\gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -dFirstPage=1 "
                              "-dLastPage=1 -r" + std::to_string(metrics->dpi) + " -sOutputFile=" + UnixPath(png) +
                              " " + UnixPath(ps);
        // Wine starts the host's program without a process to wait for: the page
        // is done once it decodes.
        hostResult_ = RunHostProgram(command, 60000);
        for (int tries = 0; tries < 600; ++tries, Sleep(100))
            if (ReadPng(png, page)) return true;
        return false;
    }
    // Checks that the ink in each cell (device pixels, with its margin) is the picture drawn there.
    static void ExpectInk(const PngPage& page, const Metrics& at, const Box& cell, const Box& drawn, double margin) {
        int m = int(margin / 2);
        Box area = {cell.x + at.offsetX - m, cell.y + at.offsetY - m, cell.width + 2 * m, cell.height + 2 * m};
        Box ink = InkBox(page, area);
        Box expected = {drawn.x + at.offsetX, drawn.y + at.offsetY, drawn.width, drawn.height};
        EXPECT_NEAR(ink.x, expected.x, 3) << "cell " << cell;
        EXPECT_NEAR(ink.y, expected.y, 3) << "cell " << cell;
        EXPECT_NEAR(ink.width, expected.width, 3) << "cell " << cell;
        EXPECT_NEAR(ink.height, expected.height, 3) << "cell " << cell;
    }

    std::string outputDir_;
    int hostResult_ = 0;
};

TEST_F(SpoolerTest, EveryLayoutPutsItsPicturesInItsCellsOnPaper) {
    MakeCamera(4, landscape_);
    Layout("Layout1").SetString("ImagesPerPage", "1");
    Layout("Layout2").SetString("ImagesPerPage", "2");
    Layout("Layout3").SetString("ImagesPerPage", "4");
    Layout("Layout4").SetString("ThumbSize", "150");
    for (int perPage : {1, 2, 4}) {
        std::string layout = "Layout" + std::to_string(perPage == 4 ? 3 : perPage);
        SCOPED_TRACE(layout);
        Metrics at;
        PngPage page;
        ASSERT_TRUE(PrintToPng(layout, perPage, layout.c_str(), &at, &page)) << "gs: " << hostResult_;
        double margin = 0.01 * std::min(at.width, at.height);
        for (const PageCell& cell : FixedLayoutCells(perPage, at.width, at.height)) {
            bool turn = TurnsForCell(64, 48, cell);
            DrawnArea drawn = FitIntoCell(turn ? 48 : 64, turn ? 64 : 48, cell);
            ExpectInk(page, at, {int(cell.x), int(cell.y), int(cell.width), int(cell.height)},
                      {drawn.left, drawn.top, drawn.width, drawn.height}, margin);
        }
    }
    Metrics at;
    PngPage page;
    ASSERT_TRUE(PrintToPng("Layout4", 4, "Layout4", &at, &page)) << "gs: " << hostResult_;
    int cell = at.dpi * 150 / 100;
    double margin = 0.01 * std::min(at.width, at.height);
    float x = float(margin);
    for (int i = 0; i < 4; ++i, x += float(cell + margin)) {
        DrawnArea drawn = FitIntoSheetCell(64, 48, x, float(margin), cell, cell);
        ExpectInk(page, at, {int(x), int(margin), cell, cell}, {drawn.left, drawn.top, drawn.width, drawn.height},
                  margin);
    }
}

}  // namespace
