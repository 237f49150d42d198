// /CMD end to end: children the test starts with command lines of their own
// (blanks, quotes, a tab, an argument of 2,000 characters), read back by the
// built plugin in kfshell, as tree lines, as ANCESTRY lines and as CSV rows.
#include "shell_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Child {
public:
    // program with the lifetime argument, then tail.
    Child(const std::wstring& program, const std::wstring& tail)
    {
        commandLine_ = L"\"" + program + L"\" 60000 " + tail;
        std::wstring writable = commandLine_;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(program.c_str(), &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            process_.reset(info.hProcess);
            pid_ = info.dwProcessId;
        }
    }
    ~Child()
    {
        if (process_) {
            TerminateProcess(process_.get(), 0);
            WaitForSingleObject(process_.get(), 5000);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ != 0; }
    DWORD pid() const { return pid_; }
    // What a line shows: a tab (like any control character) as one blank.
    std::wstring shown() const
    {
        std::wstring text = commandLine_;
        for (wchar_t& ch : text) {
            ch = ch < L' ' ? L' ' : ch;
        }
        return text;
    }
    // As a CSV field: quoted where it holds a comma or a quote, its quotes doubled.
    std::wstring csvField() const
    {
        std::wstring text = shown();
        if (text.find_first_of(L",\"") == std::wstring::npos) {
            return text;
        }
        std::wstring field = L"\"";
        for (wchar_t ch : text) {
            field += ch == L'"' ? L"\"\"" : std::wstring(1, ch);
        }
        return field + L"\"";
    }

private:
    std::wstring commandLine_;
    UniqueProcessHandle process_;
    DWORD pid_ = 0;
};

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
    const std::wstring program = buildPath(L"e2e\\kfsleeper.exe");
    Child spaces(program, L"\"two words\" plain");
    Child quotes(program, L"say \"he said \\\"hi\\\"\"");
    Child tab(program, L"a\tb");
    Child long2000(program, std::wstring(2000, L'x'));
    std::vector<const Child*> children = {&spaces, &quotes, &tab, &long2000};
    for (const Child* child : children) {
        ASSERT_TRUE(child->started()) << GetLastError();
    }
    const std::wstring self = std::to_wstring(GetCurrentProcessId());
    const uint32_t width = 200;
    ShellResult tree = runShellLine(L"kinfold " + self + L" /CMD /D /W:" + std::to_wstring(width));
    ASSERT_EQ(0, tree.exitCode) << tree.err;
    ShellResult rows = runShellLine(L"kinfold " + self + L" /CMD /CSV");
    ASSERT_EQ(0, rows.exitCode) << rows.err;
    EXPECT_TRUE(startsWith(rows.out, L"Depth,PID,ParentPID,Name,CommandLine\r\n")) << rows.out;

    for (const Child* child : children) {
        const std::wstring pid = std::to_wstring(child->pid());
        SCOPED_TRACE(child->shown().substr(0, 60));
        std::wstring line = lineOf(tree.out, pid + L"  kfsleeper  ");
        ASSERT_FALSE(line.empty()) << tree.out;
        std::wstring text = line.substr(pid.size() + 13);
        expectShown(child->shown(), text);
        // Cut to the width like any display text; the others fit whole.
        EXPECT_EQ(child == &long2000, text.size() < child->shown().size());
        // The row carries the whole text, however long.
        std::wstring row = lineOf(rows.out, L"1," + pid + L"," + self + L",kfsleeper.exe,");
        EXPECT_EQ(child->csvField(), row.substr(row.find(L".exe,") + 5));

        ShellResult chain = runShellLine(L"ancestry " + pid + L" /CMD /D /W:" + std::to_wstring(width));
        ASSERT_EQ(0, chain.exitCode) << chain.err;
        std::wstring chainLine = lineOf(chain.out, pid + L"  kfsleeper  ");
        ASSERT_FALSE(chainLine.empty()) << chain.out;
        expectShown(child->shown(), chainLine.substr(pid.size() + 13));
    }
}
