#include "plugin_loader.h"

#include "hostcore.h"
#include "import_table.h"

#include <string.h>

const wchar_t MODULE_FIELDS_CHANGED[] = L"the plugin changed the module fields of its record";

namespace {

typedef int(WINAPI* InitializePluginFn)(void);
typedef int(WINAPI* ShutdownPluginFn)(int);

template <class Function>
bool bindEntry(HMODULE module, const char* name, Function* entry)
{
    *entry = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *entry != nullptr;
}

// The boxes' text goes out through the host that the loaded plugin uses;
// MessageBoxW has no room for a context.
StandInHost gBoxHost = {};

int WINAPI messageBoxAsText(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    (void)owner;
    (void)type;
    gBoxHost.puts((std::wstring(L"[") + (caption ? caption : L"") + L"]\r\n").c_str());
    gBoxHost.puts(text ? text : L"");
    gBoxHost.crLf();
    return IDOK;
}

void redirectMessageBox(const char* dll, const char* name, ULONG_PTR* slot, void* context)
{
    (void)context;
    if (_stricmp(dll, "user32.dll") == 0 && strcmp(name, "MessageBoxW") == 0) {
        replaceImport(slot, reinterpret_cast<void*>(&messageBoxAsText));
    }
}

}  // namespace

std::wstring fullPath(const std::wstring& path)
{
    DWORD count = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(count, L'\0');
    DWORD length = count == 0 ? 0 : GetFullPathNameW(path.c_str(), count, &full[0], nullptr);
    return length == 0 || length >= count ? path : full.substr(0, length);
}

bool bindStandInHost(StandInHost* host)
{
    HMODULE module = GetModuleHandleW(L"TakeCmd.dll");
    StandInHost bound = {};
    if (module == nullptr || !bindEntry(module, "KfSetShellVariable", &bound.setShellVariable) ||
        !bindEntry(module, "KfSetFunctionHandler", &bound.setFunctionHandler) ||
        !bindEntry(module, "KfExpand", &bound.expand) || !bindEntry(module, "KfBeginCommand", &bound.beginCommand) ||
        !bindEntry(module, "KfEndCommand", &bound.endCommand) || !bindEntry(module, "QPuts", &bound.puts) ||
        !bindEntry(module, "CrLf", &bound.crLf)) {
        return false;
    }
    *host = bound;
    return true;
}

PluginNames routedNames(const wchar_t* implementedNames)
{
    PluginNames routes;
    std::wstring names = implementedNames ? implementedNames : L"";
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(L',', start);
        std::wstring name =
            hostTrimmed(names.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (!name.empty()) {
            routes[hostLowered(name)] = name[0] == L'@' ? L"f_" + name.substr(1) : name;
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return routes;
}

LoadedPlugin::~LoadedPlugin()
{
    (void)shutdown();
}

bool LoadedPlugin::load(const std::wstring& path, const ShellState& state, KfFunctionHandler functions,
                        BeforeInitialize beforeInitialize, std::wstring* error)
{
    // The plugin's TakeCmd.dll is the one beside it, unless one is loaded
    // already; that search wants a full path. A bare name is searched for.
    module_ = path.find_first_of(L"\\/") == std::wstring::npos
                  ? LoadLibraryW(path.c_str())
                  : LoadLibraryExW(fullPath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module_ == nullptr) {
        *error = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    if (!bindStandInHost(&host_)) {
        *error = L"TakeCmd.dll is not our stand-in";
        return false;
    }
    host_.setShellVariable(L"_transient", state.transient ? L"1" : L"0");
    host_.setShellVariable(L"_pipe", state.pipe ? L"1" : L"0");
    host_.setShellVariable(L"_batch", L"0");
    host_.setShellVariable(L"_batchname", L"");
    host_.setShellVariable(L"_batchline", L"-1");
    if (functions != nullptr) {
        host_.setFunctionHandler(functions);
    }
    gBoxHost = host_;
    visitImports(module_, redirectMessageBox, nullptr);
    if (beforeInitialize != nullptr && !beforeInitialize(module_, error)) {
        return false;
    }

    GetPluginInfoFn getInfo = reinterpret_cast<GetPluginInfoFn>(exportNamed(L"GetPluginInfo"));
    InitializePluginFn initialize = reinterpret_cast<InitializePluginFn>(exportNamed(L"InitializePlugin"));
    if (getInfo == nullptr || initialize == nullptr) {
        *error = path + L" is not a plugin";
        return false;
    }
    info_ = getInfo();
    if (info_ == nullptr) {
        *error = path + L" returned no plugin record";
        return false;
    }
    // As the shell does: its module handle and name go into the record's last
    // two fields, so every command runs with them written.
    moduleName_ = path;
    info_->module = module_;
    info_->moduleName = &moduleName_[0];
    names_ = routedNames(info_->implementedNames);
    initialize();
    initialized_ = true;
    if (!keepsModuleFields()) {
        *error = MODULE_FIELDS_CHANGED;
        return false;
    }
    return true;
}

bool LoadedPlugin::shutdown()
{
    if (!initialized_) {
        return true;
    }
    initialized_ = false;
    bool kept = keepsModuleFields();
    ShutdownPluginFn shutdownPlugin = reinterpret_cast<ShutdownPluginFn>(exportNamed(L"ShutdownPlugin"));
    if (shutdownPlugin != nullptr) {
        shutdownPlugin(1);
    }
    return kept;
}

void* LoadedPlugin::exportNamed(const std::wstring& exportName) const
{
    if (module_ == nullptr) {
        return nullptr;
    }
    std::string narrow(exportName.begin(), exportName.end());
    return reinterpret_cast<void*>(GetProcAddress(module_, narrow.c_str()));
}

void* LoadedPlugin::routedExport(const std::wstring& name) const
{
    auto it = names_.find(hostLowered(name));
    return it == names_.end() ? nullptr : exportNamed(it->second);
}

// The fields are the shell's: a plugin that writes them, or keeps state where
// they lie, changes what the shell reads back.
bool LoadedPlugin::keepsModuleFields() const
{
    return info_->module == module_ && info_->moduleName == moduleName_.c_str();
}
