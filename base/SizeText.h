#pragma once
#include <string>

// "%d byte", "%.1fKB" or "%.1fMB"; empty for sizes of 0 or less.
std::string FormatFileSize(int bytes);
// "%d x %d"; empty unless both are positive.
std::string FormatImageSize(int width, int height);
