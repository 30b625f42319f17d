#include <gtest/gtest.h>

#include <shlwapi.h>

#include "support/CoreFixture.h"
#include "support/IdLists.h"

namespace {

class RootFolderTest : public CoreTest {
protected:
    static SFGAOF Attributes(IShellFolder* root, const std::string& name, SFGAOF in) {
        auto bytes = ListBytes({name});
        LPCITEMIDLIST item = AsList(bytes);
        root->GetAttributesOf(1, &item, &in);
        return in;
    }

    static int IconIndex(IShellFolder* root, const std::string& name, std::string* file = nullptr) {
        auto bytes = ListBytes({name});
        LPCITEMIDLIST item = AsList(bytes);
        ComRef<IExtractIconA> icon;
        EXPECT_EQ(root->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconA, nullptr,
                                      icon.PutVoid()),
                  S_OK);
        char path[MAX_PATH] = {};
        int index = -1;
        UINT flags = 99;
        EXPECT_EQ(icon->GetIconLocation(0, path, MAX_PATH, &index, &flags), S_OK);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(icon->Extract(path, index, nullptr, nullptr, 32), S_FALSE);
        if (file) *file = path;
        return index;
    }
};

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

    for (const IID* refused : {&IID_IPersistFolder2, &IID_IPersistFolder3, &IID_IPersist,
                               &IID_IShellFolder2, &IID_IDropTarget}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(root->QueryInterface(*refused, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(RootFolderTest, AttributesReplaceTheCallersValue) {
    auto root = NewRoot();
    EXPECT_EQ(Attributes(root.Get(), "Digital Camera", 0), 0xE1000000u);
    EXPECT_EQ(Attributes(root.Get(), "Removable Media", 0xFFFFFFFF), 0xE1000000u);
    EXPECT_EQ(Attributes(root.Get(), "Hard Disk", 0xFFFFFFFF), 0x21000000u);
    EXPECT_EQ(Attributes(root.Get(), "hard disk", 0), 0x21000000u);
    EXPECT_EQ(Attributes(root.Get(), "Somewhere", 0x40000000), 0x21000000u);

    SFGAOF untouched = 0x1234;
    EXPECT_EQ(root->GetAttributesOf(0, nullptr, &untouched), S_OK);
    EXPECT_EQ(untouched, 0x1234u);
}

TEST_F(RootFolderTest, DisplayNamesPointIntoTheList) {
    auto root = NewRoot();
    auto one = ListBytes({"Removable Media"});
    auto two = ListBytes({"Digital Camera", "COM1"});
    STRRET name = {};
    ASSERT_EQ(root->GetDisplayNameOf(AsList(one), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(name.uType, static_cast<UINT>(STRRET_OFFSET));
    EXPECT_EQ(name.uOffset, 2u);
    ASSERT_EQ(root->GetDisplayNameOf(AsList(two), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(NameAtOffset(AsList(two), name), "COM1");
    ASSERT_EQ(root->GetDisplayNameOf(AsList(two), SHGDN_INFOLDER, &name), S_OK);
    EXPECT_EQ(NameAtOffset(AsList(two), name), "Digital Camera");

    char text[MAX_PATH];
    ASSERT_EQ(root->GetDisplayNameOf(AsList(one), SHGDN_NORMAL, &name), S_OK);
    ASSERT_EQ(StrRetToBufA(&name, AsList(one), text, MAX_PATH), S_OK);
    EXPECT_STREQ(text, "Removable Media");
}

TEST_F(RootFolderTest, IconsComeFromTheModuleByChild) {
    auto root = NewRoot();
    std::string file;
    EXPECT_EQ(IconIndex(root.Get(), "Digital Camera", &file), 6);
    char self[MAX_PATH];
    GetModuleFileNameA(theModule.instance, self, MAX_PATH);
    EXPECT_EQ(file, self);
    EXPECT_EQ(IconIndex(root.Get(), "Removable Media"), 4);
    EXPECT_EQ(IconIndex(root.Get(), "Hard Disk"), 3);
    EXPECT_EQ(IconIndex(root.Get(), "Elsewhere"), 0);

    auto bytes = ListBytes({"Hard Disk"});
    LPCITEMIDLIST item = AsList(bytes);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(root->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconW, nullptr, &out),
              E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(RootFolderTest, SourceChildrenBindToTheSameFolderEachTime) {
    auto root = NewRoot();
    auto camera = ListBytes({"Digital Camera"});
    ComRef<IShellFolder> first, second;
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, first.PutVoid()), S_OK);
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, second.PutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());

    auto media = ListBytes({"Removable Media"});
    ComRef<IPersistFolder> persist;
    ASSERT_EQ(root->BindToObject(AsList(media), nullptr, IID_IPersistFolder, persist.PutVoid()), S_OK);
    ComRef<IShellFolder> mediaFolder;
    persist->QueryInterface(IID_IShellFolder, mediaFolder.PutVoid());
    EXPECT_NE(mediaFolder.Get(), first.Get());
    SFGAOF attributes = 0;
    EXPECT_EQ(mediaFolder->GetAttributesOf(0, nullptr, &attributes), S_OK);
    EXPECT_EQ(attributes, 0xA0000000u);
}

TEST_F(RootFolderTest, BindRefusalsFollowNameAndInterface) {
    auto root = NewRoot();
    auto camera = ListBytes({"Digital Camera"});
    auto unknown = ListBytes({"Floppy"});
    auto diskTwo = ListBytes({"Hard Disk", "C:"});
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellView, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(root->BindToObject(AsList(unknown), nullptr, IID_IShellFolder, &out), E_OUTOFMEMORY);
    EXPECT_EQ(root->BindToObject(AsList(diskTwo), nullptr, IID_IShellFolder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(RootFolderTest, CompareOrdersByTheItemBytes) {
    auto root = NewRoot();
    auto camera = ListBytes({"Digital Camera"});
    auto disk = ListBytes({"Hard Disk"});
    EXPECT_EQ(root->CompareIDs(0, AsList(camera), AsList(camera)), 0);
    EXPECT_EQ(root->CompareIDs(0, AsList(disk), AsList(camera)), -1);  // shorter first
    EXPECT_EQ(root->CompareIDs(7, AsList(camera), AsList(disk)), 1);
}

TEST_F(RootFolderTest, ViewIsRefusedBeforeInitialize) {
    auto root = NewRoot();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(root->CreateViewObject(nullptr, IID_IShellView, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    root.Reset();
    auto ready = InitializedRoot();
    EXPECT_EQ(ready->CreateViewObject(nullptr, IID_IDropTarget, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(RootFolderTest, InitializeKeepsTheAbsoluteListAndGivesAnEmptyOwnList) {
    auto root = InitializedRoot();
    ASSERT_NE(RootAbsoluteList(), nullptr);
    EXPECT_STREQ(ItemId::NameOf(RootAbsoluteList()->List()), "OrvexView");
    auto* ext = static_cast<IExtFolder*>(root.Get());
    ASSERT_NE(ext->GetOwnIdList(), nullptr);
    EXPECT_EQ(ext->GetOwnIdList()->Size(), 2);
    EXPECT_TRUE(ext->IsReady());

    // Its source folders got the one-item list of their display name.
    auto camera = ListBytes({"Digital Camera"});
    ComRef<IShellFolder> source;
    root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, source.PutVoid());
    IdListHolder* sourceList = static_cast<IExtFolder*>(source.Get())->GetOwnIdList();
    ASSERT_NE(sourceList, nullptr);
    EXPECT_STREQ(ItemId::NameOf(sourceList->List()), "Digital Camera");

    // A second Initialize replaces both lists.
    ComRef<IPersistFolder> persist;
    root->QueryInterface(IID_IPersistFolder, persist.PutVoid());
    IdListHolder other("Elsewhere");
    EXPECT_EQ(persist->Initialize(other.List()), S_OK);
    EXPECT_STREQ(ItemId::NameOf(RootAbsoluteList()->List()), "Elsewhere");
}

TEST_F(RootFolderTest, ANewRootStartsWithoutTheOldAbsoluteList) {
    InitializedRoot().Reset();
    EXPECT_EQ(RootAbsoluteList(), nullptr);
    auto root = InitializedRoot();
    EXPECT_STREQ(ItemId::NameOf(RootAbsoluteList()->List()), "OrvexView");
}

}  // namespace

#include "imaging/ImageLibrary.h"

namespace {

TEST(ImageLibraryAccess, LoadedOnceAndHeldImagesKnowTheirSize) {
    ImageLibrary* first = GetImageLibrary();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetImageLibrary(), first);
    HMODULE before = GetModuleHandleA("pixcodec.dll");
    {
        ImageHolder holder;
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder.Width(), 0);
        EXPECT_EQ(holder.Height(), 0);
    }
    EXPECT_EQ(GetModuleHandleA("pixcodec.dll"), before);  // never unloaded
}

}  // namespace
