// Images out of the camera: copied (a drag and its formats, retry, turn, progress, cancel, safe
// names), then printed (every layout on metafiles, a failing camera, the real dialog to the paper).
#include <gtest/gtest.h>
#include <windows.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <utility>

#include "JpegCodec.h"
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

using Box = std::array<int, 4>;  // x, y, width, height
const DOCINFOA kDoc = {sizeof(DOCINFOA), "Vistrel Images", nullptr, nullptr, 0};

// What the print dialog showed: the layout captions, each ended by "|" and the checked one
// starred, then "selection" if enabled and "*" if checked. Then it clicks the radio `click`.
struct Seen { std::string text; int click; };
void Inspect(HWND dialog, void* context) {
    auto* seen = static_cast<Seen*>(context);
    if (!GetDlgItem(dialog, IDC_LAYOUT_SINGLE)) return;
    for (const LayoutRow& row : kLayoutRows) {
        char text[128] = {};
        GetDlgItemTextA(dialog, row.radioId, text, sizeof text);
        seen->text += (IsDlgButtonChecked(dialog, row.radioId) ? "*" : "") + std::string(text) + "|";
    }
    if (IsWindowEnabled(GetDlgItem(dialog, rad2))) seen->text += "selection";
    if (IsDlgButtonChecked(dialog, rad2)) seen->text += "*";
    if (seen->click) SendDlgItemMessageA(dialog, seen->click, BM_CLICK, 0, 0);
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

// The CF_HDROP file list up to its closing zero, each name ended by its own.
std::string DroppedFiles(IDataObject* data) {
    std::vector<uint8_t> block;
    if (Get(data, CF_HDROP, &block) != S_OK) return "(none)";
    std::string list(block.begin() + reinterpret_cast<const DROPFILES*>(block.data())->pFiles, block.end());
    return list.substr(0, list.find(std::string(2, '\0')) + 1);
}

// A camera of pictures named IMG_0001.JPG ..., taken 2024:05:06 07:08:09, of red,
// green, blue and black quadrants (nothing of them is white on paper), and a browser.
class ImagesOutTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        MakeCamera(2);
        browser_ = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
        RemoveTree(WorkDirectory() + "TRANSFER");
    }
    void TearDown() override {
        DestroyWindow(browser_);
        RemoveTree(WorkDirectory() + "TRANSFER");
        folder_.reset();
        CoreTest::TearDown();
    }
    void MakeCamera(int count, Shape shape = kLandscape) {
        folder_.reset();
        items_.clear();
        pix::Bitmap bitmap = QuadrantBitmap(shape == kPortrait ? 48 : 64, shape == kLandscape ? 48 : 64);
        for (int y = bitmap.height / 2; y < bitmap.height; ++y)
            std::fill_n(bitmap.Row(y) + bitmap.width / 2 * 3, bitmap.width / 2 * 3, uint8_t(0));
        jpeg_ = MakeJpeg(bitmap, {0, "2024:05:06 07:08:09", 0, 0, {}, false});
        std::vector<std::unique_ptr<FakeImage>> images;
        for (int i = 1; i <= count; ++i) {
            std::string name = "IMG_" + std::to_string(10000 + i).substr(1) + ".JPG";
            images.push_back(std::make_unique<FakeImage>(name, jpeg_));
            items_.push_back({0, 0, name});
        }
        service_ = std::make_unique<FakeService>(std::move(images), kCanDeleteSingle | kCanDeleteAll, 1);
        folder_ = std::make_unique<TestFolder>(service_.get());
        folder_->Connect(false);
    }
    FakeImage* Image(size_t index) { return service_->Image(index); }
    int TotalReads() { int n = 0; for (size_t i = 0; i < items_.size(); ++i) n += Image(i)->reads; return n; }
    // Both pictures, the second turned by `turn` degrees.
    ComRef<ImageDataObject> Make(DropSource* source = nullptr, int turn = 0) {
        std::vector<TransferItem> items = {{0, "IMG_0001.JPG", ""}, {turn, "IMG_0002.JPG", ""}};
        return ComRef<ImageDataObject>::Share(new ImageDataObject(source, folder_.get(), nullptr, browser_, items));
    }
    PrintJob Job(PrintDevice& device, const std::string& layout) {
        return {folder_.get(), nullptr, &items_, &device, &kDoc, nullptr, layout, PrintIndices(items_, false)};
    }
    // A layout's key with these values, for the test.
    void Layout(const char* subkey, std::initializer_list<std::pair<const char*, const char*>> values = {}) {
        keys_.push_back(std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, std::string(kLayoutsKey) + subkey));
        for (const auto& value : values) keys_.back()->SetString(value.first, value.second);
    }
    // Prints through the print dialog, answered through a real hook: what it showed.
    std::string Show(int answer, int click = 0) {
        Seen seen{"", click};
        DialogAnswerer answerer(answer);
        answerer.OnDialog(Inspect, &seen);
        PrintImages(nullptr, folder_.get(), items_);
        return seen.text;
    }
    std::vector<Box> Boxes(const MetafilePages& pages, int page) {
        std::vector<Box> boxes;
        for (const RecordedPicture& p : pages.Pictures(page)) boxes.push_back({p.x, p.y, p.width, p.height});
        return boxes;
    }

    std::vector<uint8_t> jpeg_;
    std::unique_ptr<FakeService> service_;
    std::unique_ptr<TestFolder> folder_;
    std::vector<ViewItem> items_;
    HWND browser_ = nullptr;
    ScopedRegKey layouts_{HKEY_LOCAL_MACHINE, kLayoutsKey};  // removes the keys below too
    std::vector<std::unique_ptr<ScopedRegKey>> keys_;
};
using TransferTest = ImagesOutTest;
using PrintTest = ImagesOutTest;

// The first picture fails once; the second comes turned, from a file the driver hands over.
TEST_F(TransferTest, ADragFetchesAfterTheDropRetriesTurnsAndNamesInEveryFormat) {
    Image(0)->failuresLeft = 1;
    Image(1)->fileReads = true;
    ComRef<DropSource> source = ComRef<DropSource>::Share(new DropSource);
    ComRef<ImageDataObject> data = Make(source.Get(), -90);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    // While the button is held a target sees an empty placeholder file.
    std::string placeholder = ImageDataObject::PlaceholderPath();
    EXPECT_EQ(DroppedFiles(data.Get()), placeholder + '\0');
    EXPECT_TRUE(Exists(placeholder));
    EXPECT_EQ(Get(data.Get(), Format(CFSTR_SHELLIDLIST)), DV_E_FORMATETC);
    // The private block starts with the browser window: how a view knows its own data.
    std::vector<uint8_t> block;
    ASSERT_EQ(Get(data.Get(), Format("Vistrel"), &block), S_OK);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(block.data()), uint32_t(reinterpret_cast<UINT_PTR>(browser_)));
    EXPECT_EQ(TotalReads(), 0);

    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    DialogAnswerer retry(IDRETRY);
    std::string first = Transferred("IMG_0001.JPG"), second = Transferred("IMG_0002.JPG");
    EXPECT_EQ(DroppedFiles(data.Get()), first + '\0' + second + '\0');
    // An ownerless task-modal box: its text is not there yet when it activates.
    EXPECT_EQ(retry.Captions(), std::vector<std::string>{theModule.productName});
    ASSERT_EQ(Get(data.Get(), Format(CFSTR_SHELLIDLIST), &block), S_OK);
    const auto* ids = reinterpret_cast<const CIDA*>(block.data());
    ASSERT_EQ(ids->cidl, 2u);
    EXPECT_EQ(ids->aoffset[0], 4 * sizeof(UINT)) << "the parent follows the offsets";
    EXPECT_STREQ(reinterpret_cast<const char*>(&block[ids->aoffset[1] + 2]), first.c_str());
    EXPECT_STREQ(reinterpret_cast<const char*>(&block[ids->aoffset[2] + 2]), second.c_str());
    EXPECT_EQ(TotalReads(), 3) << "each picture is fetched once, the first again after its failure";
    EXPECT_EQ(ReadFileBytes(first), jpeg_);
    std::vector<uint8_t> turned = ReadFileBytes(second);
    EXPECT_NE(std::string(turned.begin(), turned.end()).find("2024:05:06 07:08:09"), std::string::npos);
    pix::Bitmap pixels;
    ASSERT_TRUE(pix::DecodeJpeg(turned.data(), turned.size(), 48, 64, pixels, nullptr));
    const uint8_t* topLeft = pixels.Row(8) + 8 * 3;  // blue, green, red
    EXPECT_TRUE(Near({topLeft[2], topLeft[1], topLeft[0]}, kQuadrants[2])) << "turned clockwise: blue comes up";

    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    data.Reset();
    EXPECT_FALSE(Exists(placeholder));
    EXPECT_TRUE(Exists(first));
    ShowWindow(browser_, SW_HIDE);  // a closed browser window gets nothing
    EXPECT_EQ(Get(Make().Get(), Format("Vistrel")), E_UNEXPECTED);
}

TEST_F(TransferTest, ACopyOutShowsProgressAndCancels) {
    DialogAnswerer leaveOpen(IDOK);  // the progress dialog has no OK: only the Cancel below acts
    ComRef<ImageDataObject> data = Make();
    bool reentered = false;  // as a message that the progress dialog pumps could
    Image(0)->duringRead = [&] {
        if (std::exchange(reentered, true)) return;
        EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED) << "a second transfer started meanwhile is turned away";
    };
    Image(0)->progress = Image(1)->progress = true;
    Image(1)->duringRead = [&] {
        EXPECT_FALSE(IsWindowEnabled(browser_)) << "the browser waits for the dialog";
        PostMessageA(FindWindowA("#32770", "Start Image Transfer"), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED);
    EXPECT_TRUE(data->WasCancelled());
    EXPECT_FALSE(Exists(Transferred("IMG_0001.JPG"))) << "cancel deletes what was transferred";
    EXPECT_TRUE(IsWindowEnabled(browser_));
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    EXPECT_EQ(Get(data.Get(), CF_HDROP), E_UNEXPECTED) << "the object stays spent";
    EXPECT_EQ(Image(0)->reads, 1);
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
    CloseHandle(CreateFileA(MakeTransferPath(Image(0)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    std::string clash = MakeTransferPath(Image(0));  // a taken name gets a number
    EXPECT_TRUE(clash.rfind(Transferred("IMG_0001("), 0) == 0 && clash.substr(clash.size() - 5) == ").JPG") << clash;
}

// A layout key's value (ImagesPerPage or ThumbSize; null: no key) on a page of that size at
// 100 dpi (a sheet cell of "100" is 100 pixels); the pictures on each page (none: the job ends
// before a page), where the first ones of every page land, the quadrant at a picture's top left.
struct LayoutCase {
    const char* what; bool sheet; const char* value; int pageWidth, pageHeight; Shape shape; int pictures;
    std::vector<int> perPage; std::vector<Box> first; int corner = 0;
};

// Margins are a hundredth of the shorter side: 6 pixels here.
const LayoutCase kLayoutCases[] = {
    {"one a page, turned clockwise", false, "1", 600, 800, kLandscape, 1, {1}, {{6, 8, 588, 784}}, 2},
    {"one a page, upright on a landscape page", false, "1", 800, 600, kLandscape, 1, {1}, {{8, 6, 784, 588}}},
    {"two, stacked", false, "2", 600, 800, kLandscape, 5, {2, 2, 1}, {{41, 6, 517, 388}, {41, 406, 517, 388}}},
    {"two, side by side", false, "2", 800, 600, kSquare, 3, {2, 1}, {{6, 106, 388, 388}, {406, 106, 388, 388}}},
    {"four, row by row, the second row and column a margin further in", false, "4", 600, 800,
     kSquare, 5, {4, 1}, {{6, 56, 288, 288}, {312, 56, 288, 288}, {6, 462, 288, 288}, {312, 462, 288, 288}}},
    {"four a landscape page, column by column", false, "4", 800, 600, kSquare, 5, {4, 1},
     {{56, 6, 288, 288}, {56, 306, 288, 288}, {456, 6, 288, 288}, {456, 306, 288, 288}}},
    {"no key: one a page", false, nullptr, 600, 800, kSquare, 2, {1, 1}, {{6, 106, 588, 588}}},
    {"a sheet: five a row (a sixth would end at 636), seven rows (an eighth at 848)", true, "100", 600, 800,
     kSquare, 37, {35, 2}, {{6, 6, 100, 100}, {112, 6, 100, 100}, {218, 6, 100, 100}, {324, 6, 100, 100},
                            {430, 6, 100, 100}, {6, 112, 100, 100}}},
    {"a sheet fits pictures unturned", true, "150", 600, 800, kPortrait, 1, {1}, {{25, 6, 112, 150}}},
    {"no key: inch cells", true, nullptr, 600, 800, kSquare, 2, {2}, {{6, 6, 100, 100}, {112, 6, 100, 100}}},
    {"a sheet cell wider than the page leaves the first row empty, then one a row", true, "700", 600, 2200,
     kSquare, 3, {2, 1}, {{6, 712, 700, 700}, {6, 1418, 700, 700}}},
    {"sheet cells of no size are placed, nothing drawn", true, "0", 600, 800, kSquare, 3, {0}, {}},
    {"no page for 0 a page", false, "0", 600, 800, kSquare, 3, {}, {}},
    {"no page for a count without cells", false, "3", 600, 800, kSquare, 3, {}, {}},
    {"no page for a sheet cell that fits no page", true, "790", 600, 800, kSquare, 3, {}, {}},
};

TEST_F(PrintTest, EveryLayoutPlacesItsPicturesPageByPage) {
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.what);
        MakeCamera(c.pictures, c.shape);
        const char* layout = !c.value ? "Layout9" : c.sheet ? "Layout4" : "Layout2";
        if (c.value) Layout(layout, {{c.sheet ? "ThumbSize" : "ImagesPerPage", c.value}});
        MetafilePages pages(c.pageWidth, c.pageHeight);
        (c.sheet ? PrintContactSheet : PrintFixedLayout)(Job(pages, layout));
        EXPECT_EQ(pages.Calls().back(), c.perPage.empty() ? "AbortDoc" : "EndDoc");
        std::vector<int> perPage;
        for (int page = 0; page < pages.PageCount(); ++page) {
            std::vector<Box> boxes = Boxes(pages, page);
            perPage.push_back(int(boxes.size()));
            boxes.resize(std::min(boxes.size(), c.first.size()));
            EXPECT_EQ(boxes, std::vector<Box>(c.first.begin(), c.first.begin() + boxes.size())) << "page " << page;
        }
        EXPECT_EQ(perPage, c.perPage);
        EXPECT_EQ(TotalReads(), std::accumulate(perPage.begin(), perPage.end(), 0)) << "each is read once";
        if (c.first.empty()) continue;
        COLORREF corner = pages.Pictures(0)[0].topLeft;
        EXPECT_TRUE(Near({GetRValue(corner), GetGValue(corner), GetBValue(corner)}, kQuadrants[c.corner]));
    }
}

TEST_F(PrintTest, AFailingCameraEndsTheJobAfterThePageItFailedOn) {
    MakeCamera(5, kSquare);
    Image(2)->failuresLeft = 1;  // IMG_0003, second on the second page
    items_.insert(items_.begin() + 1, ViewItem{0, 0, "GONE.JPG"});  // the camera cannot open it
    Image(0)->duringRead = [&] { EXPECT_EQ(folder_->Idle(), 0) << "the folder's transfer guard is held"; };
    Layout("Layout2", {{"ImagesPerPage", "2"}});
    MetafilePages pages(600, 800);
    PrintFixedLayout(Job(pages, "Layout2"));
    ASSERT_EQ(pages.PageCount(), 2);
    EXPECT_EQ(Boxes(pages, 0), (std::vector<Box>{{106, 6, 388, 388}})) << "the unopened picture's cell stays empty";
    EXPECT_EQ(Boxes(pages, 1).size(), 1u);
    EXPECT_EQ(pages.Calls().back(), "EndDoc");
    EXPECT_EQ(Image(3)->reads, 0);
    EXPECT_EQ(folder_->Idle(), 1);

    folder_->SetIdle(0);  // another transfer of the folder runs
    MetafilePages busy(600, 800);
    PrintFixedLayout(Job(busy, "Layout2"));
    EXPECT_EQ(busy.Calls(), (std::vector<std::string>{"StartDoc", "StartPage", "EndPage", "EndDoc"}));
    EXPECT_EQ(folder_->Idle(), 0) << "another transfer's guard is left alone";
    EXPECT_EQ(Image(1)->reads, 1);
}

// The bounding box of the ink between two heights (fractions of the page) of a
// letter page that ghostscript rendered at 50 dpi; empty while the file is not whole.
Box InkOnPaper(const std::vector<uint8_t>& ppm, double top, double bottom) {
    const int width = 425, height = 550;
    std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 200));
    size_t at = head.find("\n425 550\n255\n") + 13;  // after "P6" and the comment line gs names itself in
    if (at < 13 || ppm.size() < at + width * height * 3) return {};
    int left = INT_MAX, right = -1, first = -1, last = -1;
    for (int y = int(top * height); y < int(bottom * height); ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &ppm[at + (size_t(y) * width + size_t(x)) * 3];
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) continue;
            left = std::min(left, x), right = std::max(right, x), first = first < 0 ? y : first, last = y;
        }
    return right < 0 ? Box{-1, -1, 0, 0} : Box{left, first, right - left + 1, last - first + 1};
}

// The user picks "two a page" and cancels, then selects two pictures and prints.
TEST_F(PrintTest, TheSelectionPrintsOnPaperInTheLayoutChosenEarlier) {
    ASSERT_TRUE(EnsureTestPrinter());
    MakeCamera(0);
    EXPECT_EQ(Show(IDCANCEL), "") << "a view without images shows no dialog";

    MakeCamera(4);
    layouts_.SetString("CurrentLayout", "Layout3");
    Layout("Layout1", {{"Title", "One big"}});
    // A fixed layout; the rest print as contact sheets.
    Layout("Layout2", {{"Title", "Two"}, {"Aspect", "1"}, {"ImagesPerPage", "2"}});
    Layout("Layout3");  // no title: the caption is blanked; no Layout4: the template's stays
    EXPECT_EQ(Show(IDCANCEL, IDC_LAYOUT_TWO), "One big|Two|*|Contact Sheet|") << "nothing is selected";
    EXPECT_EQ(TotalReads(), 0);

    items_[1].selected = items_[3].selected = 1;
    Image(1)->progress = true;  // slow: it shows the progress dialog
    Image(1)->duringRead = [] { EXPECT_NE(FindWindowA("#32770", "Loading image for print"), nullptr); };
    Image(3)->fileReads = true;  // the driver hands over a file
    // Wine's FILE: port writes the job to the file "FILE:" here, for ghostscript to render.
    for (const char* file : {"FILE:", "page.ppm"}) DeleteFileA(file);
    EXPECT_EQ(Show(IDOK), "One big|*Two||Contact Sheet|selection*")
        << "the layout chosen before; the selection is printed unless the user says otherwise";
    EXPECT_EQ(Image(0)->reads + Image(2)->reads, 0);

    // Wine gives no process of a host program to wait for: the page is done once whole.
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
