// Patches the plugin DLL's import address table, the way kfshell redirects its
// MessageBoxW: the toolhelp and process functions can then serve a synthetic
// table, OpenProcess calls are counted, the plugin's heap use (with the memory
// it commits through VirtualAlloc) is tracked, and the time spent in the host's
// line output (QPuts, CrLf) is measured.
// The plugin itself is not changed; only the addresses it calls through.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "synthetic_tables.h"

struct CallCounters {
    uint64_t openProcess;       // OpenProcess calls, failed ones included
    uint64_t openProcessFailed;
    uint64_t snapshots;         // CreateToolhelp32Snapshot calls
    uint64_t commandLines;      // command lines answered (NtQueryInformationProcess, class 60)
    int64_t heapNow;            // bytes the plugin's allocations hold, from the reset on
    int64_t heapPeak;           // the most heapNow reached since the reset
    uint64_t outputCalls;       // QPuts and CrLf calls into the host
    double outputSeconds;       // time spent inside them and in writing what they gathered: the host's share
};

// Patches every import of the plugin that the hooks know. hooked receives the
// names that were patched. False (with a reason) when the module has no
// import table.
bool installImportHooks(HMODULE plugin, std::vector<std::string>* hooked, std::string* error);

// Imports of the plugin that take a process (or walk the system's processes)
// but are not faked: a synthetic table would not reach them.
std::vector<std::string> unfakedProcessImports(HMODULE plugin);

// With a table, the hooked functions serve it and never reach the system;
// with null, they call the real functions (still counting).
void serveSyntheticTable(const SyntheticTable* table);

// The host's writing of gathered output at the end of a call counts as its
// output time too: between outputClock() and countOutputSince(start).
int64_t outputClock();
void countOutputSince(int64_t start);

void resetCallCounters();
CallCounters callCounters();
