// The view's commands that hand images out: data objects, copy, drag, the
// full-resolution viewer and a video's own player.
#include <shlobj.h>
#include <shellapi.h>

#include <algorithm>

#include "base/FileKinds.h"
#include "base/Module.h"
#include "res/resource.h"
#include "transfer/CopyToDisk.h"
#include "transfer/DropSource.h"
#include "transfer/ImageDataObject.h"
#include "view/CameraView.h"
#include "viewer/FullResViewer.h"

namespace {

constexpr std::ptrdiff_t kRemovedOneByOne = 64;

// The viewer lives on its own once created: its frame deletes it. It keeps
// the folder, which may outlive the view, and goes with the browser window
// that owns it (a thread that ends would take its window without a word).
void ShowFullResolution(CameraImage* image, int rotation, FolderConnection* folder, IUnknown* folderObject, HWND owner) {
    if (!image) return;
    auto* viewer = new (std::nothrow) FullResViewer(image, rotation, folder, folder->Keeper(folderObject));
    if (!viewer) return;
    viewer->Create(owner);
}

}  // namespace

void CameraView::OpenItem(const std::string& name) {
    if (KindOfFile(name) == FileKind::kVideo) return PlayVideo(name);
    int rotation = control_ ? control_->GetItemRotation(name.c_str()) : 0;
    ShowFullResolution(folder_->IsConnected() ? folder_->OpenImage(name) : nullptr, rotation, folder_, folderObject_,
                       GetAncestor(window_, GA_ROOT));
}

// A camera's file cannot be opened in place, and a player holding a card's
// file open would keep the card from changing: the player gets a copy, made
// once per view. The copies go with the view; one still open stays until a
// later start of the module clears it.
void CameraView::PlayVideo(const std::string& name) {
    AddRef();  // the copy's progress box pumps messages: the browser may let the view go meanwhile
    std::string& copy = playedCopies_[name];
    if (copy.empty() || GetFileAttributesW(Widen(copy).c_str()) == INVALID_FILE_ATTRIBUTES) {
        copy.clear();
        // Not while another fetch of this folder runs (its progress box pumped this command in).
        CameraImage* image = folder_->IsConnected() && folder_->Idle() ? folder_->OpenImage(name) : nullptr;
        std::shared_ptr<void> keep = folder_->Keeper(folderObject_);
        TransferBatch batch;
        batch.owner = GetAncestor(window_, GA_ROOT);
        batch.folder = playFolder_;
        folder_->SetIdle(0);
        if (image && !TransferImage(batch, image, copy, 0, nullptr)) copy.clear();
        folder_->SetIdle(1);
        playFolder_ = batch.folder;
    }
    if (!copy.empty() && IsWindow(window_)) {
        SHELLEXECUTEINFOW play = {};
        play.cbSize = sizeof play;
        play.fMask = SEE_MASK_NOASYNC;  // the shell offers its own choice of program when it knows none
        play.hwnd = GetAncestor(window_, GA_ROOT);
        std::wstring file = Widen(copy);
        play.lpFile = file.c_str();
        play.nShow = SW_SHOWNORMAL;
        if (!ShellExecuteExW(&play) && GetLastError() == ERROR_NO_ASSOCIATION)
            MessageBoxW(play.hwnd, LoadModuleText(IDS_CANNOT_PLAY).c_str(), file.substr(file.rfind(L'\\') + 1).c_str(),
                        MB_ICONINFORMATION);
    }
    Release();
}

void CameraView::PreviewCommand() {
    for (const ViewItem& item : items_)
        if (item.selected) return OpenItem(item.name);
}

IDataObject* CameraView::CreateDataObject(DropSource* dropSource) {
    std::vector<TransferItem> chosen;
    for (const ViewItem& item : items_)
        if (item.selected) chosen.push_back({item.rotation, item.name, ""});
    return new (std::nothrow) ImageDataObject(dropSource, folder_, folderObject_, GetParentWindow(), chosen);
}

void CameraView::CopyCommand() {
    IDataObject* data = CreateDataObject(nullptr);
    if (!data) return;
    data->AddRef();
    OleSetClipboard(data);  // the clipboard keeps the only reference
    data->Release();
    UpdateCommandStates();  // Paste at once; the clipboard's own news comes later
}

void CameraView::DragSelection() {
    ComRef<DropSource> source = ComRef<DropSource>::Share(new (std::nothrow) DropSource);
    if (!source) return;
    ComRef<IDataObject> data = ComRef<IDataObject>::Share(CreateDataObject(source.Get()));
    if (!data) return;
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data.Get(), source.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
}

namespace {

bool AskYes(HWND owner, UINT text, UINT caption) {
    return MessageBoxW(owner, LoadModuleText(text).c_str(), LoadModuleText(caption).c_str(), MB_YESNO) == IDYES;
}

}  // namespace

void CameraView::DeleteCommand() {
    if (!control_) return;
    int total = control_->GetItemCount(), selected = control_->GetSelectedCount();
    uint16_t flags = folder_->GetCapabilities().flags;
    // Deleting every one of several images is the camera's delete-all.
    bool all = (flags & kCanDeleteAll) && (!(flags & kCanDeleteSingle) || (total == selected && total >= 2));
    if (all)
        DeleteAll();
    else
        DeleteSelected();
    UpdateCommandStates();
}

void CameraView::DeleteAll() {
    if (control_->GetItemCount() == 0) return;
    if (!AskYes(window_, IDS_CONFIRM_DELETE_ALL_TEXT, IDS_CONFIRM_IMAGE_DELETE)) return;
    if (!AskYes(window_, IDS_DELETE_ALL_WARNING, IDS_CONFIRM_DELETE_ALL)) return;
    suppressSelectionEvents_ = true;
    folder_->DeleteAllImages();
    control_->RemoveAllItems();
    items_.clear();
    filled_ = 0;
    suppressSelectionEvents_ = false;
}

void CameraView::DeleteSelected() {
    if (control_->GetSelectedCount() == 0) return;
    if (!AskYes(window_, IDS_CONFIRM_DELETE_SELECTED_TEXT, IDS_CONFIRM_IMAGE_DELETE)) return;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    suppressSelectionEvents_ = true;
    // Thousands of pictures go faster by filling the view again than one by one.
    bool refill = std::count_if(items_.begin(), items_.end(), [](const ViewItem& i) { return i.selected; }) >
                  kRemovedOneByOne;
    if (refill) control_->RemoveAllItems();  // no picture is being read while its file goes
    std::vector<ViewItem> kept;
    size_t keptFilled = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        ViewItem& item = items_[i];
        if (!item.selected) {
            keptFilled += i < filled_ ? 1 : 0;
            kept.push_back(std::move(item));
            continue;
        }
        if (!refill && i < filled_) control_->RemoveItem(item.name.c_str());
        folder_->DeleteImage(item.name);
    }
    items_ = std::move(kept);
    filled_ = keptFilled;
    suppressSelectionEvents_ = false;
    if (refill) FillView();
    SetCursor(previous);
}

void CameraView::RotateSelected() {
    if (!control_) return;
    for (ViewItem& item : items_) {
        if (!item.selected || !CanTurn(item.name)) continue;
        control_->RotateItem(item.name.c_str(), -90);
        item.rotation = control_->GetItemRotation(item.name.c_str());
    }
}

void CameraView::PropertiesCommand() {
    for (const ViewItem& item : items_) {
        if (!item.selected) continue;
        CameraImage* image = folder_->IsConnected() ? folder_->OpenImage(item.name) : nullptr;
        if (!image) return;
        void* extension = nullptr;
        image->QueryExtension(&CLSID_CameraExtension, &extension);
        if (auto* properties = static_cast<ICameraProperties*>(extension)) {
            properties->ShowProperties(window_);
            properties->Release();
        }
        return;
    }
}

namespace {

int CALLBACK OpenAtCurrentFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

int CameraView::SelectImageFolder(HWND owner) {
    wchar_t buffer[MAX_PATH] = {};
    std::wstring title = LoadModuleText(IDS_SELECT_IMAGE_FOLDER);
    std::wstring current = Widen(folder_->GetCurrentFolder());
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pszDisplayName = buffer;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = OpenAtCurrentFolder;
    browse.lParam = reinterpret_cast<LPARAM>(current.c_str());
    if (LPITEMIDLIST chosen = SHBrowseForFolderW(&browse)) {
        BOOL found = SHGetPathFromIDListW(chosen, buffer);
        CoTaskMemFree(chosen);
        if (found && buffer[0]) {
            folder_->SetKind("Viewer");
            folder_->SetCurrentFolder(Narrow(buffer));
            Refresh();
        }
    }
    return 1;
}

void CameraView::SettingsCommand() {
    if (folder_->EditSettings(window_) != 1 || folder_->GetKind() == "Viewer") return;
    folder_->Connect(false);
    Reload(true);
}
