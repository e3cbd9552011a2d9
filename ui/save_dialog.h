#pragma once
// The save dialog's settings and the last accepted name. The item dialog where it can be created
// (it needs a single-threaded apartment on the calling thread), the Explorer-style one otherwise.

#include <windows.h>

#include <string>

struct TSaveDialog {
    std::wstring Title;
    std::wstring DefaultExt;
    std::wstring Filter;
    std::wstring FileName; // the last accepted name
    // Shows the dialog; true when a name was accepted (FileName then holds it).
    bool Execute(HWND owner);
};
