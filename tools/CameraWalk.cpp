// camwalk.exe: walks the camera namespace the way a file browser does (root,
// sources, camera folders, through their shell folder faces) and prints each
// picture with its details. A quick look at a card, and a debugging aid.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "base/ComObject.h"
#include "base/ItemId.h"
#include "base/Module.h"
#include "base/WideText.h"
#include "camera/FolderConnection.h"

namespace {

// In UTF-8, as every name is printed.
std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST item) {
    STRRET name = {};
    wchar_t* text = nullptr;
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_INFOLDER, &name)) || FAILED(StrRetToStrW(&name, item, &text)))
        return "?";
    std::string utf8 = Narrow(text);
    CoTaskMemFree(text);
    return utf8;
}

void PrintPictures(IShellFolder* shellFolder, const char* indent) {
    // A camera folder is its connection too.
    auto* folder = dynamic_cast<FolderConnection*>(shellFolder);
    if (!folder) return;
    folder->Connect(true);
    if (!folder->IsConnected()) {
        std::printf("%s(no connection)\n", indent);
        return;
    }
    int count = folder->GetImageCount();
    std::printf("%s%d picture%s\n", indent, count, count == 1 ? "" : "s");
    for (int i = 0; i < count; ++i) {
        std::string name = folder->GetImageName(i);
        CameraImage* image = folder->OpenImage(name);
        ImageInfo info = {};
        if (!image || !image->GetInfo(&info)) {
            std::printf("%s  %s  (no details)\n", indent, name.c_str());
            continue;
        }
        std::string size = (info.mask & kInfoDimensions) || !(info.mask & kInfoNoDimensions)
                               ? std::to_string(info.width) + " x " + std::to_string(info.height)
                               : "";
        std::printf("%s  %-16s %10lu bytes  %-19s  %s\n", indent, info.name,
                    static_cast<unsigned long>(info.fileSize),
                    (info.mask & kInfoDate) ? info.captureDate : "", size.c_str());
    }
}

void WalkSource(IShellFolder* source) {
    ComRef<IEnumIDList> items;
    if (FAILED(source->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put())) || !items) return;
    LPITEMIDLIST item = nullptr;
    bool any = false;
    while (items->Next(1, &item, nullptr) == S_OK && item) {
        any = true;
        std::printf("  %s\n", DisplayName(source, item).c_str());
        ComRef<IShellFolder> folder;
        if (SUCCEEDED(source->BindToObject(item, nullptr, IID_IShellFolder, folder.PutVoid())))
            PrintPictures(folder.Get(), "    ");
        CoTaskMemFree(item);
    }
    if (!any) std::printf("  (no folders)\n");
}

}  // namespace

int main() {
    ModuleStartup(GetModuleHandleA(nullptr));  // the exe starts the module as DllMain would
    OleInitialize(nullptr);
    {
        ComRef<IClassFactory> factory;  // through the module's own entry, linked in
        ComRef<IShellFolder> root;
        ComRef<IPersistFolder> persist;
        ComRef<IEnumIDList> children;
        IdListHolder empty;
        if (FAILED(DllGetClassObject(CLSID_CameraExplorer, IID_IClassFactory, factory.PutVoid())) ||
            FAILED(factory->CreateInstance(nullptr, IID_IShellFolder, root.PutVoid())) ||
            FAILED(root->QueryInterface(IID_IPersistFolder, persist.PutVoid())) ||
            FAILED(persist->Initialize(empty.List())) ||
            root->EnumObjects(nullptr, SHCONTF_FOLDERS, children.Put()) != S_OK) {
            std::printf("the module could not be started\n");
            return 1;
        }
        LPITEMIDLIST child = nullptr;
        while (children->Next(1, &child, nullptr) == S_OK && child) {
            std::printf("%s\n", DisplayName(root.Get(), child).c_str());
            ComRef<IShellFolder> folder;
            if (SUCCEEDED(root->BindToObject(child, nullptr, IID_IShellFolder, folder.PutVoid()))) {
                if (DisplayName(root.Get(), child) == "Hard Disk")
                    PrintPictures(folder.Get(), "  ");
                else
                    WalkSource(folder.Get());
            }
            CoTaskMemFree(child);
        }
    }
    OleUninitialize();
    return 0;
}
