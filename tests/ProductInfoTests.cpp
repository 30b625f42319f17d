#include <gtest/gtest.h>

#include "base/Module.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"

namespace {

// Start-up reads the product strings of the file the class key names.
class ProductInfo : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CLASSES_ROOT, kFolderClassKey); }
    void TearDown() override { ReadProductInfo(); }
};

TEST_F(ProductInfo, ReadFromTheRegisteredModulesVersionBlock) {
    ScopedModuleRegistration registration(BinPath("orvexview.dll"));
    ReadProductInfo();
    EXPECT_EQ(theModule.productName, "OrvexView");
    EXPECT_EQ(theModule.productVersion, "2, 0, 1, 10");
}

TEST_F(ProductInfo, DefaultsWhenTheModuleIsNotRegistered) {
    ReadProductInfo();
    EXPECT_EQ(theModule.productName, "Pictavia Explorer");
    EXPECT_EQ(theModule.productVersion, "1.0");
}

TEST_F(ProductInfo, DefaultsWhenTheNamedFileHasNoVersionBlock) {
    std::string dir = MakeTempDir("orvexinfo");
    std::string plain = dir + "\\plain.dll";
    HANDLE file = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "not a module", 12, &written, nullptr);
    CloseHandle(file);
    {
        ScopedModuleRegistration registration(plain);
        ReadProductInfo();
    }
    DeleteFileA(plain.c_str());
    RemoveDirectoryA(dir.c_str());
    EXPECT_EQ(theModule.productName, "Pictavia Explorer");
    EXPECT_EQ(theModule.productVersion, "1.0");
}

TEST_F(ProductInfo, OnlyAStringValueNamesTheModule) {
    ScopedRegKey server(HKEY_CLASSES_ROOT, std::string(kFolderClassKey) + "\\InprocServer32");
    std::string path = BinPath("orvexview.dll");
    server.SetValue(nullptr, REG_EXPAND_SZ, path.c_str(), static_cast<DWORD>(path.size() + 1));
    ReadProductInfo();
    EXPECT_EQ(theModule.productName, "Pictavia Explorer");
}

}  // namespace
