#pragma once
// The plain message: a modal dialog with `caption`, no icon, the text wrapped at half the screen's
// width, and one "OK" button that is both default and cancel; centred on the screen.

#include <windows.h>

#include <string>

// Returns once the dialog has been closed; raises EAppError when it cannot be shown.
void ShowMessageDialog(HWND owner, const std::wstring& caption, const std::wstring& text);
