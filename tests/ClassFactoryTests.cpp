// The built module through its two exports, as a shell loads it.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <set>

#include "base/ComObject.h"
#include "support/ModuleLibrary.h"

namespace {

class ClassFactoryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll_.getClassObject, nullptr); }
    // Every scenario ends with nothing left alive in the module.
    void TearDown() override { EXPECT_EQ(dll_.canUnloadNow(), S_OK); }

    ComRef<IClassFactory> Factory() {
        ComRef<IClassFactory> factory;
        EXPECT_EQ(dll_.getClassObject(kFolderClass, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    ModuleLibrary dll_;
};

TEST_F(ClassFactoryTest, RefusalsLeaveNothingBehind) {
    struct Row { const CLSID* clsid; const IID* iid; HRESULT result; };
    for (const Row& row : {Row{&kSecondClass, &IID_IClassFactory, E_FAIL}, Row{&CLSID_ShellDesktop, &IID_IUnknown, E_FAIL},
                           Row{&kFolderClass, &IID_IShellFolder, E_NOINTERFACE}}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(dll_.getClassObject(*row.clsid, *row.iid, &out), row.result);
        EXPECT_EQ(out, nullptr);
    }
    auto factory = Factory();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IShellFolder, &out), CLASS_E_NOAGGREGATION);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellView, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IShellFolder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

// Factories, the one root, its enumerators and locks all keep the module loaded.
TEST_F(ClassFactoryTest, EverythingHandedOutKeepsTheModuleLoaded) {
    ComRef<IUnknown> first, second;
    ASSERT_EQ(dll_.getClassObject(kFolderClass, IID_IUnknown, first.PutVoid()), S_OK);
    ASSERT_EQ(dll_.getClassObject(kFolderClass, IID_IUnknown, second.PutVoid()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
    first.Reset(), second.Reset();

    auto factory = Factory();
    ComRef<IShellFolder> folder, again, viaPersist;
    ComRef<IPersistFolder> persist;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, again.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, persist.PutVoid()), S_OK);
    persist->QueryInterface(IID_IShellFolder, viaPersist.PutVoid());
    EXPECT_EQ(folder.Get(), again.Get());
    EXPECT_EQ(viaPersist.Get(), folder.Get());
    ComRef<IEnumIDList> items;
    folder->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    folder.Reset(), again.Reset(), viaPersist.Reset(), persist.Reset();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);  // the lock and the enumerator's root
    Factory()->LockServer(FALSE);
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
    items.Reset();
}

// The module file itself: two named exports, and imports from system DLLs only.
TEST_F(ClassFactoryTest, ExportsTwoEntriesAndImportsOnlySystemLibraries) {
    auto at = [&](DWORD rva) { return reinterpret_cast<BYTE*>(dll_.module) + rva; };
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(at(reinterpret_cast<IMAGE_DOS_HEADER*>(at(0))->e_lfanew));
    auto directory = [&](int entry) { return nt->OptionalHeader.DataDirectory[entry].VirtualAddress; };
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(at(directory(IMAGE_DIRECTORY_ENTRY_EXPORT)));
    std::set<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<char*>(at(reinterpret_cast<DWORD*>(at(exports->AddressOfNames))[i])));
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
    EXPECT_EQ(exports->NumberOfFunctions, 2u);

    const std::set<std::string> system = {
        "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
        "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "version.dll", "winspool.drv", "windowscodecs.dll"};
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(at(directory(IMAGE_DIRECTORY_ENTRY_IMPORT)));
    ASSERT_NE(import->Name, 0u);
    for (; import->Name; ++import) {
        std::string name = reinterpret_cast<char*>(at(import->Name));
        for (char& c : name) c = char(tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(system.count(name)) << name;
    }
}

}  // namespace
