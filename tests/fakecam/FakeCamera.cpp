// A camera driver for tests: pictures made in memory, with the capabilities
// and the caption lines chosen by the argument text, for example
// "images=4 caps=2 lines=0". Its one folder is "FAKE".
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeImage.h"
#include "support/TestPictures.h"

namespace {

int Setting(const std::string& text, const std::string& key, int fallback) {
    size_t at = text.find(key + "=");
    return at == std::string::npos ? fallback : atoi(text.c_str() + at + key.size() + 1);
}

class FakeConnection final : public CameraConnection {
public:
    explicit FakeConnection(const std::string& settings)
        : caps_(uint16_t(Setting(settings, "caps", kCanDeleteSingle | kCanDeleteAll))),
          lines_(Setting(settings, "lines", 1)) {
        std::vector<uint8_t> jpeg = MakeJpeg(QuadrantBitmap(64, 48), {});
        int count = Setting(settings, "images", 3);
        for (int i = 1; i <= count; ++i)
            images_.push_back(std::make_unique<FakeImage>("FAKE" + std::to_string(i) + ".JPG", jpeg));
    }

    void Destroy(int flags) override {
        if (flags & 1) delete this;
    }
    void Reserved2() override {}
    void GetConnectionId(char* buffer, int size) override { lstrcpynA(buffer, "FAKE", size); }
    int GetImageCount() override { return int(images_.size()); }
    CameraImage* OpenImage(const char* name) override {
        auto at = Find(name);
        return at == images_.end() ? nullptr : at->get();
    }
    void Reserved6() override {}
    void GetImageName(char* buffer, int size, int index) override {
        bool valid = index >= 0 && size_t(index) < images_.size();
        lstrcpynA(buffer, valid ? images_[size_t(index)]->Name().c_str() : "", size);
    }
    void Reserved8() override {}
    void DeleteImage(const char* name) override {
        auto at = Find(name);
        if (at != images_.end() && (caps_ & kCanDeleteSingle)) images_.erase(at);
    }
    void DeleteAllImages() override {
        if (caps_ & kCanDeleteAll) images_.clear();
    }
    int GetCaptionLineCount() override { return lines_; }
    uint16_t GetCapabilities() override { return caps_; }
    int CheckConnection() override { return 0; }
    int CanAcceptData(IDataObject*) override { return 0; }
    int AcceptData(IDataObject*, int) override { return 0; }

private:
    std::vector<std::unique_ptr<FakeImage>>::iterator Find(const char* name) {
        return std::find_if(images_.begin(), images_.end(), [&](const std::unique_ptr<FakeImage>& image) {
            return name && image->Name() == name;
        });
    }

    uint16_t caps_;
    int lines_;
    std::vector<std::unique_ptr<FakeImage>> images_;
};

class FakeService final : public CameraService {
public:
    explicit FakeService(std::string settings) : settings_(std::move(settings)) {}
    void Destroy(int flags) override {
        if (flags & 1) delete this;
    }
    CameraConnection* OpenConnection(const char* folder) override {
        return folder && lstrcmpA(folder, "FAKE") == 0 ? new FakeConnection(settings_) : nullptr;
    }
    bool Refresh() override { return true; }
    unsigned GetFolderCount() override { return 1; }
    bool GetFolderName(unsigned index, char* buffer, int size) override {
        if (index != 0) return false;
        lstrcpynA(buffer, "FAKE", size);
        return true;
    }

private:
    std::string settings_;
};

}  // namespace

extern "C" __declspec(dllexport) CameraService* ExtCreateAccountService(const char* argument) {
    return new FakeService(argument ? argument : "");
}
