#include "camera/FolderConnection.h"

#include <map>
#include <mutex>
#include <utility>

#include "base/ComObject.h"
#include "base/WideText.h"
#include "camera/SettingsDialog.h"

using ConfigStore::ModelKey;
using ConfigStore::Read;

namespace {

constexpr size_t kMaxPathPart = 259;

// Runs one group of reads; a key that cannot be opened ends only that group.
template <class Reads>
void Group(Reads&& reads) {
    try {
        reads();
    } catch (int) {
    }
}

}  // namespace

namespace {

// A driver, once loaded, stays for the life of the process: each load of a library with a static runtime
// takes a thread-local slot its unload never gives back, and a process has about a thousand. (Freeing
// drivers when the module may unload would race a new window's load on another thread, and COM may ask
// that question many times without unloading.)
std::mutex driversLock;
std::map<std::string, HMODULE> drivers;
std::map<CameraService*, HMODULE> serviceDrivers;  // which library made each service, for its optional exports

HMODULE DriverLibrary(const std::string& path) {
    std::lock_guard<std::mutex> hold(driversLock);
    HMODULE& library = drivers[path];
    if (!library) library = LoadLibraryW(Widen(path).c_str());
    return library;
}

}  // namespace

CameraService* LoadDriver(const std::string& sourceKind) {
    std::string text;
    try {
        text = ConfigStore::DriverText(sourceKind);
    } catch (int) {
        return nullptr;
    }
    size_t comma = text.find(',');
    std::string path = text.substr(0, comma);
    std::string argument = comma == std::string::npos ? "" : text.substr(comma + 1);
    // Longer parts cannot name a file or an argument a driver takes.
    if (path.size() > kMaxPathPart || argument.size() > kMaxPathPart) return nullptr;

    HMODULE library = DriverLibrary(path);
    if (!library) return nullptr;
    auto create = reinterpret_cast<CreateServiceFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, kCreateServiceExport)));
    CameraService* service = create ? create(argument.c_str()) : nullptr;
    if (service) {
        std::lock_guard<std::mutex> hold(driversLock);
        serviceDrivers[service] = library;
    }
    return service;
}

namespace {

// The driver's news of pictures that come and go on `connection` by themselves; null when it gives none.
ICameraWatch* QueryWatch(CameraService* service, CameraConnection* connection) {
    HMODULE library = nullptr;
    {
        std::lock_guard<std::mutex> hold(driversLock);
        auto found = serviceDrivers.find(service);
        if (found != serviceDrivers.end()) library = found->second;
    }
    auto query = library ? reinterpret_cast<QueryConnectionExtensionFunction>(reinterpret_cast<void*>(
                               GetProcAddress(library, kQueryConnectionExtensionExport)))
                         : nullptr;
    void* watch = nullptr;
    if (!query || FAILED(query(connection, &IID_ICameraWatch, &watch))) return nullptr;
    return static_cast<ICameraWatch*>(watch);
}

}  // namespace

FolderConnection::FolderConnection(const std::string& connectionText, const std::string& kind)
    : connectionText_(connectionText), kind_(kind) {}

FolderConnection::~FolderConnection() { CloseConnection(); }

// The watch goes first: the driver may post from its own thread until Watch(nullptr) returns.
void FolderConnection::CloseConnection() {
    if (ICameraWatch* watch = std::exchange(watch_, nullptr)) {
        watch->Watch(nullptr, 0);
        watch->Release();
    }
    connection_.reset();
}

void FolderConnection::WatchFrom(HWND window, UINT message) {
    watchWindow_ = window;
    watchMessage_ = message;
    if (watch_) watch_->Watch(window, message);
}

void FolderConnection::StopWatching(HWND window) {
    if (window != watchWindow_) return;  // another view of this folder watches now
    watchWindow_ = nullptr;
    if (watch_) watch_->Watch(nullptr, 0);
}

bool FolderConnection::NextChange(std::string& name, bool& added) {
    char buffer[260] = {};
    int came = 0;
    if (!watch_ || watch_->NextChange(buffer, sizeof buffer, &came) != S_OK) return false;
    buffer[sizeof buffer - 1] = '\0';
    name = buffer;
    added = came != 0;
    return true;
}

std::shared_ptr<void> FolderConnection::Keeper(IUnknown* folderObject) const {
    struct Kept {
        ComRef<IUnknown> folder;  // holds the module and so its driver: it goes last
        std::shared_ptr<CameraConnection> connection;
    };
    return std::make_shared<Kept>(Kept{ComRef<IUnknown>::Share(folderObject), connection_});
}

void FolderConnection::ReadSettingsForReload(std::string& viewerPath, std::string& localPath,
                                             std::string& remotePath) {
    try {
        std::string viewerKey = ModelKey(ConfigStore::kImageViewer);
        viewerPath = Read(viewerKey, "Path");
        Group([&] { currentFolder_ = Read(viewerKey, "CurrentFolder"); });
        if (kind_.empty()) kind_ = Read(ModelKey(cameraModel_), "Connection");
        Group([&] { localPath = Read(ModelKey(cameraModel_, "Local"), "Path"); });
        Group([&] {
            connectionType_ = Read(ModelKey(cameraModel_, "Remote"), "RemoteConnectionType");
            std::string typeKey = ModelKey(cameraModel_, "Remote\\" + connectionType_);
            if (connectionType_ == "Serial") {
                comPort_ = Read(typeKey, "ComPort");
                comSpeed_ = Read(typeKey, "ComSpeed");
            } else if (connectionType_ == "Parallel") {
                comPort_ = Read(typeKey, "ComPort");
            } else if (ConfigStore::IsNetworkType(cameraModel_, connectionType_)) {
                address_ = Read(typeKey, "Address");
            }
            remotePath = Read(typeKey, "Path");
        });
    } catch (int) {
        // The settings or the disk-folder key is missing: nothing more is read.
    }
}

void FolderConnection::ReadPathOfKind(std::string& viewerPath, std::string& localPath,
                                      std::string& remotePath) {
    Group([&] {
        if (kind_ == "Viewer")
            viewerPath = Read(ModelKey(ConfigStore::kImageViewer), "Path");
        else if (kind_ == "Local")
            localPath = Read(ModelKey(cameraModel_, "Local"), "Path");
        else if (kind_ == "Remote")
            remotePath = Read(ModelKey(cameraModel_, "Remote\\" + connectionType_), "Path");
    });
}

void FolderConnection::Connect(bool reload) {
    std::string viewerPath, localPath, remotePath;
    if (reload) {
        bool settingsRead = true;
        try {
            cameraModel_ = Read(ConfigStore::kSettingsKey, "Camera");
        } catch (int) {
            settingsRead = false;
        }
        if (cameraModel_.empty()) {
            HCURSOR cursor = GetCursor();
            int chosen = EditSettings(nullptr);
            SetCursor(cursor);
            if (chosen != 1) {
                CloseConnection();
                return;
            }
        }
        if (settingsRead) ReadSettingsForReload(viewerPath, localPath, remotePath);
    } else {
        ReadPathOfKind(viewerPath, localPath, remotePath);
    }

    std::string compareText, connectionText;
    if (kind_ == "Local") {
        compareText = localPath;
        connectionText = connectionText_;
    } else if (kind_ == "Remote") {
        compareText = remotePath;
        if (connectionType_ == "Serial") {
            char port = comPort_.compare(0, 3, "COM") == 0 && comPort_.size() > 3 ? comPort_[3] : '0';
            std::string speed = comSpeed_.size() > 2 ? comSpeed_.substr(0, comSpeed_.size() - 2) : "";
            compareText += std::string(",") + port + "," + speed;
        } else if (ConfigStore::IsNetworkType(cameraModel_, connectionType_)) {
            compareText += "," + address_;
        }
        connectionText = connectionText_;
    } else if (kind_ == "Viewer") {
        compareText = viewerPath;
        connectionText = currentFolder_;
    }

    if (compareText == driverText_ && connectionText == connectionText_ && service_ && connection_) {
        if (connection_->CheckConnection() < 0) CloseConnection();
        return;
    }
    driverText_ = compareText;
    connectionText_ = connectionText;
    CloseConnection();
    if (!service_) service_ = ParentService();
    if (!service_) return;
    CameraConnection* opened = service_->OpenConnection(connectionText_.c_str());
    if (!opened) return;
    connection_.reset(opened, [](CameraConnection* connection) { connection->Destroy(1); });
    watch_ = QueryWatch(service_, opened);
    if (watch_ && watchWindow_) watch_->Watch(watchWindow_, watchMessage_);
}

int FolderConnection::EditSettings(HWND parent) {
    SettingsData data{cameraModel_, comPort_, comSpeed_, connectionType_, "", address_};
    if (RunSettingsDialog(parent, data) != 1) return 2;
    cameraModel_ = data.cameraModel;
    comPort_ = data.comPort;
    comSpeed_ = data.comSpeed;
    connectionType_ = data.connectionType;
    address_ = data.address;
    ConfigStore::SaveSettings(data);
    return 1;
}

void FolderConnection::SetCurrentFolder(const std::string& path) {
    currentFolder_ = path;
    ConfigStore::SaveCurrentFolder(path);
}

CameraImage* FolderConnection::OpenImage(const std::string& name) {
    return connection_ ? connection_->OpenImage(name.c_str()) : nullptr;
}

std::string FolderConnection::GetImageName(int index) {
    char buffer[260] = {};
    if (connection_) connection_->GetImageName(buffer, sizeof buffer, index);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string FolderConnection::GetConnectionId() {
    char buffer[260] = {};
    if (connection_) connection_->GetConnectionId(buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

CameraCapabilities FolderConnection::GetCapabilities() {
    if (!connection_) return {0, 0};
    return {connection_->GetCaptionLineCount(), connection_->GetCapabilities()};
}

void FolderConnection::DeleteImage(const std::string& name) {
    if (connection_) connection_->DeleteImage(name.c_str());
}

void FolderConnection::DeleteAllImages() {
    if (connection_) connection_->DeleteAllImages();
}

int FolderConnection::GetImageCount() { return connection_ ? connection_->GetImageCount() : 0; }

int FolderConnection::CanAcceptData(IDataObject* data) {
    return connection_ ? connection_->CanAcceptData(data) : 0;
}

int FolderConnection::AcceptData(IDataObject* data, int index) {
    if (!connection_) Connect(true);
    if (!connection_) return -1;
    return connection_->AcceptData(data, index);
}
