// kfshell.exe: a small shell that loads the Kinfold plugin the way the real
// shell does (GetPluginInfo, InitializePlugin, the names the plugin lists,
// ShutdownPlugin at exit), for running and testing the plugin under Wine.
//
//   kfshell.exe [--plugin PATH]                   interactive prompt
//   kfshell.exe [--plugin PATH] -c LINE [-c LINE]  each line in turn
//   kfshell.exe [--plugin PATH] FILE.btm           a batch file
#include "import_table.h"
#include "takecmd.h"

#include "../src/base/host_api.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

#include <map>
#include <string>
#include <vector>

namespace {

typedef int(WINAPI* InitializePluginFn)(void);
typedef int(WINAPI* ShutdownPluginFn)(int);
typedef int(WINAPI* CommandFn)(wchar_t*);
typedef int(WINAPI* UsageFn)(wchar_t*, wchar_t*);

// A line is expanded in full before it is cut to the command's buffer.
const size_t EXPANSION_COUNT = 4 * HOST_BUFFER_COUNT;
const size_t USAGE_BUFFER_COUNT = 1024;

HMODULE gPlugin = nullptr;
PluginInfo* gPluginInfo = nullptr;
std::wstring gPluginModuleName;  // the shell's text, lent to the plugin's record
std::map<std::wstring, std::wstring> gNames;  // lower-cased name -> export name

decltype(&KfSetShellVariable) gSetShellVariable;
decltype(&KfSetFunctionHandler) gSetFunctionHandler;
decltype(&KfExpand) gExpand;
decltype(&KfBeginCommand) gBeginCommand;
decltype(&KfEndCommand) gEndCommand;

std::wstring lowered(std::wstring text)
{
    for (wchar_t& ch : text) {
        ch = static_cast<wchar_t>(towlower(ch));
    }
    return text;
}

std::wstring trimmed(const std::wstring& text)
{
    size_t start = 0;
    while (start < text.size() && iswspace(text[start])) {
        ++start;
    }
    size_t end = text.size();
    while (end > start && iswspace(text[end - 1])) {
        --end;
    }
    return text.substr(start, end - start);
}

void say(const std::wstring& text)
{
    QPuts(text.c_str());
}

void complain(const std::wstring& text)
{
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s", text.c_str());
}

void* pluginExport(const std::wstring& exportName)
{
    std::string narrow(exportName.begin(), exportName.end());
    return reinterpret_cast<void*>(GetProcAddress(gPlugin, narrow.c_str()));
}

// A name the plugin announced, and whose export it actually has.
void* routedExport(const std::wstring& name)
{
    auto it = gNames.find(lowered(name));
    if (it == gNames.end()) {
        return nullptr;
    }
    return pluginExport(it->second);
}

bool WINAPI callVariableFunction(const wchar_t* name, wchar_t* buffer, int* result)
{
    CommandFn function = reinterpret_cast<CommandFn>(routedExport(std::wstring(L"@") + name));
    if (function == nullptr) {
        return false;
    }
    *result = function(buffer);
    return true;
}

// Message boxes cannot be seen (or closed) on a headless test machine, so the
// shell shows the plugin's boxes as text on standard output.
int WINAPI messageBoxAsText(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    (void)owner;
    (void)type;
    say(std::wstring(L"[") + (caption ? caption : L"") + L"]\r\n");
    say(text ? text : L"");
    CrLf();
    return IDOK;
}

void redirectMessageBox(const char* dll, const char* name, ULONG_PTR* slot, void* context)
{
    (void)context;
    if (_stricmp(dll, "user32.dll") == 0 && strcmp(name, "MessageBoxW") == 0) {
        replaceImport(slot, reinterpret_cast<void*>(&messageBoxAsText));
    }
}

// The fields are the shell's: a plugin that writes them, or keeps state where
// they lie, changes what the shell reads back.
bool recordKeepsModuleFields()
{
    if (gPluginInfo->module != gPlugin || gPluginInfo->moduleName != gPluginModuleName.c_str()) {
        complain(L"kfshell: the plugin changed the module fields of its record\r\n");
        return false;
    }
    return true;
}

bool loadPlugin(const std::wstring& path)
{
    gPlugin = LoadLibraryW(path.c_str());
    if (gPlugin == nullptr) {
        complain(L"kfshell: cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")\r\n");
        return false;
    }
    visitImports(gPlugin, redirectMessageBox, nullptr);
    GetPluginInfoFn getInfo = reinterpret_cast<GetPluginInfoFn>(pluginExport(L"GetPluginInfo"));
    InitializePluginFn initialize = reinterpret_cast<InitializePluginFn>(pluginExport(L"InitializePlugin"));
    if (getInfo == nullptr || initialize == nullptr) {
        complain(L"kfshell: " + path + L" is not a plugin\r\n");
        return false;
    }
    PluginInfo* info = getInfo();
    if (info == nullptr) {
        complain(L"kfshell: " + path + L" returned no plugin record\r\n");
        return false;
    }
    // As the shell does: its module handle and name go into the record's last
    // two fields, so every command runs with them written.
    gPluginInfo = info;
    gPluginModuleName = path;
    info->module = gPlugin;
    info->moduleName = &gPluginModuleName[0];
    std::wstring names = info->implementedNames ? info->implementedNames : L"";
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(L',', start);
        std::wstring name = trimmed(names.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (!name.empty()) {
            // Commands are exported under their own name, variable functions
            // with "f_" in place of "@".
            std::wstring exportName = name[0] == L'@' ? L"f_" + name.substr(1) : name;
            gNames[lowered(name)] = exportName;
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    initialize();
    return recordKeepsModuleFields();
}

bool unloadPlugin()
{
    if (gPlugin == nullptr) {
        return true;
    }
    bool kept = recordKeepsModuleFields();
    ShutdownPluginFn shutdown = reinterpret_cast<ShutdownPluginFn>(pluginExport(L"ShutdownPlugin"));
    if (shutdown != nullptr) {
        shutdown(1);
    }
    return kept;
}

std::wstring expand(const std::wstring& text)
{
    std::vector<wchar_t> out(EXPANSION_COUNT);
    gExpand(text.c_str(), out.data(), static_cast<int>(out.size()));
    return out.data();
}

bool gExitRequested = false;

int runLine(const std::wstring& rawLine)
{
    std::wstring line = trimmed(rawLine);
    if (!line.empty() && line[0] == L'@') {
        line = trimmed(line.substr(1));
    }
    if (line.empty() || line.compare(0, 2, L"::") == 0) {
        return 0;
    }
    size_t split = 0;
    while (split < line.size() && !iswspace(line[split]) && line[split] != L'/') {
        ++split;
    }
    std::wstring word = lowered(line.substr(0, split));
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
        std::wstring state = lowered(trimmed(tail));
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
        std::wstring name = trimmed(tail.substr(0, equals));
        std::wstring value = expand(tail.substr(equals + 1));
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
        return 0;
    }
    if (word == L"help" || word == L"usage") {
        std::vector<wchar_t> name(HOST_BUFFER_COUNT, L'\0');
        wcsncpy(name.data(), trimmed(tail).c_str(), name.size() - 1);
        if (word == L"help") {
            CommandFn help = reinterpret_cast<CommandFn>(pluginExport(L"Help"));
            if (help == nullptr || help(name.data()) == 0) {
                complain(L"No help for \"" + trimmed(tail) + L"\"\r\n");
                return 1;
            }
            return 0;
        }
        UsageFn usage = reinterpret_cast<UsageFn>(pluginExport(L"Usage"));
        std::vector<wchar_t> text(USAGE_BUFFER_COUNT, L'\0');
        if (usage == nullptr || usage(name.data(), text.data()) == 0) {
            complain(L"No usage for \"" + trimmed(tail) + L"\"\r\n");
            return 1;
        }
        say(text.data());
        CrLf();
        return 0;
    }
    CommandFn command = reinterpret_cast<CommandFn>(routedExport(word));
    if (command == nullptr) {
        complain(L"Unknown command \"" + line.substr(0, split) + L"\"\r\n");
        return 1;
    }
    std::vector<wchar_t> buffer(HOST_BUFFER_COUNT, L'\0');
    std::wstring expanded = expand(tail);
    wcsncpy(buffer.data(), expanded.c_str(), buffer.size() - 1);
    gBeginCommand();
    int result = command(buffer.data());
    gEndCommand();
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
    gSetShellVariable(L"_batch", L"1");
    gSetShellVariable(L"_batchname", full);
    int result = 0;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size() && !gExitRequested) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        ++lineNumber;
        gSetShellVariable(L"_batchline", std::to_wstring(lineNumber).c_str());
        result = runLine(line);
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    gSetShellVariable(L"_batch", L"0");
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

bool bindHost()
{
    HMODULE host = GetModuleHandleW(L"TakeCmd.dll");
    gSetShellVariable = reinterpret_cast<decltype(gSetShellVariable)>(reinterpret_cast<void*>(GetProcAddress(host, "KfSetShellVariable")));
    gSetFunctionHandler = reinterpret_cast<decltype(gSetFunctionHandler)>(reinterpret_cast<void*>(GetProcAddress(host, "KfSetFunctionHandler")));
    gExpand = reinterpret_cast<decltype(gExpand)>(reinterpret_cast<void*>(GetProcAddress(host, "KfExpand")));
    gBeginCommand = reinterpret_cast<decltype(gBeginCommand)>(reinterpret_cast<void*>(GetProcAddress(host, "KfBeginCommand")));
    gEndCommand = reinterpret_cast<decltype(gEndCommand)>(reinterpret_cast<void*>(GetProcAddress(host, "KfEndCommand")));
    return gSetShellVariable != nullptr && gSetFunctionHandler != nullptr && gExpand != nullptr &&
           gBeginCommand != nullptr && gEndCommand != nullptr;
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
    if (!bindHost()) {
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
        } else if (arg == L"-c" && i + 1 < argc) {
            lines.push_back(argv[++i]);
        } else if (batchFile.empty() && lines.empty() && arg[0] != L'-') {
            batchFile = arg;
        } else {
            fwprintf(stderr, L"usage: kfshell [--plugin PATH] [-c LINE ...] [FILE.btm]\n");
            return 2;
        }
    }

    bool transient = !lines.empty() || !batchFile.empty();
    gSetShellVariable(L"_transient", transient ? L"1" : L"0");
    gSetShellVariable(L"_pipe", GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE ? L"1" : L"0");
    gSetShellVariable(L"_batch", L"0");
    gSetShellVariable(L"_batchname", L"");
    gSetShellVariable(L"_batchline", L"-1");
    gSetFunctionHandler(callVariableFunction);

    if (!loadPlugin(pluginPath)) {
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
    if (!unloadPlugin() && result == 0) {
        result = 2;
    }
    return result;
}
