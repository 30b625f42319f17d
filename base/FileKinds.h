#pragma once
// What a camera file is, by its name's ending: a picture the codec may turn,
// a RAW picture, a HEIF picture or a video. Only the first kind is turned.
#include <string>

enum class FileKind { kPicture, kRaw, kHeif, kVideo };

FileKind KindOfFile(const std::string& name);
inline bool CanTurn(const std::string& name) { return KindOfFile(name) == FileKind::kPicture; }
