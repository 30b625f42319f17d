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

bool Write(const std::string& key, const char* value, const std::string& text) {
    return UserSettings::Write(key, value, text);
}

std::string ModelKey(const std::string& model, const std::string& sub) {
    return std::string(kCamerasKey) + model + (sub.empty() ? "" : "\\" + sub);
}

bool IsNetworkType(const std::string& model, const std::string& type) {
    if (type == "Network") return true;
    const char absent[] = "\n";  // no REG_SZ read from the registry is a lone line break here
    try {
        return !type.empty() && Read(ModelKey(model, "Remote\\" + type), "Address", absent) != absent;
    } catch (int) {
        return false;
    }
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
    else if (!type.empty() && IsNetworkType(model, type)) text += "," + Read(key, "Address");
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
        data.address = Read(typeKey, "Address");
    } catch (int) {
    }
    return data;
}

// The model's line first and the model last, so that a write that fails leaves the old choice whole.
void SaveSettings(const SettingsData& data) {
    std::vector<std::string> parts;
    try {
        parts = UserSettings::Subkeys(ModelKey(data.cameraModel));
    } catch (int) {
        // a model neither root knows: only the choice itself is kept
    }
    bool remote = std::find(parts.begin(), parts.end(), "Remote") != parts.end();
    bool serial = remote && data.connectionType == "Serial";
    if (serial && !(Write(ModelKey(data.cameraModel, "Remote\\Serial"), "ComPort", data.comPort) &&
                    Write(ModelKey(data.cameraModel, "Remote\\Serial"), "ComSpeed", data.comSpeed)))
        return;
    std::string typeKey = ModelKey(data.cameraModel, "Remote\\" + data.connectionType);
    if (remote && IsNetworkType(data.cameraModel, data.connectionType) && !Write(typeKey, "Address", data.address))
        return;
    if (remote && !Write(ModelKey(data.cameraModel, "Remote"), "RemoteConnectionType", data.connectionType)) return;
    Write(kSettingsKey, "Camera", data.cameraModel);
}

void SaveCurrentFolder(const std::string& path) { Write(ModelKey(kImageViewer), "CurrentFolder", path); }

}  // namespace ConfigStore
