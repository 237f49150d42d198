#include "plugin_host.h"

#include "../../src/base/host_api.h"

#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

typedef int(WINAPI* InitializePluginFn)(void);
typedef int(WINAPI* ShutdownPluginFn)(int);
typedef void(WINAPI* SetShellVariableFn)(const wchar_t*, const wchar_t*);

HANDLE createOutputFile(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

void emptyFile(HANDLE file)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
}

std::string readFile(HANDLE file)
{
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD got = 0;
    size_t done = 0;
    while (done < bytes.size() &&
           ReadFile(file, &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr) && got > 0) {
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

PluginHost::~PluginHost()
{
    if (module_ != nullptr) {
        ShutdownPluginFn shutdown =
            reinterpret_cast<ShutdownPluginFn>(reinterpret_cast<void*>(GetProcAddress(module_, "ShutdownPlugin")));
        if (shutdown != nullptr) {
            shutdown(1);
        }
    }
    if (out_ != INVALID_HANDLE_VALUE) {
        CloseHandle(out_);
    }
    if (err_ != INVALID_HANDLE_VALUE) {
        CloseHandle(err_);
    }
    delete[] buffer_;
}

bool PluginHost::load(const std::wstring& dllPath, const std::wstring& outputDir,
                      bool (*beforeInitialize)(HMODULE, std::string*), std::string* error)
{
    out_ = createOutputFile(outputDir + L"kf_bench_stdout.txt");
    err_ = createOutputFile(outputDir + L"kf_bench_stderr.txt");
    if (out_ == INVALID_HANDLE_VALUE || err_ == INVALID_HANDLE_VALUE) {
        *error = "cannot create the output files in the bench's folder";
        return false;
    }
    buffer_ = new wchar_t[HOST_BUFFER_COUNT];

    // TakeCmd.dll sits beside the plugin, not beside the bench.
    module_ = LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module_ == nullptr) {
        *error = "cannot load the plugin (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    HMODULE host = GetModuleHandleW(L"TakeCmd.dll");
    SetShellVariableFn setVariable =
        host == nullptr ? nullptr
                        : reinterpret_cast<SetShellVariableFn>(
                              reinterpret_cast<void*>(GetProcAddress(host, "KfSetShellVariable")));
    if (setVariable == nullptr) {
        *error = "the plugin's TakeCmd.dll is not our stand-in";
        return false;
    }
    beginCommand_ = reinterpret_cast<HostCallFn>(reinterpret_cast<void*>(GetProcAddress(host, "KfBeginCommand")));
    endCommand_ = reinterpret_cast<HostCallFn>(reinterpret_cast<void*>(GetProcAddress(host, "KfEndCommand")));
    // A transient shell, as in a batch run: no load message, no batch context.
    setVariable(L"_transient", L"1");
    setVariable(L"_pipe", L"0");
    setVariable(L"_batch", L"0");
    setVariable(L"_batchname", L"");
    setVariable(L"_batchline", L"-1");

    if (beforeInitialize != nullptr && !beforeInitialize(module_, error)) {
        return false;
    }
    GetPluginInfoFn getInfo =
        reinterpret_cast<GetPluginInfoFn>(reinterpret_cast<void*>(GetProcAddress(module_, "GetPluginInfo")));
    InitializePluginFn initialize =
        reinterpret_cast<InitializePluginFn>(reinterpret_cast<void*>(GetProcAddress(module_, "InitializePlugin")));
    if (getInfo == nullptr || initialize == nullptr) {
        *error = "the DLL is not a plugin";
        return false;
    }
    PluginInfo* info = getInfo();
    if (info == nullptr) {
        *error = "the plugin returned no record";
        return false;
    }
    // The shell's module handle and name, where the shell stores them.
    moduleName_ = dllPath;
    info->module = module_;
    info->moduleName = &moduleName_[0];
    beginCall();
    initialize();
    endCall();
    if (info->module != module_ || info->moduleName != moduleName_.c_str()) {
        *error = "the plugin changed the module fields of its record";
        return false;
    }
    return true;
}

void PluginHost::beginCall()
{
    emptyFile(out_);
    emptyFile(err_);
    savedOut_ = GetStdHandle(STD_OUTPUT_HANDLE);
    savedErr_ = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out_);
    SetStdHandle(STD_ERROR_HANDLE, err_);
    // As our shell does around every command: redirected output is gathered
    // and written when the call ends (inside the time measured).
    if (beginCommand_ != nullptr) beginCommand_();
}

void PluginHost::endCall()
{
    if (endCommand_ != nullptr) endCommand_();
    SetStdHandle(STD_OUTPUT_HANDLE, savedOut_);
    SetStdHandle(STD_ERROR_HANDLE, savedErr_);
}

int PluginHost::command(const char* exportName, const std::wstring& arguments)
{
    CommandFn function =
        reinterpret_cast<CommandFn>(reinterpret_cast<void*>(GetProcAddress(module_, exportName)));
    if (function == nullptr) {
        return -1;
    }
    wcsncpy(buffer_, arguments.c_str(), HOST_BUFFER_COUNT - 1);
    buffer_[HOST_BUFFER_COUNT - 1] = L'\0';
    beginCall();
    int result = function(buffer_);
    endCall();
    return result;
}

int PluginHost::ancestryFunction(const std::wstring& arguments, std::wstring* result)
{
    int rc = command("f_ancestry", arguments);
    *result = buffer_;
    return rc;
}

int PluginHost::kinfoldFunction(const std::wstring& arguments, std::wstring* result)
{
    int rc = command("f_kinfold", arguments);
    *result = buffer_;
    return rc;
}

CallOutput PluginHost::lastOutput(int result)
{
    CallOutput output;
    output.result = result;
    std::string text = readFile(out_);
    output.bytes = text.size();
    output.lines = 0;
    for (char c : text) {
        if (c == '\n') {
            ++output.lines;
        }
    }
    std::string errors = readFile(err_);
    size_t end = errors.find_first_of("\r\n");
    output.firstError = errors.substr(0, end);
    return output;
}
