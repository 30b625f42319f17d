#include <gtest/gtest.h>

#include "transfer/FormatEnumerator.h"
#include "server/SourceFolder.h"
#include "support/CoreFixture.h"

namespace {

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
