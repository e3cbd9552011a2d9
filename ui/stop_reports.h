#pragma once
// Why a recording stopped by itself, as its report says it.

#include <string>

inline constexpr wchar_t kStoppedText[] = L"Запись остановлена, всё записанное сохранено в файле.";
inline constexpr wchar_t kDeviceSilentText[] = L"Устройство аудиоввода перестало передавать звук.";
inline constexpr wchar_t kDeviceGoneText[] = L"Устройство аудиоввода отключено или больше не доступно.";
inline constexpr wchar_t kDeviceFaultText[] =
    L"Устройство аудиоввода сообщило о большем числе байт, чем вмещает буфер.";
inline constexpr wchar_t kWriteStoppedText[] =
    L"Запись остановлена: звук не удаётся записать в файл. Файл содержит всё, что было записано до ошибки.";

inline constexpr wchar_t kWaitingText[] =
    L"Всё записанное сохранено в файле. Запись продолжится в следующий файл, когда устройство вернётся.";

// `why`, then that everything recorded is kept.
inline std::wstring Stopped(const std::wstring& why)
{
    return why + L"\n" + kStoppedText;
}
