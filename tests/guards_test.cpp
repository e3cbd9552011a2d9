// The resource guards: each handle is released exactly once, whichever way it leaves its owner.
#include <gtest/gtest.h>

#include <utility>

#include "platform/guards.h"

namespace {

int closed = 0;

struct CountingTraits {
    using Handle = int;
    static Handle Invalid() noexcept { return 0; }
    static void Close(Handle) noexcept { ++closed; }
};
using Counted = UniqueHandle<CountingTraits>;

TEST(Guards, AHandleIsReleasedOnceWhetherMovedResetOrHandedOver)
{
    closed = 0;
    {
        Counted a(7);
        Counted b(std::move(a));
        EXPECT_FALSE(a.Valid());
        Counted c(8);
        c = std::move(b); // c's 8 is released, 7 moves on
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(c.Get(), 7);
    }
    EXPECT_EQ(closed, 2) << "7 released once at the end, nothing for the moved-from owners";

    Counted d(9);
    EXPECT_EQ(d.Release(), 9);
    d.Reset();
    EXPECT_EQ(closed, 2) << "a handle handed over is not released";

    int ran = 0;
    {
        const ScopeExit done([&] { ++ran; });
    }
    EXPECT_EQ(ran, 1);
}

// A system handle for real: the file is closed when its owner goes, so it can be deleted.
TEST(Guards, AFileHandleClosesItsFile)
{
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, folder));
    ASSERT_TRUE(GetTempFileNameW(folder, L"grd", 0, name));
    {
        const FileHandle file(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        EXPECT_EQ(CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE)
            << "the file is held while its owner lives";
    }
    EXPECT_TRUE(DeleteFileW(name)) << "error " << GetLastError();
}

} // namespace
