// The "Digital Camera Settings" dialog, driven through its real window.
#include <gtest/gtest.h>

#include <functional>

#include "camera/ConfigStore.h"
#include "camera/SettingsDialog.h"
#include "res/resource.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/CoreFixture.h"
#include "support/DialogAnswerer.h"
#include "support/ScopedRegistry.h"

namespace {

std::vector<std::string> Entries(HWND dialog, int list) {
    std::vector<std::string> entries;
    LRESULT count = SendDlgItemMessageA(dialog, list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[128] = {};
        SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, i, LPARAM(text));
        entries.push_back(text);
    }
    return entries;
}

std::string Current(HWND dialog, int list) {
    LRESULT index = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return "<none>";
    char text[128] = {};
    SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, index, LPARAM(text));
    return text;
}

bool Enabled(HWND dialog, int control) { return IsWindowEnabled(GetDlgItem(dialog, control)); }
// The control's own visibility (the dialog is not shown yet when it is inspected).
bool Shown(HWND dialog, int control) {
    return GetWindowLongA(GetDlgItem(dialog, control), GWL_STYLE) & WS_VISIBLE;
}

// Picks `text` in a list as a user would, with the change notification.
void Pick(HWND dialog, int list, const std::string& text) {
    SendDlgItemMessageA(dialog, list, CB_SELECTSTRING, WPARAM(-1), LPARAM(text.c_str()));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
}

// Two models besides the disk folder's: a card-only one and a serial camera
// with both line types.
struct TwoModels {
    TwoModels() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia"); }
    ~TwoModels() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia"); }
};

class SettingsDialog : public CoreTest, TwoModels {
protected:
    SettingsDialog() {
        remote_.SetString("RemoteConnectionType", "Serial");
        serial_.SetString("SupportedSpeed", "9600,19200,57600");
        serial_.SetString("ComPort", "COM3");
        serial_.SetString("ComSpeed", "19200");
    }

    // Runs the dialog; `drive` sees and works it before `answer` ends it.
    INT_PTR Run(SettingsData& data, int answer, std::function<void(HWND)> drive) {
        DialogAnswerer answerer(answer);
        answerer.OnDialog([](HWND dialog, void* context) { (*static_cast<std::function<void(HWND)>*>(context))(dialog); },
                          &drive);
        INT_PTR result = RunSettingsDialog(nullptr, data);
        EXPECT_EQ(answerer.Captions(), std::vector<std::string>{"Digital Camera Settings"});
        return result;
    }

    ScopedRegKey settings_{HKEY_LOCAL_MACHINE, ConfigStore::kSettingsKey};
    ScopedRegKey viewer_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("ImageViewer")};  // not a camera to pick
    ScopedRegKey card_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Card Only", "Local")};
    ScopedRegKey parallel_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote\\Parallel")};
    ScopedRegKey serial_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote\\Serial")};
    ScopedRegKey remote_{HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Serial Cam", "Remote")};
};

TEST_F(SettingsDialog, ThePromptGoesOnceACardModelIsPicked) {
    SettingsData data;
    INT_PTR result = Run(data, IDOK, [](HWND dialog) {
        EXPECT_EQ(Entries(dialog, IDC_CAMERA_LIST),
                  (std::vector<std::string>{"< Select Camera >", "Card Only", "Serial Cam"}));
        EXPECT_EQ(Current(dialog, IDC_CAMERA_LIST), "< Select Camera >");
        EXPECT_EQ(Entries(dialog, IDC_PORT_LIST), (std::vector<std::string>{"AUTO", "COM1", "COM2", "COM3", "COM4"}));
        EXPECT_FALSE(Enabled(dialog, IDC_REMOTE_GROUP));
        EXPECT_FALSE(Enabled(dialog, IDC_TYPE_LIST));
        Pick(dialog, IDC_CAMERA_LIST, "Card Only");
        EXPECT_EQ(Entries(dialog, IDC_CAMERA_LIST), (std::vector<std::string>{"Card Only", "Serial Cam"}));
        EXPECT_FALSE(Enabled(dialog, IDC_REMOTE_GROUP));
        EXPECT_FALSE(Shown(dialog, IDC_SPEED_LIST));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(data.cameraModel, "Card Only");
}

TEST_F(SettingsDialog, ASerialModelOffersItsLinesAndParallelNeedsNoSpeed) {
    SettingsData data{"Serial Cam", "COM3", "57600", "Serial", ""};
    INT_PTR result = Run(data, IDOK, [](HWND dialog) {
        EXPECT_EQ(Current(dialog, IDC_CAMERA_LIST), "Serial Cam");
        EXPECT_TRUE(Enabled(dialog, IDC_REMOTE_GROUP));
        EXPECT_TRUE(Shown(dialog, IDC_SPEED_LIST));
        EXPECT_EQ(Entries(dialog, IDC_TYPE_LIST), (std::vector<std::string>{"Parallel", "Serial"}));
        EXPECT_EQ(Current(dialog, IDC_TYPE_LIST), "Serial");
        EXPECT_EQ(Entries(dialog, IDC_SPEED_LIST), (std::vector<std::string>{"9600", "19200", "57600"}));
        EXPECT_EQ(Current(dialog, IDC_SPEED_LIST), "57600");
        EXPECT_EQ(Current(dialog, IDC_PORT_LIST), "COM3");
        Pick(dialog, IDC_TYPE_LIST, "Parallel");
        EXPECT_FALSE(Enabled(dialog, IDC_SPEED_LIST));
        EXPECT_TRUE(Enabled(dialog, IDC_PORT_LIST));
        Pick(dialog, IDC_TYPE_LIST, "Serial");  // the stored line comes back
        EXPECT_TRUE(Enabled(dialog, IDC_SPEED_LIST));
        EXPECT_EQ(Current(dialog, IDC_SPEED_LIST), "19200");
        Pick(dialog, IDC_SPEED_LIST, "9600");
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(data.comPort, "COM3");
    EXPECT_EQ(data.comSpeed, "9600");
    EXPECT_EQ(data.connectionType, "Serial");
}

TEST_F(SettingsDialog, CancelChangesNothing) {
    SettingsData data{"Card Only", "COM2", "9600", "", ""};
    SettingsData before = data;
    INT_PTR result = Run(data, IDCANCEL, [](HWND dialog) { Pick(dialog, IDC_CAMERA_LIST, "Serial Cam"); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(data.cameraModel, before.cameraModel);
    EXPECT_EQ(data.comSpeed, before.comSpeed);
}

TEST_F(SettingsDialog, FirstConnectWithoutACameraAsksAndCancelLeavesNoConnection) {
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Local"));
    ComRef<CameraFolder> folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), "C:\\"));
    DialogAnswerer answerer(IDCANCEL);
    folder->Connect(true);
    EXPECT_EQ(answerer.Captions(), std::vector<std::string>{"Digital Camera Settings"});
    EXPECT_FALSE(folder->IsConnected());
    EXPECT_EQ(ConfigStore::Read(ConfigStore::kSettingsKey, "Camera"), "");
}

TEST_F(SettingsDialog, OkInEditSettingsSavesTheChoice) {
    ComRef<SourceFolder> source = ComRef<SourceFolder>::Share(new SourceFolder("Remote"));
    ComRef<CameraFolder> folder = ComRef<CameraFolder>::Share(new CameraFolder(source.Get(), "COM"));
    DialogAnswerer answerer(IDOK);
    answerer.OnDialog([](HWND dialog, void*) {
        Pick(dialog, IDC_CAMERA_LIST, "Serial Cam");
        Pick(dialog, IDC_PORT_LIST, "COM4");
    }, nullptr);
    EXPECT_EQ(folder->EditSettings(nullptr), 1);
    EXPECT_EQ(ConfigStore::Read(ConfigStore::kSettingsKey, "Camera"), "Serial Cam");
    EXPECT_EQ(ConfigStore::Read(ConfigStore::ModelKey("Serial Cam", "Remote\\Serial"), "ComPort"), "COM4");
    EXPECT_EQ(folder->GetComPort(), "COM4");
}

}  // namespace
