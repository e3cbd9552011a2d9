// The resources of the built Recorder.exe, read back from the file: manifest, icon and version.
// Usage: resource_tests <path of Recorder.exe> [gtest options]
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>

namespace {

std::wstring exePath;

class Resources : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(exePath.empty()) << "give the path of Recorder.exe as the first argument";
        module_ = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(module_) << "cannot load " << testing::PrintToString(exePath) << " as data, error "
                             << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    // The bytes of one resource, empty when there is none.
    std::string Resource(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceW(module_, name, type);
        if (!found)
            return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes ? std::string(bytes, SizeofResource(module_, found)) : std::string();
    }

    HMODULE module_ = nullptr;
};

// Attributes of the first element `tag` whose text (up to its closing ">") matches `filter`.
std::map<std::string, std::string> ElementAttributes(const std::string& xml, const std::string& tag,
                                                     const std::string& filter = "")
{
    const std::regex element("<" + tag + "\\b([^>]*)>");
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
        const std::string body = (*it)[1];
        if (!filter.empty() && body.find(filter) == std::string::npos)
            continue;
        std::map<std::string, std::string> attributes;
        const std::regex attribute("([A-Za-z:]+)\\s*=\\s*\"([^\"]*)\"");
        for (std::sregex_iterator a(body.begin(), body.end(), attribute); a != end; ++a)
            attributes[(*a)[1]] = (*a)[2];
        return attributes;
    }
    return {};
}

TEST_F(Resources, ManifestAsksForCommonControls6AndDeclaresDpiAwareness)
{
    const std::string manifest = Resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST resource 1";

    auto controls = ElementAttributes(manifest, "assemblyIdentity", "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(controls["type"], "win32");
    EXPECT_EQ(controls["version"], "6.0.0.0");
    EXPECT_EQ(controls["processorArchitecture"], "*");
    EXPECT_EQ(controls["language"], "*");
    EXPECT_EQ(controls["publicKeyToken"], "6595b64144ccf1df");
    EXPECT_NE(manifest.find("<dependentAssembly>"), std::string::npos);

    // Our own identity is the first assemblyIdentity, outside the dependency.
    auto own = ElementAttributes(manifest, "assemblyIdentity");
    EXPECT_NE(own["name"], "Microsoft.Windows.Common-Controls");
    EXPECT_FALSE(own["name"].empty());
    EXPECT_EQ(own["version"], "1.0.0.0");
    EXPECT_EQ(own["type"], "win32");
    EXPECT_EQ(own["processorArchitecture"], "*");

    // Per monitor where the system knows it, system-aware before.
    const std::regex dpiAware("<dpiAware\\b[^>]*>\\s*true/pm\\s*</dpiAware>", std::regex::icase);
    EXPECT_TRUE(std::regex_search(manifest, dpiAware)) << manifest;
    const std::regex dpiAwareness("<dpiAwareness\\b[^>]*>\\s*PerMonitorV2\\b", std::regex::icase);
    EXPECT_TRUE(std::regex_search(manifest, dpiAwareness)) << manifest;
}

TEST_F(Resources, ManifestReallyBringsCommonControls6)
{
    ACTCTXW context{};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = exePath.c_str();
    context.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE activation = CreateActCtxW(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE) << "the manifest does not make an activation context, error "
                                                << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(activation, &cookie));
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    DLLVERSIONINFO version{};
    version.cbSize = sizeof(version);
    if (controls) {
        auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(GetProcAddress(controls, "DllGetVersion")));
        if (getVersion)
            getVersion(&version);
    }
    wchar_t loaded[MAX_PATH] = {};
    if (controls)
        GetModuleFileNameW(controls, loaded, MAX_PATH);
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(activation);
    ASSERT_TRUE(controls);
    // The side-by-side copy, not the system directory's version 5.
    EXPECT_NE(std::wstring(loaded).find(L"6595b64144ccf1df_6.0."), std::wstring::npos)
        << testing::PrintToString(std::wstring(loaded));
    std::printf("comctl32 in the manifest's context: %ls, DllGetVersion %lu.%lu\n", loaded, version.dwMajorVersion,
                version.dwMinorVersion);
    FreeLibrary(controls);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

TEST_F(Resources, IconHasEightImagesIn256And32BitColour)
{
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), sizeof(GroupIconHeader)) << "no RT_GROUP_ICON resource 1";
    const auto* header = reinterpret_cast<const GroupIconHeader*>(group.data());
    EXPECT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 8);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + 8 * sizeof(GroupIconEntry));
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(group.data() + sizeof(GroupIconHeader));

    std::set<std::pair<int, int>> found;
    for (int i = 0; i < header->count; ++i) {
        const GroupIconEntry& entry = entries[i];
        SCOPED_TRACE("image " + std::to_string(i) + ", id " + std::to_string(entry.id));
        const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(image.size(), entry.bytesInResource);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        const auto* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        const int size = entry.width;
        EXPECT_EQ(entry.height, size);
        EXPECT_EQ(bitmap->biWidth, size);
        EXPECT_EQ(bitmap->biHeight, 2 * size) << "colour bits and mask";
        EXPECT_EQ(bitmap->biBitCount, entry.bitCount);
        EXPECT_EQ(bitmap->biCompression, static_cast<DWORD>(BI_RGB));
        const int colourStride = (size * bitmap->biBitCount + 31) / 32 * 4;
        const int maskStride = (size + 31) / 32 * 4;
        const size_t palette = bitmap->biBitCount == 8 ? 256 * sizeof(RGBQUAD) : 0;
        EXPECT_EQ(image.size(), sizeof(BITMAPINFOHEADER) + palette + size * (colourStride + maskStride));

        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(const_cast<char*>(image.data())),
                                              static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size, 0);
        EXPECT_TRUE(icon) << "the system does not take the image";
        if (icon)
            DestroyIcon(icon);
        found.insert({size, bitmap->biBitCount});
    }
    const std::set<std::pair<int, int>> expected = {{48, 8}, {48, 32}, {32, 8}, {32, 32},
                                                    {24, 8}, {24, 32}, {16, 8}, {16, 32}};
    EXPECT_EQ(found, expected);
}

TEST_F(Resources, VersionNamesTheProductAt1000)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exePath.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(exePath.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t prefix[64];
    wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    for (const auto& [key, value] : std::map<std::wstring, std::wstring>{{L"ProductName", L"Recorder"},
                                                                         {L"ProductVersion", L"1.0.0.0"},
                                                                         {L"FileVersion", L"1.0.0.0"}}) {
        wchar_t* text = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), (prefix + key).c_str(), reinterpret_cast<void**>(&text), &length))
            << "no " << testing::PrintToString(key);
        EXPECT_EQ(std::wstring(text), value) << testing::PrintToString(key);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        exePath = argv[1];
    return RUN_ALL_TESTS();
}
