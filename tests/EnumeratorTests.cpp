#include <gtest/gtest.h>

#include "server/FormatEnumerator.h"
#include "server/RootIdEnumerator.h"
#include "server/SourceFolder.h"
#include "support/CoreFixture.h"

namespace {

std::string TakeName(LPITEMIDLIST list) {
    std::string name = ItemId::NameOf(list) ? ItemId::NameOf(list) : "<bad>";
    CoTaskMemFree(list);
    return name;
}

class RootEnumeration : public CoreTest {};

TEST_F(RootEnumeration, YieldsThreeChildrenInOrderThenFalse) {
    auto root = NewRoot();
    ComRef<IEnumIDList> items;
    ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_NONFOLDERS, items.Put()), S_OK);
    std::vector<std::string> names;
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 99;
    while (items->Next(1, &item, &fetched) == S_OK) {
        EXPECT_EQ(fetched, 1u);
        names.push_back(TakeName(item));
    }
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(names, (std::vector<std::string>{"Digital Camera", "Removable Media", "Hard Disk"}));

    EXPECT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(TakeName(item), "Digital Camera");
}

TEST_F(RootEnumeration, AskingForSeveralDeliversOneAndSaysNotImplemented) {
    auto root = NewRoot();
    ComRef<IEnumIDList> items;
    root->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST got[5] = {};
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(5, got, &fetched), E_NOTIMPL);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(TakeName(got[0]), "Digital Camera");
    EXPECT_EQ(got[1], nullptr);
}

TEST_F(RootEnumeration, SkipMovesOnAndCloneIsRefused) {
    auto root = NewRoot();
    ComRef<IEnumIDList> items;
    root->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    EXPECT_EQ(items->Skip(2), S_OK);
    LPITEMIDLIST item = nullptr;
    ASSERT_EQ(items->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(TakeName(item), "Hard Disk");
    EXPECT_EQ(items->Skip(10), S_OK);
    EXPECT_EQ(items->Next(1, &item, nullptr), S_FALSE);

    IEnumIDList* clone = reinterpret_cast<IEnumIDList*>(1);
    EXPECT_EQ(items->Clone(&clone), E_NOTIMPL);
    EXPECT_EQ(clone, nullptr);
}

TEST_F(RootEnumeration, EnumeratorKeepsTheRootAlive) {
    ComRef<IEnumIDList> items;
    NewRoot()->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST item = nullptr;
    ASSERT_EQ(items->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(TakeName(item), "Digital Camera");
    ComRef<IUnknown> unknown;
    EXPECT_EQ(items->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
    ComRef<IShellFolder> notAFolder;
    EXPECT_EQ(items->QueryInterface(IID_IShellFolder, notAFolder.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(notAFolder);
}

class SourceEnumeration : public CoreTest {};

TEST_F(SourceEnumeration, NonFoldersOnlyYieldsNothingAndTouchesNothing) {
    ComRef<SourceFolder> folder = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    ComRef<IEnumIDList> items;
    ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, items.Put()), S_OK);
    LPITEMIDLIST item = reinterpret_cast<LPITEMIDLIST>(1);
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(item, reinterpret_cast<LPITEMIDLIST>(1));
    EXPECT_EQ(fetched, 7u);
}

TEST_F(SourceEnumeration, WithoutADriverListsNothing) {
    ComRef<SourceFolder> folder = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
    ComRef<IEnumIDList> items;
    folder->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST item = reinterpret_cast<LPITEMIDLIST>(1);
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(items->Reset(), S_FALSE);
}

class FormatEnumeration : public CoreTest {
protected:
    static std::vector<CLIPFORMAT> All(bool several) {
        ComRef<IEnumFORMATETC> formats;
        HandOut(new FormatEnumerator(several), IID_IEnumFORMATETC, formats.PutVoid());
        std::vector<CLIPFORMAT> seen;
        FORMATETC entry;
        while (formats->Next(1, &entry, nullptr) == S_OK) {
            EXPECT_EQ(entry.ptd, nullptr);
            EXPECT_EQ(entry.dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
            EXPECT_EQ(entry.lindex, -1);
            EXPECT_EQ(entry.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
            seen.push_back(entry.cfFormat);
        }
        return seen;
    }
};

TEST_F(FormatEnumeration, OneImageOffersFourFormatsInOrder) {
    CLIPFORMAT own = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Vistrel"));
    CLIPFORMAT ids = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Shell IDList Array"));
    EXPECT_EQ(All(false), (std::vector<CLIPFORMAT>{own, CF_HDROP, ids, CF_DIB}));
    EXPECT_EQ(All(true), (std::vector<CLIPFORMAT>{own, CF_HDROP, ids}));
}

TEST_F(FormatEnumeration, NextFillsWhatIsLeftAndSkipChecksTheEnd) {
    ComRef<IEnumFORMATETC> formats;
    HandOut(new FormatEnumerator(true), IID_IEnumFORMATETC, formats.PutVoid());
    FORMATETC entries[5];
    ULONG fetched = 0;
    EXPECT_EQ(formats->Skip(4), S_FALSE);
    EXPECT_EQ(formats->Skip(1), S_OK);
    EXPECT_EQ(formats->Next(5, entries, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(entries[0].cfFormat, CF_HDROP);
    EXPECT_EQ(formats->Next(1, entries, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(formats->Reset(), S_OK);
    EXPECT_EQ(formats->Skip(3), S_OK);
    IEnumFORMATETC* clone = nullptr;
    EXPECT_EQ(formats->Clone(&clone), E_NOTIMPL);
}

}  // namespace
