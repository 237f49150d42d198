// The loader that kfshell and the bench share: how it routes the names a
// plugin announces, and what a load of the built DLL tells the plugin.
#include "plugin_loader.h"

#include <gtest/gtest.h>

namespace {

std::wstring builtPlugin()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring own(path, length);
    return own.substr(0, own.find_last_of(L"\\/") + 1) + L"..\\Kinfold-" + KF_ARCH_TEXT + L".dll";
}

}  // namespace

TEST(PluginLoaderTest, RoutesEachAnnouncedNameInLowerCaseToItsExport)
{
    struct Case {
        const wchar_t* announced;
        PluginNames expected;
    } cases[] = {
        {L"ancestry,kinfold,@ancestry,@kinfold",
         {{L"ancestry", L"ancestry"}, {L"kinfold", L"kinfold"}, {L"@ancestry", L"f_ancestry"},
          {L"@kinfold", L"f_kinfold"}}},
        // Blanks around names and empty entries are the record's layout, not names;
        // the export keeps the case the plugin wrote.
        {L" KINFOLD ,, @Ancestry ,", {{L"kinfold", L"KINFOLD"}, {L"@ancestry", L"f_Ancestry"}}},
        {L"kinfold", {{L"kinfold", L"kinfold"}}},
        {L"", {}},
        {nullptr, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, routedNames(c.announced)) << (c.announced ? c.announced : L"(null)");
    }
}

TEST(PluginLoaderTest, LoadsTheBuiltPluginWithTheShellsVariablesAndRoutesItsNames)
{
    struct Case {
        ShellState state;
        const wchar_t* variables;  // %[_transient]%[_pipe]%[_batch]%[_batchline] after the load
    } cases[] = {
        {{true, false}, L"100-1"},
        {{false, true}, L"010-1"},
    };
    for (const Case& c : cases) {
        LoadedPlugin plugin;
        std::wstring error;
        ASSERT_TRUE(plugin.load(builtPlugin(), c.state, nullptr, nullptr, &error)) << error;
        wchar_t expanded[64] = {};
        plugin.host().expand(L"%[_transient]%[_pipe]%[_batch]%[_batchline]", expanded, 64);
        EXPECT_STREQ(c.variables, expanded);

        EXPECT_NE(nullptr, plugin.routedExport(L"KinFold"));
        EXPECT_EQ(plugin.exportNamed(L"f_ancestry"), plugin.routedExport(L"@ANCESTRY"));
        // Exported, but not announced: the shell never routes to it.
        EXPECT_NE(nullptr, plugin.exportNamed(L"Help"));
        EXPECT_EQ(nullptr, plugin.routedExport(L"help"));
        EXPECT_TRUE(plugin.shutdown());
    }
}

TEST(PluginLoaderTest, SaysWhyALoadFailed)
{
    BeforeInitialize refuse = [](HMODULE, std::wstring* error) {
        *error = L"imports not patched";
        return false;
    };
    std::wstring missing = L"Z:\\no\\such\\plugin.dll";
    struct Case {
        std::wstring path;
        BeforeInitialize beforeInitialize;
        std::wstring errorStart;
    } cases[] = {
        {missing, nullptr, L"cannot load " + missing + L" (error "},
        // The bench stops when its patches fail, and says why.
        {builtPlugin(), refuse, L"imports not patched"},
    };
    for (const Case& c : cases) {
        LoadedPlugin plugin;
        std::wstring error;
        EXPECT_FALSE(plugin.load(c.path, ShellState{true, false}, nullptr, c.beforeInitialize, &error));
        EXPECT_EQ(0u, error.find(c.errorStart)) << error;
        EXPECT_EQ(nullptr, plugin.routedExport(L"kinfold"));
    }
}
