#pragma once
// While a modal box or dialog of ours is up, the program's other top-level windows are disabled
// (the box itself disables only its owner) and the window that was active gets activation back
// afterwards.

#include <windows.h>

#include <vector>

class ModalScope {
public:
    explicit ModalScope(HWND boxOwner);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    static BOOL CALLBACK Disable(HWND window, LPARAM self);

    HWND boxOwner_;
    HWND previous_;
    std::vector<HWND> disabled_;
};
