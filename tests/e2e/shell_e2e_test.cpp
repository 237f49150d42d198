// kfshell.exe with the built plugin, end to end: the load message, routing of
// names in any case, shell variables, batch files and exit status.
#include "shell_run.h"

#include "base/version.h"

#include <gtest/gtest.h>

namespace {

const wchar_t LOAD_MESSAGE[] = L"Kinfold v" KF_VERSION_TEXT L" loaded.\r\n";
const std::wstring UNKNOWN = L"Unknown command \"nosuchcommand\"\r\n";

std::wstring pluginPath()
{
    return buildPath(std::wstring(L"Kinfold-") + KF_ARCH_TEXT + L".dll");
}

}  // namespace

TEST(Shell, LoadMessageOnlyInAnInteractiveSessionNotPipedNorToldOtherwise)
{
    struct Case {
        std::vector<std::wstring> args;
        const wchar_t* input;
        bool toFile;
        const wchar_t* noloadmsg;  // empty: not set
        bool explicitPlugin;
        std::wstring expected;
    } cases[] = {
        // Output to a file: neither transient nor piped.
        {{}, L"echo %[_transient]%[_pipe]\r\n", true, L"", false, LOAD_MESSAGE + std::wstring(L"kfshell> 00\r\nkfshell> ")},
        {{}, L"exit\r\n", true, L"", true, LOAD_MESSAGE + std::wstring(L"kfshell> ")},
        {{}, L"echo %_pipe\r\n", false, L"", false, L"kfshell> 1\r\nkfshell> "},
        {{L"-c", L"echo %_transient %KF_E2E_WORD%"}, L"", true, L"", false, L"1 from the parent\r\n"},
        // Any value silences it, even 0.
        {{}, L"", true, L"0", false, L"kfshell> "},
    };
    for (const Case& c : cases) {
        ShellOptions options;
        options.stdinText = c.input;
        options.stdoutToFile = c.toFile;
        options.env = {{L"noloadmsg", c.noloadmsg}, {L"KF_E2E_WORD", L"from the parent"}};
        options.plugin = c.explicitPlugin ? pluginPath() : L"";
        ShellResult r = runShell(c.args, options);
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_EQ(c.expected, r.out) << c.input;
        EXPECT_EQ(L"", r.err);
    }
}

TEST(Shell, ExitStatusIsTheLastCommandsResult)
{
    TempFile failing(L"echo a\r\nnosuchcommand\r\n");
    TempFile exiting(L"exit 4\r\necho never\r\n");
    struct Case {
        std::vector<std::wstring> args;
        const wchar_t* input;
        int exitCode;
        std::wstring out;
        std::wstring err;
    } cases[] = {
        // The last line needs no line end.
        {{}, L"echo one\r\necho two", 0, L"kfshell> one\r\nkfshell> two\r\nkfshell> ", L""},
        {{}, L"nosuchcommand\r\n", 1, L"kfshell> kfshell> ", UNKNOWN},
        {{}, L"exit 5\r\necho never\r\n", 5, L"kfshell> ", L""},
        {{L"-c", L"nosuchcommand", L"-c", L"echo fine"}, L"", 0, L"fine\r\n", UNKNOWN},
        {{L"-c", L"echo fine", L"-c", L"nosuchcommand"}, L"", 1, L"fine\r\n", UNKNOWN},
        {{L"-c", L"exit 3", L"-c", L"echo never"}, L"", 3, L"", L""},
        {{L"-c", L"set greeting=hello there", L"-c", L"echo [%greeting%] [%[greeting]] %% %_batch"}, L"", 0,
         L"[hello there] [hello there] % 0\r\n", L""},
        // Built-in words of the real shell never reach the plugin.
        {{L"-c", L"dir /s"}, L"", 1, L"", L"Unknown command \"dir\"\r\n"},
        {{failing.path()}, L"", 1, L"a\r\n", UNKNOWN},
        {{exiting.path()}, L"", 4, L"", L""},
        {{L"Z:\\no\\such\\file.btm"}, L"", 2, L"", L""},
    };
    for (const Case& c : cases) {
        ShellOptions options;
        options.stdinText = c.input;
        ShellResult r = runShell(c.args, options);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.args.size() << " arguments, input " << c.input;
        EXPECT_EQ(c.out, r.out);
        if (c.exitCode != 2) {
            EXPECT_EQ(c.err, r.err);
        }
    }
}

TEST(Shell, BatchFileVariablesAndErrorsNameTheFileAndLine)
{
    // Names reach the plugin whatever their letter case.
    TempFile batch(L"@echo off\r\necho %_batch %_batchline\r\necho %_batchname\r\nKinFold /nosuchoption\r\n",
                   L"kf_e2e 100%.btm");
    ASSERT_TRUE(batch.ok());
    ShellResult r = runShell({batch.path()});
    EXPECT_EQ(1, r.exitCode);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(2u, lines.size()) << r.out;
    EXPECT_EQ(L"1 2", lines[0]);
    EXPECT_EQ(CSTR_EQUAL, CompareStringOrdinal(lines[1].c_str(), -1, batch.path().c_str(), -1, TRUE)) << lines[1];
    EXPECT_TRUE(startsWith(r.err, L"Kinfold plugin: " + batch.path() + L" [4]  ")) << r.err;

    r = runShellLine(L"kinfold /nosuchoption");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(startsWith(r.err, L"Kinfold plugin: ")) << r.err;
    EXPECT_FALSE(startsWith(r.err, L"Kinfold plugin: Z:")) << r.err;
}

TEST(Shell, PluginThatIsMissingOrNotAPluginFailsToLoad)
{
    struct Case {
        const wchar_t* dll;
        const wchar_t* error;
    } cases[] = {{L"no-such-plugin.dll", L"kfshell: cannot load "}, {L"TakeCmd.dll", L"is not a plugin"}};
    for (const Case& c : cases) {
        ShellOptions options;
        options.plugin = buildPath(c.dll);
        options.stdinText = L"exit\r\n";
        ShellResult r = runShell({}, options);
        EXPECT_EQ(2, r.exitCode);
        EXPECT_EQ(L"", r.out);
        EXPECT_TRUE(contains(r.err, c.error)) << r.err;
    }
}

TEST(Shell, CommandsRunWithTheShellsModuleFieldsWrittenIntoThePluginRecord)
{
    // kfshell stores its module handle and name in the record before
    // initialisation and reads them back at load and at exit; the commands
    // between use every load-time fact (access right, image-name query).
    ShellResult r = runShell({L"-c", L"kinfold kfshell.exe /F /C /I /M", L"-c", L"ancestry /F", L"-c", L"echo %@ancestry[]"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"", r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(5u, lines.size()) << r.out;
    const std::wstring shellPath = buildPath(L"kfshell.exe");
    // ANCESTRY's chain ends with the shell itself: its PID, name and full path.
    ASSERT_GE(lines[3].size(), 4u);
    const std::wstring pid = lines[3].substr(0, 4);
    EXPECT_EQ(pid + L"  kfshell  " + shellPath, lines[3]);
    EXPECT_TRUE(contains(lines[2], L"  test_e2e  ")) << lines[2];
    EXPECT_EQ(L"", lines[0]);
    EXPECT_TRUE(startsWith(lines[1], pid + L" ") && endsWith(lines[1], L"kfshell  N  " + shellPath)) << lines[1];
    EXPECT_TRUE(endsWith(lines[4], L" 0x" + pid)) << lines[4];
}
