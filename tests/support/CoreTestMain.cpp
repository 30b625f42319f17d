// Runs tests against the module's code linked into this program, whose
// resources are the module's own.
#include <gtest/gtest.h>
#include <ole2.h>

#include "server/Module.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    theModule.instance = GetModuleHandleA(nullptr);
    ReadProductInfo();
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
