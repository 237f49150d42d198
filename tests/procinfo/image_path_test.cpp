#include "procinfo/image_path.h"

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Runs a rewrite on a full-size buffer, as the callers own one.
struct PathBuffer {
    std::unique_ptr<wchar_t[]> text{new wchar_t[IMAGE_PATH_COUNT]};
    explicit PathBuffer(const std::wstring& path) { wcscpy(text.get(), path.c_str()); }
    std::wstring str() const { return text.get(); }
};

TEST(ImagePathRules, RedirectorAndMupBecomeUncInAnyCase)
{
    PathBuffer lanman(L"\\Device\\LanmanRedirector\\Server\\Share\\Dir\\App.exe");
    EXPECT_TRUE(rewriteRedirectorPath(lanman.text.get()));
    EXPECT_EQ(L"\\\\Server\\Share\\Dir\\App.exe", lanman.str());

    PathBuffer lower(L"\\device\\lanmanredirector\\Srv\\Sh\\F.EXE");
    EXPECT_TRUE(rewriteRedirectorPath(lower.text.get()));
    EXPECT_EQ(L"\\\\Srv\\Sh\\F.EXE", lower.str());

    PathBuffer mup(L"\\DEVICE\\MUP\\host\\Share\\x.exe");
    EXPECT_TRUE(rewriteRedirectorPath(mup.text.get()));
    EXPECT_EQ(L"\\\\host\\Share\\x.exe", mup.str());

    // The prefix must be whole, backslash included.
    PathBuffer partial(L"\\Device\\Mupx\\host\\x.exe");
    EXPECT_FALSE(rewriteRedirectorPath(partial.text.get()));
    EXPECT_EQ(L"\\Device\\Mupx\\host\\x.exe", partial.str());
    PathBuffer shortPath(L"\\Device\\Mup");
    EXPECT_FALSE(rewriteRedirectorPath(shortPath.text.get()));
    EXPECT_FALSE(rewriteRedirectorPath(NULL));
}

TEST(ImagePathRules, OnlyLetterColonBackslashRootsCount)
{
    EXPECT_TRUE(isDriveRoot(L"C:\\"));
    EXPECT_TRUE(isDriveRoot(L"z:\\"));
    EXPECT_TRUE(isDriveRoot(L"7:\\"));
    EXPECT_FALSE(isDriveRoot(L"C:"));
    EXPECT_FALSE(isDriveRoot(L"C:\\x"));
    EXPECT_FALSE(isDriveRoot(L"\\\\?\\Volume{1}\\"));
    EXPECT_FALSE(isDriveRoot(L"$:\\"));
    EXPECT_FALSE(isDriveRoot(L""));
    EXPECT_FALSE(isDriveRoot(NULL));
}

TEST(ImagePathRules, DeviceNameMustEndAtASeparator)
{
    PathBuffer onVolume1(L"\\Device\\HarddiskVolume1\\Windows\\App.exe");
    EXPECT_TRUE(replaceDevicePrefix(onVolume1.text.get(), L"\\Device\\HarddiskVolume1", L"C:"));
    EXPECT_EQ(L"C:\\Windows\\App.exe", onVolume1.str());

    // Volume1's name is a prefix of Volume10's: no match there.
    PathBuffer onVolume10(L"\\Device\\HarddiskVolume10\\Data\\x.exe");
    EXPECT_FALSE(replaceDevicePrefix(onVolume10.text.get(), L"\\Device\\HarddiskVolume1", L"C:"));
    EXPECT_EQ(L"\\Device\\HarddiskVolume10\\Data\\x.exe", onVolume10.str());
    EXPECT_TRUE(replaceDevicePrefix(onVolume10.text.get(), L"\\Device\\HarddiskVolume10", L"D:"));
    EXPECT_EQ(L"D:\\Data\\x.exe", onVolume10.str());

    // Case-insensitive on the device name; the tail keeps its case.
    PathBuffer mixed(L"\\device\\harddiskvolume2\\Tmp\\MiXeD.exe");
    EXPECT_TRUE(replaceDevicePrefix(mixed.text.get(), L"\\Device\\HarddiskVolume2", L"Z:"));
    EXPECT_EQ(L"Z:\\Tmp\\MiXeD.exe", mixed.str());

    // The device itself, and a device name given with its backslash.
    PathBuffer bare(L"\\Device\\HarddiskVolume2");
    EXPECT_TRUE(replaceDevicePrefix(bare.text.get(), L"\\Device\\HarddiskVolume2", L"Z:"));
    EXPECT_EQ(L"Z:", bare.str());
    PathBuffer slashed(L"\\Device\\Floppy0\\a.exe");
    EXPECT_TRUE(replaceDevicePrefix(slashed.text.get(), L"\\Device\\Floppy0\\", L"A:"));
    EXPECT_EQ(L"A:a.exe", slashed.str());

    PathBuffer untouched(L"\\Device\\HarddiskVolume2\\x");
    EXPECT_FALSE(replaceDevicePrefix(untouched.text.get(), L"", L"Z:"));
    EXPECT_FALSE(replaceDevicePrefix(untouched.text.get(), L"\\Device\\HarddiskVolume3", L"Z:"));
    EXPECT_EQ(L"\\Device\\HarddiskVolume2\\x", untouched.str());
}

TEST(ImagePathRules, LongestPathStaysInsideTheBuffer)
{
    std::wstring tail(IMAGE_PATH_COUNT - 1 - 24, L'a');
    PathBuffer longest(L"\\Device\\HarddiskVolume2\\" + tail);
    ASSERT_EQ(static_cast<size_t>(IMAGE_PATH_COUNT - 1), longest.str().size());
    EXPECT_TRUE(replaceDevicePrefix(longest.text.get(), L"\\Device\\HarddiskVolume2", L"Z:"));
    EXPECT_EQ(L"Z:\\" + tail, longest.str());
}

// Wine maps C: to \Device\HarddiskVolume1 and Z: to \Device\HarddiskVolume2.
TEST(ImagePathSystem, RewritesThisProgramsDevicePath)
{
    EXPECT_EQ(-1, resolveImagePath(NULL));
    PathBuffer empty(L"");
    EXPECT_EQ(0, resolveImagePath(empty.text.get()));
    EXPECT_EQ(L"", empty.str());

    PathBuffer own(L"");
    ASSERT_NE(0u, GetProcessImageFileNameW(GetCurrentProcess(), own.text.get(), IMAGE_PATH_COUNT));
    std::wstring devicePath = own.str();
    ASSERT_EQ(0u, devicePath.find(L"\\Device\\")) << "not a device path: " << devicePath.c_str();
    EXPECT_EQ(0, resolveImagePath(own.text.get()));

    wchar_t expected[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(NULL, expected, MAX_PATH * 2);
    ASSERT_NE(0u, length);
    EXPECT_EQ(0, _wcsicmp(expected, own.text.get()))
        << "from " << devicePath.c_str() << " got " << own.str().c_str();

    PathBuffer system(L"\\Device\\HarddiskVolume1\\windows\\system32\\services.exe");
    wchar_t cDevice[DEVICE_NAME_COUNT];
    if (QueryDosDeviceW(L"C:", cDevice, DEVICE_NAME_COUNT) != 0 &&
        std::wstring(cDevice) == L"\\Device\\HarddiskVolume1") {
        EXPECT_EQ(0, resolveImagePath(system.text.get()));
        EXPECT_EQ(L"C:\\windows\\system32\\services.exe", system.str());
    }

    PathBuffer noLetter(L"\\Device\\HarddiskVolume77\\x.exe");
    EXPECT_EQ(0, resolveImagePath(noLetter.text.get()));
    EXPECT_EQ(L"\\Device\\HarddiskVolume77\\x.exe", noLetter.str());
    PathBuffer unc(L"\\Device\\Mup\\srv\\share\\x.exe");
    EXPECT_EQ(0, resolveImagePath(unc.text.get()));
    EXPECT_EQ(L"\\\\srv\\share\\x.exe", unc.str());
}

}  // namespace
