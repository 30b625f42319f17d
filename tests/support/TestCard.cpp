#include "support/TestCard.h"

#include <shlobj.h>

#include "support/TestPaths.h"
#include "support/TestPictures.h"

TestCard::TestCard() : root_(MakeTempDir("card")) {
    CreateDirectoryA((root_ + "\\DCIM").c_str(), nullptr);
    CreateDirectoryA(Folder().c_str(), nullptr);
    CreateDirectoryA(SecondFolder().c_str(), nullptr);

    ExifFields withThumbnail;
    withThumbnail.orientation = 6;
    withThumbnail.dateTimeOriginal = "2024:06:01 09:30:00";
    pix::Bitmap green;
    green.Allocate(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) green.Row(y)[x * 3 + 1] = 255;
    withThumbnail.thumbnail = MakeJpeg(green, {});
    Write(Folder() + "\\IMG_0002.JPG", MakeJpeg(QuadrantBitmap(640, 480), withThumbnail));
    Write(Folder() + "\\img_0001.jpg", MakeJpeg(QuadrantBitmap(800, 600), {}));
    Write(Folder() + "\\IMG_0003.PNG", MakePngWithAlpha(30, 20));
    Write(Folder() + "\\notes.txt", {'h', 'i'});
}

TestCard::~TestCard() { RemoveTree(root_); }

void TestCard::Write(const std::string& path, const std::vector<uint8_t>& bytes) const {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

namespace {

class FileDrop final : public IDataObject {
public:
    explicit FileDrop(const std::vector<std::string>& paths) : paths_(paths) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        size_t chars = 1;
        for (const auto& p : paths_) chars += p.size() + 1;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        char* at = reinterpret_cast<char*>(drop + 1);
        for (const auto& p : paths_) {
            memcpy(at, p.c_str(), p.size() + 1);
            at += p.size() + 1;
        }
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK
                                                                                       : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
        FORMATETC drop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return direction == DATADIR_GET ? SHCreateStdEnumFmtEtc(1, &drop, formats) : E_NOTIMPL;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::vector<std::string> paths_;
    ULONG references_ = 1;
};

}  // namespace

IDataObject* MakeFileDrop(const std::vector<std::string>& paths) { return new FileDrop(paths); }
