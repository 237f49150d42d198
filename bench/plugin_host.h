// Loads the plugin DLL the way the shell does and calls its exported entry
// points, with the plugin's output going to files instead of the screen. The
// host functions the plugin calls are our stand-in TakeCmd.dll's.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "../host/plugin_loader.h"

struct CallOutput {
    int result;
    uint64_t lines;    // line ends the plugin wrote to standard output
    uint64_t bytes;    // bytes it wrote there
    std::string firstError;  // the first line written to standard error, if any
};

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the DLL and its TakeCmd.dll as kfshell does, as a transient
    // shell whose output is not a pipe, with beforeInitialize as the moment to
    // patch its imports. outputDir holds the files the plugin's output goes to.
    bool load(const std::wstring& dllPath, const std::wstring& outputDir, BeforeInitialize beforeInitialize,
              std::wstring* error);
    HMODULE module() const { return plugin_.module(); }

    // A command the plugin announced ("kinfold", "ancestry") with this argument text.
    int command(const wchar_t* name, const std::wstring& arguments);
    // The variable function @ANCESTRY: the argument text in, its result out.
    int ancestryFunction(const std::wstring& arguments, std::wstring* result);
    // The variable function @KINFOLD, the same way.
    int kinfoldFunction(const std::wstring& arguments, std::wstring* result);
    // What the last call wrote. Reads the output files; not part of any timing.
    CallOutput lastOutput(int result);

private:
    typedef int(WINAPI* CommandFn)(wchar_t*);

    LoadedPlugin plugin_;
    HANDLE out_ = INVALID_HANDLE_VALUE;
    HANDLE err_ = INVALID_HANDLE_VALUE;
    std::vector<wchar_t> buffer_;  // the host's buffer handed to each call

    void beginCall();
    void endCall();
    void redirect();
    void restore();
    HANDLE savedOut_ = nullptr;
    HANDLE savedErr_ = nullptr;
};
