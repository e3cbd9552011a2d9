// Size read-out: FormatSize, FileSizeByName and the label that shows them.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "tests/test_support.h"
#include "ui/size_readout.h"
#include "ui/unit_main.h"

namespace {

TEST(FormatSize, BytesBelowOneKilobyteWholeKilobytesAbove)
{
    const struct {
        int32_t n;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 байт"},
        {1, L"1 байт"},
        {1023, L"1023 байт"},
        {1024, L"1 КБ"},
        {1535, L"1 КБ"},
        {2047, L"1 КБ"},
        {1048576, L"1024 КБ"},
        {-1, L"-1 байт"},
        {-1023, L"-1023 байт"},
        {-1024, L"-1 КБ"},
        {2147483647, L"2097151 КБ"},
        {INT32_MIN, L"-2097152 КБ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSize(c.n), c.text) << "n = " << c.n;
}

// A scratch directory of the test's own, removed with what is in it.
class SizeOfFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.Valid()) << "no scratch folder"; }

    std::wstring MakeFile(const std::wstring& leaf, DWORD size, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        const std::wstring name = dir_ + L"\\" + leaf;
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        std::string bytes(size, 'x');
        DWORD written = 0;
        if (size) {
            EXPECT_TRUE(WriteFile(file, bytes.data(), size, &written, nullptr));
        }
        CloseHandle(file);
        return name;
    }

    test_support::TempDir scratch_;
    std::wstring dir_ = scratch_.Path().wstring();
};

TEST_F(SizeOfFile, MissingNamesGiveMinusOne)
{
    EXPECT_EQ(FileSizeByName(dir_ + L"\\no such file.wav"), -1);
    EXPECT_EQ(FileSizeByName(dir_ + L"\\no such folder\\x.wav"), -1);
    EXPECT_EQ(FormatSize(FileSizeByName(dir_ + L"\\no such file.wav")), L"-1 байт");
    EXPECT_EQ(FileSizeByName(L""), -1);
}

TEST_F(SizeOfFile, OrdinaryHiddenAndRelativeNames)
{
    const std::wstring plain = MakeFile(L"запись.wav", 12345);
    EXPECT_EQ(FileSizeByName(plain), 12345);
    EXPECT_EQ(FileSizeByName(MakeFile(L"empty.wav", 0)), 0);
    // Attribute mask 63: hidden and system files are found too.
    EXPECT_EQ(FileSizeByName(MakeFile(L"hidden.wav", 77, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)), 77);

    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
    const int32_t relative = FileSizeByName(L"запись.wav");
    const int32_t dotted = FileSizeByName(L".\\sub\\..\\запись.wav");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, 12345);
    EXPECT_EQ(dotted, 12345);
}

TEST_F(SizeOfFile, APatternIsNotTheNameOfAFile)
{
    MakeFile(L"take1.wav", 500);
    EXPECT_EQ(FileSizeByName(dir_ + L"\\*.wav"), -1);
    EXPECT_EQ(FileSizeByName(dir_ + L"\\take?.wav"), -1);
}

TEST_F(SizeOfFile, OnlyTheLow32BitsOfAHugeFileCount)
{
    const std::wstring name = dir_ + L"\\huge.wav";
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    const BOOL sparse = DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (!sparse)
        CloseHandle(file);
    ASSERT_TRUE(sparse) << "the temporary folder's file system cannot make sparse files; a 4 GiB file would "
                           "really be written";
    LARGE_INTEGER end;
    end.QuadPart = (1LL << 32) + 10;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    CloseHandle(file);
    ASSERT_EQ(size.QuadPart, end.QuadPart);

    EXPECT_EQ(FileSizeByName(name), 10);
    EXPECT_EQ(FormatSize(FileSizeByName(name)), L"10 байт");
}

TEST(ShowSize, LabelShowsTheFormattedSizeAndFitsIt)
{
    TApplication frame;
    TForm1 form(frame);
    form.ShowSize(5000); // no label yet: nothing happens
    const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr,
                                        nullptr);
    form.Label1 = CreateWindowExW(0, L"STATIC", L"0 байт", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 8, 20, 48, 16,
                                  parent, nullptr, nullptr, nullptr);
    ASSERT_TRUE(form.Label1);
    HFONT font = CreateFontW(-13, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
    SendMessageW(form.Label1, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (const int32_t n : {2147483647, 1023, -1}) {
        form.ShowSize(n);
        wchar_t text[64] = {};
        GetWindowTextW(form.Label1, text, 64);
        EXPECT_EQ(text, FormatSize(n));

        HDC dc = GetDC(form.Label1);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE extent{};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
        SelectObject(dc, old);
        ReleaseDC(form.Label1, dc);
        RECT rect;
        GetWindowRect(form.Label1, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.right - rect.left, extent.cx) << "n = " << n;
        EXPECT_EQ(rect.left, 8) << "the label keeps its place";
        EXPECT_EQ(rect.top, 20);
    }
    form.Label1 = nullptr;
    DestroyWindow(parent);
    DeleteObject(font);
}

} // namespace
