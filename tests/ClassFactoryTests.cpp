#include <gtest/gtest.h>
#include <shlobj.h>

#include <set>

#include "base/ComObject.h"
#include "support/ModuleLibrary.h"

namespace {

class ClassFactoryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll_.module, nullptr);
        ASSERT_NE(dll_.getClassObject, nullptr);
        ASSERT_NE(dll_.canUnloadNow, nullptr);
    }
    // Every scenario ends with nothing left alive in the module.
    void TearDown() override { EXPECT_EQ(dll_.canUnloadNow(), S_OK); }

    ComRef<IClassFactory> Factory() {
        ComRef<IClassFactory> factory;
        EXPECT_EQ(dll_.getClassObject(kFolderClass, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    ModuleLibrary dll_;
};

TEST_F(ClassFactoryTest, OtherClassesGetEFailAndNothing) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll_.getClassObject(kSecondClass, IID_IClassFactory, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll_.getClassObject(CLSID_ShellDesktop, IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassFactoryTest, UnsupportedFactoryInterfaceLeavesNoFactoryBehind) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll_.getClassObject(kFolderClass, IID_IShellFolder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassFactoryTest, EachCallMakesANewFactoryThatKeepsTheModuleLoaded) {
    ComRef<IUnknown> first, second;
    ASSERT_EQ(dll_.getClassObject(kFolderClass, IID_IUnknown, first.PutVoid()), S_OK);
    ASSERT_EQ(dll_.getClassObject(kFolderClass, IID_IUnknown, second.PutVoid()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
}

TEST_F(ClassFactoryTest, CreateInstanceHandsOutTheSingleRoot) {
    auto factory = Factory();
    ComRef<IShellFolder> folder, again;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, again.PutVoid()), S_OK);
    EXPECT_EQ(folder.Get(), again.Get());

    ComRef<IPersistFolder> persist;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, persist.PutVoid()), S_OK);
    ComRef<IShellFolder> viaPersist;
    persist->QueryInterface(IID_IShellFolder, viaPersist.PutVoid());
    EXPECT_EQ(viaPersist.Get(), folder.Get());

    ComRef<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.PutVoid()), S_OK);
    ComRef<IShellFolder> viaUnknown;
    unknown->QueryInterface(IID_IShellFolder, viaUnknown.PutVoid());
    EXPECT_EQ(viaUnknown.Get(), folder.Get());
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);  // the root still lives
}

TEST_F(ClassFactoryTest, CreateInstanceRefusals) {
    auto factory = Factory();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IShellFolder,
                                      &out),
              CLASS_E_NOAGGREGATION);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellView, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComRef<IUnknown> asUnknown;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, asUnknown.PutVoid()), S_OK);
    EXPECT_EQ(factory->QueryInterface(IID_IShellFolder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassFactoryTest, LockServerHoldsTheModule) {
    auto factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, RootKeepsTheModuleUntilItsLastReference) {
    ComRef<IEnumIDList> items;
    {
        ComRef<IShellFolder> folder;
        Factory()->CreateInstance(nullptr, IID_IShellFolder, folder.PutVoid());
        folder->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    }
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);  // the enumerator holds the root
    items.Reset();
}

// The module file itself: two named exports, and imports from system DLLs only.
class ModuleImage : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll_.module, nullptr); }

    template <class T>
    T* At(DWORD rva) {
        return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(dll_.module) + rva);
    }
    IMAGE_DATA_DIRECTORY Directory(int entry) {
        auto* dos = At<IMAGE_DOS_HEADER>(0);
        auto* nt = At<IMAGE_NT_HEADERS64>(dos->e_lfanew);
        return nt->OptionalHeader.DataDirectory[entry];
    }

    ModuleLibrary dll_;
};

TEST_F(ModuleImage, ExportsOnlyTheTwoComEntryPoints) {
    auto* exports = At<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
    std::set<std::string> names;
    auto* nameRvas = At<DWORD>(exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(At<char>(nameRvas[i]));
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
}

TEST_F(ModuleImage, ImportsOnlySystemLibraries) {
    const std::set<std::string> system = {
        "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",    "kernel32.dll",
        "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "shell32.dll",  "shlwapi.dll",
        "user32.dll",   "version.dll",  "winspool.drv", "windowscodecs.dll"};
    auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
    int count = 0;
    for (; import->Name; ++import, ++count) {
        std::string name = At<char>(import->Name);
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(system.count(name)) << name;
    }
    EXPECT_GT(count, 0);
}

}  // namespace
