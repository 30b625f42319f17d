#pragma once
#include <string>

// One image of a folder as its view lists it; printing and the data object
// read the same records.
struct ViewItem {
    int selected;
    int rotation;
    std::string name;
};
