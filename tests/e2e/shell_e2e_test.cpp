// kfshell.exe with the built plugin, end to end: loading, the load message,
// routing of the plugin's names, shell variables and exit status.
#include "shell_run.h"

#include <gtest/gtest.h>

namespace {

const wchar_t LOAD_MESSAGE[] = L"Kinfold v1.1.1 loaded.\r\n";

std::wstring pluginPath()
{
    return buildPath(std::wstring(L"Kinfold-") + KF_ARCH_TEXT + L".dll");
}

// Whether the built plugin has this export; read without running the DLL.
bool pluginExports(const char* name)
{
    HMODULE module = LoadLibraryExW(pluginPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) {
        return false;
    }
    bool found = GetProcAddress(module, name) != nullptr;
    FreeLibrary(module);
    return found;
}

// An interactive session fed from standard input, its output in a file so
// that the shell does not count as piped.
ShellResult interactive(const std::wstring& input, std::vector<std::pair<std::wstring, std::wstring>> env = {})
{
    ShellOptions options;
    options.stdinText = input;
    options.stdoutToFile = true;
    options.env = std::move(env);
    return runShell({}, options);
}

}  // namespace

TEST(LoadMessage, InteractiveSessionWithFileOutputAnnouncesThePlugin)
{
    ShellResult r = interactive(L"echo %[_transient]%[_pipe]\r\n", {{L"noloadmsg", L""}});
    ASSERT_TRUE(r.started) << buildPath(L"kfshell.exe");
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(startsWith(r.out, LOAD_MESSAGE)) << r.out;
    // The line after it shows why: neither transient nor piped.
    EXPECT_NE(std::wstring::npos, r.out.find(L"kfshell> 00\r\n")) << r.out;
    EXPECT_EQ(L"", r.err);
}

TEST(LoadMessage, SilentWhenPipedTransientOrToldSo)
{
    ShellOptions piped;
    piped.stdinText = L"echo %_pipe\r\n";
    ShellResult r = runShell({}, piped);
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"kfshell> 1\r\nkfshell> ", r.out);

    ShellOptions toFile;
    toFile.stdoutToFile = true;
    r = runShellLine(L"echo %_transient", toFile);
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"1\r\n", r.out);

    for (const wchar_t* value : {L"1", L"0", L"no"}) {
        r = interactive(L"", {{L"noloadmsg", value}});
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_EQ(L"kfshell> ", r.out) << "noloadmsg=" << std::string(value, value + wcslen(value));
    }
}

TEST(Interactive, EndOfInputEndsTheSessionWithTheLastResult)
{
    ShellResult r = runShell({}, L"echo one\r\necho two");
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitCode);
    // The last line needs no line end.
    EXPECT_EQ(L"kfshell> one\r\nkfshell> two\r\nkfshell> ", r.out);

    r = runShell({}, L"nosuchcommand\r\n");
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(L"Unknown command \"nosuchcommand\"\r\n", r.err);

    r = runShell({}, L"exit 5\r\necho never\r\n");
    EXPECT_EQ(5, r.exitCode);
    EXPECT_EQ(std::wstring::npos, r.out.find(L"never"));
}

TEST(CommandLines, ExitStatusIsTheLastCommandsResult)
{
    ShellResult r = runShell({L"-c", L"nosuchcommand", L"-c", L"echo fine"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(L"fine\r\n", r.out);
    EXPECT_EQ(L"Unknown command \"nosuchcommand\"\r\n", r.err);

    r = runShell({L"-c", L"echo fine", L"-c", L"nosuchcommand"});
    EXPECT_EQ(1, r.exitCode);

    r = runShell({L"-c", L"exit 3", L"-c", L"echo never"});
    EXPECT_EQ(3, r.exitCode);
    EXPECT_EQ(L"", r.out);
}

TEST(CommandLines, VariablesSetInOneLineReachTheNext)
{
    ShellResult r = runShell({L"-c", L"set greeting=hello there", L"-c", L"echo [%greeting%] [%[greeting]] %%"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"[hello there] [hello there] %\r\n", r.out);

    ShellOptions withEnv;
    withEnv.env = {{L"KF_E2E_WORD", L"from the parent"}};
    r = runShellLine(L"echo %KF_E2E_WORD%", withEnv);
    EXPECT_EQ(L"from the parent\r\n", r.out);
}

TEST(Routing, NamesReachThePluginOnlyWhenItExportsThem)
{
    // Built-in shell words and unknown names never reach the plugin.
    ShellResult r = runShellLine(L"dir /s");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(L"Unknown command \"dir\"\r\n", r.err);

    // A command the plugin announces is reported as unknown until its export exists.
    for (const char* name : {"kinfold", "ancestry"}) {
        std::wstring wide(name, name + strlen(name));
        r = runShellLine(wide + L" /?");
        std::wstring unknown = L"Unknown command \"" + wide + L"\"\r\n";
        if (pluginExports(name)) {
            EXPECT_EQ(0, r.exitCode) << r.err;
            EXPECT_NE(unknown, r.err);
            EXPECT_FALSE(r.out.empty()) << "help text of " << name;
        } else {
            EXPECT_EQ(1, r.exitCode);
            EXPECT_EQ(unknown, r.err);
        }
    }
    // Commands are found whatever the letter case.
    if (pluginExports("kinfold")) {
        EXPECT_EQ(runShellLine(L"kinfold /?").out, runShellLine(L"KinFold /?").out);
    }
}

TEST(Batch, ShellVariablesDescribeTheBatchFile)
{
    TempFile batch(batchText({L"@echo off", L"echo batch=%_batch", L"echo line=%_batchline", L"echo name=%_batchname"}));
    ASSERT_TRUE(batch.ok());
    ShellResult r = runShell({batch.path()});
    EXPECT_EQ(0, r.exitCode) << r.err;
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(3u, lines.size()) << r.out;
    EXPECT_EQ(L"batch=1", lines[0]);
    EXPECT_EQ(L"line=3", lines[1]);
    EXPECT_EQ(CSTR_EQUAL, CompareStringOrdinal(lines[2].c_str(), -1, (L"name=" + batch.path()).c_str(), -1, TRUE))
        << lines[2];

    // Outside a batch file.
    r = runShellLine(L"echo %_batch");
    EXPECT_EQ(L"0\r\n", r.out);
}

TEST(Batch, ExitStatusIsTheLastLinesResult)
{
    TempFile failing(batchText({L"echo a", L"nosuchcommand"}));
    ShellResult r = runShell({failing.path()});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(L"a\r\n", r.out);

    TempFile exiting(batchText({L"exit 4", L"echo never"}));
    r = runShell({exiting.path()});
    EXPECT_EQ(4, r.exitCode);
    EXPECT_EQ(L"", r.out);

    r = runShell({L"Z:\\no\\such\\file.btm"});
    EXPECT_EQ(2, r.exitCode);
}

TEST(Batch, ErrorsInsideABatchFileNameTheFileAndLine)
{
    if (!pluginExports("kinfold")) {
        GTEST_SKIP() << "kinfold not exported yet";
    }
    TempFile batch(batchText({L"rem first", L"kinfold /nosuchoption"}), L"kf_e2e 100%.btm");
    ASSERT_TRUE(batch.ok());
    ShellResult r = runShell({batch.path()});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(startsWith(r.err, L"Kinfold plugin: " + batch.path() + L" [2]  ")) << r.err;

    r = runShellLine(L"kinfold /nosuchoption");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(startsWith(r.err, L"Kinfold plugin: ")) << r.err;
    EXPECT_FALSE(startsWith(r.err, L"Kinfold plugin: Z:")) << r.err;
}

TEST(PluginLoading, ExplicitPluginOfThisBuildLoadsAndAMissingOneFails)
{
    ShellOptions options;
    options.plugin = pluginPath();
    options.stdoutToFile = true;
    options.stdinText = L"exit\r\n";
    options.env = {{L"noloadmsg", L""}};
    ShellResult r = runShell({}, options);
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(std::wstring(LOAD_MESSAGE) + L"kfshell> ", r.out);

    options.plugin = buildPath(L"no-such-plugin.dll");
    r = runShell({}, options);
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ(L"", r.out);
    EXPECT_TRUE(startsWith(r.err, L"kfshell: cannot load ")) << r.err;

    // A DLL that is not a plugin: the host library itself.
    options.plugin = buildPath(L"TakeCmd.dll");
    r = runShell({}, options);
    EXPECT_EQ(2, r.exitCode);
    EXPECT_NE(std::wstring::npos, r.err.find(L"is not a plugin")) << r.err;
}

TEST(PluginLoading, TreeOfTheShellItselfWhenKinfoldIsBuilt)
{
    if (!pluginExports("kinfold")) {
        GTEST_SKIP() << "kinfold not exported yet";
    }
    ShellResult r = runShellLine(L"kinfold");
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(std::wstring::npos, r.out.find(L"kfshell")) << r.out;
    EXPECT_EQ(L"", r.err);
}

TEST(PluginLoading, VariableFunctionAnswersInEcho)
{
    if (!pluginExports("f_ancestry")) {
        GTEST_SKIP() << "f_ancestry not exported yet";
    }
    // Flags 3: names, oldest first, so the chain ends at the shell itself,
    // started by this test program.
    ShellResult r = runShellLine(L"echo [%@ancestry[.,3]]");
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(std::wstring::npos, r.out.find(L"test_e2e.exe kfshell.exe]\r\n")) << r.out;
    r = runShellLine(L"echo [%@ancestry[0]]");
    EXPECT_NE(std::wstring::npos, r.err.find(L"PID must be nonzero: \"0\"\r\n")) << r.err;
}
