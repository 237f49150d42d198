#include "shell_run.h"

namespace {

std::string toUtf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& bytes)
{
    int count = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], count);
    return text;
}

std::wstring uniqueTempPath(const wchar_t* extension)
{
    static LONG counter = 0;
    return tempPath(L"kf" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                    std::to_wstring(InterlockedIncrement(&counter)) + extension);
}

// Every argument quoted, by the rules the C runtime undoes.
std::wstring commandLine(const std::wstring& exe, const std::vector<std::wstring>& args)
{
    std::wstring line;
    for (size_t i = 0; i <= args.size(); ++i) {
        line += i == 0 ? L"\"" : L" \"";
        size_t backslashes = 0;
        for (wchar_t ch : i == 0 ? exe : args[i - 1]) {
            if (ch == L'"') {
                line.append(backslashes + 1, L'\\');
            }
            backslashes = ch == L'\\' ? backslashes + 1 : 0;
            line += ch;
        }
        line.append(backslashes, L'\\');
        line += L'"';
    }
    return line;
}

// Starts a program without a console, so that it sees redirected output
// whether or not the tests run in a terminal. stdHandles: in, out, err to
// inherit, or none.
bool startProcess(const std::wstring& exe, const std::vector<std::wstring>& args, const HANDLE* stdHandles,
                  wchar_t* environment, PROCESS_INFORMATION* info)
{
    std::wstring line = commandLine(exe, args);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (stdHandles != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = stdHandles[0];
        startup.hStdOutput = stdHandles[1];
        startup.hStdError = stdHandles[2];
    }
    if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, stdHandles != nullptr,
                        CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment, nullptr, &startup, info)) {
        return false;
    }
    CloseHandle(info->hThread);
    return true;
}

// The parent's environment with the options' changes, as a block for CreateProcessW.
std::vector<wchar_t> environmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes)
{
    std::vector<wchar_t> block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
        bool changed = false;
        for (const auto& change : changes) {
            changed = changed || _wcsnicmp(entry, (change.first + L"=").c_str(), change.first.size() + 1) == 0;
        }
        if (!changed) {
            block.insert(block.end(), entry, entry + wcslen(entry) + 1);
        }
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& change : changes) {
        if (!change.second.empty()) {
            std::wstring entry = change.first + L"=" + change.second;
            block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
        }
    }
    block.push_back(L'\0');
    return block;
}

// Reads what a pipe holds without blocking; false once the writer has gone.
bool drainPipe(HANDLE pipe, std::string* into, bool* gotSomething)
{
    DWORD available = 0;
    if (pipe == nullptr || !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        return false;
    }
    if (available > 0) {
        std::string chunk(available, '\0');
        DWORD got = 0;
        if (!ReadFile(pipe, &chunk[0], available, &got, nullptr) || got == 0) {
            return false;
        }
        into->append(chunk, 0, got);
        *gotSomething = true;
    }
    return true;
}

}  // namespace

std::wstring tempPath(const std::wstring& name)
{
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, dir);
    return std::wstring(dir) + name;
}

std::vector<std::wstring> splitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end == std::wstring::npos ? text.size() : end + 1;
    }
    return lines;
}

std::wstring buildPath(const std::wstring& relative)
{
    wchar_t value[4096] = {};
    DWORD length = GetEnvironmentVariableW(L"KF_BUILD_DIR", value, 4096);
    std::wstring dir = length > 0 && length < 4096 ? value : L".";
    // ctest hands over the Unix path; Wine shows the Unix root as drive Z:.
    if (dir[0] == L'/') {
        dir = L"Z:" + dir;
    }
    for (wchar_t& ch : dir) {
        ch = ch == L'/' ? L'\\' : ch;
    }
    if (dir.back() != L'\\') {
        dir += L'\\';
    }
    return dir + relative;
}

ShellResult runShell(const std::vector<std::wstring>& args, const ShellOptions& options)
{
    std::vector<std::wstring> all;
    if (!options.plugin.empty()) {
        all = {L"--plugin", options.plugin};
    }
    all.insert(all.end(), args.begin(), args.end());

    ShellResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(inRead.put(), inWrite.put(), &inheritable, 1 << 16) ||
        !CreatePipe(errRead.put(), errWrite.put(), &inheritable, 1 << 16)) {
        return result;
    }
    if (options.stdoutToFile) {
        // Read back through the same handle once the shell has ended.
        outWrite.reset(CreateFileW(uniqueTempPath(L".out").c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                   CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    } else if (CreatePipe(outRead.put(), outWrite.put(), &inheritable, 1 << 16)) {
        SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    }
    SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    std::vector<wchar_t> environment = environmentBlock(options.env);
    HANDLE stdHandles[3] = {inRead.get(), outWrite.get(), errWrite.get()};
    PROCESS_INFORMATION info = {};
    if (!outWrite || !startProcess(buildPath(L"kfshell.exe"), all, stdHandles, environment.data(), &info)) {
        return result;
    }
    UniqueProcessHandle process(info.hProcess);
    inRead.reset();
    errWrite.reset();
    if (!options.stdoutToFile) {
        outWrite.reset();
    }
    std::string input = toUtf8(options.stdinText);
    DWORD written = 0;
    WriteFile(inWrite.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    inWrite.reset();

    // Polled rather than read to the end: a grandchild holding the pipes
    // open must not keep a test waiting once the shell has ended.
    std::string outBytes, errBytes;
    bool outOpen = !options.stdoutToFile, errOpen = true;
    ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    for (;;) {
        bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        bool got = false;
        outOpen = outOpen && drainPipe(outRead.get(), &outBytes, &got);
        errOpen = errOpen && drainPipe(errRead.get(), &errBytes, &got);
        if (ended && !got) {
            DWORD code = 0;
            GetExitCodeProcess(process.get(), &code);
            result.exitCode = static_cast<int>(code);
            break;
        }
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.get(), 255);
            WaitForSingleObject(process.get(), 5000);
            result.timedOut = true;
            break;
        }
        if (!got) {
            Sleep(2);
        }
    }
    if (options.stdoutToFile) {
        SetFilePointer(outWrite.get(), 0, nullptr, FILE_BEGIN);
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(outWrite.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            outBytes.append(chunk, got);
        }
    }
    result.out = fromUtf8(outBytes);
    result.err = fromUtf8(errBytes);
    return result;
}

ShellResult runShellLine(const std::wstring& line, const ShellOptions& options)
{
    return runShell({L"-c", line}, options);
}

TempFile::TempFile(const std::wstring& content, const std::wstring& fileName)
    : path_(fileName.empty() ? uniqueTempPath(L".btm") : tempPath(fileName))
{
    UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes = toUtf8(content);
    DWORD written = 0;
    ok_ = file.valid() &&
          WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
          written == bytes.size();
}

BackgroundProcess::BackgroundProcess(const std::wstring& path, const std::vector<std::wstring>& args) : path_(path)
{
    PROCESS_INFORMATION info = {};
    std::vector<std::wstring> all = {L"60000"};
    all.insert(all.end(), args.begin(), args.end());
    commandLine_ = ::commandLine(path, all);
    if (CopyFileW(buildPath(L"e2e\\kfsleeper.exe").c_str(), path.c_str(), FALSE) &&
        startProcess(path, all, nullptr, nullptr, &info)) {
        process_.reset(info.hProcess);
        pid_ = info.dwProcessId;
    }
}

BackgroundProcess::~BackgroundProcess()
{
    if (process_) {
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), 5000);
        process_.reset();
    }
    // The image stays locked for a moment after the process ends.
    for (int i = 0; i < 50 && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i) {
        Sleep(20);
    }
}
