// A camera driver for tests: pictures made in memory, as many and with the capabilities the argument text chooses, for
// example "images=4 caps=2". Its one folder is "FAKE". Its connections announce the pictures a test makes come and go.
#include "support/FakeCamera.h"

#include <cstdlib>

#include "support/TestPictures.h"

namespace {

int Setting(const std::string& text, const std::string& key, int fallback) {
    size_t at = text.find(key + "=");
    return at == std::string::npos ? fallback : atoi(text.c_str() + at + key.size() + 1);
}

}  // namespace

namespace {
std::string lastArgument;
}  // namespace

extern "C" __declspec(dllexport) CameraService* ExtCreateAccountService(const char* argument) {
    std::string settings = lastArgument = argument ? argument : "";
    std::vector<uint8_t> jpeg = MakeJpeg(QuadrantBitmap(64, 48), {});
    std::vector<std::unique_ptr<FakeImage>> images;
    for (int i = 1; i <= Setting(settings, "images", 3); ++i)
        images.push_back(std::make_unique<FakeImage>("FAKE" + std::to_string(i) + ".JPG", jpeg));
    return new FakeService(std::move(images), uint16_t(Setting(settings, "caps", kCanDeleteSingle | kCanDeleteAll)));
}

extern "C" __declspec(dllexport) HRESULT ExtQueryConnectionExtension(CameraConnection* connection, const GUID* iid,
                                                                     void** out) {
    *out = nullptr;
    return iid && IsEqualGUID(*iid, IID_ICameraWatch) ? FakeConnection::GiveWatch(connection, out) : E_NOINTERFACE;
}

extern "C" __declspec(dllexport) void FakeCameraChange(const char* name, int added) {
    FakeConnection::ChangeEverywhere(name, added);
}

extern "C" __declspec(dllexport) void FakeCameraWatchCounts(FakeWatchCounts* counts) { *counts = WatchCounts(); }

extern "C" __declspec(dllexport) void FakeCameraArgument(char* text, int size) { lstrcpynA(text, lastArgument.c_str(), size); }
