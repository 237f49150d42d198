#include "procinfo/image_path.h"
#include "procinfo/process_access.h"

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

TEST(ImagePathRules, PrefixRewrites)
{
    // A null device stands for the redirector rule.
    struct RewriteCase { const wchar_t* path; const wchar_t* device; bool rewritten; const wchar_t* expected; };
    const RewriteCase cases[] = {
        {L"\\Device\\LanmanRedirector\\Server\\Share\\App.exe", NULL, true, L"\\\\Server\\Share\\App.exe"},
        {L"\\DEVICE\\MUP\\host\\Share\\x.exe", NULL, true, L"\\\\host\\Share\\x.exe"},
        // The redirector prefix must be whole, backslash included.
        {L"\\Device\\Mupx\\host\\x.exe", NULL, false, L"\\Device\\Mupx\\host\\x.exe"},
        {L"\\Device\\Mup", NULL, false, L"\\Device\\Mup"},
        {L"\\Device\\HarddiskVolume1\\Windows\\App.exe", L"\\Device\\HarddiskVolume1", true, L"C:\\Windows\\App.exe"},
        // Volume1's name is a prefix of Volume10's: the match must end at a separator.
        {L"\\Device\\HarddiskVolume10\\x.exe", L"\\Device\\HarddiskVolume1", false, L"\\Device\\HarddiskVolume10\\x.exe"},
        // Any case in the device name; the tail keeps its case.
        {L"\\device\\harddiskvolume2\\Tmp\\MiXeD.exe", L"\\Device\\HarddiskVolume2", true, L"C:\\Tmp\\MiXeD.exe"},
        {L"\\Device\\HarddiskVolume2", L"\\Device\\HarddiskVolume2", true, L"C:"},
        {L"\\Device\\Floppy0\\a.exe", L"\\Device\\Floppy0\\", true, L"C:a.exe"},
        {L"\\Device\\HarddiskVolume2\\x", L"", false, L"\\Device\\HarddiskVolume2\\x"},
    };
    for (const RewriteCase& c : cases) {
        PathBuffer buffer(c.path);
        bool rewritten = c.device == NULL ? rewriteRedirectorPath(buffer.text.get())
                                          : replaceDevicePrefix(buffer.text.get(), c.device, L"C:");
        EXPECT_EQ(c.rewritten, rewritten) << c.path;
        EXPECT_EQ(std::wstring(c.expected), buffer.str());
    }
    EXPECT_FALSE(rewriteRedirectorPath(NULL));

    std::wstring tail(IMAGE_PATH_COUNT - 1 - 24, L'a');  // the longest path stays inside the buffer
    PathBuffer longest(L"\\Device\\HarddiskVolume2\\" + tail);
    EXPECT_TRUE(replaceDevicePrefix(longest.text.get(), L"\\Device\\HarddiskVolume2", L"Z:"));
    EXPECT_EQ(L"Z:\\" + tail, longest.str());
}

TEST(ImagePathRules, OnlyLetterColonBackslashRootsCount)
{
    for (const wchar_t* root : {L"C:\\", L"z:\\", L"7:\\"}) {
        EXPECT_TRUE(isDriveRoot(root)) << root;
    }
    for (const wchar_t* root : {L"C:", L"C:\\x", L"\\\\?\\Volume{1}\\", L"$:\\", L""}) {
        EXPECT_FALSE(isDriveRoot(root)) << root;
    }
    EXPECT_FALSE(isDriveRoot(NULL));
}

// Wine maps C: to \Device\HarddiskVolume1 and Z: to \Device\HarddiskVolume2.
TEST(ImagePathSystem, RewritesThisProgramsDevicePath)
{
    EXPECT_EQ(-1, resolveImagePath(NULL, NULL));
    PathBuffer own(L"");
    ASSERT_NE(0u, GetProcessImageFileNameW(GetCurrentProcess(), own.text.get(), IMAGE_PATH_COUNT));
    std::wstring devicePath = own.str();
    ASSERT_EQ(0u, devicePath.find(L"\\Device\\")) << "not a device path: " << devicePath.c_str();
    EXPECT_EQ(0, resolveImagePath(own.text.get(), NULL));
    wchar_t expected[MAX_PATH * 2];
    ASSERT_NE(0u, GetModuleFileNameW(NULL, expected, MAX_PATH * 2));
    EXPECT_EQ(0, _wcsicmp(expected, own.text.get())) << "from " << devicePath.c_str() << " got "
                                                      << own.str().c_str();

    PathBuffer noLetter(L"\\Device\\HarddiskVolume77\\x.exe");  // a volume without a drive letter
    EXPECT_EQ(0, resolveImagePath(noLetter.text.get(), NULL));
    EXPECT_EQ(L"\\Device\\HarddiskVolume77\\x.exe", noLetter.str());
    PathBuffer unc(L"\\Device\\Mup\\srv\\share\\x.exe");
    EXPECT_EQ(0, resolveImagePath(unc.text.get(), NULL));
    EXPECT_EQ(L"\\\\srv\\share\\x.exe", unc.str());
}

}  // namespace

// Without the full-name query the path comes from the device path and the
// drive map, and reads the same.
TEST(ReadImagePath, DevicePathReadsLikeTheFullNameQuery)
{
    auto query = reinterpret_cast<QueryFullProcessImageNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    ASSERT_NE(nullptr, query);
    ProcessAccess saved = gProcessAccess;
    UniqueProcessHandle self = openProcessForQuery(GetCurrentProcessId());
    ASSERT_TRUE(self.valid());
    std::unique_ptr<wchar_t[]> withQuery(new wchar_t[IMAGE_PATH_COUNT]);
    std::unique_ptr<wchar_t[]> withDevicePath(new wchar_t[IMAGE_PATH_COUNT]);
    gProcessAccess.queryFullImageName = query;
    readImagePath(self.get(), NULL, withQuery.get());
    gProcessAccess.queryFullImageName = nullptr;
    DriveMap map;
    readImagePath(self.get(), &map, withDevicePath.get());
    gProcessAccess = saved;
    EXPECT_TRUE(map.loaded);
    EXPECT_NE(L'\0', withQuery[0]);
    EXPECT_STREQ(withQuery.get(), withDevicePath.get());
}
