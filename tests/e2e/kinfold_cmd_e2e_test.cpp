// /CMD end to end: children the test starts with command lines of their own
// (blanks, quotes, a tab, an argument of 2,000 characters), read back by the
// built plugin in kfshell, as tree lines, as ANCESTRY lines and as CSV rows.
#include "csv_fields.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a line shows of a command line: a tab (like any control character)
// as one blank.
std::wstring shown(const std::wstring& commandLine)
{
    std::wstring text = commandLine;
    for (wchar_t& ch : text) {
        ch = ch < L' ' ? L' ' : ch;
    }
    return text;
}

// The display text of a line: the whole command line, or, where it is longer
// than the line has room for, its start and the mark.
void expectShown(const std::wstring& full, const std::wstring& text)
{
    if (text.size() >= full.size()) {
        EXPECT_EQ(full, text);
        return;
    }
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(L"\x2026", text.substr(text.size() - 1));
    EXPECT_EQ(full.substr(0, text.size() - 1), text.substr(0, text.size() - 1));
}

// The line or row of a PID in output, from the PID on; empty when there is none.
std::wstring lineOf(const std::wstring& output, const std::wstring& start)
{
    for (const std::wstring& line : splitLines(output)) {
        size_t at = line.find(start);
        if (at != std::wstring::npos) {
            return line.substr(at);
        }
    }
    return L"";
}

}  // namespace

// Faults: the text read from the wrong PEB field or cut at the wrong length,
// a tab written raw, the long text overrunning the line instead of being cut
// to the width, the CSV field cut or left unquoted, ANCESTRY reading other
// text than KINFOLD.
TEST(CommandLineEndToEnd, EachChildShowsTheCommandLineItWasStartedWith)
{
    BackgroundProcess spaces(tempPath(L"kfcmd1.exe"), {L"two words", L"plain"});
    BackgroundProcess quotes(tempPath(L"kfcmd2.exe"), {L"he said \"hi\""});
    BackgroundProcess tab(tempPath(L"kfcmd3.exe"), {L"a\tb"});
    BackgroundProcess long2000(tempPath(L"kfcmd4.exe"), {std::wstring(2000, L'x')});
    const BackgroundProcess* children[] = {&spaces, &quotes, &tab, &long2000};
    for (const BackgroundProcess* child : children) {
        ASSERT_TRUE(child->running());
    }
    const std::wstring self = std::to_wstring(GetCurrentProcessId());
    const std::wstring width = L" /W:200";
    ShellResult tree = runShellLine(L"kinfold " + self + L" /CMD /D" + width);
    ASSERT_EQ(0, tree.exitCode) << tree.err;
    ShellResult rows = runShellLine(L"kinfold " + self + L" /CMD /CSV");
    ASSERT_EQ(0, rows.exitCode) << rows.err;
    EXPECT_TRUE(startsWith(rows.out, L"Depth,PID,ParentPID,Name,CommandLine\r\n")) << rows.out;

    for (int i = 0; i < 4; ++i) {
        const BackgroundProcess& child = *children[i];
        const std::wstring pid = std::to_wstring(child.pid());
        const std::wstring name = L"kfcmd" + std::to_wstring(i + 1);
        const std::wstring full = shown(child.commandLine());
        SCOPED_TRACE(full.substr(0, 60));
        std::wstring line = lineOf(tree.out, pid + L"  " + name + L"  ");
        ASSERT_FALSE(line.empty()) << tree.out;
        std::wstring text = line.substr(pid.size() + name.size() + 4);
        expectShown(full, text);
        // Cut to the width like any display text; the others fit whole.
        EXPECT_EQ(&child == &long2000, text.size() < full.size());
        // The row carries the whole text, however long, quoted and its quotes doubled.
        std::vector<std::wstring> row = csvFields(lineOf(rows.out, L"1," + pid + L"," + self + L","));
        ASSERT_EQ(5u, row.size());
        EXPECT_EQ(full, row[4]);

        ShellResult chain = runShellLine(L"ancestry " + pid + L" /CMD /D" + width);
        ASSERT_EQ(0, chain.exitCode) << chain.err;
        std::wstring chainLine = lineOf(chain.out, pid + L"  " + name + L"  ");
        ASSERT_FALSE(chainLine.empty()) << chain.out;
        expectShown(full, chainLine.substr(pid.size() + name.size() + 4));
    }
}
