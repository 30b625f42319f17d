#pragma once
// Where the settings live: REG_SZ values, read with defaults, under the same
// key paths in two roots. The installation writes the machine's defaults
// under HKEY_LOCAL_MACHINE; what the user chooses goes under
// HKEY_CURRENT_USER, which is read first (see UserSettings in base/RegKey.h).
#include <windows.h>

#include <string>

#include "base/RegKey.h"

// The record the settings dialog edits: model, port, speed, type, kind.
struct SettingsData {
    std::string cameraModel;
    std::string comPort;
    std::string comSpeed;
    std::string connectionType;
    std::string connectionKind;
    std::string address;  // a network camera's host or IP, with an optional ":port"
};

namespace ConfigStore {

extern const char kSettingsKey[];  // "Software\Pictavia\OrvexView\Settings"
extern const char kCamerasKey[];   // "Software\Pictavia\Orvex Cameras\" (with its backslash)
extern const char kImageViewer[];  // the cameras subkey that is not a model

// Reads one value, the user's before the machine's; raises int 0 when
// neither root has the key.
std::string Read(const std::string& key, const char* value, const char* defaultText = "");
// Writes one of the user's values; false when it could not be kept.
bool Write(const std::string& key, const char* value, const std::string& text);
// Cameras key + `model`, or + `model` + "\" + `sub` when `sub` is given.
std::string ModelKey(const std::string& model, const std::string& sub = "");

// Whether a model's connection type reaches its camera over the network: the
// "Network" type, or any type whose key holds an "Address".
bool IsNetworkType(const std::string& model, const std::string& type);

// The driver text of a source kind ("ImageViewer", "Local" or "Remote"):
// "Path", and for a serial line "," + ComPort + "," + ComSpeed, for a network
// type "," + Address. Raises int 0 when a key on the way cannot be opened.
std::string DriverText(const std::string& sourceKind);

// The current camera settings; reading stops at the first key that cannot
// be opened, leaving the rest empty.
SettingsData ReadSettings();

// Writes what the settings dialog chose: the model, and for a model with a
// remote connection its type, a serial line's port and speed, a network camera's address.
void SaveSettings(const SettingsData& data);

// Writes "CurrentFolder" of the disk-folder source.
void SaveCurrentFolder(const std::string& path);

}  // namespace ConfigStore
