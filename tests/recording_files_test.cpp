// The next file of a recording: the first free number beside the first file, also where the number
// takes the name past MAX_PATH, and a clear error once the numbers run out.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/long_path.h"
#include "tests/test_support.h"
#include "ui/recording_files.h"

namespace {

TEST(NextNumberedFileName, FirstFreeNumberOrAnErrorAfterTheLast)
{
    test_support::TempDir scratch;
    ASSERT_TRUE(scratch.Valid());
    const std::wstring dir = scratch.Path().wstring();
    // 258 characters in a deep folder: its " (2)" passes MAX_PATH.
    const std::wstring deep = dir + L"\\" + std::wstring(120, L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    const std::wstring longStem = deep + L"\\" + std::wstring(258 - deep.size() - 5, L'n');

    const struct {
        std::wstring first;
        std::vector<std::wstring> taken;
        unsigned maxNumber;
        std::wstring next; // empty: none is free
    } cases[] = {
        {dir + L"\\busy.wav", {dir + L"\\busy (2).wav"}, kMaxFileNumber, dir + L"\\busy (3).wav"},
        {dir + L"\\v1.0\\plain", {}, kMaxFileNumber, dir + L"\\v1.0\\plain (2)"},
        {longStem + L".wav", {longStem + L" (2).wav"}, kMaxFileNumber, longStem + L" (3).wav"},
        {dir + L"\\full.wav", {dir + L"\\full (2).wav", dir + L"\\full (3).wav"}, 3, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.first));
        for (const std::wstring& taken : c.taken)
            ASSERT_TRUE(test_support::WriteAll(ExtendedLengthPath(taken), {'k'}));
        if (c.next.empty()) {
            try {
                NextNumberedFileName(c.first, c.maxNumber);
                ADD_FAILURE() << "no error once every number is taken";
            } catch (const EInOutError& error) {
                EXPECT_EQ(error.Message(), L"No free file name from \"full (2).wav\" to \"full (3).wav\": each is "
                                           L"taken or refused");
            }
            continue;
        }
        EXPECT_EQ(NextNumberedFileName(c.first, c.maxNumber), c.next);
        // The file layer is given the extended-length form exactly where the full path needs it.
        EXPECT_EQ(ExtendedLengthPath(c.next), c.next.size() < MAX_PATH ? c.next : L"\\\\?\\" + c.next);
    }
}

} // namespace
