// The plain message: an in-memory dialog template, laid out when it opens.
#include "frame/message_dialog.h"

#include <algorithm>
#include <vector>

#include "platform/error.h"
#include "platform/guards.h"

namespace {

constexpr int kMessageTextId = 100;

struct MessageDialogData {
    const std::wstring* text;
};

void AppendWord(std::vector<WORD>& out, WORD value) { out.push_back(value); }

void AppendString(std::vector<WORD>& out, const wchar_t* text)
{
    for (; *text; ++text)
        out.push_back(static_cast<WORD>(*text));
    out.push_back(0);
}

void AlignDword(std::vector<WORD>& out)
{
    if (out.size() % 2)
        out.push_back(0);
}

void AppendItem(std::vector<WORD>& out, DWORD style, WORD id, WORD classAtom, const wchar_t* text)
{
    AlignDword(out);
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.id = id;
    // Positions are set in WM_INITDIALOG, once the text has been measured.
    const WORD* raw = reinterpret_cast<const WORD*>(&item);
    out.insert(out.end(), raw, raw + sizeof(item) / sizeof(WORD));
    AppendWord(out, 0xFFFF);
    AppendWord(out, classAtom);
    AppendString(out, text);
    AppendWord(out, 0); // no creation data
}

std::vector<WORD> MessageDialogTemplate(const std::wstring& title)
{
    std::vector<WORD> out;
    DLGTEMPLATE dialog{};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
    dialog.cdit = 2;
    const WORD* raw = reinterpret_cast<const WORD*>(&dialog);
    out.insert(out.end(), raw, raw + sizeof(dialog) / sizeof(WORD));
    AppendWord(out, 0); // no menu
    AppendWord(out, 0); // the standard dialog class
    AppendString(out, title.c_str());
    AppendWord(out, 8);
    AppendString(out, L"MS Shell Dlg");
    // SS_EDITCONTROL breaks words longer than a line instead of clipping them.
    AppendItem(out, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kMessageTextId, 0x0082, L"");
    AppendItem(out, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 0x0080, L"OK");
    return out;
}

void LayoutMessageDialog(HWND dialog, const std::wstring& text)
{
    HWND label = GetDlgItem(dialog, kMessageTextId);
    HWND button = GetDlgItem(dialog, IDOK);
    SetWindowTextW(label, text.c_str());

    RECT units{7, 7, 50, 14}; // margin, margin, button width, button height
    MapDialogRect(dialog, &units);
    const int margin = units.left;
    const int buttonWidth = units.right;
    const int buttonHeight = units.bottom;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    RECT textRect{0, 0, std::max(screenWidth / 2, 1), 0};
    if (const WindowDc dc(label); dc) {
        const SelectedObject font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
        DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    }
    const int textWidth = std::min<int>(textRect.right - textRect.left, screenWidth / 2);
    const int textHeight = textRect.bottom - textRect.top;

    const int clientWidth = std::max(textWidth, buttonWidth) + 2 * margin;
    const int clientHeight = margin + textHeight + margin + buttonHeight + margin;
    MoveWindow(label, margin, margin, textWidth, textHeight, FALSE);
    MoveWindow(button, (clientWidth - buttonWidth) / 2, margin + textHeight + margin, buttonWidth, buttonHeight,
               FALSE);

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        LayoutMessageDialog(dialog, *reinterpret_cast<MessageDialogData*>(lParam)->text);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE; // focus set here
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void ShowMessageDialog(HWND owner, const std::wstring& caption, const std::wstring& text)
{
    const std::vector<WORD> dialog = MessageDialogTemplate(caption);
    MessageDialogData data{&text};
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
                                                   MessageDialogProc, reinterpret_cast<LPARAM>(&data));
    if (result == -1)
        throw EAppError(L"Cannot show the message: " + text);
}
