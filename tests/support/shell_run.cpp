#include "shell_run.h"

#include <wctype.h>

namespace {

// Closes a kernel handle; NULL and INVALID_HANDLE_VALUE both mean none.
struct Handle {
    HANDLE value = nullptr;
    Handle() = default;
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void reset(HANDLE h = nullptr)
    {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) {
            CloseHandle(value);
        }
        value = h;
    }
    bool valid() const { return value != nullptr && value != INVALID_HANDLE_VALUE; }
};

std::string toUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring directoryOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool sameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The parent's environment with the options' changes, as a block for CreateProcessW.
std::vector<wchar_t> environmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes)
{
    std::vector<std::wstring> entries;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
        entries.push_back(entry);
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& change : changes) {
        for (size_t i = 0; i < entries.size();) {
            // Entries such as "=C:=C:\dir" have their name after the first character.
            size_t equals = entries[i].find(L'=', 1);
            if (equals != std::wstring::npos && sameName(entries[i].substr(0, equals), change.first)) {
                entries.erase(entries.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
        if (!change.second.empty()) {
            entries.push_back(change.first + L"=" + change.second);
        }
    }
    std::vector<wchar_t> block;
    for (const std::wstring& entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// Reads what a pipe holds without blocking; false once the writer has gone.
bool drainPipe(HANDLE pipe, std::string* into, bool* gotSomething)
{
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        return false;
    }
    while (available > 0) {
        char chunk[4096];
        DWORD want = available < sizeof(chunk) ? available : static_cast<DWORD>(sizeof(chunk));
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, want, &got, nullptr) || got == 0) {
            return false;
        }
        into->append(chunk, got);
        available -= got;
        *gotSomething = true;
    }
    return true;
}

std::string readWholeFile(const std::wstring& path)
{
    std::string bytes;
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        return bytes;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.value, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    return bytes;
}

std::wstring uniqueTempName(const std::wstring& extension)
{
    static LONG counter = 0;
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, dir);
    return std::wstring(dir) + L"kf" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(InterlockedIncrement(&counter)) + extension;
}

}  // namespace

std::wstring fromUtf8(const std::string& bytes)
{
    if (bytes.empty()) {
        return std::wstring();
    }
    int count = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], count);
    return text;
}

std::vector<std::wstring> splitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        size_t stop = end == std::wstring::npos ? text.size() : end;
        std::wstring line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        lines.push_back(line);
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

std::wstring buildDir()
{
    wchar_t value[4096] = {};
    DWORD length = GetEnvironmentVariableW(L"KF_BUILD_DIR", value, 4096);
    std::wstring dir;
    if (length > 0 && length < 4096) {
        dir = value;
        // ctest hands over the Unix path; Wine shows the Unix root as drive Z:.
        if (!dir.empty() && dir[0] == L'/') {
            dir = L"Z:" + dir;
        }
        for (wchar_t& ch : dir) {
            if (ch == L'/') {
                ch = L'\\';
            }
        }
    } else {
        // Run by hand: the test binary sits in <build>\tests.
        wchar_t self[MAX_PATH * 4] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
        dir = directoryOf(directoryOf(self));
    }
    while (dir.size() > 3 && dir.back() == L'\\') {
        dir.pop_back();
    }
    return dir;
}

std::wstring buildPath(const std::wstring& relative)
{
    return buildDir() + L"\\" + relative;
}

std::wstring quoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t ch : arg) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        if (ch == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += ch;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

ShellResult runProgram(const std::wstring& exe, const std::vector<std::wstring>& args, const ShellOptions& options)
{
    ShellResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

    Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&inRead.value, &inWrite.value, &inheritable, 1 << 16) ||
        !CreatePipe(&errRead.value, &errWrite.value, &inheritable, 1 << 16)) {
        return result;
    }
    SetHandleInformation(inWrite.value, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.value, HANDLE_FLAG_INHERIT, 0);
    std::wstring outFile;
    if (options.stdoutToFile) {
        outFile = uniqueTempName(L".out");
        outWrite.reset(CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!outWrite.valid()) {
            return result;
        }
    } else {
        if (!CreatePipe(&outRead.value, &outWrite.value, &inheritable, 1 << 16)) {
            return result;
        }
        SetHandleInformation(outRead.value, HANDLE_FLAG_INHERIT, 0);
    }

    std::wstring commandLine = quoteArgument(exe);
    for (const std::wstring& arg : args) {
        commandLine += L" " + quoteArgument(arg);
    }
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');
    std::vector<wchar_t> environment = environmentBlock(options.env);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.value;
    startup.hStdOutput = outWrite.value;
    startup.hStdError = errWrite.value;
    PROCESS_INFORMATION info = {};
    // No console: the child sees redirected output whether or not the tests run in a terminal.
    if (!CreateProcessW(exe.c_str(), commandBuffer.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment.data(), nullptr, &startup, &info)) {
        if (!outFile.empty()) {
            outWrite.reset();
            DeleteFileW(outFile.c_str());
        }
        return result;
    }
    result.started = true;
    Handle process(info.hProcess);
    CloseHandle(info.hThread);
    inRead.reset();
    outWrite.reset();
    errWrite.reset();

    std::string input = toUtf8(options.stdinText);
    if (!input.empty()) {
        DWORD written = 0;
        WriteFile(inWrite.value, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    }
    inWrite.reset();

    std::string outBytes, errBytes;
    bool outOpen = outRead.valid(), errOpen = true;
    ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    for (;;) {
        bool got = false;
        if (outOpen) {
            outOpen = drainPipe(outRead.value, &outBytes, &got);
        }
        if (errOpen) {
            errOpen = drainPipe(errRead.value, &errBytes, &got);
        }
        if (WaitForSingleObject(process.value, 0) == WAIT_OBJECT_0) {
            // Whatever it wrote is in the pipes by now; a grandchild holding
            // them open must not keep us waiting.
            bool more = true;
            while (more) {
                more = false;
                if (outOpen) {
                    outOpen = drainPipe(outRead.value, &outBytes, &more);
                }
                if (errOpen) {
                    errOpen = drainPipe(errRead.value, &errBytes, &more);
                }
            }
            DWORD code = 0;
            GetExitCodeProcess(process.value, &code);
            result.exitCode = static_cast<int>(code);
            break;
        }
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.value, 255);
            WaitForSingleObject(process.value, 5000);
            result.timedOut = true;
            result.exitCode = -1;
            break;
        }
        if (!got) {
            Sleep(2);
        }
    }
    if (!outFile.empty()) {
        outBytes = readWholeFile(outFile);
        DeleteFileW(outFile.c_str());
    }
    result.out = fromUtf8(outBytes);
    result.err = fromUtf8(errBytes);
    return result;
}

ShellResult runShell(const std::vector<std::wstring>& args, const ShellOptions& options)
{
    std::vector<std::wstring> all;
    if (!options.plugin.empty()) {
        all.push_back(L"--plugin");
        all.push_back(options.plugin);
    }
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(buildPath(L"kfshell.exe"), all, options);
}

ShellResult runShell(const std::vector<std::wstring>& args, const std::wstring& stdinText, DWORD timeoutMs)
{
    ShellOptions options;
    options.stdinText = stdinText;
    options.timeoutMs = timeoutMs;
    return runShell(args, options);
}

ShellResult runShellLine(const std::wstring& line, const ShellOptions& options)
{
    return runShell({L"-c", line}, options);
}

TempFile::TempFile(const std::wstring& content, const std::wstring& fileName, const std::wstring& extension)
{
    if (fileName.empty()) {
        path_ = uniqueTempName(extension);
    } else {
        wchar_t dir[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, dir);
        path_ = std::wstring(dir) + fileName;
    }
    Handle file(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return;
    }
    std::string bytes = toUtf8(content);
    DWORD written = 0;
    ok_ = bytes.empty() || (WriteFile(file.value, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                            written == bytes.size());
}

TempFile::~TempFile()
{
    DeleteFileW(path_.c_str());
}

BackgroundProcess::BackgroundProcess(const std::wstring& exe, const std::vector<std::wstring>& args)
{
    std::wstring commandLine = quoteArgument(exe);
    for (const std::wstring& arg : args) {
        commandLine += L" " + quoteArgument(arg);
    }
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                       &startup, &info)) {
        process_ = info.hProcess;
        pid_ = info.dwProcessId;
        CloseHandle(info.hThread);
    }
}

BackgroundProcess::~BackgroundProcess()
{
    if (process_ != nullptr) {
        TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
}

bool BackgroundProcess::running() const
{
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}
