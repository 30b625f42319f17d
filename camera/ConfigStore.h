#pragma once
// Where the settings live: REG_SZ values under HKEY_LOCAL_MACHINE, read with
// defaults. Keys are made by the installation; nothing here creates one.
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
};

namespace ConfigStore {

extern const char kSettingsKey[];  // "Software\Pictavia\OrvexView\Settings"
extern const char kCamerasKey[];   // "Software\Pictavia\Orvex Cameras\" (with its backslash)
extern const char kImageViewer[];  // the cameras subkey that is not a model

// Reads one value of an HKEY_LOCAL_MACHINE key; raises int 0 when the key
// cannot be opened.
std::string Read(const std::string& key, const char* value, const char* defaultText = "");
// Cameras key + `model`, or + `model` + "\" + `sub` when `sub` is given.
std::string ModelKey(const std::string& model, const std::string& sub = "");

// The driver text of a source kind ("ImageViewer", "Local" or "Remote"):
// "Path", and for a serial line "," + ComPort + "," + ComSpeed. Raises int 0
// when a key on the way cannot be opened.
std::string DriverText(const std::string& sourceKind);

// The current camera settings; reading stops at the first key that cannot
// be opened, leaving the rest empty.
SettingsData ReadSettings();

// Writes what the settings dialog chose; a key that cannot be opened ends the
// writing there.
void SaveSettings(const SettingsData& data);

// Writes "CurrentFolder" of the disk-folder source; failures are swallowed.
void SaveCurrentFolder(const std::string& path);

}  // namespace ConfigStore
