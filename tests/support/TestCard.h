#pragma once
// A memory card in a temporary folder: ROOT\DCIM\100TEST and 101TEST with
// pictures the tests make, removed again when the card goes.
#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

class TestCard {
public:
    explicit TestCard(const char* prefix = "card");  // UTF-8
    ~TestCard();
    TestCard(const TestCard&) = delete;
    TestCard& operator=(const TestCard&) = delete;

    const std::string& Root() const { return root_; }
    std::string Folder() const { return root_ + "\\DCIM\\100TEST"; }
    std::string SecondFolder() const { return root_ + "\\DCIM\\101TEST"; }
    static void Write(const std::string& path, const std::vector<uint8_t>& bytes);

private:
    std::string root_;
};

void RemoveTree(const std::string& path);

// A data object that offers the files `paths` as CF_HDROP, as the shell's do.
IDataObject* MakeFileDrop(const std::vector<std::string>& paths);
