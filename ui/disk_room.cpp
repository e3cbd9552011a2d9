#include "ui/disk_room.h"

#include <algorithm>

#include "ui/level.h"

namespace {

int64_t RoomSeconds(uint64_t freeBytes, uint32_t bytesPerSecond)
{
    const uint64_t seconds = bytesPerSecond ? freeBytes / bytesPerSecond : 0;
    return static_cast<int64_t>(std::min<uint64_t>(seconds, INT64_MAX));
}

} // namespace

std::wstring RoomText(uint64_t freeBytes, uint32_t bytesPerSecond)
{
    return L"Места на диске хватит на " + RecordedTimeText(RoomSeconds(freeBytes, bytesPerSecond), 1);
}

std::wstring LowRoomText(uint64_t freeBytes, uint32_t bytesPerSecond)
{
    const int64_t seconds = RoomSeconds(freeBytes, bytesPerSecond);
    if (bytesPerSecond == 0 || seconds >= kLowRoomSeconds)
        return {};
    return L"На диске осталось места примерно на " + std::to_wstring(std::max<int64_t>(1, seconds / 60)) +
           L" мин записи. Когда место кончится, запись остановится, а всё записанное останется в файле.\n"
           L"Запись продолжается.";
}
