// Runs kfshell.exe of the build as a child process for the end-to-end tests
// and hands back its exit code and both output streams.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "base/unique_handle.h"

#include <string>
#include <utility>
#include <vector>

struct ShellResult {
    int exitCode = -1;  // also -1 when the shell could not start or timed out
    std::wstring out;   // standard output, decoded from UTF-8
    std::wstring err;   // standard error, decoded from UTF-8
    bool timedOut = false;
};

struct ShellOptions {
    std::wstring stdinText;                                    // sent as UTF-8, then end of file
    DWORD timeoutMs = 20000;                                   // the shell is killed after this
    bool stdoutToFile = false;                                 // a disk file instead of a pipe (_pipe 0)
    std::vector<std::pair<std::wstring, std::wstring>> env;    // set (empty value: removed) in the child
    std::wstring plugin;                                       // --plugin PATH, if not empty
};

// A file of the build directory (KF_BUILD_DIR), e.g. buildPath(L"kfshell.exe").
std::wstring buildPath(const std::wstring& relative);

// kfshell.exe with these arguments, or with -c LINE.
ShellResult runShell(const std::vector<std::wstring>& args, const ShellOptions& options = ShellOptions());
ShellResult runShellLine(const std::wstring& line, const ShellOptions& options = ShellOptions());

// This name in the temporary folder.
std::wstring tempPath(const std::wstring& name);

// A text file in the temporary folder (a unique name if none is given),
// deleted with the object.
class TempFile {
public:
    explicit TempFile(const std::wstring& content, const std::wstring& fileName = L"");
    ~TempFile() { DeleteFileW(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }
    bool ok() const { return ok_; }

private:
    std::wstring path_;
    bool ok_ = false;
};

// A copy of the e2e program kfsleeper.exe at this path, running in the
// background while the object lives; args follow its lifetime argument.
class BackgroundProcess {
public:
    explicit BackgroundProcess(const std::wstring& path, const std::vector<std::wstring>& args = {});
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;
    DWORD pid() const { return pid_; }
    // The command line it was started with.
    const std::wstring& commandLine() const { return commandLine_; }
    bool running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

private:
    std::wstring path_;
    std::wstring commandLine_;
    UniqueProcessHandle process_;
    DWORD pid_ = 0;
};

// Lines split at CRLF or LF, without their line ends.
std::vector<std::wstring> splitLines(const std::wstring& text);

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
