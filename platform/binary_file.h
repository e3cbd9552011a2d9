#pragma once
// A binary file over the Windows file functions. Every call is checked; a failure throws EInOutError.

#include <windows.h>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/guards.h"

class TBinaryFile {
public:
    TBinaryFile() = default;
    TBinaryFile(const TBinaryFile&) = delete;
    TBinaryFile& operator=(const TBinaryFile&) = delete;

    // Binds a name. A handle still open from an earlier, failed recording is closed first
    // rather than leaked.
    void Assign(const std::wstring& name);
    // Creates the bound file or truncates it to length 0, for reading and writing; others may read it.
    void Rewrite();
    // Writes all of `count` bytes at the current position; a short write throws code 101.
    void Write(const void* bytes, uint32_t count);
    void Seek(int64_t position);
    int64_t Position() const;
    // Cuts the file at the current position.
    void Truncate();
    // Writes what the system still caches of the file to the disk.
    void Flush();
    void Close();

    bool IsOpen() const noexcept { return handle_.Valid(); }
    const std::wstring& Name() const noexcept { return name_; }

private:
    void RequireOpen() const;

    std::wstring name_;
    FileHandle handle_;
};
