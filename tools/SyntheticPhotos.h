#pragma once
// Photo-like pictures and camera JPEGs for demos and benchmarks: smooth
// scenes with sensor noise, EXIF with a capture date, an orientation and a
// 160 x 120 thumbnail, as a camera writes them.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Pixels.h"

namespace synthetic {

pix::Bitmap PhotoLike(int width, int height, int seed = 0);

struct CameraShot {
    std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS"
    int orientation = 1;
};

// The JPEG a camera would store for `upright` taken as `shot`.
std::vector<uint8_t> CameraJpeg(const pix::Bitmap& upright, const CameraShot& shot, int quality = 90);
// A TIFF-based RAW file of that shot as cameras write them: a 160 x 120 thumbnail in IFD0, a JPEG preview of the
// whole picture and the sensor image in SubIFDs, the date in the EXIF IFD. The sensor data is a token few bytes.
std::vector<uint8_t> CameraRaw(const pix::Bitmap& upright, const CameraShot& shot);

}  // namespace synthetic
