#include "SerialCamera.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "common/DriverFiles.h"
#include "common/FileReads.h"
#include "common/ProgressRun.h"

namespace serialcam {
namespace {

constexpr char kRootFolder[] = "\\DCIM";

using driverfiles::CopyOut;
using driverfiles::WriteBytes;

std::string Text(const std::vector<uint8_t>& bytes) {
    std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\0'));
}

}  // namespace

// ---- CameraLine

CameraLine::~CameraLine() {
    if (link_.IsStarted()) link_.Stop();
}

std::shared_ptr<CameraLine> CameraLine::Shared(const std::string& port, int speed) {
    static std::mutex registryLock;
    static std::map<std::string, std::weak_ptr<CameraLine>> lines;
    std::lock_guard<std::mutex> hold(registryLock);
    std::shared_ptr<CameraLine> line = lines[port].lock();
    if (line) {
        line->Retune(speed);
        return line;
    }
    line = std::make_shared<CameraLine>(port, speed);
    lines[port] = line;
    return line;
}

// A new speed setting: the session ends now and the next exchange starts one
// at that speed (a line busy with a download keeps its speed).
void CameraLine::Retune(int speed) {
    LineUse use(*this, LineUse::kBrief);
    if (speed == speed_ || !use) return;
    speed_ = speed;
    if (link_.IsStarted()) link_.Stop();
    folder_.clear();
}

LineUse::LineUse(CameraLine& line, Mode mode, DWORD caller, const std::atomic<bool>* cancel) : line_(line) {
    if (line_.owner_ == caller) return;
    constexpr auto kSlice = std::chrono::milliseconds(50);
    bool taken = mode == kIfFree ? line_.lock_.try_lock() : line_.lock_.try_lock_for(kSlice * (mode == kSecond ? 20 : 4));
    while (!taken && mode == kWait && !(cancel && *cancel)) taken = line_.lock_.try_lock_for(kSlice);
    if (!taken) return;
    line_.owner_ = caller;
    held_ = true;
}

LineUse::~LineUse() {
    if (!held_) return;
    line_.owner_ = 0;
    line_.lock_.unlock();
}

std::vector<std::string> CameraLine::KnownNames(const std::string& folder) {
    std::lock_guard<std::mutex> hold(knownLock_);
    return known_[folder];
}

void CameraLine::SetKnownNames(const std::string& folder, const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> hold(knownLock_);
    known_[folder] = names;
}

SierraLink* CameraLine::Link() {
    if (link_.IsStarted()) return &link_;
    folder_.clear();
    if (port_ != "AUTO") return link_.Start(port_, speed_) ? &link_ : nullptr;
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
        if (link_.Start(port, speed_)) {
            port_ = port;  // found: keep using it
            return &link_;
        }
    }
    return nullptr;
}

bool CameraLine::SelectFolder(const std::string& folder) {
    SierraLink* link = Link();
    if (!link) return false;
    if (folder_ == folder) return true;
    folder_.clear();
    if (!link->SetString(SierraLink::kFolder, folder)) return false;
    folder_ = folder;
    return true;
}

// A camera that does not answer the wake-up is let go without a goodbye;
// the next exchange tries to start it again.
bool CameraLine::Recover() {
    folder_.clear();
    if (link_.IsStarted() && link_.Resync()) return true;
    link_.Abandon();
    return false;
}

// ---- SerialImage

// The size needs the line: a line busy with a download answers nothing now
// (a list asks again on its next pass).
bool SerialImage::GetInfo(ImageInfo* out) {
    if (!out) return false;
    if (size_ == 0) {
        LineUse use(*owner_->Line(), LineUse::kBrief);
        uint32_t size = 0;
        if (!use || !owner_->Select(name_) || !owner_->Line()->Link()->GetInt(SierraLink::kPictureSize, size)) return false;
        size_ = size;
    }
    *out = {};
    CopyOut(name_, out->name, sizeof out->name);
    out->fileSize = size_;
    out->mask = kInfoName | kInfoSize | kInfoNoDimensions;
    return true;
}

// Codes 0, 1 (percent) and 2 go to the callback; its "stop" ends the read
// with -2, also while the read still waits for the line. Nothing thrown
// crosses the driver table: a failure spoils this read only.
int SerialImage::Fetch(bool fullImage, std::vector<uint8_t>& bytes, ProgressCallback cb, void* cbContext) {
    try {
        return driverfiles::RunWithProgress(
            [&](DWORD caller, std::atomic<int>& percent, const std::atomic<bool>& cancel) {
                return Exchange(fullImage, bytes, caller, percent, cancel);
            },
            cb, cbContext);
    } catch (...) {
        return -1;
    }
}

int SerialImage::Exchange(bool fullImage, std::vector<uint8_t>& bytes, DWORD caller, std::atomic<int>& percent,
                          const std::atomic<bool>& cancel) {
    LineUse use(*owner_->Line(), LineUse::kWait, caller, &cancel);
    if (cancel) return kReadCancelled;
    if (!use) return -1;
    CameraLine* line = owner_->Line();
    uint32_t total = 0;
    SierraLink::Register sizeRegister = fullImage ? SierraLink::kPictureSize : SierraLink::kThumbnailSize;
    if (!owner_->Select(name_) || !line->Link()->GetInt(sizeRegister, total)) {
        line->Recover();
        return -1;
    }
    bool cancelled = false;
    auto progress = [&](size_t received) {
        percent = total ? int(std::min<uint64_t>(100, uint64_t(received) * 100 / total)) : 0;
        return !cancel;
    };
    SierraLink::Register data = fullImage ? SierraLink::kPictureData : SierraLink::kThumbnailData;
    if (!line->Link()->GetString(data, bytes, progress, &cancelled)) {
        if (cancelled) {
            line->LetGo();
            return kReadCancelled;
        }
        line->Recover();  // the camera may still be sending: bring the line back to order
        return -1;
    }
    return kReadOk;
}

int SerialImage::ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb, void* cbContext) {
    return driverfiles::ReadIntoMemory(
        data, freeWhenDone, [&](std::vector<uint8_t>& bytes) { return Fetch(fullImage != 0, bytes, cb, cbContext); });
}

int SerialImage::ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone, ProgressCallback cb, void* cbContext) {
    return files_.Read(path, size, fullImage, deleteWhenDone,
                       [&](std::vector<uint8_t>& bytes) { return Fetch(fullImage != 0, bytes, cb, cbContext); },
                       [&] { return owner_->NewScratchPath(); });
}

// ---- SerialConnection

// Opened while a download holds the line, a folder shows the names read last.
SerialConnection::SerialConnection(std::shared_ptr<CameraLine> line, std::string folder)
    : line_(std::move(line)), folder_(std::move(folder)) {
    LineUse use(*line_, LineUse::kSecond);
    if (use) {
        Scan();
    } else {
        SetNames(line_->KnownNames(folder_));
    }
}

void SerialConnection::Destroy(int flags) {
    images_.clear();  // their scratch files go before the folder
    if (flags & 1) delete this;
}

bool SerialConnection::Scan() {
    std::vector<std::string> names;
    uint32_t count = 0;
    bool complete = line_->SelectFolder(folder_) && line_->Link()->GetInt(SierraLink::kPictureCount, count);
    for (uint32_t i = 1; complete && i <= count && i <= 9999; ++i) {
        std::vector<uint8_t> name;
        complete = line_->Link()->SetInt(SierraLink::kCurrentPicture, i) &&
                   line_->Link()->GetString(SierraLink::kPictureName, name);
        if (complete) names.push_back(Text(name));
    }
    // A list read only in part may place names where the camera does not: none is kept then.
    line_->SetKnownNames(folder_, complete ? names : std::vector<std::string>());
    SetNames(std::move(names));
    return complete;
}

// A name longer than the table's name field is left out of the list; the
// others keep their place in the camera's numbering.
void SerialConnection::SetNames(std::vector<std::string> names) {
    std::vector<std::string> shown;
    for (const std::string& name : names)
        if (driverfiles::Fits(name, sizeof ImageInfo::name)) shown.push_back(name);
    std::lock_guard<std::mutex> hold(namesLock_);
    names_ = std::move(names);
    shown_ = std::move(shown);
}

std::vector<std::string> SerialConnection::Names() {
    std::lock_guard<std::mutex> hold(namesLock_);
    return names_;
}

bool SerialConnection::Select(const std::string& name) {
    std::vector<std::string> names = Names();
    auto at = std::find(names.begin(), names.end(), name);
    if (at == names.end() || !line_->SelectFolder(folder_)) return false;
    return line_->Link()->SetInt(SierraLink::kCurrentPicture, uint32_t(at - names.begin() + 1));
}

void SerialConnection::GetConnectionId(char* buffer, int size) { CopyOut(folder_, buffer, size); }

int SerialConnection::GetImageCount() {
    std::lock_guard<std::mutex> hold(namesLock_);
    return int(shown_.size());
}

void SerialConnection::GetImageName(char* buffer, int size, int index) {
    std::lock_guard<std::mutex> hold(namesLock_);
    CopyOut(index >= 0 && size_t(index) < shown_.size() ? shown_[size_t(index)] : "", buffer, size);
}

CameraImage* SerialConnection::OpenImage(const char* name) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> hold(namesLock_);
    if (std::find(shown_.begin(), shown_.end(), name) == shown_.end()) return nullptr;
    for (auto& image : images_)
        if (image->Name() == name) return image.get();
    images_.push_back(std::make_unique<SerialImage>(this, name));
    return images_.back().get();
}

void SerialConnection::DeleteImage(const char* name) {
    if (!name) return;
    LineUse use(*line_);
    if (!use) return;
    if (Select(name)) line_->Link()->DoAction(SierraLink::kDeletePicture);
    Scan();  // the camera renumbers its pictures
}

void SerialConnection::DeleteAllImages() {
    LineUse use(*line_);
    if (!use) return;
    if (line_->SelectFolder(folder_)) line_->Link()->DoAction(SierraLink::kDeleteAll);
    Scan();
}

int SerialConnection::CheckConnection() {
    // A line busy with an exchange is a camera that answers.
    LineUse use(*line_, LineUse::kIfFree);
    if (!use) return 0;
    uint32_t battery = 0;
    SierraLink* link = line_->Link();
    if (link && link->GetInt(SierraLink::kBattery, battery)) return 0;
    if (line_->Recover() && line_->Link()->GetInt(SierraLink::kBattery, battery)) return 0;
    // Switched off now, maybe on again later: one fresh start decides.
    link = line_->Link();
    return link && link->GetInt(SierraLink::kBattery, battery) ? 0 : -1;
}

std::string SerialConnection::NewScratchPath() { return scratch_.NewPath(); }

// ---- SerialService

// The session ends with the line's last user (the line's destructor).
void SerialService::Destroy(int flags) {
    if (flags & 1) delete this;
}

bool SerialService::Refresh() {
    std::vector<std::string> folders;
    bool read = false;
    {
        LineUse use(*line_, LineUse::kSecond);
        if (!use) {  // a download holds the line: the folders as last read
            std::lock_guard<std::mutex> hold(foldersLock_);
            folders_ = line_->KnownNames(kRootFolder);
            return !folders_.empty();
        }
        uint32_t count = 0;
        SierraLink* link = line_->Link();
        read = link && line_->SelectFolder(kRootFolder) && link->GetInt(SierraLink::kSubfolderCount, count);
        for (uint32_t i = 1; read && i <= count && i <= 999; ++i) {
            std::vector<uint8_t> name;
            if (!link->SetInt(SierraLink::kSubfolderCount, i) || !link->GetString(SierraLink::kFolder, name)) break;
            std::string folder = Text(name);
            if (driverfiles::Fits(folder, 256)) folders.push_back(folder);  // else no name the table can carry
        }
        line_->ForgetFolder();  // picking a subfolder changed what the camera reports
        if (read) line_->SetKnownNames(kRootFolder, folders);
    }
    std::lock_guard<std::mutex> hold(foldersLock_);
    folders_ = std::move(folders);
    return read;
}

unsigned SerialService::GetFolderCount() {
    std::lock_guard<std::mutex> hold(foldersLock_);
    return unsigned(folders_.size());
}

bool SerialService::GetFolderName(unsigned index, char* buffer, int size) {
    std::lock_guard<std::mutex> hold(foldersLock_);
    if (index >= folders_.size()) return false;
    CopyOut(folders_[index], buffer, size);
    return true;
}

CameraConnection* SerialService::OpenConnection(const char* folderName) {
    if (!folderName) return nullptr;
    std::string name = folderName;
    {
        std::lock_guard<std::mutex> hold(foldersLock_);
        if (std::find(folders_.begin(), folders_.end(), name) == folders_.end()) return nullptr;
    }
    auto* connection = new (std::nothrow) SerialConnection(line_, std::string(kRootFolder) + "\\" + name);
    if (connection && connection->GetImageCount() == 0 && connection->CheckConnection() < 0) {
        connection->Destroy(1);
        return nullptr;
    }
    return connection;
}

}  // namespace serialcam

// "COMn,speed" or "AUTO" (or "AUTO,speed"); the speed is the fastest the line may take.
extern "C" CameraService* ExtCreateAccountService(const char* argument) {
    try {
        std::string text = argument ? argument : "";
        size_t comma = text.find(',');
        std::string port = text.substr(0, comma);
        int speed = comma == std::string::npos ? 115200 : atoi(text.c_str() + comma + 1);
        if (port.empty()) port = "AUTO";
        if (speed < 9600) speed = 19200;
        return new serialcam::SerialService(port, speed);
    } catch (...) {
        return nullptr;
    }
}
