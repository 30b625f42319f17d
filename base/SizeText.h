#pragma once
#include <cstdint>
#include <string>

// "%d byte", "%.1fKB" or "%.1fMB"; empty for 0.
std::string FormatFileSize(uint64_t bytes);
// "%d x %d"; empty unless both are positive.
std::string FormatImageSize(int width, int height);
