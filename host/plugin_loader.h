// Loading the plugin the way the shell does, for the programs that load it:
// kfshell.exe and the bench. They see the plugin only through its exports and
// base/host_api.h, and reach the stand-in TakeCmd.dll (the one the plugin
// itself loads) through its own entries, found by name.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "../src/base/host_api.h"
#include "takecmd.h"

// The stand-in host's entries that a shell calls itself.
struct StandInHost {
    decltype(&KfSetShellVariable) setShellVariable;
    decltype(&KfSetFunctionHandler) setFunctionHandler;
    decltype(&KfExpand) expand;
    decltype(&KfBeginCommand) beginCommand;
    decltype(&KfEndCommand) endCommand;
    decltype(&QPuts) puts;
    decltype(&CrLf) crLf;
};

// From the TakeCmd.dll this process has loaded; false when none is loaded or
// it is not our stand-in.
[[nodiscard]] bool bindStandInHost(StandInHost* host);

// What the shell's variables tell the plugin at load time.
struct ShellState {
    bool transient;  // started for lines or a batch file, not for a prompt
    bool pipe;       // standard output is a pipe
};

// The path in full, as the loader loads a plugin named with a folder; the
// path as given when it cannot be made full.
std::wstring fullPath(const std::wstring& path);

// Lower-cased name as the user types it -> the export that serves it.
typedef std::map<std::wstring, std::wstring> PluginNames;

// The names of a plugin record's comma-separated list: commands are exported
// under their own name, variable functions with "f_" in place of "@".
PluginNames routedNames(const wchar_t* implementedNames);

// Called after the plugin is loaded and before it is initialized (the moment
// to patch its imports); false with a reason stops the load.
typedef bool (*BeforeInitialize)(HMODULE plugin, std::wstring* error);

// One loaded plugin. The module stays loaded until the process ends, as in
// the shell: a handler the plugin left registered must never point into
// unloaded code. Shuts the plugin down when it goes, if nobody did.
class LoadedPlugin {
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();
    // The record's module name points into this object: it must not move.
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // LoadLibrary, the shell's variables, MessageBoxW shown as text on
    // standard output (no box can be seen or closed on a headless machine),
    // beforeInitialize, GetPluginInfo, the module fields written as the shell
    // writes them, InitializePlugin. functions (may be null) answers the
    // variable functions the host meets while expanding. On failure *error
    // says why, e.g. "PATH is not a plugin".
    [[nodiscard]] bool load(const std::wstring& path, const ShellState& state, KfFunctionHandler functions,
                            BeforeInitialize beforeInitialize, std::wstring* error);
    // ShutdownPlugin, once. False when the plugin had changed the module
    // fields of its record (the fields are the shell's).
    [[nodiscard]] bool shutdown();

    HMODULE module() const { return module_; }
    const StandInHost& host() const { return host_; }
    // An export by its own name ("Help", "f_ancestry"), or null.
    void* exportNamed(const std::wstring& exportName) const;
    // A name the plugin announced, in any letter case ("KINFOLD", "@ancestry"),
    // whose export it actually has; otherwise null.
    void* routedExport(const std::wstring& name) const;

private:
    HMODULE module_ = nullptr;
    PluginInfo* info_ = nullptr;
    std::wstring moduleName_;  // the shell's text, lent to the plugin's record
    PluginNames names_;
    StandInHost host_ = {};
    bool initialized_ = false;

    bool keepsModuleFields() const;
};

// The error text of a plugin that changed the module fields of its record.
extern const wchar_t MODULE_FIELDS_CHANGED[];
