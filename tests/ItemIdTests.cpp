#include <gtest/gtest.h>

#include "base/ItemId.h"
#include "support/IdLists.h"

namespace {

struct TaskList {
    LPITEMIDLIST list;
    explicit TaskList(LPITEMIDLIST l) : list(l) {}
    ~TaskList() { CoTaskMemFree(list); }
    const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(list); }
};

TEST(ItemIdLayout, OneItemListIsSizeNameZeroThenTerminator) {
    TaskList made(MakeItemIdList("DSC001.JPG"));
    ASSERT_NE(made.list, nullptr);
    const BYTE expected[15] = {0x0D, 0x00, 'D', 'S', 'C', '0', '0', '1', '.', 'J', 'P', 'G', 0, 0, 0};
    EXPECT_EQ(0, memcmp(made.bytes(), expected, sizeof expected));
    EXPECT_EQ(IdListHolder::Size(made.list), 15);
}

TEST(ItemIdLayout, LongestAndTooLongNames) {
    std::string longest(ItemId::kMaxNameLength, 'x');
    TaskList made(MakeItemIdList(longest.c_str()));
    ASSERT_NE(made.list, nullptr);
    EXPECT_EQ(IdListHolder::Size(made.list), 255 + 5);
    EXPECT_STREQ(ItemId::NameOf(made.list), longest.c_str());
    EXPECT_EQ(MakeItemIdList(std::string(256, 'x').c_str()), nullptr);
}

TEST(ItemIdLayout, EmptyNameStillMakesAnItem) {
    TaskList made(MakeItemIdList(""));
    ASSERT_NE(made.list, nullptr);
    EXPECT_EQ(IdListHolder::Size(made.list), 5);
    EXPECT_STREQ(ItemId::NameOf(made.list), "");
}

TEST(ItemIdNames, SecondItemFollowsTheFirstSize) {
    auto bytes = ListBytes({"Digital Camera", "DCIM"});
    LPCITEMIDLIST second = ItemId::Next(AsList(bytes));
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(ItemId::NameOf(second), "DCIM");
    EXPECT_EQ(ItemId::Next(second), nullptr);
}

TEST(ItemIdNames, MalformedItemsHaveNoName) {
    const BYTE cbOne[] = {1, 0};
    const BYTE cbTwo[] = {2, 0};
    const BYTE noZero[] = {5, 0, 'A', 'B', 'C', 0, 0};
    std::vector<BYTE> tooLarge(300, 'A');
    tooLarge[0] = 0x04;
    tooLarge[1] = 0x01;  // 260 bytes: larger than any item the module makes
    EXPECT_EQ(ItemId::NameOf(nullptr), nullptr);
    EXPECT_EQ(ItemId::NameOf(reinterpret_cast<LPCITEMIDLIST>(cbOne)), nullptr);
    EXPECT_EQ(ItemId::NameOf(reinterpret_cast<LPCITEMIDLIST>(cbTwo)), nullptr);
    EXPECT_EQ(ItemId::NameOf(reinterpret_cast<LPCITEMIDLIST>(noZero)), nullptr);
    EXPECT_EQ(ItemId::NameOf(AsList(tooLarge)), nullptr);
}

TEST(IdListHolderSize, NullEmptyAndOneItem) {
    EXPECT_EQ(IdListHolder::Size(nullptr), 0);
    IdListHolder empty;
    EXPECT_EQ(empty.Size(), 2);
    IdListHolder named("AB");
    EXPECT_EQ(named.Size(), 7);
    auto two = ListBytes({"AB", "CDE"});
    EXPECT_EQ(IdListHolder::Size(AsList(two)), 5 + 6 + 2);
}

TEST(IdListHolderCopy, CopiesWholeListOrNothing) {
    IdListHolder holder("DSC001.JPG");
    BYTE buffer[32];
    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(holder.CopyTo(buffer, 14), -1);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(holder.CopyTo(buffer, 15), 15);
    EXPECT_EQ(0, memcmp(buffer, holder.List(), 15));
}

TEST(IdListHolderCopy, HoldersOwnIndependentCopies) {
    auto bytes = ListBytes({"Hard Disk"});
    IdListHolder fromList(AsList(bytes));
    bytes[2] = 'X';
    IdListHolder copy(fromList);
    EXPECT_STREQ(ItemId::NameOf(copy.List()), "Hard Disk");
    EXPECT_NE(copy.List(), fromList.List());
    EXPECT_EQ(IdListHolder(static_cast<LPCITEMIDLIST>(nullptr)).Size(), 0);
}

TEST(IdListHolderCopy, OwnOnlyStopsAtTheFirstForeignItem) {
    auto bytes = ListBytes({"A.JPG"});
    bytes.insert(bytes.end() - 2, {0x01, 0x00});  // a second item too small to be one
    IdListHolder own(AsList(bytes), IdListHolder::Items::OwnOnly);
    EXPECT_EQ(own.Size(), 8 + 2);
}

TEST(IdListHolderCompare, OrderIsBySizeBytesThenName) {
    IdListHolder b("B.JPG"), aa("AA.JPG"), a("A.JPG"), lower("a.JPG");
    EXPECT_EQ(b.Compare(b), 0);
    EXPECT_EQ(b.Compare(aa), -1);  // shorter names sort first
    EXPECT_EQ(aa.Compare(b), 1);
    EXPECT_EQ(a.Compare(b), -1);
    EXPECT_EQ(a.Compare(lower), -1);  // case-sensitive
    EXPECT_EQ(IdListHolder::Compare(a.List(), IdListHolder("A.JPG").List()), 0);
}

TEST(IdListHolderCompare, TwoItemListsDifferAfterTheirCommonHead) {
    auto one = ListBytes({"Digital Camera"});
    auto two = ListBytes({"Digital Camera", "DCIM"});
    EXPECT_EQ(IdListHolder::Compare(AsList(one), AsList(two)), -1);
    EXPECT_EQ(IdListHolder::Compare(AsList(two), AsList(one)), 1);
}

TEST(IdListHolderCompare, ListsLargerThanTheFlatCopyStillCompare) {
    std::string big(200, 'n');
    auto first = ListBytes({big, big + "1"});
    auto second = ListBytes({big, big + "2"});
    IdListHolder a(AsList(first)), b(AsList(second));
    EXPECT_EQ(a.FlatLength(), -1);
    EXPECT_EQ(a.Compare(b), -1);
    EXPECT_EQ(b.Compare(a), 1);
    EXPECT_EQ(a.Compare(IdListHolder(AsList(first))), 0);
    EXPECT_EQ(IdListHolder("small").Compare(a), -1);
}

}  // namespace
