#pragma once
// The device list and the list controls' items.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/wave_in.h"

// A listed device: its endpoint identity (empty when the system does not tell) and the name shown.
struct TDevice {
    std::wstring Identity;
    std::wstring Name;
};

// The devices by device number, each under its endpoint's full name, else its capabilities' (a
// device whose capabilities cannot be read keeps its position under an empty name). Of devices of
// one name the first keeps it and the others are told apart as "Name (2)", "Name (3)".
std::vector<TDevice> ListDevices(IWaveIn& waveIn);

// The device number the device `identity` has now; none when it has gone or the identity is
// empty. Never by name or position: another device of the same name is another device.
std::optional<UINT> FindDeviceById(IWaveIn& waveIn, const std::wstring& identity);

// Where `chosen`, then at `preferred`, is in `devices`: by identity when it has one; else (a
// system that tells none) at `preferred` when that still holds its name, or the first of its name.
// -1 when it is gone.
int FindListedDevice(const std::vector<TDevice>& devices, const TDevice& chosen, int preferred);

// Lets the drop-down list of `combo` open wide enough for the widest device name in its font.
void FitDroppedWidth(HWND combo, const std::vector<TDevice>& devices);

// Adds `text` to a list box or combo box; a list that refuses it raises "Unable to insert a line".
void AddListItem(HWND list, bool comboBox, const std::wstring& text);
// The text of item `index`; empty when there is none.
std::wstring ListItemText(HWND list, bool comboBox, LRESULT index);
// The text of the selected item; empty when none is selected.
std::wstring SelectedItemText(HWND list, bool comboBox);
