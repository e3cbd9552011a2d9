#include "platform/disk_space.h"

#include <windows.h>

#include "platform/long_path.h"

std::optional<uint64_t> FreeBytesBeside(const std::wstring& fileName)
{
    // The file's folder: the call takes a directory, and a mounted folder may be another volume.
    const size_t slash = fileName.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : fileName.substr(0, slash + 1);
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(ExtendedLengthPath(folder).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}
