#pragma once
// A camera folder's link to its driver: the settings it keeps, opening,
// checking and re-opening its CameraConnection, the settings dialog, and the
// operations through which everything else reaches the camera.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "camera/CameraService.h"
#include "camera/ConfigStore.h"

// Makes a service of the camera driver of a source kind; null when none was made.
// A driver, once loaded, is never unloaded.
CameraService* LoadDriver(const std::string& sourceKind);

struct CameraCapabilities {
    int captionLines;
    uint16_t flags;
};

class FolderConnection {
public:
    FolderConnection(const std::string& connectionText, const std::string& kind);
    virtual ~FolderConnection();
    FolderConnection(const FolderConnection&) = delete;
    FolderConnection& operator=(const FolderConnection&) = delete;

    // Opens, checks or re-opens the connection; never raises.
    void Connect(bool reload);
    // 1: OK and saved; 2: cancelled.
    int EditSettings(HWND parent);
    void SetCurrentFolder(const std::string& path);

    std::string GetCameraModel() const { return cameraModel_; }
    std::string GetComPort() const { return comPort_; }
    std::string GetComSpeed() const { return comSpeed_; }
    std::string GetAddress() const { return address_; }
    std::string GetKind() const { return kind_; }
    std::string GetConnectionType() const { return connectionType_; }
    std::string GetCurrentFolder() const { return currentFolder_; }
    void SetKind(const std::string& kind) { kind_ = kind; }
    void SetCameraModel(const std::string& model) { cameraModel_ = model; }
    void SetComPort(const std::string& port) { comPort_ = port; }
    void SetComSpeed(const std::string& speed) { comSpeed_ = speed; }
    void SetConnectionType(const std::string& type) { connectionType_ = type; }

    // These forward to an open connection: call them after a successful Connect.
    CameraImage* OpenImage(const std::string& name);
    std::string GetImageName(int index);
    std::string GetConnectionId();
    CameraCapabilities GetCapabilities();
    void DeleteImage(const std::string& name);
    void DeleteAllImages();

    bool IsConnected() const { return connection_ != nullptr; }
    // Pictures the camera gains or loses by itself are announced to `window` with `message`, from any thread,
    // on this and every later connection, until that window stops watching. Drivers without news stay silent.
    void WatchFrom(HWND window, UINT message);
    void StopWatching(HWND window);
    // The oldest announced change: the picture's name and whether it came or went; false when none waits.
    bool NextChange(std::string& name, bool& added);
    // Keeps `folderObject` (the folder's COM identity) and today's connection,
    // with the images it handed out, alive for as long as the result is held:
    // a loader or viewer may outlive the view, and a reconnect the connection.
    std::shared_ptr<void> Keeper(IUnknown* folderObject) const;
    int GetImageCount();
    int CanAcceptData(IDataObject* data);
    int AcceptData(IDataObject* data, int index);

    // The transfer guard: 1 while no image transfer of this folder runs.
    int Idle() const { return idle_; }
    void SetIdle(int idle) { idle_ = idle; }

protected:
    // The source folder's service, loading its driver when needed.
    virtual CameraService* ParentService() = 0;
    void CloseConnection();

private:
    void ReadSettingsForReload(std::string& viewerPath, std::string& localPath,
                               std::string& remotePath);
    void ReadPathOfKind(std::string& viewerPath, std::string& localPath, std::string& remotePath);

    std::shared_ptr<CameraConnection> connection_;  // freed by the driver's Destroy
    ICameraWatch* watch_ = nullptr;                  // released before the connection goes
    HWND watchWindow_ = nullptr;
    UINT watchMessage_ = 0;
    CameraService* service_ = nullptr;
    std::string driverText_;
    std::string connectionText_;
    std::string cameraModel_;
    std::string kind_;
    std::string connectionType_;
    std::string currentFolder_;
    std::string comPort_;
    std::string comSpeed_;
    std::string address_;
    int idle_ = 1;
};
