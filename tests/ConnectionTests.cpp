// The configuration store, driver loading and the camera folders' connection,
// with registry keys the tests write and the real disk driver.
#include <gtest/gtest.h>

#include "camera/ConfigStore.h"
#include "camera/FolderConnection.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/IdLists.h"
#include "support/ScopedRegistry.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"

namespace {

// An installation's keys: a "Memory Card" model served by the disk driver,
// with a serial line, and the disk folder's driver.
struct Installation : CardModelKeys {
    explicit Installation(const std::string& cardRoot) : CardModelKeys(cardRoot) {
        viewer_.SetString("Path", BinPath("diskcam.dll"));
        viewer_.SetString("CurrentFolder", cardRoot + "\\DCIM\\101TEST");
        remote_.SetString("RemoteConnectionType", "Serial");
        serial_.SetString("Path", "serialcam.dll");
        serial_.SetString("ComPort", "COM2");
        serial_.SetString("ComSpeed", "57600");
    }
    ScopedRegKey viewer_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("ImageViewer")};
    ScopedRegKey remote_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote")};
    ScopedRegKey serial_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote\\Serial")};
};

class Connection : public CoreTest {
protected:
    TestCard card_;
    Installation installation_{card_.Root()};
};

TEST_F(Connection, DriverTextsAndValuesThatReadAsDefaults) {
    EXPECT_EQ(ConfigStore::DriverText("Remote"), "serialcam.dll,COM2,57600");
    EXPECT_EQ(ConfigStore::DriverText("Local"), BinPath("diskcam.dll") + "," + card_.Root());
    EXPECT_EQ(ConfigStore::DriverText("ImageViewer"), BinPath("diskcam.dll"));
    DWORD number = 7;
    installation_.model->SetValue("Connection", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Memory Card"), "Connection", "dflt"), "dflt");
    installation_.model->SetString("Connection", std::string(300, 'x'));
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Memory Card"), "Connection", "dflt"), "dflt");
    EXPECT_THROW(ConfigStore::Read("Software\\Pictavia\\Missing", "Any"), int);
    installation_.settings->SetString("Camera", "No Such Model");
    EXPECT_THROW(ConfigStore::DriverText("Local"), int);
}

TEST_F(Connection, LoadDriverSplitsPathAndArgument) {
    HMODULE module = nullptr;
    CameraService* service = LoadDriver("Local", &module);
    ASSERT_NE(service, nullptr);
    EXPECT_NE(module, nullptr);
    service->Refresh();
    EXPECT_EQ(service->GetFolderCount(), 2u);  // the argument named the card root
    service->Destroy(1);
    FreeLibrary(module);

    installation_.serial_.SetString("Path", "no-such-driver.dll");
    EXPECT_EQ(LoadDriver("Remote", &module), nullptr);  // no such library
    EXPECT_EQ(module, nullptr);
    installation_.local->SetString("Path", BinPath("orvexview.dll"));  // no driver export
    EXPECT_EQ(LoadDriver("Local", &module), nullptr);
    EXPECT_EQ(module, nullptr);
}

TEST_F(Connection, SourceFolderListsTheCardAndBindsCameraFolders) {
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    EXPECT_TRUE(source->IsReady());
    ComRef<IEnumIDList> items;
    ASSERT_EQ(source->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put()), S_OK);
    std::vector<std::string> names;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) {
        names.push_back(ItemId::NameOf(item));
        CoTaskMemFree(item);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"100TEST", "101TEST"}));
    ComRef<IEnumIDList> pictures;  // pictures are not items of the namespace
    ASSERT_EQ(source->EnumObjects(nullptr, SHCONTF_NONFOLDERS, pictures.Put()), S_OK);
    item = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(pictures->Next(1, &item, nullptr), S_FALSE);
    EXPECT_EQ(item, reinterpret_cast<LPITEMIDLIST>(1));

    auto folderItem = ListBytes({"100TEST"});
    ComRef<IShellFolder> first, second;
    ASSERT_EQ(source->BindToObject(AsList(folderItem), nullptr, IID_IShellFolder, first.PutVoid()), S_OK);
    ASSERT_EQ(source->BindToObject(AsList(folderItem), nullptr, IID_IShellFolder, second.PutVoid()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
}

TEST_F(Connection, ConnectOpensOnceThenOnlyChecks) {
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    ComRef<CameraFolder> folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), "100TEST"));
    folder->Connect(true);
    ASSERT_TRUE(folder->IsConnected());
    EXPECT_EQ(folder->GetImageCount(), 3);
    EXPECT_EQ(folder->GetCameraModel(), "Memory Card");
    EXPECT_EQ(folder->GetComPort(), "COM2");
    EXPECT_EQ(folder->GetConnectionId(), card_.Folder());
    CameraImage* image = folder->OpenImage("img_0001.jpg");
    folder->Connect(true);
    EXPECT_EQ(folder->OpenImage("img_0001.jpg"), image);  // the same connection still

    RemoveTree(card_.Folder());  // the card is pulled
    folder->Connect(false);
    EXPECT_FALSE(folder->IsConnected());
    EXPECT_EQ(folder->GetImageCount(), 0);
}

TEST_F(Connection, DiskFolderUsesTheCurrentFolder) {
    auto camera = ListBytes({"Hard Disk"});
    auto root = NewRoot();
    ComRef<IShellFolder> disk, again;
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, disk.PutVoid()), S_OK);
    ASSERT_EQ(root->BindToObject(AsList(camera), nullptr, IID_IShellFolder, again.PutVoid()), S_OK);
    EXPECT_NE(disk.Get(), again.Get());
    auto* folder = static_cast<CameraFolder*>(disk.Get());
    EXPECT_EQ(folder->GetKind(), "Viewer");
    folder->Connect(true);
    ASSERT_TRUE(folder->IsConnected());
    EXPECT_EQ(folder->GetConnectionId(), card_.SecondFolder());
    folder->SetCurrentFolder(card_.Folder());
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("ImageViewer"), "CurrentFolder"), card_.Folder());
    folder->Connect(false);
    EXPECT_EQ(folder->GetImageCount(), 3);  // re-opened on the new folder
}

TEST_F(Connection, MissingKeysLeaveTheFolderUnconnectedWithoutAMessage) {
    installation_.local->SetString("Path", "C:\\missing\\driver.dll");
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    EXPECT_FALSE(source->IsReady());
    ComRef<IEnumIDList> items;
    source->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST item = reinterpret_cast<LPITEMIDLIST>(1);
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(fetched, 0u);
    ComRef<CameraFolder> folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), card_.Folder()));
    folder->Connect(true);
    EXPECT_FALSE(folder->IsConnected());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card").c_str());
    folder->Connect(true);
    EXPECT_FALSE(folder->IsConnected());
}

TEST_F(Connection, FolderDropTargetRefusesUntilConnectedAndCopiesOnDrop) {
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    ComRef<CameraFolder> folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), "100TEST"));
    ComRef<IDropTarget> target;
    ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IDropTarget, target.PutVoid()), S_OK);
    EXPECT_FALSE(folder->IsConnected());  // no connection for a drop target

    std::string outside = MakeTempDir("drop");
    card_.Write(outside + "\\extra.jpg", {0xFF, 0xD8, 0xFF, 0xD9});
    IDataObject* drop = MakeFileDrop({outside + "\\extra.jpg"});
    DWORD effect = DROPEFFECT_COPY;
    POINTL point = {0, 0};
    target->DragEnter(drop, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    target->Drop(drop, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));

    EXPECT_EQ(folder->AcceptData(drop, -1), 1);  // a paste connects first
    EXPECT_TRUE(folder->IsConnected());
    target->DragEnter(drop, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    target->DragOver(0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    target->Drop(drop, 0, point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(folder->GetImageCount(), 5);
    ComRef<CameraFolder> nowhere = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), "C:\\nowhere"));
    EXPECT_EQ(nowhere->AcceptData(drop, -1), -1);
    drop->Release();
    RemoveTree(outside);
}

}  // namespace
