#pragma once
#include <gtest/gtest.h>

#include "base/Module.h"
#include "server/ClassFactory.h"
#include "server/RootFolder.h"

// Every scenario must leave the module's object count where it found it.
class CoreTest : public testing::Test {
public:
    // The root folder's folder face, as the class factory hands it out.
    static ComRef<IShellFolder> NewRoot() {
        ComRef<IClassFactory> factory;
        HandOut(new ClassFactory, IID_IClassFactory, factory.PutVoid());
        ComRef<IShellFolder> root;
        factory->CreateInstance(nullptr, IID_IShellFolder, root.PutVoid());
        return root;
    }

    static ComRef<IShellFolder> InitializedRoot() {
        ComRef<IShellFolder> root = NewRoot();
        ComRef<IPersistFolder> persist;
        root->QueryInterface(IID_IPersistFolder, persist.PutVoid());
        IdListHolder absolute("OrvexView");
        persist->Initialize(absolute.List());
        return root;
    }

protected:
    void SetUp() override { startCount_ = theModule.objectCount; }
    void TearDown() override {  // a loader the test left finishes on its own first (a dead line's handshake: seconds)
        for (int i = 0; i < 300 && theModule.objectCount != startCount_; ++i) Sleep(30);
        EXPECT_EQ(theModule.objectCount, startCount_) << "objects leaked";
    }

    LONG startCount_ = 0;
};
