// Runs tests against the module's code linked into this program, whose resources are the module's own.
#include <gtest/gtest.h>
#include <ole2.h>

#include "base/Module.h"
#include "support/DialogAnswerer.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    theModule.instance = GetModuleHandleA(nullptr);
    ReadProductInfo();
    // A dialog no test expected is cancelled rather than left waiting forever.
    DialogAnswerer unexpected(IDCANCEL);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
