// The configuration store, driver loading and the camera folders' connection,
// with keys the tests write and the real disk driver; and the "Digital Camera
// Settings" dialog that chooses the camera, driven through its real window.
#include <gtest/gtest.h>

#include <functional>

#include "camera/ConfigStore.h"
#include "camera/SettingsDialog.h"
#include "res/resource.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/FakeCamera.h"
#include "support/IdLists.h"
#include "support/TestCard.h"
#include "support/TestPictures.h"

namespace {

using Texts = std::vector<std::string>;

template <typename Folder, typename... Args>
ComRef<Folder> New(Args... args) { return ComRef<Folder>::Share(new Folder(args...)); }

// An installation's keys: a "Memory Card" model served by the disk driver,
// with serial and parallel lines, a model with a card only, and the disk
// folder's driver.
class Connection : public CoreTest {
protected:
    Connection() {
        viewer_.SetString("Path", BinPath("diskcam.dll"));
        viewer_.SetString("CurrentFolder", card_.SecondFolder());
        remote_.SetString("RemoteConnectionType", "Serial");
        serial_.SetString("Path", "serialcam.dll");
        serial_.SetString("ComPort", "COM2");
        serial_.SetString("ComSpeed", "57600");
        serial_.SetString("SupportedSpeed", "9600,19200,57600");
    }
    TestCard card_;
    CardModelKeys keys_{card_.Root()};
    ScopedRegKey viewer_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("ImageViewer")};
    ScopedRegKey remote_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote")};
    ScopedRegKey serial_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote\\Serial")};
    ScopedRegKey parallel_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Remote\\Parallel")};
    ScopedRegKey cardOnly_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Card Only", "Local")};
};

// A value reads from the user's key when it is text there, else from the machine's, else as its default: text is
// a REG_SZ of at most 1023 characters and its zero. Only a key that neither has is an error.
TEST_F(Connection, DriverTextsAndValuesReadTheUsersThenTheMachinesThenTheDefault) {
    EXPECT_EQ(ConfigStore::DriverText("Remote"), "serialcam.dll,COM2,57600");
    EXPECT_EQ(ConfigStore::DriverText("Local"), BinPath("diskcam.dll") + "," + card_.Root());
    EXPECT_EQ(ConfigStore::DriverText("ImageViewer"), BinPath("diskcam.dll"));
    DWORD number = 7;
    keys_.model->SetValue("Connection", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Memory Card"), "Connection", "dflt"), "dflt");
    ScopedRegKey user(HKEY_CURRENT_USER, ConfigStore::ModelKey("Memory Card"));
    user.SetString("Connection", std::string(1024, 'x'));
    keys_.model->SetString("Connection", std::string(1023, 'x'));
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Memory Card"), "Connection", "dflt"), std::string(1023, 'x'));
    EXPECT_THROW(ConfigStore::Read("Software\\Pictavia\\Missing", "Any"), int);
    keys_.settings->SetString("Camera", "No Such Model");
    EXPECT_THROW(ConfigStore::DriverText("Local"), int);
}

TEST_F(Connection, LoadDriverSplitsPathAndArgument) {
    CameraService* service = LoadDriver("Local");
    ASSERT_TRUE(service);
    service->Refresh();
    EXPECT_EQ(service->GetFolderCount(), 2u);  // the argument named the card root
    service->Destroy(1);
    serial_.SetString("Path", "no-such-driver.dll");
    EXPECT_EQ(LoadDriver("Remote"), nullptr);
    keys_.local->SetString("Path", BinPath("orvexview.dll"));  // no driver export
    EXPECT_EQ(LoadDriver("Local"), nullptr);
}

TEST_F(Connection, ConnectOpensOnceThenOnlyChecks) {
    auto source = New<SourceFolder>("Local");
    auto folder = New<CameraFolder>(source.Get(), "100TEST");
    folder->Connect(true);
    ASSERT_TRUE(folder->IsConnected());
    EXPECT_EQ(folder->GetImageCount(), 3);
    EXPECT_EQ((Texts{folder->GetCameraModel(), folder->GetComPort(), folder->GetConnectionId()}),
              (Texts{"Memory Card", "COM2", card_.Folder()}));
    CameraImage* image = folder->OpenImage("img_0001.jpg");
    folder->Connect(true);
    EXPECT_EQ(folder->OpenImage("img_0001.jpg"), image);  // the same connection still
    std::string pulled = card_.Folder() + "-pulled";
    ASSERT_TRUE(MoveFileA(card_.Folder().c_str(), pulled.c_str()));  // the card is pulled
    folder->Connect(false);
    EXPECT_FALSE(folder->IsConnected());
    EXPECT_EQ(folder->GetImageCount(), 0);
    ASSERT_TRUE(MoveFileA(pulled.c_str(), card_.Folder().c_str()));  // and put back: read again
    folder->Connect(false);
    EXPECT_EQ(folder->GetImageCount(), 3);
}

TEST_F(Connection, DiskFolderUsesTheCurrentFolder) {
    auto hardDisk = ListBytes({"Hard Disk"});
    ComRef<IShellFolder> disk;
    ASSERT_EQ(NewRoot()->BindToObject(AsList(hardDisk), nullptr, IID_IShellFolder, disk.PutVoid()), S_OK);
    auto* folder = static_cast<CameraFolder*>(disk.Get());
    folder->Connect(true);
    ASSERT_TRUE(folder->IsConnected());
    EXPECT_EQ(folder->GetConnectionId(), card_.SecondFolder());
    folder->SetCurrentFolder(card_.Folder());
    folder->Connect(false);
    EXPECT_EQ(folder->GetImageCount(), 3);  // re-opened on the new folder
    folder->SetCurrentFolder(u8"C:\\Фото\\Ålesund 東京\\" + std::string(300, 'n'));  // kept as UTF-16
    std::wstring stored(400, L'\0');
    DWORD size = DWORD(stored.size() * 2);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Pictavia\\Orvex Cameras\\ImageViewer", L"CurrentFolder", RRF_RT_REG_SZ,
                 nullptr, &stored[0], &size);
    EXPECT_EQ(stored.c_str(), L"C:\\Фото\\Ålesund 東京\\" + std::wstring(300, L'n'));
}

TEST_F(Connection, MissingKeysLeaveTheFolderUnconnectedWithoutAMessage) {
    keys_.local->SetString("Path", "C:\\missing\\driver.dll");
    auto source = New<SourceFolder>("Local");
    EXPECT_FALSE(source->IsReady());
    ComRef<IEnumIDList> items;
    source->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put());
    LPITEMIDLIST item = reinterpret_cast<LPITEMIDLIST>(1);
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, &item, &fetched), S_FALSE);
    EXPECT_TRUE(item == nullptr && fetched == 0);
    auto folder = New<CameraFolder>(source.Get(), card_.Folder());
    folder->Connect(true);
    EXPECT_FALSE(folder->IsConnected());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card").c_str());
    folder->Connect(true);
    EXPECT_FALSE(folder->IsConnected());
}

TEST_F(Connection, FolderDropTargetRefusesUntilConnectedAndCopiesOnDrop) {
    auto source = New<SourceFolder>("Local");
    auto folder = New<CameraFolder>(source.Get(), "100TEST");
    ComRef<IDropTarget> target;
    ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IDropTarget, target.PutVoid()), S_OK);
    EXPECT_FALSE(folder->IsConnected());  // no connection for a drop target
    std::string outside = MakeTempDir("drop");
    card_.Write(outside + "\\img_0001.jpg", {0xFF, 0xD8, 0xFF, 0xD9});  // named like a card picture
    card_.Write(outside + "\\readme.txt", {'x'});
    IDataObject* drop = MakeFileDrop({outside + "\\img_0001.jpg", outside + "\\readme.txt"});
    // The effects DragEnter and Drop answer to a copy.
    auto effects = [&] {
        DWORD enter = DROPEFFECT_COPY, dropped = DROPEFFECT_COPY;
        target->DragEnter(drop, 0, {0, 0}, &enter);
        target->Drop(drop, 0, {0, 0}, &dropped);
        return std::vector<DWORD>{enter, dropped};
    };
    EXPECT_EQ(effects(), (std::vector<DWORD>{DROPEFFECT_NONE, DROPEFFECT_NONE}));
    EXPECT_EQ(folder->AcceptData(drop, -1), 1);  // a paste connects first
    EXPECT_TRUE(folder->IsConnected());
    EXPECT_EQ(effects(), (std::vector<DWORD>{DROPEFFECT_COPY, DROPEFFECT_COPY}));
    EXPECT_EQ(folder->GetImageCount(), 5);
    EXPECT_EQ((Texts{folder->GetImageName(3), folder->GetImageName(4)}), (Texts{"img_0001 (2).jpg", "img_0001 (3).jpg"}));
    EXPECT_GT(ReadFileBytes(card_.Folder() + "\\img_0001.jpg").size(), 4u) << "the card's own is kept";
    EXPECT_EQ(New<CameraFolder>(source.Get(), "C:\\nowhere")->AcceptData(drop, -1), -1);
    drop->Release();
    RemoveTree(outside);
}

Texts Entries(HWND dialog, int list) {
    Texts entries(size_t(SendDlgItemMessageA(dialog, list, CB_GETCOUNT, 0, 0)), std::string(128, '\0'));
    for (size_t i = 0; i < entries.size(); ++i) {
        SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, i, LPARAM(entries[i].data()));
        entries[i].resize(strlen(entries[i].c_str()));
    }
    return entries;
}
std::string Current(HWND dialog, int list) {
    LRESULT index = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? "<none>" : Entries(dialog, list)[size_t(index)];
}
bool Enabled(HWND dialog, int control) { return IsWindowEnabled(GetDlgItem(dialog, control)); }
// The control's own visibility (the dialog is not shown yet when it is inspected).
bool Shown(HWND dialog, int control) { return GetWindowLongA(GetDlgItem(dialog, control), GWL_STYLE) & WS_VISIBLE; }

// Picks `text` in a list as a user would, with the change notification.
void Pick(HWND dialog, int list, const std::string& text) {
    SendDlgItemMessageA(dialog, list, CB_SELECTSTRING, WPARAM(-1), LPARAM(text.c_str()));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
}

// Answers the settings dialog with `answer` once `drive` has seen and worked it.
struct Answering : DialogAnswerer {
    Answering(int answer, std::function<void(HWND)> work) : DialogAnswerer(answer), drive(std::move(work)) {
        OnDialog([](HWND dialog, void* self) {
            if (GetDlgItem(dialog, IDC_CAMERA_LIST)) static_cast<Answering*>(self)->drive(dialog);  // not its boxes
        }, this);
    }
    ~Answering() { EXPECT_EQ(Captions().at(0), "Digital Camera Settings"); }
    std::function<void(HWND)> drive;
};

// The installation before a camera is chosen.
class SettingsDialog : public Connection {
protected:
    SettingsDialog() { keys_.settings->SetString("Camera", ""); }
};

TEST_F(SettingsDialog, ThePromptGoesOnceACardModelIsPicked) {
    ScopedRegKey usersOwnModel(HKEY_CURRENT_USER, ConfigStore::ModelKey("Zoom Cam")),
        machineModelTheUserSet(HKEY_CURRENT_USER, ConfigStore::ModelKey("Memory Card"));  // each listed once
    SettingsData data;
    Answering answerer(IDOK, [](HWND dialog) {
        EXPECT_EQ(Entries(dialog, IDC_CAMERA_LIST), (Texts{"< Select Camera >", "Card Only", "Memory Card", "Zoom Cam"}));
        EXPECT_EQ(Current(dialog, IDC_CAMERA_LIST), "< Select Camera >");
        EXPECT_EQ(Entries(dialog, IDC_PORT_LIST), (Texts{"AUTO", "COM1", "COM2", "COM3", "COM4"}));
        EXPECT_FALSE(Enabled(dialog, IDC_REMOTE_GROUP) || Enabled(dialog, IDC_TYPE_LIST));
        Pick(dialog, IDC_CAMERA_LIST, "Card Only");
        EXPECT_EQ(Entries(dialog, IDC_CAMERA_LIST), (Texts{"Card Only", "Memory Card", "Zoom Cam"}));
        EXPECT_FALSE(Enabled(dialog, IDC_REMOTE_GROUP) || Shown(dialog, IDC_SPEED_LIST));
    });
    EXPECT_EQ(RunSettingsDialog(nullptr, data), 1);
    EXPECT_EQ(data.cameraModel, "Card Only");
}

TEST_F(SettingsDialog, ASerialModelOffersItsLinesAndParallelNeedsNoSpeed) {
    SettingsData data{"Memory Card", "COM2", "19200", "Serial", "", ""};
    Answering answerer(IDOK, [](HWND dialog) {
        Texts current;
        for (int list : {IDC_CAMERA_LIST, IDC_TYPE_LIST, IDC_PORT_LIST, IDC_SPEED_LIST})
            current.push_back(Current(dialog, list));
        EXPECT_EQ(current, (Texts{"Memory Card", "Serial", "COM2", "19200"}));
        EXPECT_TRUE(Enabled(dialog, IDC_REMOTE_GROUP) && Shown(dialog, IDC_SPEED_LIST));
        EXPECT_EQ(Entries(dialog, IDC_TYPE_LIST), (Texts{"Parallel", "Serial"}));
        EXPECT_EQ(Entries(dialog, IDC_SPEED_LIST), (Texts{"9600", "19200", "57600"}));
        Pick(dialog, IDC_TYPE_LIST, "Parallel");
        EXPECT_TRUE(!Enabled(dialog, IDC_SPEED_LIST) && Enabled(dialog, IDC_PORT_LIST));
        Pick(dialog, IDC_TYPE_LIST, "Serial");  // the stored line comes back
        EXPECT_TRUE(Enabled(dialog, IDC_SPEED_LIST));
        EXPECT_EQ(Current(dialog, IDC_SPEED_LIST), "57600");
        Pick(dialog, IDC_SPEED_LIST, "9600");
    });
    EXPECT_EQ(RunSettingsDialog(nullptr, data), 1);
    EXPECT_EQ((Texts{data.comPort, data.comSpeed, data.connectionType}), (Texts{"COM2", "9600", "Serial"}));
}

// A first connection without a camera asks; Cancel leaves no camera chosen.
TEST_F(SettingsDialog, FirstConnectWithoutACameraAsksAndCancelLeavesNoConnection) {
    auto source = New<SourceFolder>("Local");
    auto folder = New<CameraFolder>(source.Get(), "C:\\");
    Answering answerer(IDCANCEL, [](HWND dialog) { Pick(dialog, IDC_CAMERA_LIST, "Memory Card"); });
    folder->Connect(true);
    EXPECT_FALSE(folder->IsConnected());
    EXPECT_EQ(ConfigStore::Read(ConfigStore::kSettingsKey, "Camera"), "");
}

// A Wi-Fi camera is reached at the address the user types, which is kept for that user and handed to its driver.
TEST_F(SettingsDialog, ANetworkCameraIsReachedAtTheAddressTheUserTypes) {
    ScopedRegKey model(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Wi-Fi Camera")),
        remote(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Wi-Fi Camera", "Remote")),
        network(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Wi-Fi Camera", "Remote\\Network")),
        serial(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Wi-Fi Camera", "Remote\\Serial"));
    model.SetString("Connection", "Remote");
    remote.SetString("RemoteConnectionType", "Serial");
    network.SetString("Path", BinPath("fakecam.dll"));
    network.SetString("Address", "192.168.1.1");
    Answering answerer(IDOK, [](HWND dialog) {
        Pick(dialog, IDC_CAMERA_LIST, "Wi-Fi Camera");
        EXPECT_FALSE(Shown(dialog, IDC_ADDRESS_EDIT));
        Pick(dialog, IDC_TYPE_LIST, "Network");
        EXPECT_TRUE(Shown(dialog, IDC_ADDRESS_EDIT) && !Shown(dialog, IDC_PORT_LIST) && !Shown(dialog, IDC_SPEED_LIST));
        char shown[64] = {};
        GetDlgItemTextA(dialog, IDC_ADDRESS_EDIT, shown, sizeof shown);
        EXPECT_STREQ(shown, "192.168.1.1");
        SetDlgItemTextA(dialog, IDC_ADDRESS_EDIT, "");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);  // refused with a word; the box is answered
        SetDlgItemTextA(dialog, IDC_ADDRESS_EDIT, "cam.local:15740");
    });
    FakeCameraLibrary camera;
    auto source = New<SourceFolder>("Remote");
    auto folder = New<CameraFolder>(source.Get(), "FAKE");
    folder->Connect(true);
    EXPECT_EQ(answerer.Texts().at(1), "Please enter the camera's host name or IP address.");
    EXPECT_TRUE(folder->IsConnected());
    EXPECT_EQ(camera.Argument(), "cam.local:15740");
    // Kept for the user, over the machine's 192.168.1.1.
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Wi-Fi Camera", "Remote\\Network"), "Address"), "cam.local:15740");
}

}  // namespace
