#include "ui/device_list.h"

#include "platform/error.h"

std::vector<std::wstring> DeviceNames(IWaveIn& waveIn)
{
    std::vector<std::wstring> names;
    const int count = static_cast<int>(waveIn.GetNumDevs());
    for (int id = 0; id < count; ++id) {
        WAVEINCAPSW caps{};
        if (waveIn.GetDevCaps(id, &caps) != MMSYSERR_NOERROR)
            caps.szPname[0] = L'\0';
        caps.szPname[MAXPNAMELEN - 1] = L'\0';
        names.push_back(caps.szPname);
    }
    return names;
}

int FindDevice(const std::vector<std::wstring>& names, const std::wstring& name, int preferred)
{
    if (preferred >= 0 && static_cast<size_t>(preferred) < names.size() && names[preferred] == name)
        return preferred;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    return -1;
}

void AddListItem(HWND list, bool comboBox, const std::wstring& text)
{
    const LRESULT index = SendMessageW(list, comboBox ? CB_ADDSTRING : LB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(text.c_str()));
    // CB_ERR/LB_ERR (-1) and CB_ERRSPACE/LB_ERRSPACE (-2).
    if (index < 0)
        throw EAppError(L"Unable to insert a line");
}

std::wstring ListItemText(HWND list, bool comboBox, LRESULT index)
{
    const LRESULT length = SendMessageW(list, comboBox ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
    if (length < 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(list, comboBox ? CB_GETLBTEXT : LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring SelectedItemText(HWND list, bool comboBox)
{
    const LRESULT selected = SendMessageW(list, comboBox ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return selected < 0 ? std::wstring() : ListItemText(list, comboBox, selected);
}
