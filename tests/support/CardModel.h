#pragma once
// The keys of a "Memory Card" model, chosen as the camera, whose card the
// disk driver reads at `cardRoot`: written for a test and removed after it,
// with anything else the test left under Software\Pictavia.
#include <memory>
#include <string>

#include "camera/ConfigStore.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"

struct CardModelKeys {
    explicit CardModelKeys(const std::string& cardRoot) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia");
        settings = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::kSettingsKey);
        settings->SetString("Camera", "Memory Card");
        model = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card"));
        model->SetString("Connection", "Local");
        local = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey("Memory Card", "Local"));
        local->SetString("Path", BinPath("diskcam.dll") + "," + cardRoot);
    }
    ~CardModelKeys() {
        local.reset();
        model.reset();
        settings.reset();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Pictavia");
    }
    CardModelKeys(const CardModelKeys&) = delete;
    CardModelKeys& operator=(const CardModelKeys&) = delete;

    std::unique_ptr<ScopedRegKey> settings, model, local;
};

// A model's serial line to the camera simulator that tests/serial-camera.sh
// puts on COM5, at 115200 bps.
struct SimulatorLineKeys {
    explicit SimulatorLineKeys(const std::string& model) {
        remote = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(model, "Remote"));
        remote->SetString("RemoteConnectionType", "Serial");
        serial = std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, ConfigStore::ModelKey(model, "Remote\\Serial"));
        serial->SetString("Path", BinPath("serialcam.dll"));
        serial->SetString("ComPort", "COM5");
        serial->SetString("ComSpeed", "115200");
    }
    SimulatorLineKeys(const SimulatorLineKeys&) = delete;
    SimulatorLineKeys& operator=(const SimulatorLineKeys&) = delete;

    std::unique_ptr<ScopedRegKey> remote, serial;
};
