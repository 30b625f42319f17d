// Saves the screen as a PNG: screenshot.exe <path>
#include <objbase.h>

#include <cstdio>

#include "support/Screen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot <file.png>\n");
        return 2;
    }
    CoInitialize(nullptr);
    bool saved = SaveScreenPng(argv[1]);
    CoUninitialize();
    return saved ? 0 : 1;
}
