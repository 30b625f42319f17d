#pragma once
// Pictures in the other formats (PNG, BMP, GIF, TIFF) through the system's
// Windows Imaging Component.
#include <windows.h>

#include <cstdint>

#include "core/Pixels.h"

namespace pix {

// Decodes the first frame; transparent parts are shown over white.
bool DecodeWithWic(const uint8_t* data, size_t size, Bitmap& out);

}  // namespace pix
