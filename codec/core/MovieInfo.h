#pragma once
// What a camera's video file tells about itself without decoding a frame: when it
// was recorded and its frame size, from QuickTime/MP4 boxes or AVI chunks.
// Portable: no platform headers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pix {

struct MovieInfo {
    bool recognised = false;       // a QuickTime/MP4 or AVI file
    std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS" as the camera wrote it, or empty
    int width = 0, height = 0;     // as played (a turned track's sides exchanged); 0 when unknown
};

// Up to `count` bytes of the file at `offset`: fewer at its end or on failure.
using ReadBytesAt = std::function<std::vector<uint8_t>(uint64_t offset, size_t count)>;

// The movie box may lie after gigabytes of frames: only box headers are read on
// the way, and at most a few megabytes of it.
MovieInfo ParseMovie(const ReadBytesAt& read, uint64_t fileSize);

}  // namespace pix
