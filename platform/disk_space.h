#pragma once
// The free space of the volume a file is on.

#include <cstdint>
#include <optional>
#include <string>

// Bytes this user may still write on the volume that holds `fileName` (quotas included); nothing
// when the volume does not tell.
std::optional<uint64_t> FreeBytesBeside(const std::wstring& fileName);
