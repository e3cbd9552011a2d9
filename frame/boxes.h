#pragma once
// The program's three modal boxes behind one seam: the system shows them, tests put their own in
// place to see what would have been shown.

#include <windows.h>

#include <string>

enum class TBoxKind {
    Message,     // the plain message: no icon, one "OK" that Enter and Esc press
    Error,       // the error report's box: stop icon, one OK
    DeviceError, // the box of a device that failed at the start: stop icon, one OK
};

class IBoxes {
public:
    virtual ~IBoxes() = default;
    // Shows the box owned by `owner` and returns once it has been closed.
    virtual void Show(TBoxKind kind, HWND owner, const std::wstring& caption, const std::wstring& text) = 0;
};

// The system's boxes.
IBoxes& SystemBoxes();
