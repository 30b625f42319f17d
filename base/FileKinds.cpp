#include "base/FileKinds.h"

FileKind KindOfFile(const std::string& name) {
    static const char* const kRaw[] = {"cr2", "cr3", "crw", "nef", "nrw", "arw", "sr2", "dng",
                                       "orf", "rw2", "pef", "raf", "srw", "3fr", "iiq", "x3f"};
    static const char* const kHeif[] = {"heic", "heif", "hif"};
    static const char* const kVideo[] = {"mp4", "mov", "avi", "mts", "m2ts", "3gp"};
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return FileKind::kPicture;
    std::string ending = name.substr(dot + 1);
    for (char& c : ending) c = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    for (const char* raw : kRaw)
        if (ending == raw) return FileKind::kRaw;
    for (const char* heif : kHeif)
        if (ending == heif) return FileKind::kHeif;
    for (const char* video : kVideo)
        if (ending == video) return FileKind::kVideo;
    return FileKind::kPicture;
}
