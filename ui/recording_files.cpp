#include "ui/recording_files.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/long_path.h"

std::wstring NextNumberedFileName(const std::wstring& first, unsigned maxNumber)
{
    const size_t slash = first.find_last_of(L"\\/");
    const size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    size_t dot = first.find_last_of(L'.');
    if (dot == std::wstring::npos || dot <= nameStart)
        dot = first.size(); // no extension: the number goes at the end
    const std::wstring stem = first.substr(0, dot);
    const std::wstring extension = first.substr(dot);
    const auto numbered = [&](unsigned number) { return stem + L" (" + std::to_wstring(number) + L")" + extension; };
    for (unsigned number = 2; number <= maxNumber; ++number) {
        // Past MAX_PATH the number alone would make the name unreachable without the long form.
        std::wstring candidate = numbered(number);
        if (GetFileAttributesW(ExtendedLengthPath(candidate).c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() != ERROR_ACCESS_DENIED)
            return candidate;
    }
    throw EInOutError(ERROR_FILE_EXISTS, L"No free file name from \"" + numbered(2).substr(nameStart) + L"\" to \"" +
                                             numbered(maxNumber).substr(nameStart) + L"\": each is taken or refused");
}

std::wstring RecordingFilesText(const std::vector<std::wstring>& files)
{
    if (files.size() < 2)
        return {};
    std::wstring text = L"Запись сохранена в файлах:";
    for (const std::wstring& file : files)
        text += L"\n" + file;
    return text;
}
