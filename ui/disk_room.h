#pragma once
// How long the file's disk can still take a recording, from its free space: a line of the level
// meter's tooltip, and the warning when the room runs low. Plain arithmetic.

#include <cstdint>
#include <string>

// Under this much recording time left, the user is told once per recording.
inline constexpr int64_t kLowRoomSeconds = 10 * 60;

// "Места на диске хватит на h:mm:ss" for `freeBytes` at `bytesPerSecond`.
std::wstring RoomText(uint64_t freeBytes, uint32_t bytesPerSecond);

// The warning once less than kLowRoomSeconds are left, in whole minutes (at least one); empty while
// there is more.
std::wstring LowRoomText(uint64_t freeBytes, uint32_t bytesPerSecond);
