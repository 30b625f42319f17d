// copyout_bench.exe <folder>: copies every picture of <folder> out through the camera view's data object (CF_HDROP
// rendering, disk driver) and, beside it, with plain CopyFileA, and prints both times and their ratio.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "base/Module.h"
#include "camera/FolderConnection.h"
#include "transfer/ImageDataObject.h"

namespace {

// The folder's images come straight from the disk driver library.
class DiskFolder final : public FolderConnection {
public:
    explicit DiskFolder(const std::string& path)
        : FolderConnection(path, "Local"), service_(LoadService("diskcam.dll", "")) {}
    ~DiskFolder() override {
        CloseConnection();
        if (service_) service_->Destroy(1);
    }

protected:
    CameraService* ParentService() override { return service_; }

private:
    CameraService* service_;
};

void EmptyFolder(const std::string& folder) {
    for (const std::string& name : Pictures(folder)) DeleteFileA((folder + "\\" + name).c_str());
}

double CopyPlain(const std::string& from, const std::vector<std::string>& names, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    EmptyFolder(to);
    double start = Now();
    for (const std::string& name : names) CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    return Now() - start;
}

double CopyThroughDataObject(DiskFolder& folder, const std::vector<std::string>& names, HWND browser) {
    std::vector<TransferItem> items;
    for (const std::string& name : names) items.push_back({0, name, ""});
    auto* data = new ImageDataObject(nullptr, &folder, nullptr, browser, items);
    data->AddRef();
    FORMATETC wanted = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    double start = Now();
    HRESULT hr = data->GetData(&wanted, &medium);
    double took = Now() - start;
    if (hr == S_OK) ReleaseStgMedium(&medium);
    data->Release();
    return hr == S_OK ? took : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: copyout_bench <folder of pictures>\n");
        return 2;
    }
    OleInitialize(nullptr);
    theModule.instance = GetModuleHandleA(nullptr);
    ReadProductInfo();
    std::string source = argv[1];
    DiskFolder folder(source);
    folder.Connect(false);
    std::vector<std::string> names = Pictures(source);
    HWND browser = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                   nullptr);
    if (!folder.IsConnected() || names.empty()) return 1;
    std::string plainTarget = source + "-plain";
    double plain = 1e9, ours = 1e9;
    for (int round = 0; round < 3; ++round) {
        plain = std::min(plain, CopyPlain(source, names, plainTarget));
        double took = CopyThroughDataObject(folder, names, browser);
        if (took < 0) return 1;
        ours = std::min(ours, took);
    }
    EmptyFolder(plainTarget);
    RemoveDirectoryA(plainTarget.c_str());
    std::printf("pictures %zu\nplain_copy_ms %.0f\ndata_object_ms %.0f\nratio %.2f\n", names.size(), plain, ours,
                ours / plain);
    DestroyWindow(browser);
    OleUninitialize();
    return 0;
}
