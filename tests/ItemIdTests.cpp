// The module's item IDs and ID list copies, and the formats its data object offers.
#include <gtest/gtest.h>

#include "base/ItemId.h"
#include "support/CoreFixture.h"
#include "support/IdLists.h"
#include "transfer/FormatEnumerator.h"

namespace {

TEST(ItemIdLayout, SizeNameZeroThenTerminator) {
    struct Row { std::string name; int size; };
    for (const Row& row : {Row{"DSC001.JPG", 15}, Row{"", 5}, Row{std::string(255, 'x'), 260}}) {
        LPITEMIDLIST made = MakeItemIdList(row.name.c_str());
        ASSERT_NE(made, nullptr) << row.name;
        EXPECT_EQ(IdListHolder::Size(made), row.size) << row.name;
        EXPECT_EQ(ItemId::NameOf(made), row.name);
        EXPECT_EQ(made->mkid.cb, row.size - 2);
        CoTaskMemFree(made);
    }
    EXPECT_EQ(MakeItemIdList(std::string(256, 'x').c_str()), nullptr);
    auto two = ListBytes({"Digital Camera", "DCIM"});
    LPCITEMIDLIST second = ItemId::Next(AsList(two));
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(ItemId::NameOf(second), "DCIM");
    EXPECT_EQ(ItemId::Next(second), nullptr);
    EXPECT_EQ(IdListHolder::Size(AsList(two)), 17 + 7 + 2);
}

TEST(ItemIdLayout, MalformedItemsHaveNoName) {
    std::vector<BYTE> tooLarge(300, 'A');
    tooLarge[0] = 0x04, tooLarge[1] = 0x01;  // 260 bytes: larger than any item the module makes
    for (const std::vector<BYTE>& bytes :
         {std::vector<BYTE>{1, 0}, {2, 0}, {5, 0, 'A', 'B', 'C', 0, 0}, tooLarge})
        EXPECT_EQ(ItemId::NameOf(AsList(bytes)), nullptr) << bytes.size();
    EXPECT_EQ(ItemId::NameOf(nullptr), nullptr);
}

TEST(IdListHolderCopy, WholeListOrNothingAndOwnItemsOnly) {
    IdListHolder holder("DSC001.JPG");
    BYTE buffer[32];
    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(holder.CopyTo(buffer, 14), -1);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(holder.CopyTo(buffer, 15), 15);
    EXPECT_EQ(0, memcmp(buffer, holder.List(), 15));

    auto bytes = ListBytes({"Hard Disk"});
    IdListHolder fromList(AsList(bytes));
    bytes[2] = 'X';
    EXPECT_STREQ(ItemId::NameOf(IdListHolder(fromList).List()), "Hard Disk");
    EXPECT_EQ(IdListHolder(static_cast<LPCITEMIDLIST>(nullptr)).Size(), 0);
    EXPECT_EQ(IdListHolder().Size(), 2);

    bytes.insert(bytes.end() - 2, {0x01, 0x00});  // a second item too small to be one
    EXPECT_EQ(IdListHolder(AsList(bytes), IdListHolder::Items::OwnOnly).Size(), 12 + 2);
}

TEST(IdListHolderCompare, BySizeThenBytesAlsoBeyondTheFlatCopy) {
    std::string big(200, 'n');
    struct Row { std::vector<std::string> first, second; int order; };
    const Row rows[] = {
        {{"B.JPG"}, {"B.JPG"}, 0},
        {{"B.JPG"}, {"AA.JPG"}, -1},  // shorter names sort first
        {{"AA.JPG"}, {"B.JPG"}, 1},
        {{"A.JPG"}, {"a.JPG"}, -1},  // case-sensitive
        {{"Digital Camera"}, {"Digital Camera", "DCIM"}, -1},
        {{"Digital Camera", "DCIM"}, {"Digital Camera"}, 1},
        {{big, big + "1"}, {big, big + "2"}, -1},
        {{big, big + "2"}, {big, big + "1"}, 1},
        {{big, big + "1"}, {big, big + "1"}, 0},
        {{"small"}, {big, big + "1"}, -1},
    };
    for (const Row& row : rows) {
        auto a = ListBytes(row.first), b = ListBytes(row.second);
        EXPECT_EQ(IdListHolder(AsList(a)).Compare(IdListHolder(AsList(b))), row.order) << row.first.back();
        EXPECT_EQ(IdListHolder::Compare(AsList(a), AsList(b)), row.order) << row.first.back();
    }
}

class FormatEnumeration : public CoreTest {};

TEST_F(FormatEnumeration, OneImageAddsTheBitmapAndNextSkipStopAtTheEnd) {
    const CLIPFORMAT own = CLIPFORMAT(RegisterClipboardFormatA("Vistrel"));
    const CLIPFORMAT ids = CLIPFORMAT(RegisterClipboardFormatA("Shell IDList Array"));
    for (bool several : {false, true}) {
        ComRef<IEnumFORMATETC> formats;
        HandOut(new FormatEnumerator(several), IID_IEnumFORMATETC, formats.PutVoid());
        std::vector<CLIPFORMAT> seen;
        FORMATETC entry;
        while (formats->Next(1, &entry, nullptr) == S_OK) {
            EXPECT_EQ(entry.tymed, DWORD(TYMED_HGLOBAL));
            EXPECT_EQ(entry.lindex, -1);
            seen.push_back(entry.cfFormat);
        }
        std::vector<CLIPFORMAT> expected = {own, CF_HDROP, ids};
        if (!several) expected.push_back(CF_DIB);
        EXPECT_EQ(seen, expected);
    }
    ComRef<IEnumFORMATETC> formats;
    HandOut(new FormatEnumerator(true), IID_IEnumFORMATETC, formats.PutVoid());
    FORMATETC entries[5];
    ULONG fetched = 0;
    EXPECT_EQ(formats->Skip(4), S_FALSE);
    EXPECT_EQ(formats->Reset(), S_OK);
    EXPECT_EQ(formats->Skip(1), S_OK);
    EXPECT_EQ(formats->Next(5, entries, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(entries[0].cfFormat, CF_HDROP);
    EXPECT_EQ(formats->Next(1, entries, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

}  // namespace
