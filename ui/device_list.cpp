#include "ui/device_list.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/error.h"
#include "platform/guards.h"

namespace {

// The second and later of one name get " (2)", " (3)", skipping any a device already has.
void TellApart(std::vector<TDevice>& devices)
{
    std::set<std::wstring> taken;
    for (const TDevice& device : devices)
        taken.insert(device.Name);
    std::map<std::wstring, int> seen;
    for (TDevice& device : devices) {
        if (device.Name.empty() || ++seen[device.Name] == 1)
            continue;
        int& number = seen[device.Name];
        std::wstring name;
        do
            name = device.Name + L" (" + std::to_wstring(number++) + L")";
        while (taken.count(name));
        --number; // the next of this name goes on from here
        taken.insert(name);
        device.Name = name;
    }
}

} // namespace

std::vector<TDevice> ListDevices(IWaveIn& waveIn)
{
    std::vector<TDevice> devices;
    const int count = static_cast<int>(waveIn.GetNumDevs());
    for (int id = 0; id < count; ++id) {
        TDevice device{waveIn.EndpointId(id), std::wstring()};
        device.Name = waveIn.EndpointName(device.Identity);
        if (device.Name.empty()) {
            WAVEINCAPSW caps{};
            if (waveIn.GetDevCaps(id, &caps) != MMSYSERR_NOERROR)
                caps.szPname[0] = L'\0';
            caps.szPname[MAXPNAMELEN - 1] = L'\0';
            device.Name = caps.szPname;
        }
        devices.push_back(std::move(device));
    }
    TellApart(devices);
    return devices;
}

std::optional<UINT> FindDeviceById(IWaveIn& waveIn, const std::wstring& identity)
{
    if (identity.empty())
        return std::nullopt;
    const int count = static_cast<int>(waveIn.GetNumDevs());
    for (int id = 0; id < count; ++id)
        if (waveIn.EndpointId(id) == identity)
            return static_cast<UINT>(id);
    return std::nullopt;
}

int FindListedDevice(const std::vector<TDevice>& devices, const TDevice& chosen, int preferred)
{
    if (!chosen.Identity.empty()) {
        for (size_t i = 0; i < devices.size(); ++i)
            if (devices[i].Identity == chosen.Identity)
                return static_cast<int>(i);
        return -1;
    }
    if (preferred >= 0 && static_cast<size_t>(preferred) < devices.size() && devices[preferred].Name == chosen.Name)
        return preferred;
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].Name == chosen.Name)
            return static_cast<int>(i);
    return -1;
}

void FitDroppedWidth(HWND combo, const std::vector<TDevice>& devices)
{
    LONG width = 0; // the list is never narrower than the control whatever is asked
    const WindowDc dc(combo);
    if (dc) {
        const SelectedObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(combo, WM_GETFONT, 0, 0)));
        // The list's border, the items' margins and a scroll bar beside them.
        const LONG extra = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 6;
        for (const TDevice& device : devices) {
            SIZE size{};
            if (GetTextExtentPoint32W(dc.Get(), device.Name.c_str(), static_cast<int>(device.Name.size()), &size))
                width = std::max(width, size.cx + extra);
        }
    }
    SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
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
