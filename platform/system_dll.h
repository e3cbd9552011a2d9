#pragma once
// DLLs from the system folder only. Windows looks for a DLL that is neither protected by the system
// nor named by full path in the program's own folder first, so a file of that name lying beside
// the program (in a Downloads folder, say) would run inside it.

#include <windows.h>

// Takes the program's folder and the current folder out of every later search (only the current
// folder on a Windows 7 without KB2533623). Called first thing at start-up, before anything loads
// a DLL that is not protected.
void RestrictDllSearchToSystem();

// Loads `name` (e.g. L"winmm.dll") from the system folder; nullptr when it is not there.
HMODULE LoadSystemDll(const wchar_t* name);

// The function `name` of `module`, typed as `Function`; nullptr when either is missing.
template <typename Function>
Function* DllFunction(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
