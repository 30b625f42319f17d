// shell32 itself reaches the root through the registry.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "server/ComObject.h"
#include "support/ModuleLibrary.h"
#include "support/ScopedRegistry.h"

namespace {

std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
    STRRET name = {};
    if (FAILED(folder->GetDisplayNameOf(item, flags, &name))) return "<failed>";
    char text[MAX_PATH] = {};
    StrRetToBufA(&name, item, text, MAX_PATH);
    return text;
}

class ShellNamespace : public testing::Test {
protected:
    ComRef<IShellFolder> BindRoot() {
        ComRef<IShellFolder> desktop;
        EXPECT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
        wchar_t path[] = L"::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}";
        LPITEMIDLIST absolute = nullptr;
        EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, path, nullptr, &absolute, nullptr),
                  S_OK);
        ComRef<IShellFolder> root;
        EXPECT_EQ(desktop->BindToObject(absolute, nullptr, IID_IShellFolder, root.PutVoid()), S_OK);
        CoTaskMemFree(absolute);
        return root;
    }

    ScopedModuleRegistration registration_{BinPath("orvexview.dll")};
};

TEST_F(ShellNamespace, DesktopBindsToTheRootAndListsTheSources) {
    ComRef<IShellFolder> root = BindRoot();
    ASSERT_TRUE(root);
    ComRef<IEnumIDList> items;
    ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.Put()), S_OK);
    std::vector<std::string> names;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) {
        names.push_back(DisplayName(root.Get(), item, SHGDN_INFOLDER));
        CoTaskMemFree(item);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Digital Camera", "Removable Media", "Hard Disk"}));
}

TEST_F(ShellNamespace, ShellSeesTheRootsClassAndAttributes) {
    ComRef<IShellFolder> root = BindRoot();
    ASSERT_TRUE(root);
    ComRef<IPersist> persist;
    // The shell wrapped nothing: the folder is the module's own object.
    ComRef<IPersistFolder> persistFolder;
    ASSERT_EQ(root->QueryInterface(IID_IPersistFolder, persistFolder.PutVoid()), S_OK);
    CLSID clsid = {};
    persistFolder->GetClassID(&clsid);
    EXPECT_TRUE(IsEqualCLSID(clsid, kFolderClass));

    ComRef<IEnumIDList> items;
    root->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST first = nullptr;
    ASSERT_EQ(items->Next(1, &first, nullptr), S_OK);
    LPCITEMIDLIST child = first;
    SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    EXPECT_EQ(root->GetAttributesOf(1, &child, &attributes), S_OK);
    EXPECT_EQ(attributes, 0xE1000000u);
    CoTaskMemFree(first);
}

}  // namespace
