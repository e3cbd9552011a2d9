#include "platform/long_path.h"

#include <windows.h>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::wstring FullPathName(const std::wstring& name)
{
    DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    while (size != 0) {
        std::wstring path(size, L'\0');
        const DWORD length = GetFullPathNameW(name.c_str(), size, path.data(), nullptr);
        if (length < size) {
            path.resize(length);
            return path;
        }
        size = length; // the name's meaning changed in between (current directory): retry
    }
    return std::wstring();
}

std::wstring ExtendedLengthPath(const std::wstring& name)
{
    // Already past the system's parsing (extended-length or device namespace).
    if (StartsWith(name, L"\\\\?\\") || StartsWith(name, L"\\\\.\\"))
        return name;
    // The prefix turns the name's normalisation off, so it goes before the full path, which is
    // normalised already and names what the short form would.
    const std::wstring full = FullPathName(name);
    if (full.size() < MAX_PATH || StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\"))
        return name;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
