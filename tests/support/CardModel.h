#pragma once
// The keys of a "Memory Card" model, chosen as the camera, whose card the
// disk driver reads at `cardRoot`: written for a test and removed after it,
// with anything else the test left under Software\Pictavia, the user's too.
#include <memory>

#include "camera/ConfigStore.h"
#include "support/ScopedRegistry.h"
#include "support/TestPaths.h"

struct CardModelKeys {
    explicit CardModelKeys(const std::string& cardRoot) {
        Clear();
        auto key = [](const std::string& path) { return std::make_unique<ScopedRegKey>(HKEY_LOCAL_MACHINE, path); };
        (settings = key(ConfigStore::kSettingsKey))->SetString("Camera", "Memory Card");
        (model = key(ConfigStore::ModelKey("Memory Card")))->SetString("Connection", "Local");
        (local = key(ConfigStore::ModelKey("Memory Card", "Local")))->SetString("Path", BinPath("diskcam.dll") + "," + cardRoot);
    }
    ~CardModelKeys() { local.reset(), model.reset(), settings.reset(), Clear(); }
    static void Clear() { for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeA(root, "Software\\Pictavia"); }

    std::unique_ptr<ScopedRegKey> settings, model, local;
};
