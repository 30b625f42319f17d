// clipboard_reader.exe <folder>: a second program reading the clipboard as programs do, written from the
// documentation of the formats. One line per file: of CF_HDROP ("file <path>"), of the shell's ID list array ("id
// <path>": the parent bound, the path of parent + item), of the file group ("stream <folder>\<name>", where it saved
// the item's stream; "badsize" instead when that is not the size announced).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
    char out[2 * MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// Format `name` (item `index`, as `tymed`) from the data object, a block locked while the reader holds it.
struct Medium {
    Medium(IDataObject* data, const wchar_t* name, LONG index = -1, DWORD tymed = TYMED_HGLOBAL) {
        FORMATETC format = {CLIPFORMAT(RegisterClipboardFormatW(name)), nullptr, DVASPECT_CONTENT, index, tymed};
        if (data->GetData(&format, &medium) != S_OK) medium = {};
        if (medium.tymed == TYMED_HGLOBAL) block = static_cast<BYTE*>(GlobalLock(medium.hGlobal));
    }
    ~Medium() { if (block) GlobalUnlock(medium.hGlobal); ReleaseStgMedium(&medium); }
    STGMEDIUM medium = {};
    BYTE* block = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    // The owner renders on request; give it a moment to answer.
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(100);
    if (auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP))) {
        wchar_t path[MAX_PATH];
        for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i)
            if (DragQueryFileW(drop, i, path, MAX_PATH)) std::printf("file %s\n", Narrow(path).c_str());
    }
    CloseClipboard();

    // The shell's own formats through OLE: a stream cannot travel as a plain clipboard block.
    OleInitialize(nullptr);
    IDataObject* data = nullptr;
    if (OleGetClipboard(&data) != S_OK) return 1;
    {
        Medium ids(data, L"Shell IDList Array");
        auto* array = reinterpret_cast<CIDA*>(ids.block);
        auto list = [&](UINT i) { return reinterpret_cast<PCIDLIST_ABSOLUTE>(ids.block + array->aoffset[i]); };
        IShellFolder* parent = nullptr;
        auto bound = reinterpret_cast<void**>(&parent);
        if (array && SUCCEEDED(SHBindToObject(nullptr, list(0), nullptr, IID_IShellFolder, bound))) {
            for (UINT i = 1; i <= array->cidl; ++i) {
                PIDLIST_ABSOLUTE whole = ILCombine(list(0), list(i));
                wchar_t path[MAX_PATH] = {};
                if (whole && SHGetPathFromIDListW(whole, path)) std::printf("id %s\n", Narrow(path).c_str());
                ILFree(whole);
            }
            parent->Release();
        }

        Medium group(data, L"FileGroupDescriptorW");
        auto* descriptor = reinterpret_cast<FILEGROUPDESCRIPTORW*>(group.block);
        for (UINT i = 0; descriptor && argc > 1 && i < descriptor->cItems; ++i) {
            const FILEDESCRIPTORW& file = descriptor->fgd[i];
            Medium contents(data, L"FileContents", LONG(i), TYMED_ISTREAM);
            std::string path = std::string(argv[1]) + "\\" + Narrow(file.cFileName);
            FILE* out = std::fopen(path.c_str(), "wb");
            ULONGLONG size = 0;
            char buffer[65536];
            for (ULONG got = 0; out && contents.medium.pstm &&
                                SUCCEEDED(contents.medium.pstm->Read(buffer, sizeof buffer, &got)) && got; size += got)
                std::fwrite(buffer, 1, got, out);
            if (out) std::fclose(out);
            ULONGLONG announced = (ULONGLONG(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
            bool sized = (file.dwFlags & FD_FILESIZE) && size == announced;
            std::printf("%s %s\n", sized ? "stream" : "badsize", path.c_str());
        }
    }
    data->Release();
    OleUninitialize();
    return 0;
}
