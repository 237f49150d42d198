// Finding the process a command starts from, other than by plain PID.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "procinfo/process_table.h"

#include <memory>

// The parent of the service hosts; 0 when there is none.
uint32_t findServicesRoot(ProcessTable* table);
// The first process whose executable name, else display name, matches; the
// current process for "."; 0 when none.
uint32_t findWildcardRoot(const wchar_t* pattern, const ProcessTable& table);

// A root argument that is no PID, ready to be compared with records: the
// executable name pattern (a bare name gains ".exe") and the pattern as given
// for display names; "." stands for the current process.
struct RootPattern {
    const wchar_t* pattern = nullptr;
    std::unique_ptr<wchar_t[]> exeName;
    bool currentShell = false;
    DWORD self = 0;
};
// False for an empty pattern or when memory runs out.
[[nodiscard]] bool prepareRootPattern(const wchar_t* pattern, RootPattern* prepared);
bool matchesExeName(const RootPattern& pattern, const ProcessRecord& record);
// Never the current process: its title is the prompt's own text.
bool matchesDisplayName(const RootPattern& pattern, const ProcessRecord& record);

HWND findExplorerWindow();
HWND findShellWindow();
