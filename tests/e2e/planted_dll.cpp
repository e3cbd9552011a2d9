// A DLL planted beside Recorder.exe under the name of a system DLL (winmm, version, uxtheme): when
// it is loaded it leaves NAME.dll.loaded beside itself. It exports nothing a caller can use, so
// an import of it by a module shows in Wine's loader warnings with the importer's name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcpyW(path + length, L".loaded");
    const HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}

// Wine's user32 calls this while the process starts; without it a planted version.dll would abort
// every program under Wine before its own code runs. Failing, it leaves user32 without versions.
extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD)
{
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}
