#include "ui/save_dialog.h"

#include <cderr.h>
#include <commdlg.h>
#include <shobjidl.h>

#include <vector>

#include "platform/error.h"
#include "platform/guards.h"
#include "platform/system_dll.h"

namespace {

// Names of at most 259 characters, as the file layer expects.
constexpr size_t kMaxFileName = MAX_PATH - 1;

[[noreturn]] void RefuseLongName()
{
    throw EAppError(L"The file name is too long: at most " + std::to_wstring(kMaxFileName) + L" characters");
}

// Centred across the monitor of the active window, a third of the free height from its top.
void PlaceDialog(HWND dialog)
{
    HWND active = GetActiveWindow();
    if (!active || active == dialog)
        active = GetForegroundWindow();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(active, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    RECT box{};
    GetWindowRect(dialog, &box);
    const RECT& area = monitor.rcWork;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 3;
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The item dialog needs a single-threaded apartment on this thread (the frame enters one for the
// window's thread); elsewhere the classic dialog serves.
bool InSingleThreadedApartment()
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

// Places the item dialog once its window exists: the dialog reports its first folder before it
// is shown, and its window is reachable through IOleWindow.
class PlaceOnFirstFolder final : public IFileDialogEvents {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IFileDialogEvents)) {
            *object = static_cast<IFileDialogEvents*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack and is unadvised before it goes: the count is not needed.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* dialog) override
    {
        if (placed_)
            return S_OK;
        ComPtr<IOleWindow> window;
        HWND handle = nullptr;
        if (SUCCEEDED(dialog->QueryInterface(__uuidof(IOleWindow), window.PutVoid())) &&
            SUCCEEDED(window->GetWindow(&handle)) && handle) {
            PlaceDialog(handle);
            placed_ = true;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override
    {
        return E_NOTIMPL; // the dialog's own handling
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override
    {
        return E_NOTIMPL;
    }

private:
    bool placed_ = false;
};

enum class Outcome { Accepted, NotAccepted, Unavailable };

// The platform's current save dialog. Unavailable when it cannot be created here.
Outcome ShowItemDialog(TSaveDialog& settings, HWND owner)
{
    if (!InSingleThreadedApartment())
        return Outcome::Unavailable;
    ComPtr<IFileSaveDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IFileSaveDialog),
                                dialog.PutVoid())))
        return Outcome::Unavailable;

    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // No overwrite prompt and no existence checks: an existing file is replaced without a question,
    // and a file the program cannot write is its error to report, not the dialog's.
    options &= ~(FOS_OVERWRITEPROMPT | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOREADONLYRETURN);
    options |= FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR;
    dialog->SetOptions(options);
    dialog->SetTitle(settings.Title.c_str());
    // One entry that shows "*.wav" and lists the .wav files.
    const COMDLG_FILTERSPEC filter{settings.Filter.c_str(), settings.Filter.c_str()};
    dialog->SetFileTypes(1, &filter);
    dialog->SetDefaultExtension(settings.DefaultExt.c_str());
    if (!settings.FileName.empty()) {
        // The last accepted name: its folder, and its name in the name box.
        const size_t slash = settings.FileName.find_last_of(L"\\/");
        ComPtr<IShellItem> folder;
        if (slash != std::wstring::npos &&
            SUCCEEDED(SHCreateItemFromParsingName(settings.FileName.substr(0, slash + 1).c_str(), nullptr,
                                                  __uuidof(IShellItem), folder.PutVoid())))
            dialog->SetFolder(folder.Get());
        dialog->SetFileName(settings.FileName.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str());
    }

    PlaceOnFirstFolder placer;
    DWORD cookie = 0;
    const bool advised = SUCCEEDED(dialog->Advise(&placer, &cookie));
    const HRESULT shown = dialog->Show(owner);
    if (advised)
        dialog->Unadvise(cookie);
    if (FAILED(shown))
        return Outcome::NotAccepted; // cancelled, or it could not be shown

    ComPtr<IShellItem> result;
    wchar_t* path = nullptr;
    if (FAILED(dialog->GetResult(result.Put())) || FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path)
        throw EAppError(L"The save dialog gave no file name");
    const std::wstring name = path;
    CoTaskMemFree(path);
    if (name.size() > kMaxFileName)
        RefuseLongName();
    settings.FileName = name;
    return Outcome::Accepted;
}

UINT_PTR CALLBACK PlaceClassicDialog(HWND child, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == CDN_INITDONE)
        PlaceDialog(GetParent(child));
    return 0;
}

// The Explorer-style dialog, for where the item dialog cannot be created.
bool ShowClassicDialog(TSaveDialog& settings, HWND owner)
{
    std::vector<wchar_t> name(kMaxFileName + 1, L'\0');
    settings.FileName.copy(name.data(), kMaxFileName);

    // The filter's one entry shows "*.wav" and lists the .wav files.
    std::wstring filter = settings.Filter;
    filter.push_back(L'\0');
    filter += settings.Filter;
    filter.push_back(L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = settings.Title.c_str();
    dialog.lpstrDefExt = settings.DefaultExt.c_str();
    // No overwrite prompt and no existence checks: an existing file is replaced without a question.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR | OFN_ENABLEHOOK;
    dialog.lpfnHook = PlaceClassicDialog;

    // comdlg32 is bound here rather than imported: it loads comctl32, which loads further DLLs as it
    // starts, before the search is restricted to the system folder.
    const HMODULE comdlg32 = LoadSystemDll(L"comdlg32.dll");
    const auto getSaveFileName = DllFunction<decltype(GetSaveFileNameW)>(comdlg32, "GetSaveFileNameW");
    const auto extendedError = DllFunction<decltype(CommDlgExtendedError)>(comdlg32, "CommDlgExtendedError");
    if (!getSaveFileName || !extendedError)
        return false; // no dialog can be shown
    if (getSaveFileName(&dialog)) {
        settings.FileName = name.data();
        return true;
    }
    // A name the dialog took but could not hand back is the user's choice lost: say so.
    switch (extendedError()) {
    case FNERR_BUFFERTOOSMALL:
        RefuseLongName();
    case FNERR_INVALIDFILENAME:
        throw EAppError(L"The file name is not valid");
    default:
        return false; // cancelled, or the dialog could not be shown: keep the last accepted name
    }
}

} // namespace

bool TSaveDialog::Execute(HWND owner)
{
    switch (ShowItemDialog(*this, owner)) {
    case Outcome::Accepted:
        return true;
    case Outcome::NotAccepted:
        return false;
    case Outcome::Unavailable:
        break;
    }
    return ShowClassicDialog(*this, owner);
}
