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
