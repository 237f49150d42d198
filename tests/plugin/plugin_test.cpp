#include "fake_host.h"
#include "plugin/plugin.h"
#include "procinfo/process_access.h"

#include <gtest/gtest.h>

TEST(PluginInfoTest, DescribesTheModuleTheSameWayOnEveryCall)
{
    PluginInfo* first = GetPluginInfo();
    PluginInfo* second = GetPluginInfo();
    ASSERT_EQ(first, second);
    EXPECT_STREQ(L"Kinfold", second->name);
    EXPECT_STREQ(L"Display a process tree.", second->description);
    EXPECT_STREQ(L"ancestry,kinfold,@ancestry,@kinfold", second->implementedNames);
    EXPECT_EQ(KF_VERSION_MAJOR, second->majorVersion);
    EXPECT_EQ(KF_VERSION_MINOR, second->minorVersion);
    EXPECT_EQ(KF_VERSION_PATCH, second->build);
}

namespace {

// The record as the shell's own header declares it, written out here apart
// from ours: its last two fields are pointer-sized on both architectures.
struct ShellPluginRecord {
    wchar_t *pszDll, *pszAuthor, *pszEmail, *pszWWW, *pszDescription, *pszFunctions;
    int nMajor, nMinor, nBuild;
    HMODULE hModule;
    wchar_t* pszModule;
};

}  // namespace

TEST(PluginInfoTest, HoldsTheModuleFieldsTheShellWritesWithoutTouchingThemOrItsState)
{
    // A record shorter than the shell's lets the shell's writes land on
    // whatever the linker placed after it.
    ASSERT_EQ(sizeof(ShellPluginRecord), sizeof(*GetPluginInfo()));

    ShellPluginRecord* record = reinterpret_cast<ShellPluginRecord*>(GetPluginInfo());
    EXPECT_EQ(nullptr, record->hModule);
    EXPECT_EQ(nullptr, record->pszModule);
    ProcessAccess saved = gProcessAccess;
    ASSERT_EQ(0, InitializePlugin());
    const ProcessAccess loaded = gProcessAccess;

    wchar_t moduleName[] = L"C:\\Program Files\\Shell\\PLUGINS\\Kinfold.dll";
    HMODULE self = GetModuleHandleW(nullptr);
    record->hModule = self;
    record->pszModule = moduleName;
    ShellPluginRecord* again = reinterpret_cast<ShellPluginRecord*>(GetPluginInfo());
    ASSERT_EQ(record, again);
    EXPECT_EQ(self, again->hModule);
    EXPECT_EQ(moduleName, again->pszModule);
    EXPECT_STREQ(L"ancestry,kinfold,@ancestry,@kinfold", again->pszFunctions);
    EXPECT_EQ(KF_VERSION_PATCH, again->nBuild);
    // The load-time facts read by every command stay as initialisation left them.
    EXPECT_EQ(loaded.windowsMajorVersion, gProcessAccess.windowsMajorVersion);
    EXPECT_EQ(loaded.queryFullImageName, gProcessAccess.queryFullImageName);

    record->hModule = nullptr;
    record->pszModule = nullptr;
    gProcessAccess = saved;
}

TEST(InitializePluginTest, PrintsTheLoadMessageOnlyInAQuietlessInteractiveShell)
{
    EXPECT_EQ(0, InitializePlugin());
    EXPECT_EQ(L"Kinfold v" KF_VERSION_TEXT L" loaded.\r\n", gFakeHost.out);
    EXPECT_GE(gProcessAccess.windowsMajorVersion, 6u);
    EXPECT_NE(nullptr, gProcessAccess.queryFullImageName);

    struct Case {
        const wchar_t* variable;
        const wchar_t* value;
    };
    const Case quiet[] = {{L"_transient", L"1"}, {L"_pipe", L"1"}, {L"noloadmsg", L"x"}};
    for (const Case& c : quiet) {
        resetFakeHost();
        gFakeHost.variables[c.variable] = c.value;
        EXPECT_EQ(0, InitializePlugin());
        EXPECT_EQ(L"", gFakeHost.out) << c.variable;
    }
}

TEST(InitializePluginTest, ChoosesTheLimitedAccessRightFromWindowsSix)
{
    ProcessAccess saved = gProcessAccess;
    gProcessAccess.windowsMajorVersion = 5;
    EXPECT_EQ(static_cast<DWORD>(PROCESS_QUERY_INFORMATION), processQueryAccess());
    gProcessAccess.windowsMajorVersion = 6;
    EXPECT_EQ(static_cast<DWORD>(PROCESS_QUERY_LIMITED_INFORMATION), processQueryAccess());
    gProcessAccess = saved;
}

TEST(ClverTest, WritesTheFixedVersionTextWhateverTheModuleVersion)
{
    wchar_t buffer[1024];
    wmemset(buffer, L'#', 1024);
    EXPECT_EQ(0, kfClverEntry(buffer));
    EXPECT_STREQ(L"1.0.11.0", buffer);
    EXPECT_EQ(-1, kfClverEntry(nullptr));
}
