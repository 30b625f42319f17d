// Pictures named in the scripts users write, on a card whose own folder is not ASCII either, with Wine's ANSI
// code page a Western one: each keeps its name and bytes through the grid, the list, the viewer, copy, paste,
// delete, turn and print, and a name too long for the driver table leaves out that picture alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "controls/LayoutImp.h"
#include "controls/ThumbnailControl.h"
#include "print/ContactSheet.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/MetafilePages.h"
#include "support/Screen.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"
#include "support/UserActions.h"

namespace {

using Names = std::vector<std::string>;

const Names kNames = {u8"Ärger.JPG", u8"Фото.JPG", u8"Ωμέγα.JPG", u8"花.JPG", u8"😀 smile.JPG"};

Names Sorted(Names names) { return std::sort(names.begin(), names.end()), names; }

class AnyName : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_EQ(GetACP(), 1252u) << "the names must not fit the ANSI code page";
        for (const char* plain : {"IMG_0002.JPG", "img_0001.jpg", "IMG_0003.PNG", "notes.txt"})
            DeleteFileW(Utf16(Folder(plain)).c_str());
        int shade = 0;
        for (const std::string& name : kNames) card_.Write(Folder(name), MakeJpeg(QuadrantBitmap(320 + 16 * shade++, 240), {}));
        std::string tooLong;
        for (int i = 0; i < 90; ++i) tooLong += u8"長";  // 270 bytes: more than a driver's name field holds
        card_.Write(Folder(tooLong + ".JPG"), MakeJpeg(QuadrantBitmap(64, 48), {}));
        user_ = std::make_unique<ViewUser>(card_.Root(), false);
    }
    void TearDown() override { user_.reset(), CoreTest::TearDown(); }
    std::string Folder(const std::string& name = "") const { return card_.Folder() + "\\" + name; }
    Names ItemNames() {
        Names names;
        for (const ViewItem& item : user_->View()->Items()) names.push_back(item.name);
        return names;
    }

    TestCard card_{u8"Fotos Ärger 写真 "};
    std::unique_ptr<ViewUser> user_;
};

TEST_F(AnyName, EveryPictureKeepsItsNameAndBytesThroughEveryCommand) {
    CameraView* view = user_->Open();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(Sorted(ItemNames()), Sorted(kNames));
    LayoutImp* grid = static_cast<ThumbnailControl*>(view->Control())->Layout();
    auto loaded = [&] {
        int count = 0;
        for (int i = 0; i < grid->GetItemCount(); ++i) count += grid->CellAt(i)->HasImage() ? 1 : 0;
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return loaded() == 5; }, 10000)) << "every thumbnail arrives";

    user_->Command(CameraView::kListView);
    HWND list = FindDescendant(user_->host->Window(), "SysListView32");
    Names rows;
    WaitUntil([&] {  // the names come with the details
        rows.clear();
        for (int row = 0; row < ListView_GetItemCount(list); ++row) {
            wchar_t text[300] = {};
            LVITEMW item = {};
            item.pszText = text, item.cchTextMax = 300;
            SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), LPARAM(&item));
            rows.push_back(Utf8(text));
        }
        return Sorted(rows) == Sorted(kNames);
    }, 5000);
    EXPECT_EQ(Sorted(rows), Sorted(kNames));
    user_->Command(CameraView::kThumbnailView);

    user_->Click(3, 0, true);  // the viewer's title names its picture
    std::vector<HWND> viewers = OwnWindowsOfClass("FrameHelperWin");
    ASSERT_EQ(viewers.size(), 1u);
    wchar_t title[300] = {};
    GetWindowTextW(viewers[0], title, 300);
    EXPECT_EQ(Utf8(title).rfind(ItemNames()[3] + " - ", 0), 0u) << Utf8(title);
    DestroyWindow(viewers[0]);

    user_->Command(CameraView::kSelectAll);  // copied out: every name and byte
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(view->CreateDataObject(nullptr));  // its files go with it
    FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(data->GetData(&files, &medium), S_OK);
    Names copied;
    auto drop = static_cast<HDROP>(medium.hGlobal);
    for (UINT i = 0, n = DragQueryFileW(drop, ~0u, nullptr, 0); i < n; ++i) {
        wchar_t path[MAX_PATH] = {};
        DragQueryFileW(drop, i, path, MAX_PATH);
        std::string file = Utf8(path), name = file.substr(file.rfind('\\') + 1);
        copied.push_back(name);
        EXPECT_EQ(ReadFileBytes(file), ReadFileBytes(Folder(name))) << file;
    }
    ReleaseStgMedium(&medium);
    EXPECT_EQ(Sorted(copied), Sorted(kNames));

    // Printed: a contact sheet with every picture.
    MetafilePages pages(850, 1100);
    DOCINFOW doc = {sizeof doc, L"Any name", nullptr, nullptr, 0};
    PrintContactSheet({user_->folder.Get(), nullptr, &view->Items(), &pages, &doc, nullptr, "Layout4", {0, 1, 2, 3, 4}});
    EXPECT_EQ(pages.PageCount() ? pages.Pictures(0).size() : 0u, 5u);

    // Turned, then pasted from a folder of the same names elsewhere, then deleted.
    user_->Click(1);
    user_->Command(CameraView::kRotate);
    EXPECT_NE(view->Items()[1].rotation, 0);
    std::string outside = MakeTempDir(u8"Ärger außen ");
    TestCard::Write(outside + u8"\\Éclair ß.jpg", ReadFileBytes(Folder(kNames[0])));
    ComRef<IDataObject> offer = ComRef<IDataObject>::Share(MakeFileDrop({outside + u8"\\Éclair ß.jpg"}));
    ASSERT_TRUE(offer);
    OleSetClipboard(offer.Get());
    user_->Command(CameraView::kPaste);
    OleSetClipboard(nullptr);
    EXPECT_EQ(ReadFileBytes(Folder(u8"Éclair ß.jpg")), ReadFileBytes(Folder(kNames[0])));
    EXPECT_EQ(ItemNames().back(), u8"Éclair ß.jpg");
    RemoveTree(outside);

    user_->Click(4);
    std::string deleted = ItemNames()[4];
    DialogAnswerer yes(IDYES);
    user_->Command(CameraView::kDelete);
    EXPECT_EQ(GetFileAttributesW(Utf16(Folder(deleted)).c_str()), INVALID_FILE_ATTRIBUTES) << deleted;
    EXPECT_EQ(ItemNames().size(), 5u);
}

}  // namespace
