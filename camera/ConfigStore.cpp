#include "camera/ConfigStore.h"

namespace ConfigStore {

const char kSettingsKey[] = "Software\\Pictavia\\OrvexView\\Settings";
const char kCamerasKey[] = "Software\\Pictavia\\Orvex Cameras\\";
const char kImageViewer[] = "ImageViewer";

std::string Read(const std::string& key, const char* value, const char* defaultText) {
    RegKey open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE);
    return open.QueryString(value, defaultText);
}

std::string ModelKey(const std::string& model, const std::string& sub) {
    return std::string(kCamerasKey) + model + (sub.empty() ? "" : "\\" + sub);
}

std::string DriverText(const std::string& sourceKind) {
    std::string model = Read(kSettingsKey, "Camera");
    std::string key, type;
    if (sourceKind == kImageViewer) {
        key = ModelKey(kImageViewer);
    } else if (sourceKind == "Local") {
        key = ModelKey(model, "Local");
    } else {
        type = Read(ModelKey(model, "Remote"), "RemoteConnectionType");
        key = ModelKey(model, "Remote\\" + type);
    }
    std::string text = Read(key, "Path");
    if (type == "Serial") text += "," + Read(key, "ComPort") + "," + Read(key, "ComSpeed");
    return text;
}

SettingsData ReadSettings() {
    SettingsData data;
    try {
        data.cameraModel = Read(kSettingsKey, "Camera");
        data.connectionType = Read(ModelKey(data.cameraModel, "Remote"), "RemoteConnectionType");
        std::string typeKey = ModelKey(data.cameraModel, "Remote\\" + data.connectionType);
        data.comPort = Read(typeKey, "ComPort");
        data.comSpeed = Read(typeKey, "ComSpeed");
    } catch (int) {
    }
    return data;
}

void SaveSettings(const SettingsData& data) {
    try {
        RegKey settings(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS);
        settings.SetString("Camera", data.cameraModel);
        RegKey model(HKEY_LOCAL_MACHINE, ModelKey(data.cameraModel), KEY_ALL_ACCESS);
        std::string sub;
        for (DWORD i = 0; model.EnumSubkey(i, sub); ++i) {
            if (sub != "Remote") continue;
            RegKey remote(HKEY_LOCAL_MACHINE, ModelKey(data.cameraModel, "Remote"), KEY_ALL_ACCESS);
            remote.SetString("RemoteConnectionType", data.connectionType);
            if (data.connectionType == "Serial") {
                RegKey serial(HKEY_LOCAL_MACHINE, ModelKey(data.cameraModel, "Remote\\Serial"),
                              KEY_ALL_ACCESS);
                serial.SetString("ComPort", data.comPort);
                serial.SetString("ComSpeed", data.comSpeed);
            }
        }
    } catch (int) {
        // A key the installation did not make: nothing more is written.
    }
}

void SaveCurrentFolder(const std::string& path) {
    try {
        RegKey viewer(HKEY_LOCAL_MACHINE, ModelKey(kImageViewer), KEY_SET_VALUE);
        viewer.SetString("CurrentFolder", path);
    } catch (int) {
    }
}

}  // namespace ConfigStore
