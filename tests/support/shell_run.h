// Runs kfshell.exe (or any program of the build) as a child process for the
// end-to-end tests and hands back its exit code and both output streams.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

struct ShellResult {
    int exitCode = -1;       // -1 also when the program could not start or timed out
    std::wstring out;        // standard output, decoded from UTF-8
    std::wstring err;        // standard error, decoded from UTF-8
    bool started = false;
    bool timedOut = false;
};

struct ShellOptions {
    std::wstring stdinText;                                    // sent as UTF-8, then end of file
    DWORD timeoutMs = 30000;                                   // the child is killed after this
    bool stdoutToFile = false;                                 // a disk file instead of a pipe (_pipe 0)
    std::vector<std::pair<std::wstring, std::wstring>> env;    // set (empty value: removed) in the child
    std::wstring plugin;                                       // --plugin PATH for kfshell, if not empty
};

// The build directory as a Windows path (KF_BUILD_DIR, a Unix path becomes Z:\...).
std::wstring buildDir();
// A file of the build directory, e.g. buildPath(L"kfshell.exe") or buildPath(L"e2e\\demo.exe").
std::wstring buildPath(const std::wstring& relative);

// kfshell.exe with these arguments.
ShellResult runShell(const std::vector<std::wstring>& args, const ShellOptions& options = ShellOptions());
ShellResult runShell(const std::vector<std::wstring>& args, const std::wstring& stdinText, DWORD timeoutMs = 30000);
// kfshell.exe -c LINE.
ShellResult runShellLine(const std::wstring& line, const ShellOptions& options = ShellOptions());
// Any program, by full path; options.plugin is ignored.
ShellResult runProgram(const std::wstring& exe, const std::vector<std::wstring>& args,
                       const ShellOptions& options = ShellOptions());

// One command-line argument quoted by the rules CommandLineToArgvW undoes.
std::wstring quoteArgument(const std::wstring& arg);

// A text file in the temporary folder, deleted with the object.
class TempFile {
public:
    // fileName: the name to use (e.g. L"100%.btm"); empty: a unique name ending in extension.
    explicit TempFile(const std::wstring& content, const std::wstring& fileName = L"",
                      const std::wstring& extension = L".btm");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }
    bool ok() const { return ok_; }

private:
    std::wstring path_;
    bool ok_ = false;
};

// A batch file for kfshell: lines joined with CRLF.
inline std::wstring batchText(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\r\n";
    }
    return text;
}

// A program left running in the background, killed and closed with the object.
class BackgroundProcess {
public:
    BackgroundProcess(const std::wstring& exe, const std::vector<std::wstring>& args);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    bool running() const;

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// UTF-8 to UTF-16, and lines split at CRLF or LF (no line ends kept).
std::wstring fromUtf8(const std::string& bytes);
std::vector<std::wstring> splitLines(const std::wstring& text);

// Small text checks the end-to-end tests share.
inline bool startsWith(const std::wstring& text, const std::wstring& start)
{
    return text.compare(0, start.size(), start) == 0;
}

inline bool endsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

inline bool contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// A PID as a tree line shows it.
inline std::wstring hexPid(uint32_t pid)
{
    wchar_t text[16];
    wsprintfW(text, L"%04X", pid);
    return text;
}

// ASCII for gtest messages; anything else becomes "?".
inline std::string narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t ch : text) {
        bytes += ch < 0x80 ? static_cast<char>(ch) : '?';
    }
    return bytes;
}
