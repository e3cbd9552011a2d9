#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/binary_file.h"
#include "platform/error.h"
#include "tests/test_support.h"
#include "ui/unit_main.h"

using namespace test_support;

namespace {

// The code and text of the I/O error `action` raises; code 0 when it raises none.
struct Raised {
    int code = 0;
    std::wstring text;
};

Raised RaisedBy(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EInOutError& e) {
        return {e.Code(), e.Message()};
    }
    return {};
}

// An exclusive open succeeds only when no other handle to the file is left open.
bool NoHandleLeftOpen(const std::wstring& name)
{
    const HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

} // namespace

TEST(IoErrorText, Table)
{
    const struct {
        int code;
        const wchar_t* text;
    } rows[] = {
        {2, L"File not found"},      {3, L"Invalid filename"},      {4, L"Too many open files"},
        {5, L"File access denied"},  {100, L"Read beyond end of file"}, {101, L"Disk full"},
        {106, L"Invalid numeric input"}, {32, L"I/O error 32"},      {103, L"I/O error 103"},
        {123, L"I/O error 123"},     {0, L"I/O error 0"},            {-7, L"I/O error -7"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.text, IoErrorText(row.code)) << row.code;
        const EInOutError error(row.code);
        EXPECT_EQ(row.code, error.Code());
        EXPECT_EQ(row.text, error.Message());
    }
}

class FileErrors : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { ASSERT_TRUE(dir.Valid()) << "no scratch folder"; }
};

TEST_F(FileErrors, FailedOpensRaiseTheSystemCodeAndLeaveTheFileClosed)
{
    const std::wstring folder = dir.File(L"a folder");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring locked = dir.File(L"locked.wav");
    const HANDLE exclusive = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);

    const struct {
        const char* what;
        std::wstring name;
        int code;
        const wchar_t* text;
    } cases[] = {
        {"missing folder", dir.File(L"no such folder\\take.wav"), 3, L"Invalid filename"},
        {"invalid name", dir.File(L"bad<name>?.wav"), 123, L"I/O error 123"},
        {"a folder's name", folder, 5, L"File access denied"},
        {"sharing violation", locked, 32, L"I/O error 32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TBinaryFile file;
        file.Assign(c.name);
        const Raised raised = RaisedBy([&] { file.Rewrite(); });
        EXPECT_EQ(c.code, raised.code);
        EXPECT_EQ(c.text, raised.text) << Narrow(raised.text);
        EXPECT_FALSE(file.IsOpen());
    }
    CloseHandle(exclusive);
}

TEST_F(FileErrors, NotOpenRaises103)
{
    const std::wstring name = dir.File(L"closed.wav");
    TBinaryFile file;
    const BYTE byte = 0;
    EXPECT_EQ(103, RaisedBy([&] { file.Write(&byte, 1); }).code) << "write before any open";
    EXPECT_EQ(103, RaisedBy([&] { file.Close(); }).code) << "close before any open";
    file.Assign(name);
    file.Rewrite();
    file.Write(&byte, 1);
    file.Close();
    const Raised raised = RaisedBy([&] { file.Write(&byte, 1); });
    EXPECT_EQ(103, raised.code) << "write after close";
    EXPECT_EQ(L"I/O error 103", raised.text);
    EXPECT_EQ(103, RaisedBy([&] { file.Close(); }).code) << "second close";
    EXPECT_EQ(103, RaisedBy([&] { file.Seek(0); }).code) << "seek after close";
    EXPECT_EQ(1u, ReadAll(name).size());
}

TEST_F(FileErrors, RebindingReleasesAHandleLeftOpen)
{
    const std::wstring first = dir.File(L"first.wav");
    TBinaryFile file;
    file.Assign(first);
    file.Rewrite();
    ASSERT_FALSE(NoHandleLeftOpen(first)) << "the probe must see an open handle";

    // A failed recording left `first` open; the next one binds another name and fails to open.
    file.Assign(dir.File(L"no such folder\\second.wav"));
    EXPECT_EQ(3, RaisedBy([&] { file.Rewrite(); }).code);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(NoHandleLeftOpen(first));
}

// Players and Explorer may read a recording as it grows; another writer could truncate it.
TEST_F(FileErrors, OthersCanReadButNotWriteWhileTheFileIsOpen)
{
    const std::wstring name = dir.File(L"shared.wav");
    TBinaryFile file;
    file.Assign(name);
    file.Rewrite();
    const auto open = [&](DWORD access) {
        const HANDLE other = CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = other == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
        return error;
    };
    EXPECT_EQ(open(GENERIC_READ), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(open(GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    file.Flush();
    file.Close();
}

TEST_F(FileErrors, WriterRaisesAndStaysConsistent)
{
    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};
    SetFormat(form, 1, 11025, 8);

    const Raised create = RaisedBy([&] { form.CreateWaveFile(dir.File(L"nowhere\\take.wav")); });
    EXPECT_EQ(3, create.code);
    EXPECT_EQ(L"Invalid filename", create.text);
    EXPECT_FALSE(form.WaveFile.IsOpen());

    const BYTE bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(103, RaisedBy([&] { form.AppendWaveData(bytes, 4); }).code) << "append, never opened";

    const std::wstring name = dir.File(L"take.wav");
    RecordPattern(form, name, {4});
    EXPECT_EQ(103, RaisedBy([&] { form.AppendWaveData(bytes, 4); }).code) << "append after close";
    EXPECT_EQ(103, RaisedBy([&] { form.WriteWaveHeader(4); }).code) << "header after close";
    EXPECT_EQ(103, RaisedBy([&] { form.CloseWaveFile(); }).code) << "second close";
    EXPECT_EQ(48u, ReadAll(name).size());
}

// ---- A full disk -----------------------------------------------------------------------------
// tests/bench/tinyfs.sh mounts a 200 KiB file system and names it in RECORDER_TINY_FS, and an
// immutable file in it in RECORDER_READ_ONLY_FILE; without them these tests fail.

const char* const kNoTinyFileSystem = "unset: run by tests/bench/tinyfs.sh, as root";

TEST(TinyFileSystem, FullDiskKeepsWholeBuffersAndAMatchingHeader)
{
    const std::wstring root = Env(L"RECORDER_TINY_FS");
    ASSERT_FALSE(root.empty()) << "RECORDER_TINY_FS " << kNoTinyFileSystem;
    TempDir dir(root);
    ASSERT_TRUE(dir.Valid());
    const std::wstring name = dir.File(L"full.wav");

    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};
    SetFormat(form, 2, 22050, 16);
    const int32_t buffer = 22050; // odd multiple of the page size, so the disk fills mid-buffer
    form.CreateWaveFile(name);
    form.TotalBytes = 0;
    Raised raised;
    for (int i = 0; i < 100 && raised.code == 0; ++i) {
        const auto bytes = PatternBuffer(form.TotalBytes, buffer);
        raised = RaisedBy([&] { form.AppendWaveData(bytes.data(), buffer); });
        if (raised.code == 0)
            form.TotalBytes += buffer;
    }
    EXPECT_EQ(101, raised.code);
    EXPECT_EQ(L"Disk full", raised.text) << Narrow(raised.text);
    EXPECT_GT(form.TotalBytes, 0);
    EXPECT_TRUE(form.WaveFile.IsOpen()) << "the recording goes on after a failed append";
    // One append far larger than the room left fails the same way, however much of it the system took.
    const std::vector<BYTE> big(512 * 1024, 0x5A);
    EXPECT_EQ(101, RaisedBy([&] { form.AppendWaveData(big.data(), static_cast<int32_t>(big.size())); }).code);

    auto file = ReadAll(name);
    EXPECT_EQ(44u + form.TotalBytes, file.size()) << "only whole appended buffers";
    {
        const TWaveFileHeader header = HeaderOf(file);
        EXPECT_EQ(static_cast<uint32_t>(form.TotalBytes), header.DataLength);
        EXPECT_EQ(static_cast<uint32_t>(form.TotalBytes) + 36u, header.RiffLength);
    }
    EXPECT_TRUE(HoldsPattern(file, 44, form.TotalBytes));

    // A small last buffer still fits; the recording then closes normally.
    const auto tail = PatternBuffer(form.TotalBytes, 100);
    form.AppendWaveData(tail.data(), 100);
    form.TotalBytes += 100;
    form.WriteWaveHeader(form.TotalBytes);
    form.CloseWaveFile();
    file = ReadAll(name);
    EXPECT_EQ(44u + form.TotalBytes, file.size());
    EXPECT_EQ(MakeWaveFileHeader(2, 22050, 16, form.TotalBytes).DataLength, HeaderOf(file).DataLength);
    EXPECT_TRUE(HoldsPattern(file, 44, form.TotalBytes));
    std::printf("[          ] full disk after %d audio bytes (%d appends of %d)\n",
                form.TotalBytes - 100, (form.TotalBytes - 100) / buffer, buffer);
}

// Wine runs as root on the bench, and root may write a file whose only protection is its mode, so
// tinyfs.sh also makes the file immutable: it is then read-only for every user.
TEST(TinyFileSystem, ReadOnlyFileIsDenied)
{
    const std::wstring name = Env(L"RECORDER_READ_ONLY_FILE");
    ASSERT_FALSE(name.empty()) << "RECORDER_READ_ONLY_FILE " << kNoTinyFileSystem;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    TBinaryFile file;
    file.Assign(name);
    const Raised raised = RaisedBy([&] { file.Rewrite(); });
    EXPECT_EQ(5, raised.code);
    EXPECT_EQ(L"File access denied", raised.text) << Narrow(raised.text);
    EXPECT_FALSE(file.IsOpen());
    TApplication frame;
    TForm1 form{frame, SystemWaveIn()};
    SetFormat(form, 1, 11025, 8);
    EXPECT_EQ(5, RaisedBy([&] { form.CreateWaveFile(name); }).code);
    EXPECT_FALSE(form.WaveFile.IsOpen());
}
