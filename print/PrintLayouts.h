#pragma once
// The four print layouts: their dialog radio buttons, their registry keys
// under "Print Layouts", and the values read from them, the user's before the
// machine's. Keys are set up at installation; only the user's "CurrentLayout"
// is ever written here.
#include <windows.h>

#include <string>

#include "res/resource.h"

struct LayoutRow {
    int radioId;
    const char* subkey;
};

// In dialog order; note that "Layout2" is the button 1004 and "Layout3" 1003.
constexpr LayoutRow kLayoutRows[4] = {
    {IDC_LAYOUT_SINGLE, "Layout1"}, {IDC_LAYOUT_TWO, "Layout2"}, {IDC_LAYOUT_FOUR, "Layout3"},
    {IDC_LAYOUT_SHEET, "Layout4"}};
constexpr int kFirstLayoutRadio = IDC_LAYOUT_SINGLE;
constexpr int kLastLayoutRadio = IDC_LAYOUT_SHEET;
constexpr char kLayoutsKey[] = "Software\\Pictavia\\OrvexView\\Print Layouts\\";
constexpr char kDefaultLayout[] = "Layout4";

// These raise RegKey's error when neither root has the key.
std::string ReadCurrentLayout(const char* defaultText);
std::string ReadLayoutValue(const std::string& subkey, const char* value, const char* defaultText);
// Keeps the layout the user chose.
void WriteCurrentLayout(const std::string& subkey);

// As above, but a layout key that cannot be opened yields `defaultText`.
std::string ReadLayoutValueOr(const std::string& subkey, const char* value, const char* defaultText);
