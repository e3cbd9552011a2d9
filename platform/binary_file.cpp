#include "platform/binary_file.h"

#include "platform/long_path.h"

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

void TBinaryFile::Assign(const std::wstring& name)
{
    // A failed recording may have left its file open; rebinding must not leak that handle.
    handle_.Reset();
    name_ = name;
}

void TBinaryFile::Rewrite()
{
    handle_.Reset();
    // Others may read the file while it grows (players, Explorer's preview), but not write it: a
    // second writer could truncate the recording under us.
    FileHandle handle(CreateFileW(ExtendedLengthPath(name_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        throw EInOutError(LastIoError());
    handle_ = std::move(handle);
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
    if (!WriteFile(handle_.Get(), bytes, count, &written, nullptr))
        throw EInOutError(LastIoError());
    if (written != count)
        throw EInOutError(kIoDiskFull);
}

void TBinaryFile::Seek(int64_t position)
{
    RequireOpen();
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    if (!SetFilePointerEx(handle_.Get(), distance, nullptr, FILE_BEGIN))
        throw EInOutError(LastIoError());
}

int64_t TBinaryFile::Position() const
{
    RequireOpen();
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(handle_.Get(), zero, &position, FILE_CURRENT))
        throw EInOutError(LastIoError());
    return position.QuadPart;
}

void TBinaryFile::Truncate()
{
    RequireOpen();
    if (!SetEndOfFile(handle_.Get()))
        throw EInOutError(LastIoError());
}

void TBinaryFile::Flush()
{
    RequireOpen();
    if (!FlushFileBuffers(handle_.Get()))
        throw EInOutError(LastIoError());
}

void TBinaryFile::Close()
{
    RequireOpen();
    // Closed from here on, even if the system refuses: the handle is no longer usable either way.
    if (!CloseHandle(handle_.Release()))
        throw EInOutError(LastIoError());
}
