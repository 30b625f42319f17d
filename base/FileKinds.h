#pragma once
// What a camera file is, by its name's ending: a picture the codec may turn,
// a RAW picture, or a video. RAW files and videos are never turned on a card.
#include <string>

enum class FileKind { kPicture, kRaw, kVideo };

FileKind KindOfFile(const std::string& name);
inline bool CanTurn(const std::string& name) { return KindOfFile(name) == FileKind::kPicture; }
