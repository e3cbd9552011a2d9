#include "platform/binary_file.h"

namespace {

// The system's code for the call that just failed; a full disk is the file layer's "Disk full".
int LastIoError()
{
    const DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        return kIoDiskFull;
    return static_cast<int>(error);
}

} // namespace

TBinaryFile::~TBinaryFile()
{
    if (IsOpen())
        CloseHandle(handle_);
}

void TBinaryFile::Assign(const std::wstring& name)
{
    // A failed recording may have left its file open; rebinding must not leak that handle.
    if (IsOpen()) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    name_ = name;
}

void TBinaryFile::Rewrite()
{
    if (IsOpen()) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    // Sharing reading and writing lets others read the file's size and content while it grows.
    const HANDLE handle = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw EInOutError(LastIoError());
    handle_ = handle;
}

void TBinaryFile::RequireOpen() const
{
    if (!IsOpen())
        throw EInOutError(kIoFileNotOpen);
}

void TBinaryFile::Write(const void* bytes, uint32_t count)
{
    RequireOpen();
    DWORD written = 0;
    if (!WriteFile(handle_, bytes, count, &written, nullptr))
        throw EInOutError(LastIoError());
    if (written != count)
        throw EInOutError(kIoDiskFull);
}

void TBinaryFile::Seek(int64_t position)
{
    RequireOpen();
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    if (!SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN))
        throw EInOutError(LastIoError());
}

int64_t TBinaryFile::Position() const
{
    RequireOpen();
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(handle_, zero, &position, FILE_CURRENT))
        throw EInOutError(LastIoError());
    return position.QuadPart;
}

void TBinaryFile::Truncate()
{
    RequireOpen();
    if (!SetEndOfFile(handle_))
        throw EInOutError(LastIoError());
}

void TBinaryFile::Close()
{
    RequireOpen();
    // Closed from here on, even if the system refuses: the handle is no longer usable either way.
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle))
        throw EInOutError(LastIoError());
}
