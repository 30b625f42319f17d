// ID lists a hostile or buggy caller could pass, placed so that their last
// byte is the last readable byte before a guard page: reading one byte past
// the list crashes the test.
#include <gtest/gtest.h>

#include "server/SourceFolder.h"
#include "support/CoreFixture.h"
#include "support/GuardedBytes.h"
#include "support/IdLists.h"

namespace {

std::vector<BYTE> Raw(std::initializer_list<int> bytes) {
    std::vector<BYTE> out;
    for (int b : bytes) out.push_back(static_cast<BYTE>(b));
    return out;
}

std::vector<BYTE> Concat(std::vector<BYTE> head, const std::vector<BYTE>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::vector<BYTE> ItemOnly(const std::string& name) {  // without the terminator
    auto bytes = ListBytes({name});
    bytes.resize(bytes.size() - 2);
    return bytes;
}

std::vector<BYTE> ManyItems(int count) {
    std::vector<std::string> names(count, "A");
    return ListBytes(names);
}

struct HostileCase {
    const char* what;
    std::vector<BYTE> bytes;  // empty: a null list
    bool wellFormed;          // the module's own layout, just not a child's name
    int child = -1;           // the root child its first item names, if any
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.what; }

std::vector<HostileCase> Cases() {
    return {
        {"null list", {}, false},
        {"terminator only", Raw({0, 0}), false},
        {"cb of 1", Raw({1, 0}), false},
        {"cb of 2", Raw({2, 0}), false},
        {"cb of 2 before a name", Raw({2, 0, 'H', 'a', 0, 0}), false},
        {"name without its zero byte", Raw({7, 0, 'A', 'B', 'C', 'D', 'E'}), false},
        {"cb past the longest name", Concat(Raw({0x03, 0x01}), std::vector<BYTE>(20, 'x')), false},
        {"cb of 0xFFFF", Concat(Raw({0xFF, 0xFF}), std::vector<BYTE>(8, 'x')), false},
        {"name of 256 characters", ListBytes({std::string(256, 'n')}), false},
        {"child followed by a truncated item", Concat(ItemOnly("Digital Camera"), Raw({1, 0})),
         false, 0},
        {"child followed by an oversized item",
         Concat(ItemOnly("Removable Media"), Raw({0x00, 0x40, 'x', 'y'})), false, 1},
        {"name of 255 characters", ListBytes({std::string(255, 'n')}), true},
        {"200 items", ManyItems(200), true},
        {"wrong letter case", ListBytes({"DIGITAL CAMERA"}), true},
    };
}

class HostileIdLists : public CoreTest, public testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (!GetParam().bytes.empty()) guarded_ = std::make_unique<GuardedBytes>(GetParam().bytes);
    }
    void TearDown() override {
        guarded_.reset();
        CoreTest::TearDown();
    }
    LPCITEMIDLIST List() const { return guarded_ ? guarded_->List() : nullptr; }

    std::unique_ptr<GuardedBytes> guarded_;
};

TEST_P(HostileIdLists, RootTreatsThemAsUnknownNames) {
    auto root = InitializedRoot();
    LPCITEMIDLIST item = List();

    // Only the first item is looked at: a well-formed child name there counts.
    bool namesChild = GetParam().child >= 0;
    SFGAOF attributes = 0;
    EXPECT_EQ(root->GetAttributesOf(1, &item, &attributes), S_OK);
    EXPECT_EQ(attributes, namesChild ? 0xE1000000u : 0x21000000u);

    ComRef<IExtractIconA> icon;
    ASSERT_EQ(root->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconA, nullptr, icon.PutVoid()),
              S_OK);
    char path[MAX_PATH];
    int index = -1;
    UINT flags = 0;
    icon->GetIconLocation(0, path, MAX_PATH, &index, &flags);
    const int childIcons[] = {6, 4, 3};
    EXPECT_EQ(index, namesChild ? childIcons[GetParam().child] : 0);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(root->BindToObject(item, nullptr, IID_IShellFolder, &out)));
    EXPECT_EQ(out, nullptr);

    for (SHGDNF flagsAsked : {SHGDN_NORMAL, SHGDN_INFOLDER}) {
        STRRET name = {};
        HRESULT hr = root->GetDisplayNameOf(item, flagsAsked, &name);
        if (GetParam().wellFormed) {
            ASSERT_EQ(hr, S_OK);
            EXPECT_LT(static_cast<int>(name.uOffset), IdListHolder::Size(item));
        } else if (!namesChild || flagsAsked == SHGDN_NORMAL) {
            EXPECT_EQ(hr, E_INVALIDARG);
        }
    }

    auto camera = ListBytes({"Digital Camera"});
    EXPECT_EQ(root->CompareIDs(0, item, item), 0);
    if (!namesChild) {
        EXPECT_NE(root->CompareIDs(0, item, AsList(camera)), 0);
    }
}

TEST_P(HostileIdLists, SourceFolderReadsNothingPastThem) {
    ComRef<SourceFolder> folder = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    LPCITEMIDLIST item = List();
    STRRET name = {};
    HRESULT hr = folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name);
    EXPECT_EQ(hr, GetParam().wellFormed ? S_OK : E_INVALIDARG);
    EXPECT_EQ(folder->CompareIDs(0, item, item), 0);
    // Binding looks at the first item only.
    bool firstItemOk = GetParam().wellFormed || GetParam().child >= 0;
    ComRef<IShellFolder> bound;
    HRESULT bind = folder->BindToObject(item, nullptr, IID_IShellFolder, bound.PutVoid());
    EXPECT_EQ(SUCCEEDED(bind), firstItemOk);
    EXPECT_EQ(bool(bound), firstItemOk);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileIdLists, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<HostileCase>& param) {
                             std::string name;
                             for (const char* c = param.param.what; *c; ++c)
                                 if (isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

}  // namespace
