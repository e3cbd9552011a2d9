#pragma once
// The device list and the list controls' items.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/wave_in.h"

// The name of each device, by device number; a device whose capabilities cannot be read keeps its
// position under an empty name.
std::vector<std::wstring> DeviceNames(IWaveIn& waveIn);

// Where the device `name` is in `names`: at `preferred` when that still holds the name (of two
// devices of one name, the one chosen), else at the first that does; -1 when it is gone.
int FindDevice(const std::vector<std::wstring>& names, const std::wstring& name, int preferred);

// Adds `text` to a list box or combo box; a list that refuses it raises "Unable to insert a line".
void AddListItem(HWND list, bool comboBox, const std::wstring& text);
// The text of item `index`; empty when there is none.
std::wstring ListItemText(HWND list, bool comboBox, LRESULT index);
// The text of the selected item; empty when none is selected.
std::wstring SelectedItemText(HWND list, bool comboBox);
