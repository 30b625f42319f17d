// The module's item IDs and ID list copies, the root folder with its three sources, and what start-up reads for it.
#include <gtest/gtest.h>

#include <optional>

#include "base/ItemId.h"
#include "base/Module.h"
#include "support/CoreFixture.h"
#include "support/IdLists.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"

namespace {

TEST(ItemIdLayout, SizeKindNameZeroThenTerminator) {
    struct Row { std::string name; int size; };
    for (const Row& row : {Row{"DSC001.JPG", 16}, Row{"", 6}, Row{std::string(255, 'x'), 261}}) {
        LPITEMIDLIST made = MakeItemIdList(row.name.c_str());
        ASSERT_NE(made, nullptr) << row.name;
        EXPECT_EQ(IdListHolder::Size(made), row.size) << row.name;
        EXPECT_EQ(ItemId::NameOf(made), row.name);
        CoTaskMemFree(made);
    }
    EXPECT_EQ(MakeItemIdList(std::string(256, 'x').c_str()), nullptr);
}

TEST(IdListHolderCopy, WholeListOrNothingAndOwnItemsOnly) {
    IdListHolder holder("DSC001.JPG");
    BYTE buffer[32] = {0xEE};
    EXPECT_TRUE(holder.CopyTo(buffer, 15) == -1 && buffer[0] == 0xEE);  // too small: nothing written
    EXPECT_TRUE(holder.CopyTo(buffer, 16) == 16 && memcmp(buffer, holder.List(), 16) == 0);

    auto bytes = ListBytes({"Hard Disk"});
    IdListHolder fromList(AsList(bytes));
    bytes[3] = 'X';
    EXPECT_STREQ(ItemId::NameOf(IdListHolder(fromList).List()), "Hard Disk");
    EXPECT_EQ(IdListHolder(static_cast<LPCITEMIDLIST>(nullptr)).Size(), 0);
    EXPECT_EQ(IdListHolder().Size(), 2);
    bytes.insert(bytes.end() - 2, {0x01, 0x00});  // a second item too small to be one
    EXPECT_EQ(IdListHolder(AsList(bytes), IdListHolder::Items::OwnOnly).Size(), 13 + 2);
}

TEST(IdListHolderCompare, BySizeThenBytesAlsoBeyondTheFlatCopy) {
    std::string big(200, 'n');
    struct Row { std::vector<std::string> first, second; int order; };
    const Row rows[] = {
        {{"B.JPG"}, {"AA.JPG"}, -1},  // shorter names sort first
        {{"A.JPG"}, {"a.JPG"}, -1},   // case-sensitive
        {{"Digital Camera", "DCIM"}, {"Digital Camera"}, 1},
        {{big, big + "1"}, {big, big + "2"}, -1},
        {{big, big + "2"}, {big, big + "1"}, 1},
        {{big, big + "1"}, {big, big + "1"}, 0},
        {{"small"}, {big, big + "1"}, -1},
    };
    for (const Row& row : rows) {
        auto a = ListBytes(row.first), b = ListBytes(row.second);
        EXPECT_EQ(IdListHolder::Compare(AsList(a), AsList(b)), row.order) << row.first.back();
    }
}

// A refused request answers `result` and clears the caller's pointer.
template <typename Call>
void ExpectRefused(HRESULT result, Call call, const char* what = "") {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(call(&out), result) << what;
    EXPECT_EQ(out, nullptr) << what;
}

class RootFolderTest : public CoreTest {};

// Each child: its attributes (only what was asked, never "file system"), its
// icon in the module, the child a typed name finds.
TEST_F(RootFolderTest, ChildrenByName) {
    auto root = NewRoot();
    char self[MAX_PATH];
    GetModuleFileNameA(theModule.instance, self, MAX_PATH);
    struct Row { const char* name; SFGAOF attributes; int icon; const wchar_t* typed; };
    const SFGAOF kFolder = SFGAO_FOLDER | SFGAO_BROWSABLE, kNotAsked = 0x1234;
    for (const Row& row : {Row{"Digital Camera", kFolder | SFGAO_HASSUBFOLDER, 6, L"digital camera"},
                           Row{"Removable Media", kFolder | SFGAO_HASSUBFOLDER, 4, L"\\Removable Media\\"},
                           Row{"Hard Disk", kFolder, 3, L"HARD DISK"}, Row{"hard disk", kNotAsked, 0, L"Hard Disks"},
                           Row{"Somewhere", kNotAsked, 0, L"Hard"}}) {
        auto bytes = ListBytes({row.name});
        LPCITEMIDLIST item = AsList(bytes);
        SFGAOF attributes = row.attributes == kNotAsked ? kNotAsked : row.attributes | SFGAO_FILESYSTEM | SFGAO_LINK;
        EXPECT_EQ(root->GetAttributesOf(1, &item, &attributes), row.attributes == kNotAsked ? E_INVALIDARG : S_OK);
        EXPECT_EQ(attributes, row.attributes) << row.name;
        PIDLIST_RELATIVE parsed = nullptr;
        ULONG eaten = 0, wanted = SFGAO_FOLDER;
        std::wstring typed = row.typed;
        HRESULT hr = root->ParseDisplayName(nullptr, nullptr, &typed[0], &eaten, &parsed, &wanted);
        EXPECT_EQ(SUCCEEDED(hr), row.icon != 0) << row.name;
        bool same = parsed && IdListHolder::Compare(parsed, item) == 0;
        EXPECT_TRUE(!parsed || (wanted == SFGAO_FOLDER && eaten == typed.size() && same == (row.attributes != kNotAsked)))
            << row.name;
        CoTaskMemFree(parsed);
        ComRef<IExtractIconA> icon;
        ASSERT_EQ(root->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconA, nullptr, icon.PutVoid()), S_OK);
        char path[MAX_PATH] = {};
        int index = -1;
        UINT flags = 0;
        EXPECT_EQ(icon->GetIconLocation(0, path, MAX_PATH, &index, &flags), S_OK);
        EXPECT_EQ(path + ("," + std::to_string(index)), self + ("," + std::to_string(row.icon)));
        EXPECT_EQ(icon->Extract(path, index, nullptr, nullptr, 32), S_FALSE);
    }
    SFGAOF own = ~0u;
    EXPECT_TRUE(root->GetAttributesOf(0, nullptr, &own) == S_OK && own == (kFolder | SFGAO_HASSUBFOLDER));
}

// The last item's name, but the whole path for parsing (the shell adds no
// prefix to names below a junction); the absolute list comes back as given.
TEST_F(RootFolderTest, DisplayNamesAndPlace) {
    auto root = NewRoot();
    auto one = ListBytes({"Removable Media"}), two = ListBytes({"Digital Camera", "COM1"});
    auto name = [&](const std::vector<BYTE>& list, SHGDNF flags) {
        STRRET text = {};
        EXPECT_EQ(root->GetDisplayNameOf(AsList(list), flags, &text), S_OK);
        return StrRetText(AsList(list), text);
    };
    EXPECT_EQ(name(one, SHGDN_NORMAL) + "|" + name(two, SHGDN_NORMAL) + "|" +
                  name(two, SHGDN_INFOLDER | SHGDN_FORPARSING) + "|" + name(two, SHGDN_FORADDRESSBAR),
              "Removable Media|COM1|COM1|COM1");
    EXPECT_EQ(name(two, SHGDN_FORPARSING), "\\Digital Camera\\COM1");  // no place yet
    ComRef<IPersistFolder2> placed;
    root->QueryInterface(IID_IPersistFolder2, placed.PutVoid());
    CLSID clsid = {};
    EXPECT_TRUE(placed->GetClassID(&clsid) == S_OK && IsEqualCLSID(clsid, CLSID_CameraExplorer));
    PIDLIST_ABSOLUTE place = reinterpret_cast<PIDLIST_ABSOLUTE>(1);
    EXPECT_TRUE(placed->GetCurFolder(&place) == S_FALSE && !place);
    std::vector<BYTE> junction;  // the shell's GUID items: My Computer, then ours
    for (const wchar_t* id : {L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}", L"{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}"}) {
        BYTE item[20] = {20, 0, 0x1F, 0x50};
        CLSIDFromString(id, reinterpret_cast<CLSID*>(item + 4));
        junction.insert(junction.end(), item, item + 20);
    }
    junction.insert(junction.end(), {0, 0});
    EXPECT_EQ(placed->Initialize(AsList(junction)), S_OK);
    EXPECT_TRUE(placed->GetCurFolder(&place) == S_OK && ILGetSize(place) == junction.size() &&
                !memcmp(place, junction.data(), junction.size()));
    CoTaskMemFree(place);
    EXPECT_EQ(name(two, SHGDN_FORPARSING),
              "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}\\Digital Camera\\COM1");
    EXPECT_EQ(root->CompareIDs(0, AsList(two), AsList(two)), 0);
    EXPECT_EQ(root->CompareIDs(0, AsList(one), AsList(two)), 1);
}

// A view only once initialized, as the shell does before it asks.
TEST_F(RootFolderTest, BindingGivesEachSourceItsOwnFolderOnceAndAViewOnlyOnceInitialized) {
    ExpectRefused(E_NOINTERFACE, [&](void** out) { return NewRoot()->CreateViewObject(nullptr, IID_IShellView, out); });
    auto root = InitializedRoot();
    auto bind = [&](const char* name) {
        auto bytes = ListBytes({name});
        ComRef<IShellFolder> folder;
        EXPECT_EQ(root->BindToObject(AsList(bytes), nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
        return folder;
    };
    auto camera = bind("Digital Camera"), media = bind("Removable Media");
    ASSERT_TRUE(camera && media);
    EXPECT_EQ(bind("Digital Camera").Get(), camera.Get());
    EXPECT_NE(media.Get(), camera.Get());
    SFGAOF attributes = 0;
    EXPECT_TRUE(media->GetAttributesOf(0, nullptr, &attributes) == S_OK && attributes == 0xA0000000u);

    struct Refusal { std::vector<std::string> list; const IID* iid; HRESULT result; };
    for (const Refusal& row : {Refusal{{"Digital Camera"}, &IID_IShellView, E_NOINTERFACE},
                               Refusal{{"Floppy"}, &IID_IShellFolder, E_INVALIDARG},
                               Refusal{{"Hard Disk", "C:"}, &IID_IShellFolder, E_INVALIDARG}}) {
        auto bytes = ListBytes(row.list);
        ExpectRefused(row.result, [&](void** out) { return root->BindToObject(AsList(bytes), nullptr, *row.iid, out); },
                      row.list[0].c_str());
    }
}

// Start-up reads the product strings of the file the class key names, and keeps the defaults for anything else.
TEST(ProductInfo, FromTheRegisteredModuleElseDefaults) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kFolderClassKey);
    const std::string module = BinPath("orvexview.dll");
    struct Row { std::string path; DWORD type; const char* product; };
    for (const Row& row : {Row{module, REG_SZ, "OrvexView 2, 0, 1, 10"}, Row{"", 0, "Pictavia Explorer 1.0"},
                           Row{BinPath("diskcam.dll"), REG_SZ, "Pictavia Explorer 1.0"},  // no version block
                           Row{module, REG_EXPAND_SZ, "Pictavia Explorer 1.0"}}) {
        std::optional<ScopedRegKey> server;
        if (row.type)
            server.emplace(HKEY_CLASSES_ROOT, std::string(kFolderClassKey) + "\\InprocServer32")
                .SetValue(nullptr, row.type, row.path.c_str(), DWORD(row.path.size() + 1));
        ReadProductInfo();
        EXPECT_EQ(theModule.productName + " " + theModule.productVersion, row.product) << row.path << " " << row.type;
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kFolderClassKey);
    ReadProductInfo();
}

}  // namespace
