#include "support/TestCard.h"

#include <shlobj.h>

#include "support/TestPaths.h"
#include "support/TestPictures.h"

TestCard::TestCard(const char* prefix) : root_(MakeTempDir(prefix)) {
    for (const std::string& folder : {root_ + "\\DCIM", Folder(), SecondFolder()}) CreateDirectoryW(Utf16(folder).c_str(), nullptr);

    ExifFields withThumbnail{6, "2024:06:01 09:30:00", 0, 0, {}, false};
    withThumbnail.thumbnail = MakeJpeg(Painted(160, 120, [](int, int) { return Color{0, 255, 0}; }), {});
    Write(Folder() + "\\IMG_0002.JPG", MakeJpeg(QuadrantBitmap(640, 480), withThumbnail));
    Write(Folder() + "\\img_0001.jpg", MakeJpeg(QuadrantBitmap(800, 600), {}));
    Write(Folder() + "\\IMG_0003.PNG", MakePngWithAlpha(30, 20));
    Write(Folder() + "\\notes.txt", {'h', 'i'});
}

TestCard::~TestCard() { RemoveTree(root_); }

void TestCard::Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void RemoveTree(const std::string& path) {
    std::wstring wide = Utf16(path);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring name = found.cFileName, child = wide + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(Utf8(child));
        else DeleteFileW(child.c_str());
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryW(wide.c_str());
}

// The shell's own data object over the files, as a drag from their folder
// window gives: paths from one folder, and at least one of them.
IDataObject* MakeFileDrop(const std::vector<std::string>& paths) {
    std::string folderPath = paths.at(0).substr(0, paths[0].rfind('\\'));
    IShellFolder* desktop = nullptr;
    IShellFolder* folder = nullptr;
    LPITEMIDLIST folderList = nullptr;
    std::vector<LPITEMIDLIST> children;
    IDataObject* data = nullptr;
    SHGetDesktopFolder(&desktop);
    std::wstring wide = Utf16(folderPath);
    if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &wide[0], nullptr, &folderList, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(folderList, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder)))) {
        for (const std::string& path : paths) {
            std::wstring name = Utf16(path.substr(folderPath.size() + 1));
            LPITEMIDLIST child = nullptr;
            if (SUCCEEDED(folder->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, &child, nullptr)))
                children.push_back(child);
        }
        folder->GetUIObjectOf(nullptr, UINT(children.size()), const_cast<LPCITEMIDLIST*>(children.data()),
                              IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
        folder->Release();
    }
    for (LPITEMIDLIST child : children) CoTaskMemFree(child);
    CoTaskMemFree(folderList);
    desktop->Release();
    return data;
}
