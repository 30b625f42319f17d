#include <gtest/gtest.h>

#include <shlwapi.h>

#include "imaging/ImageLibrary.h"
#include "server/ExtFolder.h"
#include "support/CoreFixture.h"
#include "support/IdLists.h"

namespace {

class RootFolderTest : public CoreTest {};

TEST_F(RootFolderTest, FacesAnswerTheirInterfacesOnly) {
    auto root = NewRoot();
    ComRef<IUnknown> unknown;
    ASSERT_EQ(root->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(root.Get()));
    ComRef<IPersistFolder> persist;
    ASSERT_EQ(root->QueryInterface(IID_IPersistFolder, persist.PutVoid()), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CameraExplorer));
    ComRef<IShellFolder> back;
    EXPECT_EQ(persist->QueryInterface(IID_IShellFolder, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), root.Get());
    for (const IID* refused : {&IID_IPersistFolder2, &IID_IShellFolder2, &IID_IDropTarget}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(root->QueryInterface(*refused, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

// Each child: its attributes (whatever the caller passed in), its icon in the module.
TEST_F(RootFolderTest, ChildrenByName) {
    auto root = NewRoot();
    char self[MAX_PATH];
    GetModuleFileNameA(theModule.instance, self, MAX_PATH);
    struct Row { const char* name; SFGAOF attributes; int icon; };
    for (const Row& row : {Row{"Digital Camera", 0xE1000000, 6}, Row{"Removable Media", 0xE1000000, 4},
                           Row{"Hard Disk", 0x21000000, 3}, Row{"hard disk", 0x21000000, 0},
                           Row{"Somewhere", 0x21000000, 0}}) {
        auto bytes = ListBytes({row.name});
        LPCITEMIDLIST item = AsList(bytes);
        SFGAOF attributes = 0x40000000;
        root->GetAttributesOf(1, &item, &attributes);
        EXPECT_EQ(attributes, row.attributes) << row.name;
        ComRef<IExtractIconA> icon;
        ASSERT_EQ(root->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconA, nullptr, icon.PutVoid()), S_OK);
        char path[MAX_PATH] = {};
        int index = -1;
        UINT flags = 99;
        EXPECT_EQ(icon->GetIconLocation(0, path, MAX_PATH, &index, &flags), S_OK);
        EXPECT_EQ(index, row.icon) << row.name;
        EXPECT_STREQ(path, self);
        EXPECT_EQ(icon->Extract(path, index, nullptr, nullptr, 32), S_FALSE);
    }
    SFGAOF untouched = 0x1234;
    EXPECT_EQ(root->GetAttributesOf(0, nullptr, &untouched), S_OK);
    EXPECT_EQ(untouched, 0x1234u);
}

TEST_F(RootFolderTest, DisplayNamesPointIntoTheList) {
    auto root = NewRoot();
    auto one = ListBytes({"Removable Media"});
    auto two = ListBytes({"Digital Camera", "COM1"});
    STRRET name = {};
    char text[MAX_PATH];
    ASSERT_EQ(root->GetDisplayNameOf(AsList(one), SHGDN_NORMAL, &name), S_OK);
    ASSERT_EQ(StrRetToBufA(&name, AsList(one), text, MAX_PATH), S_OK);
    EXPECT_STREQ(text, "Removable Media");
    ASSERT_EQ(root->GetDisplayNameOf(AsList(two), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(NameAtOffset(AsList(two), name), "COM1");
    ASSERT_EQ(root->GetDisplayNameOf(AsList(two), SHGDN_INFOLDER, &name), S_OK);
    EXPECT_EQ(NameAtOffset(AsList(two), name), "Digital Camera");
    EXPECT_EQ(root->CompareIDs(0, AsList(two), AsList(two)), 0);
    EXPECT_EQ(root->CompareIDs(0, AsList(one), AsList(two)), 1);
}

TEST_F(RootFolderTest, BindingGivesEachSourceItsOwnFolderOnce) {
    auto root = InitializedRoot();
    auto camera = ListBytes({"Digital Camera"});
    ComRef<IShellFolder> first, second, media;
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, first.PutVoid()), S_OK);
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, second.PutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_STREQ(ItemId::NameOf(static_cast<IExtFolder*>(first.Get())->GetOwnIdList()->List()), "Digital Camera");
    auto removable = ListBytes({"Removable Media"});
    ASSERT_EQ(root->BindToObject(AsList(removable), nullptr, IID_IShellFolder, media.PutVoid()), S_OK);
    EXPECT_NE(media.Get(), first.Get());
    SFGAOF attributes = 0;
    EXPECT_EQ(media->GetAttributesOf(0, nullptr, &attributes), S_OK);
    EXPECT_EQ(attributes, 0xA0000000u);

    struct Refusal { std::vector<std::string> list; const IID* iid; HRESULT result; };
    for (const Refusal& row : {Refusal{{"Digital Camera"}, &IID_IShellView, E_NOINTERFACE},
                               Refusal{{"Floppy"}, &IID_IShellFolder, E_OUTOFMEMORY},
                               Refusal{{"Hard Disk", "C:"}, &IID_IShellFolder, E_NOINTERFACE}}) {
        auto bytes = ListBytes(row.list);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(root->BindToObject(AsList(bytes), nullptr, *row.iid, &out), row.result) << row.list[0];
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(RootFolderTest, InitializeKeepsTheAbsoluteListUntilTheRootGoes) {
    auto root = NewRoot();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(root->CreateViewObject(nullptr, IID_IShellView, &out), E_NOINTERFACE);  // not initialized
    EXPECT_EQ(out, nullptr);
    root.Reset();

    root = InitializedRoot();
    EXPECT_STREQ(ItemId::NameOf(RootAbsoluteList()->List()), "OrvexView");
    auto* ext = static_cast<IExtFolder*>(root.Get());
    EXPECT_EQ(ext->GetOwnIdList()->Size(), 2);
    EXPECT_TRUE(ext->IsReady());
    EXPECT_EQ(root->CreateViewObject(nullptr, IID_IDropTarget, &out), E_NOINTERFACE);
    ComRef<IPersistFolder> persist;
    root->QueryInterface(IID_IPersistFolder, persist.PutVoid());
    IdListHolder other("Elsewhere");
    EXPECT_EQ(persist->Initialize(other.List()), S_OK);
    EXPECT_STREQ(ItemId::NameOf(RootAbsoluteList()->List()), "Elsewhere");
    persist.Reset();
    root.Reset();
    EXPECT_EQ(RootAbsoluteList(), nullptr);
}

TEST(ImageLibraryAccess, LoadedOnceAndNeverUnloaded) {
    ImageLibrary* first = GetImageLibrary();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetImageLibrary(), first);
    HMODULE before = GetModuleHandleA("pixcodec.dll");
    { ImageHolder holder; EXPECT_EQ(holder.Width(), 0); }
    EXPECT_EQ(GetModuleHandleA("pixcodec.dll"), before);
}

}  // namespace
