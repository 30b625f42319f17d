#include "base/SizeText.h"

#include <cstdio>

std::string FormatFileSize(uint64_t bytes) {
    char text[32] = {};
    if (bytes == 0) return "";
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%u byte", unsigned(bytes));
    else if (bytes < 1048576)
        std::snprintf(text, sizeof text, "%.1fKB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1fMB", bytes / 1048576.0);
    return text;
}

std::string FormatImageSize(int width, int height) {
    if (width <= 0 || height <= 0) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%d x %d", width, height);
    return text;
}
