#include "camera/ConfigStore.h"

#include <algorithm>
#include <vector>

namespace ConfigStore {

const char kSettingsKey[] = "Software\\Pictavia\\OrvexView\\Settings";
const char kCamerasKey[] = "Software\\Pictavia\\Orvex Cameras\\";
const char kImageViewer[] = "ImageViewer";

std::string Read(const std::string& key, const char* value, const char* defaultText) {
    return UserSettings::Read(key, value, defaultText);
}

void Write(const std::string& key, const char* value, const std::string& text) {
    UserSettings::Write(key, value, text);
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
    Write(kSettingsKey, "Camera", data.cameraModel);
    std::vector<std::string> parts;
    try {
        parts = UserSettings::Subkeys(ModelKey(data.cameraModel));
    } catch (int) {
        return;  // a model neither root knows: nothing more to keep
    }
    if (std::find(parts.begin(), parts.end(), "Remote") == parts.end()) return;
    Write(ModelKey(data.cameraModel, "Remote"), "RemoteConnectionType", data.connectionType);
    if (data.connectionType != "Serial") return;
    Write(ModelKey(data.cameraModel, "Remote\\Serial"), "ComPort", data.comPort);
    Write(ModelKey(data.cameraModel, "Remote\\Serial"), "ComSpeed", data.comSpeed);
}

void SaveCurrentFolder(const std::string& path) { Write(ModelKey(kImageViewer), "CurrentFolder", path); }

}  // namespace ConfigStore
