#include "commands/root_selection.h"

#include "base/host_api.h"
#include "base/text.h"

#include <wchar.h>

#include <memory>
#include <new>

namespace {

const wchar_t SERVICE_HOST_NAME[] = L"svchost.exe";
const wchar_t CURRENT_SHELL_PATTERN[] = L".";
const wchar_t DEFAULT_EXTENSION[] = L".exe";
const wchar_t EXPLORER_WINDOW_CLASS[] = L"Progman";
const wchar_t SHELL_WINDOW_REQUEST[] = L"HWND";

const int MAX_ROOT_CANDIDATES = 16;
const uint32_t SERVICE_HOSTS_NEEDED = 5;
const int WILDCARD_PATTERN_COUNT = 8192;
const int WINDOW_TEXT_COUNT = 1024;

struct RootCandidate {
    uint32_t parentPid;
    uint32_t children;
};

bool wildcardMatches(const wchar_t* pattern, const wchar_t* text)
{
    return WildcardComparison(pattern, text, 0, 1) == 0;
}

BOOL CALLBACK matchExplorerWindow(HWND window, LPARAM found)
{
    wchar_t className[WINDOW_TEXT_COUNT];
    className[0] = L'\0';
    if (RealGetWindowClassW(window, className, WINDOW_TEXT_COUNT) == 0) {
        return TRUE;
    }
    if (wcscmp(className, EXPLORER_WINDOW_CLASS) != 0) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

uint32_t findServicesRoot(ProcessTable* table)
{
    if (table == nullptr) {
        return 0;
    }
    RootCandidate candidates[MAX_ROOT_CANDIDATES];
    int held = 0;
    for (uint32_t i = 0; i < table->count; ++i) {
        const ProcessRecord& record = table->records[i];
        // Only service hosts have their parent link tested: nothing else counts.
        if (record.entry.th32ParentProcessID == 0 || wcscmp(record.entry.szExeFile, SERVICE_HOST_NAME) != 0) {
            continue;
        }
        uint32_t parentPid = validatedParentPid(*table, record);
        if (parentPid == 0) {
            continue;
        }
        int slot = 0;
        while (slot < held && candidates[slot].parentPid != parentPid) {
            ++slot;
        }
        if (slot < held) {
            if (++candidates[slot].children >= SERVICE_HOSTS_NEEDED) {
                return parentPid;
            }
        } else if (held < MAX_ROOT_CANDIDATES) {
            candidates[held].parentPid = parentPid;
            candidates[held].children = 1;
            ++held;
        }
    }
    return 0;
}

bool prepareRootPattern(const wchar_t* pattern, RootPattern* prepared)
{
    *prepared = RootPattern();
    if (pattern == nullptr || pattern[0] == L'\0') {
        return false;
    }
    prepared->pattern = pattern;
    prepared->self = GetCurrentProcessId();
    if (wcscmp(pattern, CURRENT_SHELL_PATTERN) == 0) {
        prepared->currentShell = true;
        return true;
    }
    // 16 KB is too much for the stack of a plugin called deep inside the host.
    prepared->exeName.reset(new (std::nothrow) wchar_t[WILDCARD_PATTERN_COUNT]);
    if (!prepared->exeName) {
        return false;
    }
    wchar_t* working = prepared->exeName.get();
    copyText(working, WILDCARD_PATTERN_COUNT, pattern);
    size_t length = wcslen(working);
    // A bare program name means its executable; a pattern ending in "*" or
    // naming an extension already says what it wants.
    if (wcschr(working, L'.') == nullptr && working[length - 1] != L'*') {
        if (!appendText(working, WILDCARD_PATTERN_COUNT, DEFAULT_EXTENSION)) {
            working[length] = L'\0';  // a cut extension would match nothing sensible
        }
    }
    return true;
}

bool matchesExeName(const RootPattern& pattern, const ProcessRecord& record)
{
    if (pattern.currentShell) {
        return record.entry.th32ProcessID == pattern.self;
    }
    return pattern.exeName && wildcardMatches(pattern.exeName.get(), record.entry.szExeFile);
}

bool matchesDisplayName(const RootPattern& pattern, const ProcessRecord& record)
{
    // The shell's own title would otherwise make every pattern that fits the
    // prompt text find the shell.
    if (pattern.currentShell || record.displayName == nullptr || record.entry.th32ProcessID == pattern.self) {
        return false;
    }
    return wildcardMatches(pattern.pattern, record.displayName);
}

uint32_t findWildcardRoot(const wchar_t* pattern, const ProcessTable& table)
{
    const ProcessRecord* records = table.records.get();
    uint32_t count = table.count;
    RootPattern prepared;
    if (!prepareRootPattern(pattern, &prepared)) {
        return 0;
    }
    if (prepared.currentShell) {
        return prepared.self;
    }
    if (records == nullptr || count == 0) {
        return 0;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (matchesExeName(prepared, records[i])) {
            return records[i].entry.th32ProcessID;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (matchesDisplayName(prepared, records[i])) {
            return records[i].entry.th32ProcessID;
        }
    }
    return 0;
}

HWND findExplorerWindow()
{
    HWND found = nullptr;
    EnumWindows(matchExplorerWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND findShellWindow()
{
    wchar_t request[sizeof(SHELL_WINDOW_REQUEST) / sizeof(wchar_t)];
    copyText(request, sizeof(request) / sizeof(wchar_t), SHELL_WINDOW_REQUEST);
    wchar_t answer[WINDOW_TEXT_COUNT] = {};
    TakeCommandIPC(request, answer);
    answer[WINDOW_TEXT_COUNT - 1] = L'\0';
    // Window handles have 32 significant bits on 64-bit Windows too (32-bit
    // processes share them), so a longer number names no window.
    const wchar_t* rest = nullptr;
    uint32_t value = 0;
    if (parseNumber(answer, &rest, &value) != 0) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}
