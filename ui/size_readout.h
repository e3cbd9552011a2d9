#pragma once
// The byte count Label1 shows, and a file's size from its directory entry.

#include <cstdint>
#include <string>

// "%d байт", or "%d КБ" of n div 1024 when that is not 0.
std::wstring FormatSize(int32_t n);
// The size in the file's directory entry (low 32 bits, signed), or -1 when there is none.
int32_t FileSizeByName(const std::wstring& name);
