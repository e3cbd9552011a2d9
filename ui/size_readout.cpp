// Size read-out: the byte count shown in Label1 and the size of a file from its directory entry.
#include "ui/size_readout.h"

#include <cstdio>

#include "platform/long_path.h"
#include "ui/unit_main.h"

std::wstring FormatSize(int32_t n)
{
    const int32_t kilobytes = n / 1024; // truncates toward zero: -1023 stays in bytes
    wchar_t text[32];
    if (kilobytes != 0)
        std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d КБ", static_cast<int>(kilobytes));
    else
        std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d байт", static_cast<int>(n));
    return text;
}

int32_t FileSizeByName(const std::wstring& name)
{
    const std::wstring path = FullPathName(name);
    if (path.empty())
        return -1;
    // A search pattern would report the size of whichever file matched first, not of this name.
    const size_t lastPart = path.find_last_of(L"\\/");
    if (path.find_first_of(L"*?", lastPart == std::wstring::npos ? 0 : lastPart + 1) != std::wstring::npos)
        return -1;

    WIN32_FIND_DATAW entry;
    const FindHandle search(FindFirstFileW(ExtendedLengthPath(path).c_str(), &entry));
    if (!search)
        return -1;
    // Every attribute is accepted (directories too); the size is the low half, read as signed.
    return static_cast<int32_t>(entry.nFileSizeLow);
}

void TForm1::ShowSize(int32_t n)
{
    if (!Label1)
        return;
    // Told only what changes: as the ring drains at Stop, each buffer it hands back gives the same
    // total again.
    const std::wstring text = FormatSize(n);
    wchar_t shown[32]{};
    GetWindowTextW(Label1, shown, 32);
    if (text == shown)
        return;
    SetWindowTextW(Label1, text.c_str());
    // The label keeps fitting its text, as "2097151 КБ" is wider than the "0 байт" it starts with.
    FitLabel1();
}

void TForm1::FitLabel1()
{
    wchar_t text[64]{};
    GetWindowTextW(Label1, text, 64);
    const WindowDc dc(Label1);
    if (!dc)
        return;
    const SelectedObject font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(Label1, WM_GETFONT, 0, 0)));
    SIZE extent{};
    if (!GetTextExtentPoint32W(dc.Get(), text, lstrlenW(text), &extent))
        return;
    // Mostly the size it has: a move that changes nothing still costs a round of the window manager.
    RECT now{};
    GetClientRect(Label1, &now);
    if (extent.cx != now.right || extent.cy != now.bottom)
        SetWindowPos(Label1, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
