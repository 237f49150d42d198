#include "plugin_host.h"

#include "import_hooks.h"

#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

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
    (void)plugin_.shutdown();
    if (out_ != INVALID_HANDLE_VALUE) {
        CloseHandle(out_);
    }
    if (err_ != INVALID_HANDLE_VALUE) {
        CloseHandle(err_);
    }
}

bool PluginHost::load(const std::wstring& dllPath, const std::wstring& outputDir, BeforeInitialize beforeInitialize,
                      std::wstring* error)
{
    out_ = createOutputFile(outputDir + L"kf_bench_stdout.txt");
    err_ = createOutputFile(outputDir + L"kf_bench_stderr.txt");
    if (out_ == INVALID_HANDLE_VALUE || err_ == INVALID_HANDLE_VALUE) {
        *error = L"cannot create the output files in the bench's folder";
        return false;
    }
    buffer_.assign(HOST_BUFFER_COUNT, L'\0');
    // A transient shell, as in a batch run: no load message, no batch context.
    ShellState state = {true, false};
    redirect();
    bool loaded = plugin_.load(dllPath, state, nullptr, beforeInitialize, error);
    restore();
    return loaded;
}

void PluginHost::redirect()
{
    emptyFile(out_);
    emptyFile(err_);
    savedOut_ = GetStdHandle(STD_OUTPUT_HANDLE);
    savedErr_ = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out_);
    SetStdHandle(STD_ERROR_HANDLE, err_);
}

void PluginHost::restore()
{
    SetStdHandle(STD_OUTPUT_HANDLE, savedOut_);
    SetStdHandle(STD_ERROR_HANDLE, savedErr_);
}

void PluginHost::beginCall()
{
    redirect();
    // As our shell does around every command: redirected output is gathered
    // and written when the call ends (inside the time measured).
    plugin_.host().beginCommand();
}

void PluginHost::endCall()
{
    int64_t start = outputClock();
    plugin_.host().endCommand();
    countOutputSince(start);
    restore();
}

int PluginHost::command(const wchar_t* name, const std::wstring& arguments)
{
    CommandFn function = reinterpret_cast<CommandFn>(plugin_.routedExport(name));
    if (function == nullptr) {
        return -1;
    }
    wcsncpy(buffer_.data(), arguments.c_str(), HOST_BUFFER_COUNT - 1);
    buffer_[HOST_BUFFER_COUNT - 1] = L'\0';
    beginCall();
    int result = function(buffer_.data());
    endCall();
    return result;
}

int PluginHost::ancestryFunction(const std::wstring& arguments, std::wstring* result)
{
    int rc = command(L"@ancestry", arguments);
    *result = buffer_.data();
    return rc;
}

int PluginHost::kinfoldFunction(const std::wstring& arguments, std::wstring* result)
{
    int rc = command(L"@kinfold", arguments);
    *result = buffer_.data();
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
