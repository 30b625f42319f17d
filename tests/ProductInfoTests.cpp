#include <gtest/gtest.h>

#include "base/Module.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"

namespace {

// Start-up reads the product strings of the file the class key names, and
// keeps the defaults for anything else.
TEST(ProductInfo, FromTheRegisteredModuleElseDefaults) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kFolderClassKey);
    std::string plain = MakeTempDir("orvexinfo") + "\\plain.dll";
    HANDLE file = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "not a module", 12, &written, nullptr);
    CloseHandle(file);
    const std::string module = BinPath("orvexview.dll");
    struct Row { const char* what; std::string path; DWORD type; const char* name; const char* version; };
    const Row rows[] = {
        {"registered", module, REG_SZ, "OrvexView", "2, 0, 1, 10"},
        {"not registered", "", 0, "Pictavia Explorer", "1.0"},
        {"no version block", plain, REG_SZ, "Pictavia Explorer", "1.0"},
        {"not a string value", module, REG_EXPAND_SZ, "Pictavia Explorer", "1.0"},
    };
    for (const Row& row : rows) {
        if (row.type) {
            ScopedRegKey server(HKEY_CLASSES_ROOT, std::string(kFolderClassKey) + "\\InprocServer32");
            server.SetValue(nullptr, row.type, row.path.c_str(), DWORD(row.path.size() + 1));
            ReadProductInfo();
        } else {
            ReadProductInfo();
        }
        EXPECT_EQ(theModule.productName, row.name) << row.what;
        EXPECT_EQ(theModule.productVersion, row.version) << row.what;
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kFolderClassKey);
    DeleteFileA(plain.c_str());
    ReadProductInfo();
}

}  // namespace
