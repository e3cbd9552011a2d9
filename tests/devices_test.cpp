// The system's wave-input service, as the bench's sound server presents it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/guards.h"
#include "ui/device_list.h"
#include "ui/unit_main.h"

namespace {

std::vector<std::wstring> BenchMicrophones()
{
    std::vector<std::wstring> names;
    const wchar_t* list = _wgetenv(L"RECORDER_MICS");
    if (!list)
        return names;
    std::wstring rest = list;
    for (size_t start = 0; start <= rest.size();) {
        const size_t end = rest.find(L';', start);
        const std::wstring name = rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!name.empty())
            names.push_back(name);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return names;
}

// The capabilities cut a name at 31 characters; the list shows the endpoint's whole name, and
// finds the device again by its identity.
TEST(VirtualMicrophones, ListedByFullNameAndIdentityWithAllTwelveFormats)
{
    const std::vector<std::wstring> mics = BenchMicrophones();
    if (mics.empty())
        GTEST_SKIP() << "RECORDER_MICS is not set: run through the bench's mic.py";

    const ComApartment com;
    IWaveIn& waveIn = SystemWaveIn();
    const int count = static_cast<int>(waveIn.GetNumDevs());
    ASSERT_GT(count, 0) << "waveInGetNumDevs found no device";
    const std::vector<TDevice> listed = ListDevices(waveIn);
    ASSERT_EQ(listed.size(), static_cast<size_t>(count));

    for (const std::wstring& mic : mics) {
        const std::wstring expected = L"Monitor of " + mic;
        bool found = false;
        for (int id = 0; id < count && !found; ++id) {
            WAVEINCAPSW caps{};
            ASSERT_EQ(waveIn.GetDevCaps(id, &caps), MMSYSERR_NOERROR) << "waveInGetDevCapsW on device " << id;
            if (expected.substr(0, MAXPNAMELEN - 1) != caps.szPname)
                continue;
            found = true;
            EXPECT_EQ(listed[id].Name, expected) << "device " << id;
            EXPECT_FALSE(listed[id].Identity.empty()) << "device " << id;
            EXPECT_EQ(FindDeviceById(waveIn, listed[id].Identity), std::optional<UINT>(id));
            EXPECT_EQ(caps.dwFormats & 0xFFF, 0xFFFu) << "device " << id;
            EXPECT_EQ(SupportedFormatRows(waveIn, id).size(), static_cast<size_t>(kRecordingFormatCount));
        }
        EXPECT_TRUE(found) << "no wave-input device named \"" << testing::PrintToString(expected)
                           << "\" among " << count;
    }
}

} // namespace
