// kfshell.exe: a small shell that loads the Kinfold plugin the way the real
// shell does (GetPluginInfo, InitializePlugin, the names the plugin lists,
// ShutdownPlugin at exit), for running and testing the plugin under Wine.
//
//   kfshell.exe [--plugin PATH]                   interactive prompt
//   kfshell.exe [--plugin PATH] -c LINE [-c LINE]  each line in turn
//   kfshell.exe [--plugin PATH] FILE.btm           a batch file
//
// With --log-ends FILE, every process the plugin ends is appended to FILE
// (its PID in decimal, one per line) just before it is ended: tests read the
// order of ends from it.
#include "hostcore.h"
#include "import_table.h"
#include "plugin_loader.h"
#include "takecmd.h"

#include "../src/base/host_api.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

#include <string>
#include <vector>

namespace {

typedef int(WINAPI* CommandFn)(wchar_t*);
typedef int(WINAPI* UsageFn)(wchar_t*, wchar_t*);

// A line is expanded in full before it is cut to the command's buffer.
const size_t EXPANSION_COUNT = 4 * HOST_BUFFER_COUNT;
const size_t USAGE_BUFFER_COUNT = 1024;

StandInHost gHost;
LoadedPlugin* gPlugin = nullptr;  // wmain's, for the host's calls back

void say(const std::wstring& text)
{
    QPuts(text.c_str());
}

void complain(const std::wstring& text)
{
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s", text.c_str());
}

bool WINAPI callVariableFunction(const wchar_t* name, wchar_t* buffer, int* result)
{
    CommandFn function = reinterpret_cast<CommandFn>(gPlugin->routedExport(std::wstring(L"@") + name));
    if (function == nullptr) {
        return false;
    }
    *result = function(buffer);
    return true;
}

std::wstring expand(const std::wstring& text)
{
    std::vector<wchar_t> out(EXPANSION_COUNT);
    gHost.expand(text.c_str(), out.data(), static_cast<int>(out.size()));
    return out.data();
}

bool gExitRequested = false;

int runLine(const std::wstring& rawLine)
{
    std::wstring line = hostTrimmed(rawLine);
    if (!line.empty() && line[0] == L'@') {
        line = hostTrimmed(line.substr(1));
    }
    if (line.empty() || line.compare(0, 2, L"::") == 0) {
        return 0;
    }
    size_t split = 0;
    while (split < line.size() && !iswspace(line[split]) && line[split] != L'/') {
        ++split;
    }
    std::wstring word = hostLowered(line.substr(0, split));
    std::wstring tail = line.substr(split);
    while (!tail.empty() && iswspace(tail[0])) {
        tail.erase(0, 1);
    }

    if (word == L"rem") {
        return 0;
    }
    if (word == L"exit") {
        gExitRequested = true;
        return tail.empty() ? 0 : _wtoi(tail.c_str());
    }
    if (word == L"echo") {
        std::wstring state = hostLowered(hostTrimmed(tail));
        if (state == L"on" || state == L"off") {
            return 0;
        }
        say(expand(tail));
        CrLf();
        return 0;
    }
    if (word == L"set") {
        size_t equals = tail.find(L'=');
        if (equals == std::wstring::npos) {
            complain(L"Usage: set NAME=VALUE\r\n");
            return 1;
        }
        std::wstring name = hostTrimmed(tail.substr(0, equals));
        std::wstring value = expand(tail.substr(equals + 1));
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
        return 0;
    }
    if (word == L"help" || word == L"usage") {
        std::vector<wchar_t> name(HOST_BUFFER_COUNT, L'\0');
        wcsncpy(name.data(), hostTrimmed(tail).c_str(), name.size() - 1);
        if (word == L"help") {
            CommandFn help = reinterpret_cast<CommandFn>(gPlugin->exportNamed(L"Help"));
            if (help == nullptr || help(name.data()) == 0) {
                complain(L"No help for \"" + hostTrimmed(tail) + L"\"\r\n");
                return 1;
            }
            return 0;
        }
        UsageFn usage = reinterpret_cast<UsageFn>(gPlugin->exportNamed(L"Usage"));
        std::vector<wchar_t> text(USAGE_BUFFER_COUNT, L'\0');
        if (usage == nullptr || usage(name.data(), text.data()) == 0) {
            complain(L"No usage for \"" + hostTrimmed(tail) + L"\"\r\n");
            return 1;
        }
        say(text.data());
        CrLf();
        return 0;
    }
    CommandFn command = reinterpret_cast<CommandFn>(gPlugin->routedExport(word));
    if (command == nullptr) {
        complain(L"Unknown command \"" + line.substr(0, split) + L"\"\r\n");
        return 1;
    }
    std::vector<wchar_t> buffer(HOST_BUFFER_COUNT, L'\0');
    std::wstring expanded = expand(tail);
    wcsncpy(buffer.data(), expanded.c_str(), buffer.size() - 1);
    gHost.beginCommand();
    int result = command(buffer.data());
    gHost.endCommand();
    return result;
}

std::wstring decode(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int count = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), &text[0], count);
    return text;
}

int runBatch(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        complain(L"kfshell: cannot open " + path + L"\r\n");
        return 2;
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    std::wstring text = decode(bytes);

    wchar_t full[MAX_PATH * 4];
    GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    gHost.setShellVariable(L"_batch", L"1");
    gHost.setShellVariable(L"_batchname", full);
    int result = 0;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size() && !gExitRequested) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        ++lineNumber;
        gHost.setShellVariable(L"_batchline", std::to_wstring(lineNumber).c_str());
        result = runLine(line);
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    gHost.setShellVariable(L"_batch", L"0");
    return result;
}

bool readConsoleLine(std::wstring* line)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    line->clear();
    if (GetConsoleMode(input, &mode)) {
        wchar_t buffer[1024];
        DWORD got = 0;
        // Return at once when Ctrl-D or Ctrl-Z is typed, without waiting for Enter.
        CONSOLE_READCONSOLE_CONTROL control = {sizeof(control), 0, (1u << 4) | (1u << 26), 0};
        while (ReadConsoleW(input, buffer, 1024, &got, &control) && got > 0) {
            line->append(buffer, got);
            // Ctrl-D (a terminal's end of input) or Ctrl-Z (Windows') on an
            // empty line ends the session; elsewhere they are dropped.
            if (line->back() == L'\x04' || line->back() == L'\x1a') {
                line->pop_back();
                if (line->empty()) {
                    return false;
                }
                continue;
            }
            if (line->back() == L'\n') {
                return (*line)[0] != L'\x1a';
            }
        }
        return !line->empty();
    }
    std::string bytes;
    char ch;
    DWORD got = 0;
    while (ReadFile(input, &ch, 1, &got, nullptr) && got == 1) {
        if (ch == '\n') {
            *line = decode(bytes);
            return true;
        }
        bytes += ch;
    }
    *line = decode(bytes);
    return !bytes.empty();
}

// The file --log-ends names; empty: the plugin's imports are left alone.
std::wstring gEndLog;

// Opened and closed for each line, so that every line is on disk before the
// process it names is ended, even when that ends this shell.
BOOL WINAPI terminateAndLog(HANDLE process, UINT exitCode)
{
    HANDLE log = CreateFileW(gEndLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        std::string line = std::to_string(GetProcessId(process)) + "\r\n";
        DWORD written = 0;
        WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(log);
    }
    return TerminateProcess(process, exitCode);
}

void redirectTerminate(const char* dll, const char* name, ULONG_PTR* slot, void* context)
{
    if (_stricmp(dll, "kernel32.dll") == 0 && strcmp(name, "TerminateProcess") == 0) {
        replaceImport(slot, reinterpret_cast<void*>(&terminateAndLog));
        *static_cast<bool*>(context) = true;
    }
}

// A plugin that ends processes some other way would leave the log empty,
// and a test reading it would take that for "nothing was ended".
bool logEnds(HMODULE plugin, std::wstring* error)
{
    bool redirected = false;
    visitImports(plugin, redirectTerminate, &redirected);
    if (!redirected) {
        *error = L"--log-ends: the plugin does not import TerminateProcess from kernel32.dll";
        return false;
    }
    return true;
}

std::wstring defaultPluginPath()
{
    wchar_t self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring path(self, length);
    size_t slash = path.find_last_of(L"\\/");
    std::wstring dir = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    return dir + (sizeof(void*) == 8 ? L"Kinfold-x64.dll" : L"Kinfold-x86.dll");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (!bindStandInHost(&gHost)) {
        fwprintf(stderr, L"kfshell: TakeCmd.dll is not our stand-in\n");
        return 2;
    }
    std::wstring pluginPath = defaultPluginPath();
    std::vector<std::wstring> lines;
    std::wstring batchFile;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (arg == L"--log-ends" && i + 1 < argc) {
            gEndLog = argv[++i];
        } else if (arg == L"-c" && i + 1 < argc) {
            lines.push_back(argv[++i]);
        } else if (batchFile.empty() && lines.empty() && arg[0] != L'-') {
            batchFile = arg;
        } else {
            fwprintf(stderr, L"usage: kfshell [--plugin PATH] [--log-ends FILE] [-c LINE ...] [FILE.btm]\n");
            return 2;
        }
    }

    ShellState state;
    state.transient = !lines.empty() || !batchFile.empty();
    state.pipe = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
    LoadedPlugin plugin;
    gPlugin = &plugin;
    std::wstring error;
    if (!plugin.load(pluginPath, state, callVariableFunction, gEndLog.empty() ? nullptr : logEnds, &error)) {
        complain(L"kfshell: " + error + L"\r\n");
        return 2;
    }
    int result = 0;
    if (!batchFile.empty()) {
        result = runBatch(batchFile);
    } else if (!lines.empty()) {
        for (const std::wstring& line : lines) {
            result = runLine(line);
            if (gExitRequested) {
                break;
            }
        }
    } else {
        std::wstring line;
        while (!gExitRequested) {
            say(L"kfshell> ");
            if (!readConsoleLine(&line)) {
                break;
            }
            result = runLine(line);
        }
    }
    if (!plugin.shutdown()) {
        complain(std::wstring(L"kfshell: ") + MODULE_FIELDS_CHANGED + L"\r\n");
        if (result == 0) {
            result = 2;
        }
    }
    return result;
}
