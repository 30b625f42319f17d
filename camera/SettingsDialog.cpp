#include "camera/SettingsDialog.h"

#include <algorithm>
#include <vector>

#include "base/Module.h"
#include "base/WideText.h"
#include "res/resource.h"

using ConfigStore::ModelKey;

namespace {

const char kSelectCamera[] = "< Select Camera >";
const int kRemoteControls[] = {IDC_REMOTE_GROUP, IDC_PORT_LABEL, IDC_SPEED_LABEL,   IDC_TYPE_LABEL,   IDC_TYPE_LIST,
                               IDC_PORT_LIST,    IDC_SPEED_LIST, IDC_ADDRESS_LABEL, IDC_ADDRESS_EDIT};

LRESULT Send(HWND dialog, int list, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageW(dialog, list, message, wParam, lParam);
}

void Append(HWND dialog, int list, const std::string& text, WPARAM at = WPARAM(-1)) {
    Send(dialog, list, CB_INSERTSTRING, at, LPARAM(Widen(text).c_str()));
}

void Select(HWND dialog, int list, const std::string& text) {
    Send(dialog, list, CB_SELECTSTRING, WPARAM(-1), LPARAM(Widen(text).c_str()));
}

std::string ItemText(HWND dialog, int list, LRESULT index) {
    LRESULT length = Send(dialog, list, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length < 0) return "";
    std::wstring text(size_t(length) + 1, L'\0');
    Send(dialog, list, CB_GETLBTEXT, WPARAM(index), LPARAM(&text[0]));
    return Narrow(text.c_str());
}

std::string Selected(HWND dialog, int list) {
    LRESULT index = Send(dialog, list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? "" : ItemText(dialog, list, index);
}

bool HasSelection(HWND dialog, int list) { return Send(dialog, list, CB_GETCURSEL, 0, 0) != CB_ERR; }

void Enable(HWND dialog, int control, bool enable) {
    EnableWindow(GetDlgItem(dialog, control), enable);
}

void EnableRemote(HWND dialog, bool enable) {
    for (int control : kRemoteControls) Enable(dialog, control, enable);
}

// The subkey names of `key` the user and the machine know; none when neither has it.
std::vector<std::string> Subkeys(const std::string& key) {
    try {
        return UserSettings::Subkeys(key);
    } catch (int) {
        return {};
    }
}

bool HasRemote(const std::string& model) {
    std::vector<std::string> parts = Subkeys(ModelKey(model));
    return std::find(parts.begin(), parts.end(), "Remote") != parts.end();
}

// Enables the remote group and lists the model's connection types.
void ShowRemote(HWND dialog, const std::string& model) {
    EnableRemote(dialog, true);
    Send(dialog, IDC_TYPE_LIST, CB_RESETCONTENT, 0, 0);
    for (const std::string& type : Subkeys(ModelKey(model, "Remote"))) Append(dialog, IDC_TYPE_LIST, type);
}

void FillSpeeds(HWND dialog, const std::string& model) {
    std::string speeds;
    try {
        speeds = ConfigStore::Read(ModelKey(model, "Remote\\Serial"), "SupportedSpeed", "No Value");
    } catch (int) {
    }
    Send(dialog, IDC_SPEED_LIST, CB_RESETCONTENT, 0, 0);
    int show = speeds.empty() ? SW_HIDE : SW_SHOW;
    ShowWindow(GetDlgItem(dialog, IDC_SPEED_LABEL), show);
    ShowWindow(GetDlgItem(dialog, IDC_SPEED_LIST), show);
    if (speeds.empty()) return;
    if (speeds == "No Value") {
        for (const char* speed : {"115200", "57600", "38400", "19200", "9600"})
            Append(dialog, IDC_SPEED_LIST, speed);
    } else {
        size_t start = 0, separator;
        while ((separator = speeds.find_first_not_of("0123456789", start)) != std::string::npos) {
            Append(dialog, IDC_SPEED_LIST, speeds.substr(start, separator - start));
            start = separator + 1;
        }
        Append(dialog, IDC_SPEED_LIST, speeds.substr(start));
    }
    Select(dialog, IDC_SPEED_LIST, "115200");
}

void SelectStoredSerial(HWND dialog, const std::string& model) {
    std::string port = "AUTO", speed = "19200";
    try {
        std::string key = ModelKey(model, "Remote\\Serial");
        port = ConfigStore::Read(key, "ComPort", "AUTO");
        speed = ConfigStore::Read(key, "ComSpeed", "19200");
    } catch (int) {
    }
    Select(dialog, IDC_PORT_LIST, port);
    Select(dialog, IDC_SPEED_LIST, speed);
}

void Show(HWND dialog, int control, bool show) { ShowWindow(GetDlgItem(dialog, control), show ? SW_SHOW : SW_HIDE); }

// A network camera is reached at an address typed where the port and speed lists are; the speeds stay hidden
// for a model that lists none.
void ShowAddress(HWND dialog, bool network) {
    Show(dialog, IDC_ADDRESS_LABEL, network);
    Show(dialog, IDC_ADDRESS_EDIT, network);
    Show(dialog, IDC_PORT_LABEL, !network);
    Show(dialog, IDC_PORT_LIST, !network);
    bool speeds = Send(dialog, IDC_SPEED_LIST, CB_GETCOUNT, 0, 0) > 0;
    Show(dialog, IDC_SPEED_LABEL, !network && speeds);
    Show(dialog, IDC_SPEED_LIST, !network && speeds);
}

// The address the user gave (`given`), else the stored one.
void FillAddress(HWND dialog, const std::string& model, const std::string& type, const std::string& given = "") {
    std::string address = given;
    try {
        if (address.empty()) address = ConfigStore::Read(ModelKey(model, "Remote\\" + type), "Address");
    } catch (int) {
    }
    SetDlgItemTextW(dialog, IDC_ADDRESS_EDIT, Widen(address).c_str());
}

std::string AddressText(HWND dialog) {
    std::wstring text(1024, L'\0');
    text.resize(size_t(GetDlgItemTextW(dialog, IDC_ADDRESS_EDIT, &text[0], int(text.size()))));
    return Narrow(text.c_str());
}

bool NetworkChosen(HWND dialog) {
    return IsWindowEnabled(GetDlgItem(dialog, IDC_TYPE_LIST)) &&
           ConfigStore::IsNetworkType(Selected(dialog, IDC_CAMERA_LIST), Selected(dialog, IDC_TYPE_LIST));
}

// Enables the port and speed lists, or shows the address, as the connection type wants them.
void ApplyType(HWND dialog, const std::string& model, const std::string& type) {
    ShowAddress(dialog, ConfigStore::IsNetworkType(model, type));
    if (type == "Serial") return;
    Enable(dialog, IDC_SPEED_LIST, false);
    if (type != "Parallel") Enable(dialog, IDC_PORT_LIST, false);
}

void OnInit(HWND dialog, SettingsData* data) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
    for (const std::string& name : Subkeys(ConfigStore::kCamerasKey))
        if (name != ConfigStore::kImageViewer) Append(dialog, IDC_CAMERA_LIST, name);
    for (const char* port : {"AUTO", "COM1", "COM2", "COM3", "COM4"}) Append(dialog, IDC_PORT_LIST, port);
    Select(dialog, IDC_PORT_LIST, data->comPort);
    FillSpeeds(dialog, data->cameraModel);
    Select(dialog, IDC_SPEED_LIST, data->comSpeed);
    if (!data->cameraModel.empty()) {
        Select(dialog, IDC_CAMERA_LIST, data->cameraModel);
    } else {
        Append(dialog, IDC_CAMERA_LIST, kSelectCamera, 0);
        Send(dialog, IDC_CAMERA_LIST, CB_SETCURSEL, 0, 0);
    }
    if (!HasRemote(data->cameraModel)) return;
    ShowRemote(dialog, data->cameraModel);
    Select(dialog, IDC_TYPE_LIST, data->connectionType);
    FillAddress(dialog, data->cameraModel, data->connectionType, data->address);
    ApplyType(dialog, data->cameraModel, data->connectionType);
}

void OnCameraChanged(HWND dialog) {
    EnableRemote(dialog, false);
    ShowAddress(dialog, false);
    if (ItemText(dialog, IDC_CAMERA_LIST, 0) == kSelectCamera) Send(dialog, IDC_CAMERA_LIST, CB_DELETESTRING, 0, 0);
    std::string model = Selected(dialog, IDC_CAMERA_LIST);
    FillSpeeds(dialog, model);
    if (!HasRemote(model)) return;
    std::string stored;
    try {
        stored = ConfigStore::Read(ModelKey(model, "Remote"), "RemoteConnectionType");
    } catch (int) {
    }
    ShowRemote(dialog, model);
    Select(dialog, IDC_TYPE_LIST, stored);
    if (stored == "Serial") SelectStoredSerial(dialog, model);
    FillAddress(dialog, model, stored);
    ApplyType(dialog, model, stored);
}

void OnTypeChanged(HWND dialog) {
    std::string type = Selected(dialog, IDC_TYPE_LIST);
    if (type == "Serial") {
        Enable(dialog, IDC_PORT_LIST, true);
        Enable(dialog, IDC_SPEED_LIST, true);
        SelectStoredSerial(dialog, Selected(dialog, IDC_CAMERA_LIST));
    }
    FillAddress(dialog, Selected(dialog, IDC_CAMERA_LIST), type);
    ApplyType(dialog, Selected(dialog, IDC_CAMERA_LIST), type);
}

void OnOk(HWND dialog, SettingsData* data) {
    bool network = NetworkChosen(dialog);
    if (network && AddressText(dialog).find_first_not_of(' ') == std::string::npos) {
        MessageBoxW(dialog, LoadModuleText(IDS_ADDRESS_MISSING).c_str(), Widen(ProductName()).c_str(), MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(dialog, IDC_ADDRESS_EDIT));
        return;
    }
    if (network) data->address = AddressText(dialog);
    if (HasSelection(dialog, IDC_CAMERA_LIST)) {
        data->cameraModel = Selected(dialog, IDC_CAMERA_LIST);
        if (data->cameraModel == kSelectCamera) data->cameraModel.clear();
    }
    data->connectionKind.clear();
    try {
        data->connectionKind = ConfigStore::Read(ModelKey(data->cameraModel), "Connection");
    } catch (int) {
    }
    if (HasSelection(dialog, IDC_PORT_LIST)) data->comPort = Selected(dialog, IDC_PORT_LIST);
    if (HasSelection(dialog, IDC_SPEED_LIST)) data->comSpeed = Selected(dialog, IDC_SPEED_LIST);
    if (HasSelection(dialog, IDC_TYPE_LIST)) data->connectionType = Selected(dialog, IDC_TYPE_LIST);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<SettingsData*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG:
            OnInit(dialog, reinterpret_cast<SettingsData*>(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && data) {
                OnOk(dialog, data);
            } else if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
            } else if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == IDC_CAMERA_LIST) {
                OnCameraChanged(dialog);
            } else if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == IDC_TYPE_LIST) {
                OnTypeChanged(dialog);
            } else {
                return FALSE;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR RunSettingsDialog(HWND parent, SettingsData& data) {
    try {
        return DialogBoxParamW(theModule.instance, MAKEINTRESOURCEW(IDD_CAMERA_SETTINGS), parent,
                               SettingsProc, reinterpret_cast<LPARAM>(&data));
    } catch (...) {
        return -1;
    }
}
