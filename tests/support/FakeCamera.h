#pragma once
// A camera of fake images: its one folder is "FAKE".
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera/FolderConnection.h"
#include "support/FakeImage.h"

class FakeConnection final : public CameraConnection {
public:
    FakeConnection(std::vector<FakeImage*> images, uint16_t caps, int lines)
        : images_(std::move(images)), caps_(caps), lines_(lines) {}

    void Destroy(int flags) override {
        if (flags & 1) delete this;
    }
    void Reserved2() override {}
    void GetConnectionId(char* buffer, int size) override { lstrcpynA(buffer, "FAKE", size); }
    int GetImageCount() override { return int(images_.size()); }
    CameraImage* OpenImage(const char* name) override {
        auto at = Find(name);
        return at == images_.end() ? nullptr : *at;
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
    std::vector<FakeImage*>::iterator Find(const char* name) {
        return std::find_if(images_.begin(), images_.end(),
                            [&](FakeImage* image) { return name && image->Name() == name; });
    }

    std::vector<FakeImage*> images_;  // owned by the service
    uint16_t caps_;
    int lines_;
};

class FakeService final : public CameraService {
public:
    FakeService(std::vector<std::unique_ptr<FakeImage>> images, uint16_t caps, int lines)
        : images_(std::move(images)), caps_(caps), lines_(lines) {}
    void Destroy(int flags) override {
        if (flags & 1) delete this;
    }
    CameraConnection* OpenConnection(const char* folder) override {
        if (!folder || lstrcmpA(folder, "FAKE") != 0) return nullptr;
        std::vector<FakeImage*> images;
        for (auto& image : images_) images.push_back(image.get());
        return new FakeConnection(images, caps_, lines_);
    }
    bool Refresh() override { return true; }
    unsigned GetFolderCount() override { return 1; }
    bool GetFolderName(unsigned index, char* buffer, int size) override {
        if (index != 0) return false;
        lstrcpynA(buffer, "FAKE", size);
        return true;
    }
    FakeImage* Image(size_t index) { return images_[index].get(); }

private:
    std::vector<std::unique_ptr<FakeImage>> images_;
    uint16_t caps_;
    int lines_;
};

// A camera folder whose connection comes from `service` (connect it with
// Connect(false): a reload would read the registry first).
class TestFolder final : public FolderConnection {
public:
    explicit TestFolder(CameraService* service) : FolderConnection("FAKE", "Local"), service_(service) {}
    ~TestFolder() override { CloseConnection(); }

protected:
    CameraService* ParentService() override { return service_; }

private:
    CameraService* service_;
};
