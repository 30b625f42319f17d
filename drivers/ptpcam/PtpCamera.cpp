#include "PtpCamera.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "IpTransport.h"
#include "JpegCodec.h"
#include "common/ProgressRun.h"
#include "core/Exif.h"
#include "core/JpegHeader.h"
#include "core/Pixels.h"

namespace ptpcam {
namespace {

constexpr uint16_t kStandardPort = 15740;
constexpr int kConnectMs = 3000;
constexpr DWORD kRedialMs = 5000;       // a camera just found switched off is not dialled again sooner
constexpr DWORD kEventRedialMs = 5000;  // an open folder's camera that went away is looked for this often
constexpr size_t kMostPictures = 100000;
constexpr size_t kMostChanges = 10000;
constexpr uint32_t kHeadSlack = 4096;   // EXIF directories before the thumbnail they carry
constexpr uint32_t kLargestHead = 64 << 10;
constexpr size_t kMostFolders = 1000;
constexpr int kThumbnailQuality = 85;

using driverfiles::CopyOut;
using driverfiles::Report;
using ptp::Status;

// What a JPEG's first bytes tell, even when its EXIF block goes on past them:
// the orientation, and the EXIF thumbnail when it lies within them.
struct Head {
    int orientation = 1;
    std::vector<uint8_t> thumbnail;
};

Head ReadHead(const std::vector<uint8_t>& bytes) {
    static const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    Head head;
    if (bytes.size() < 12 || !pix::LooksLikeJpeg(bytes.data(), bytes.size()) || bytes[2] != 0xFF || bytes[3] != 0xE1 ||
        std::memcmp(&bytes[6], kExif, sizeof kExif) != 0)
        return head;
    size_t segment = size_t(bytes[4]) << 8 | bytes[5];
    size_t length = std::min(segment >= 8 ? segment - 8 : 0, bytes.size() - 12);
    const uint8_t* tiff = bytes.data() + 12;
    pix::ExifInfo exif = pix::ParseTiff(tiff, length);
    if (exif.orientation >= 1 && exif.orientation <= 8) head.orientation = exif.orientation;
    if (exif.thumbnailLength && exif.thumbnailOffset + exif.thumbnailLength <= length)
        head.thumbnail.assign(tiff + exif.thumbnailOffset, tiff + exif.thumbnailOffset + exif.thumbnailLength);
    return head;
}

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// "host", "host:port", "[v6 address]:port" or a bare IPv6 address.
void SplitAddress(const std::string& address, std::string& host, uint16_t& port) {
    host = address;
    port = kStandardPort;
    size_t colon = address.rfind(':');
    bool bracketed = !address.empty() && address[0] == '[';
    if (bracketed && (address.find(']') == std::string::npos || address.find(']') > colon || colon != address.find(']') + 1)) {
        host = address.substr(1, address.find(']') - 1);  // "[v6 address]" without a port
        return;
    }
    if (colon == std::string::npos || (!bracketed && address.find(':') != colon)) return;
    int number = atoi(address.c_str() + colon + 1);
    if (number > 0 && number < 65536) port = uint16_t(number);
    host = address.substr(bracketed ? 1 : 0, bracketed ? address.find(']') - 1 : colon);
}

bool IsDcim(const std::string& name) { return _stricmp(name.c_str(), "DCIM") == 0; }

// The camera's picture folders: those in DCIM on every storage, else the top folders of a camera without one.
Status FindFolders(ptp::Session& session, std::vector<PtpConnection::Folder>& out) {
    std::vector<uint32_t> storages;
    Status status = session.StorageIds(storages);
    if (status != Status::kOk) return status;
    auto add = [&out](const PtpConnection::Folder& folder) {
        bool seen = std::any_of(out.begin(), out.end(), [&](const auto& f) { return f.name == folder.name; });
        if (!seen && driverfiles::Fits(folder.name, 256) && out.size() < kMostFolders) out.push_back(folder);
    };
    for (uint32_t storage : storages) {
        std::vector<uint32_t> handles;
        std::vector<PtpConnection::Folder> top;
        uint32_t dcim = 0;
        for (int level = 0; level < 2 && (level == 0 || dcim); ++level) {  // the top, then DCIM's folders
            uint32_t parent = level == 0 ? ptp::kRootParent : dcim;
            status = session.ObjectHandles(storage, parent, handles);
            if (status == Status::kBroken) return status;
            for (size_t i = 0; status == Status::kOk && i < handles.size() && i < kMostFolders; ++i) {
                ptp::ObjectInfo info;
                Status read = session.GetObjectInfo(handles[i], info);
                if (read == Status::kBroken) return read;
                if (read != Status::kOk || info.format != ptp::kAssociationFormat) continue;
                if (level == 1) add({info.name, storage, handles[i]});
                else if (IsDcim(info.name)) dcim = handles[i];
                else top.push_back({info.name, storage, handles[i]});
            }
        }
        if (!dcim) std::for_each(top.begin(), top.end(), add);
    }
    return Status::kOk;
}

}  // namespace

// ---- Camera

Camera::Camera(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {
    events_ = std::thread([this] { ListenForEvents(); });
}

Camera::~Camera() {
    stopping_ = true;
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        if (session_) session_->Link().Close();
    }
    if (events_.joinable()) events_.join();
}

std::shared_ptr<Camera> Camera::Shared(const std::string& address) {
    static std::mutex registryLock;
    static std::map<std::string, std::weak_ptr<Camera>> cameras;
    std::string host;
    uint16_t port = kStandardPort;
    SplitAddress(address, host, port);
    std::string key = host + "|" + std::to_string(port);
    std::lock_guard<std::mutex> hold(registryLock);
    std::shared_ptr<Camera> camera = cameras[key].lock();
    if (!camera) cameras[key] = camera = std::make_shared<Camera>(host, port);
    return camera;
}

CameraUse::CameraUse(Camera& camera, Mode mode, DWORD caller, const std::atomic<bool>* cancel) : camera_(camera) {
    if (camera_.owner_ == caller) return;  // its progress callback pumped messages into another call
    constexpr auto kSlice = std::chrono::milliseconds(50);
    bool taken = mode == kIfFree ? camera_.lock_.try_lock() : camera_.lock_.try_lock_for(kSlice * (mode == kSecond ? 20 : 1));
    while (!taken && mode == kWait && !(cancel && *cancel)) taken = camera_.lock_.try_lock_for(kSlice);
    if (!taken) return;
    camera_.owner_ = caller;
    held_ = true;
}

CameraUse::~CameraUse() {
    if (!held_) return;
    camera_.owner_ = 0;
    camera_.lock_.unlock();
}

ptp::Session* Camera::Session() {
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        if (session_ && !session_->Link().Broken()) return session_.get();
    }
    if (failedAt_ && GetTickCount() - failedAt_ < kRedialMs) return nullptr;
    std::shared_ptr<ptp::Session> session;
    if (std::unique_ptr<ptp::IpTransport> link = ptp::IpTransport::Connect(host_, port_, kConnectMs)) {
        session = std::make_shared<ptp::Session>(std::move(link));
        if (session->Open() != Status::kOk) session.reset();
    }
    failedAt_ = session ? 0 : (GetTickCount() | 1);
    if (session) ++generation_;  // a new session may number the objects anew
    std::lock_guard<std::mutex> hold(sessionLock_);
    session_ = session;
    return session.get();
}

Status Camera::Run(const std::function<Status(ptp::Session&)>& call, bool again) {
    for (int attempt = 0; attempt < (again ? 2 : 1); ++attempt) {
        ptp::Session* session = Session();
        if (!session) return Status::kBroken;
        Status status = call(*session);
        if (status != Status::kBroken) return status;
    }
    return Status::kBroken;
}

bool Camera::Reachable() { return Session() != nullptr; }

void Camera::Drop() {
    std::lock_guard<std::mutex> hold(sessionLock_);
    if (session_) session_->Link().Close();
    session_.reset();
}

void Camera::Listen(PtpConnection* connection) {
    std::lock_guard<std::mutex> hold(listenersLock_);
    listeners_.push_back(connection);
}

void Camera::Forget(PtpConnection* connection) {
    std::lock_guard<std::mutex> hold(listenersLock_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), connection), listeners_.end());
}

// Events come on their own connection, read here whenever a session is open.
// While a folder of the camera is open and the link is gone, the camera is
// looked for again now and then; the folders then catch up on what they missed.
void Camera::ListenForEvents() {
    DWORD lookedAt = GetTickCount();
    while (!stopping_) {
        try {
            std::shared_ptr<ptp::Session> session;
            {
                std::lock_guard<std::mutex> hold(sessionLock_);
                session = session_;
            }
            ptp::Message event;
            if (session && !session->Link().Broken()) {
                if (session->Link().NextEvent(event, 200)) Dispatch(event);
                continue;
            }
            Sleep(100);
            if (GetTickCount() - lookedAt < kEventRedialMs || !Listened()) continue;
            lookedAt = GetTickCount();
            CameraUse use(*this, CameraUse::kIfFree);
            if (use && Session()) CatchUp();
        } catch (...) {  // nothing a camera sends may end the browser: this event is lost
            Sleep(100);
        }
    }
}

bool Camera::Listened() {
    std::lock_guard<std::mutex> hold(listenersLock_);
    return !listeners_.empty();
}

// With the camera held: every open folder made current.
void Camera::CatchUp() {
    std::lock_guard<std::mutex> hold(listenersLock_);
    for (PtpConnection* connection : listeners_) connection->MakeCurrent();
}

void Camera::Dispatch(const ptp::Message& event) {
    if (event.params.empty()) return;
    uint32_t handle = event.params[0];
    if (event.code == ptp::kObjectRemoved) {
        std::lock_guard<std::mutex> hold(listenersLock_);
        for (PtpConnection* connection : listeners_) connection->Vanished(handle);
        return;
    }
    if (event.code != ptp::kObjectAdded) return;
    ptp::ObjectInfo info;
    CameraUse use(*this, CameraUse::kWait, GetCurrentThreadId(), &stopping_);
    if (!use || Run([&](ptp::Session& s) { return s.GetObjectInfo(handle, info); }) != Status::kOk) return;
    if (info.format == ptp::kAssociationFormat) return;
    std::lock_guard<std::mutex> hold(listenersLock_);
    for (PtpConnection* connection : listeners_)
        if (connection->FolderHandle() == info.parent) connection->Arrived(handle, info);
}

// ---- PtpImage

bool PtpImage::GetInfo(ImageInfo* out) {
    if (!out) return false;
    *out = {};
    CopyOut(info_.name, out->name, sizeof out->name);
    out->fileSize = info_.size;
    out->mask = kInfoName | kInfoSize;
    if (!info_.captureDate.empty()) {
        CopyOut(info_.captureDate, out->captureDate, sizeof out->captureDate);
        out->mask |= kInfoDate;
    }
    if (info_.width && info_.height && info_.width <= 65535 && info_.height <= 65535) {
        bool swap = SwapsSides(orientation_);  // upright, once the picture's first bytes told
        out->width = int32_t(swap ? info_.height : info_.width);
        out->height = int32_t(swap ? info_.width : info_.height);
        out->mask |= kInfoDimensions;
    } else {
        out->mask |= kInfoNoDimensions;
    }
    return true;
}

// One request mostly does: a camera JPEG's first bytes hold its EXIF, with the
// orientation and the thumbnail. Only a thumbnail further in is asked for apart.
Status PtpImage::Thumbnail(ptp::Session& session, uint32_t handle, std::vector<uint8_t>& bytes,
                           const ptp::DataProgress& progress) {
    std::vector<uint8_t> first;
    uint32_t want = info_.thumbSize < kLargestHead ? std::min(kLargestHead, info_.thumbSize + kHeadSlack) : kLargestHead;
    Status status = session.PartialObject(handle, 0, want, first, progress);
    if (status == Status::kBroken || status == Status::kCancelled) return status;
    Head head = status == Status::kOk ? ReadHead(first) : Head();
    orientation_ = head.orientation;
    std::vector<uint8_t> thumb = std::move(head.thumbnail);
    if (thumb.empty() && (status = session.Thumb(handle, thumb, progress)) != Status::kOk) return status;
    if (!pix::LooksLikeJpeg(thumb.data(), thumb.size())) return Status::kRefused;
    if (orientation_ == 1) {
        bytes = std::move(thumb);
        return Status::kOk;
    }
    pix::JpegHeader header = pix::ParseJpegHeader(thumb.data(), thumb.size());
    pix::Bitmap picture;
    int scale = 0;
    if (!header.valid || !pix::DecodeJpeg(thumb.data(), thumb.size(), header.width, header.height, picture, &scale))
        return Status::kRefused;
    return pix::EncodeJpeg(pix::Orient(picture, orientation_), kThumbnailQuality, {}, bytes) ? Status::kOk
                                                                                            : Status::kRefused;
}

int PtpImage::Exchange(bool fullImage, std::vector<uint8_t>& bytes, DWORD caller, std::atomic<int>& percent,
                       const std::atomic<bool>& cancel) {
    Camera& camera = owner_->Cam();
    CameraUse use(camera, CameraUse::kWait, caller, &cancel);
    if (cancel) return kReadCancelled;
    if (!use) return -1;
    auto progress = [&](uint64_t received, uint64_t total) {
        uint64_t whole = total ? total : info_.size;
        percent = whole ? int(std::min<uint64_t>(100, received * 100 / whole)) : 0;
        return !cancel;
    };
    // After a new session the picture is looked up again: the camera may number it anew.
    Status status = Status::kBroken;
    for (int attempt = 0; attempt < 2 && status == Status::kBroken && !cancel; ++attempt) {
        uint32_t handle = owner_->MakeCurrent() ? owner_->HandleOf(info_.name) : 0;
        if (!handle) return -1;
        status = camera.Run([&](ptp::Session& session) {
            return fullImage ? session.Object(handle, info_.size, bytes, progress) : Thumbnail(session, handle, bytes, progress);
        }, false);
    }
    if (status == Status::kCancelled) return kReadCancelled;
    return status == Status::kOk ? kReadOk : -1;
}

// Nothing thrown crosses the driver table: a failure spoils this read only.
int PtpImage::Fetch(bool fullImage, std::vector<uint8_t>& bytes, ProgressCallback cb, void* cbContext) {
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

int PtpImage::ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb, void* cbContext) {
    return driverfiles::ReadIntoMemory(
        data, freeWhenDone, [&](std::vector<uint8_t>& bytes) { return Fetch(fullImage != 0, bytes, cb, cbContext); });
}

int PtpImage::ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone, ProgressCallback cb, void* cbContext) {
    return files_.Read(path, size, fullImage, deleteWhenDone,
                       [&](std::vector<uint8_t>& bytes) { return Fetch(fullImage != 0, bytes, cb, cbContext); },
                       [&] { return owner_->NewScratchPath(); });
}

// ---- PtpConnection

// A camera busy for more than a second is listed when the folder is first asked for its pictures.
PtpConnection::PtpConnection(std::shared_ptr<Camera> camera, Folder folder)
    : camera_(std::move(camera)), folder_(std::move(folder)) {
    CameraUse use(*camera_, CameraUse::kSecond);
    if (use) MakeCurrent();
    camera_->Listen(this);
}

void PtpConnection::Destroy(int flags) {
    camera_->Forget(this);  // no event reaches it from here on
    {
        std::lock_guard<std::mutex> hold(lock_);
        watchWindow_ = nullptr;
        images_.clear();  // their scratch files go before the folder
    }
    if (flags & 1) delete this;
}

// With the camera held: the folder's pictures as the camera's session numbers
// them now. Pictures that came or went meanwhile are told to the watcher.
bool PtpConnection::MakeCurrent() {
    if (!camera_->Reachable()) return false;  // a session first: its number decides
    if (listedIn_ == camera_->Generation()) return true;
    std::vector<uint32_t> handles;
    std::vector<Entry> entries;
    Status status = camera_->Run([&](ptp::Session& session) {
        entries.clear();
        Status listed = session.ObjectHandles(folder_.storage, folder_.handle, handles);
        for (size_t i = 0; listed == Status::kOk && i < handles.size() && entries.size() < kMostPictures; ++i) {
            ptp::ObjectInfo info;
            Status read = session.GetObjectInfo(handles[i], info);
            if (read == Status::kBroken) return read;
            // A name longer than the table's name field is left out.
            if (read == Status::kOk && info.format != ptp::kAssociationFormat && driverfiles::Fits(info.name, sizeof ImageInfo::name))
                entries.push_back({handles[i], info});
        }
        return listed;
    });
    if (status != Status::kOk) return false;
    std::lock_guard<std::mutex> hold(lock_);
    auto has = [](const std::vector<Entry>& list, const std::string& name) {
        return std::any_of(list.begin(), list.end(), [&](const Entry& e) { return e.info.name == name; });
    };
    if (listedIn_ != 0) {
        for (const Entry& entry : entries_) if (!has(entries, entry.info.name)) Changed(entry.info.name, false);
        for (const Entry& entry : entries) if (!has(entries_, entry.info.name)) Changed(entry.info.name, true);
    }
    entries_ = std::move(entries);
    listedIn_ = camera_->Generation();
    return true;
}

uint32_t PtpConnection::HandleOf(const std::string& name) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const Entry& entry : entries_)
        if (entry.info.name == name) return entry.handle;
    return 0;
}

// Listed late: the camera was busy when the folder opened.
void PtpConnection::ListIfNeeded() {
    if (listedIn_ != 0) return;
    CameraUse use(*camera_, CameraUse::kSecond);
    if (use) MakeCurrent();
}

void PtpConnection::GetConnectionId(char* buffer, int size) { CopyOut(folder_.name, buffer, size); }

int PtpConnection::GetImageCount() {
    ListIfNeeded();
    std::lock_guard<std::mutex> hold(lock_);
    return int(entries_.size());
}

void PtpConnection::GetImageName(char* buffer, int size, int index) {
    std::lock_guard<std::mutex> hold(lock_);
    CopyOut(index >= 0 && size_t(index) < entries_.size() ? entries_[size_t(index)].info.name : "", buffer, size);
}

CameraImage* PtpConnection::OpenImage(const char* name) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.info.name == name; });
    if (entry == entries_.end()) return nullptr;
    for (auto& image : images_)
        if (image->Name() == name) return image.get();
    images_.push_back(std::make_unique<PtpImage>(this, entry->info));
    return images_.back().get();
}

// Never sent twice: after a broken link the camera may have deleted it already, or number another picture so.
void PtpConnection::DeleteImage(const char* name) {
    if (!name) return;
    CameraUse use(*camera_, CameraUse::kSecond);
    uint32_t handle = use && MakeCurrent() ? HandleOf(name) : 0;
    if (!handle || camera_->Run([&](ptp::Session& s) { return s.DeleteObject(handle); }, false) != Status::kOk) return;
    std::lock_guard<std::mutex> hold(lock_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.handle == handle; }),
                   entries_.end());
}

void PtpConnection::DeleteAllImages() {
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const Entry& entry : entries_) names.push_back(entry.info.name);
    }
    for (const std::string& name : names) DeleteImage(name.c_str());
}

// A transaction under way is a camera that answers.
int PtpConnection::CheckConnection() {
    CameraUse use(*camera_, CameraUse::kIfFree);
    return !use || camera_->Reachable() ? 0 : -1;
}

void PtpConnection::Arrived(uint32_t handle, const ptp::ObjectInfo& info) {
    if (!driverfiles::Fits(info.name, sizeof ImageInfo::name)) return;
    std::lock_guard<std::mutex> hold(lock_);
    if (entries_.size() >= kMostPictures) return;
    for (const Entry& entry : entries_)
        if (entry.handle == handle || entry.info.name == info.name) return;
    entries_.push_back({handle, info});
    Changed(info.name, true);
}

void PtpConnection::Vanished(uint32_t handle) {
    std::lock_guard<std::mutex> hold(lock_);
    auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.handle == handle; });
    if (entry == entries_.end()) return;
    std::string name = entry->info.name;
    entries_.erase(entry);
    Changed(name, false);
}

// Kept only while someone watches: a folder nobody shows needs no history.
// One message per burst: the watcher drains every change waiting.
void PtpConnection::Changed(const std::string& name, bool added) {
    if (!watchWindow_ || changes_.size() >= kMostChanges) return;
    changes_.emplace_back(name, added);
    if (!posted_) posted_ = PostMessageW(watchWindow_, watchMessage_, 0, 0) != FALSE;
}

void PtpConnection::Watch(HWND window, UINT message) {
    std::lock_guard<std::mutex> hold(lock_);
    watchWindow_ = window;
    watchMessage_ = message;
    posted_ = false;
    if (!window) changes_.clear();
    else if (!changes_.empty()) posted_ = PostMessageW(window, message, 0, 0) != FALSE;
}

bool PtpConnection::NextChange(std::string& name, bool& added) {
    std::lock_guard<std::mutex> hold(lock_);
    if (changes_.empty()) {
        posted_ = false;  // drained: the next change posts again
        return false;
    }
    name = changes_.front().first;
    added = changes_.front().second;
    changes_.pop_front();
    return true;
}

// ---- PtpService

void PtpService::Destroy(int flags) {
    if (flags & 1) delete this;
}

bool PtpService::Refresh() try {
    std::vector<PtpConnection::Folder> folders;
    Status status = Status::kBroken;
    {
        CameraUse use(*camera_, CameraUse::kSecond);
        if (use) status = camera_->Run([&](ptp::Session& session) {
            folders.clear();
            return FindFolders(session, folders);
        });
    }
    if (status != Status::kOk) return false;  // the folders as last read stay
    std::lock_guard<std::mutex> hold(foldersLock_);
    folders_ = std::move(folders);
    return true;
} catch (...) {
    return false;
}

unsigned PtpService::GetFolderCount() {
    std::lock_guard<std::mutex> hold(foldersLock_);
    return unsigned(folders_.size());
}

bool PtpService::GetFolderName(unsigned index, char* buffer, int size) {
    std::lock_guard<std::mutex> hold(foldersLock_);
    if (index >= folders_.size()) return false;
    CopyOut(folders_[index].name, buffer, size);
    return true;
}

CameraConnection* PtpService::OpenConnection(const char* folderName) try {
    if (!folderName) return nullptr;
    PtpConnection::Folder folder;
    {
        std::lock_guard<std::mutex> hold(foldersLock_);
        auto found = std::find_if(folders_.begin(), folders_.end(), [&](const auto& f) { return f.name == folderName; });
        if (found == folders_.end()) return nullptr;
        folder = *found;
    }
    auto* connection = new PtpConnection(camera_, folder);
    if (!connection->Listed() && connection->CheckConnection() < 0) {
        connection->Destroy(1);
        return nullptr;
    }
    return connection;
} catch (...) {
    return nullptr;
}

}  // namespace ptpcam
