#include "import_hooks.h"

#include "../host/import_table.h"

#include <psapi.h>
#include <string.h>
#include <wchar.h>

namespace {

// Fake handles sit far above the values the system hands out (those count up
// from 4 in steps of 4 and stay small), so one comparison tells them apart.
const uintptr_t FAKE_PROCESS_BASE = 0x40000000;
const uintptr_t FAKE_TOKEN_BASE = 0x50000000;
const uintptr_t FAKE_SNAPSHOT_BASE = 0x60000000;
const uintptr_t FAKE_RANGE = 0x08000000;
// Snapshots open at once: a command may hold one while it takes another.
const size_t SNAPSHOT_SLOTS = 16;

const SyntheticTable* gTable = nullptr;
CallCounters gCounters = {};

struct SnapshotSlot {
    bool used;
    size_t cursor;  // the next entry Process32NextW returns
};
SnapshotSlot gSnapshots[SNAPSHOT_SLOTS] = {};

typedef size_t(__cdecl* MsizeFn)(void*);
MsizeFn gMsize = nullptr;

// --- The real functions, as the plugin's import slots held them -----------

struct Originals {
    decltype(&::CreateToolhelp32Snapshot) createSnapshot;
    decltype(&::Process32FirstW) process32First;
    decltype(&::Process32NextW) process32Next;
    decltype(&::OpenProcess) openProcess;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::GetProcessTimes) getProcessTimes;
    decltype(&::GetPriorityClass) getPriorityClass;
    decltype(&::IsWow64Process) isWow64Process;
    decltype(&::GetProcessId) getProcessId;
    BOOL(WINAPI* getProcessMemoryInfo)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    DWORD(WINAPI* getProcessImageFileName)(HANDLE, LPWSTR, DWORD);
    decltype(&::QueryFullProcessImageNameW) queryFullProcessImageName;
    decltype(&::OpenProcessToken) openProcessToken;
    decltype(&::GetTokenInformation) getTokenInformation;
    decltype(&::GetProcAddress) getProcAddress;
    LONG(NTAPI* ntQueryInformationProcess)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    void*(__cdecl* malloc)(size_t);
    void*(__cdecl* calloc)(size_t, size_t);
    void*(__cdecl* realloc)(void*, size_t);
    void(__cdecl* free)(void*);
    char*(__cdecl* strdup)(const char*);
    wchar_t*(__cdecl* wcsdup)(const wchar_t*);
    decltype(&::HeapAlloc) heapAlloc;
    decltype(&::HeapReAlloc) heapReAlloc;
    decltype(&::HeapFree) heapFree;
    decltype(&::VirtualAlloc) virtualAlloc;
    decltype(&::VirtualFree) virtualFree;
    int(WINAPI* qputs)(const wchar_t*);
    void(WINAPI* crLf)(void);
};
Originals gReal = {};

bool inRange(HANDLE handle, uintptr_t base, size_t* index)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < base || value >= base + FAKE_RANGE || (value & 3) != 0) {
        return false;
    }
    *index = (value - base) / 4;
    return true;
}

HANDLE fakeHandle(uintptr_t base, size_t index)
{
    return reinterpret_cast<HANDLE>(base + index * 4);
}

const SyntheticProcess* fakeProcess(HANDLE handle, uintptr_t base)
{
    size_t index = 0;
    if (gTable == nullptr || !inRange(handle, base, &index) || index >= gTable->processes.size()) {
        return nullptr;
    }
    return &gTable->processes[index];
}

SnapshotSlot* fakeSnapshot(HANDLE handle)
{
    size_t index = 0;
    if (!inRange(handle, FAKE_SNAPSHOT_BASE, &index) || index >= SNAPSHOT_SLOTS || !gSnapshots[index].used) {
        return nullptr;
    }
    return &gSnapshots[index];
}

FILETIME fileTime(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

std::wstring dosImagePath(const SyntheticProcess& process)
{
    return std::wstring(L"C:\\Program Files\\Synthetic\\") + process.entry.szExeFile;
}

std::wstring nativeImagePath(const SyntheticProcess& process)
{
    return std::wstring(L"\\Device\\HarddiskVolume1\\Program Files\\Synthetic\\") + process.entry.szExeFile;
}

// --- Toolhelp -------------------------------------------------------------

HANDLE WINAPI hookCreateSnapshot(DWORD flags, DWORD pid)
{
    ++gCounters.snapshots;
    if (gTable == nullptr) {
        return gReal.createSnapshot(flags, pid);
    }
    for (size_t i = 0; i < SNAPSHOT_SLOTS; ++i) {
        if (!gSnapshots[i].used) {
            gSnapshots[i].used = true;
            gSnapshots[i].cursor = 0;
            return fakeHandle(FAKE_SNAPSHOT_BASE, i);
        }
    }
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return INVALID_HANDLE_VALUE;
}

BOOL nextEntry(SnapshotSlot* slot, PROCESSENTRY32W* entry)
{
    if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (slot->cursor >= gTable->processes.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = gTable->processes[slot->cursor++].entry;
    return TRUE;
}

BOOL WINAPI hookProcess32First(HANDLE snapshot, PROCESSENTRY32W* entry)
{
    SnapshotSlot* slot = fakeSnapshot(snapshot);
    if (slot == nullptr || gTable == nullptr) {
        return gReal.process32First(snapshot, entry);
    }
    slot->cursor = 0;
    return nextEntry(slot, entry);
}

BOOL WINAPI hookProcess32Next(HANDLE snapshot, PROCESSENTRY32W* entry)
{
    SnapshotSlot* slot = fakeSnapshot(snapshot);
    if (slot == nullptr || gTable == nullptr) {
        return gReal.process32Next(snapshot, entry);
    }
    return nextEntry(slot, entry);
}

// --- Processes and tokens ------------------------------------------------

HANDLE WINAPI hookOpenProcess(DWORD access, BOOL inherit, DWORD pid)
{
    ++gCounters.openProcess;
    if (gTable == nullptr) {
        HANDLE process = gReal.openProcess(access, inherit, pid);
        if (process == NULL) {
            ++gCounters.openProcessFailed;
        }
        return process;
    }
    auto found = gTable->indexByPid.find(pid);
    if (pid == 0 || found == gTable->indexByPid.end()) {
        ++gCounters.openProcessFailed;
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    return fakeHandle(FAKE_PROCESS_BASE, found->second);
}

BOOL WINAPI hookCloseHandle(HANDLE handle)
{
    size_t index = 0;
    if (inRange(handle, FAKE_SNAPSHOT_BASE, &index)) {
        SnapshotSlot* slot = fakeSnapshot(handle);
        if (slot == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        slot->used = false;
        return TRUE;
    }
    if (inRange(handle, FAKE_PROCESS_BASE, &index) || inRange(handle, FAKE_TOKEN_BASE, &index)) {
        return TRUE;
    }
    return gReal.closeHandle(handle);
}

BOOL WINAPI hookGetProcessTimes(HANDLE handle, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.getProcessTimes(handle, creation, exit, kernel, user);
    }
    *creation = fileTime(process->creationTime);
    *exit = fileTime(0);
    *kernel = fileTime(1250000);
    *user = fileTime(2500000);
    return TRUE;
}

DWORD WINAPI hookGetPriorityClass(HANDLE handle)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    return process == nullptr ? gReal.getPriorityClass(handle) : process->priorityClass;
}

BOOL WINAPI hookIsWow64Process(HANDLE handle, PBOOL wow64)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.isWow64Process(handle, wow64);
    }
    *wow64 = process->wow64 ? TRUE : FALSE;
    return TRUE;
}

DWORD WINAPI hookGetProcessId(HANDLE handle)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    return process == nullptr ? gReal.getProcessId(handle) : process->entry.th32ProcessID;
}

BOOL WINAPI hookGetProcessMemoryInfo(HANDLE handle, PPROCESS_MEMORY_COUNTERS counters, DWORD bytes)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.getProcessMemoryInfo(handle, counters, bytes);
    }
    if (bytes < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    PROCESS_MEMORY_COUNTERS_EX filled;
    memset(&filled, 0, sizeof(filled));
    filled.cb = bytes < sizeof(filled) ? sizeof(PROCESS_MEMORY_COUNTERS) : sizeof(filled);
    filled.WorkingSetSize = process->workingSet;
    filled.PeakWorkingSetSize = process->workingSet + process->workingSet / 4;
    filled.PagefileUsage = process->workingSet / 2;
    filled.PeakPagefileUsage = process->workingSet / 2;
    filled.PrivateUsage = process->workingSet / 2;
    filled.PageFaultCount = static_cast<DWORD>(process->workingSet / 4096);
    memcpy(counters, &filled, filled.cb);
    return TRUE;
}

// Copies text with the size rules of QueryFullProcessImageNameW.
BOOL copyPath(const std::wstring& path, LPWSTR out, DWORD capacity, DWORD* length)
{
    if (path.size() + 1 > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(out, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    *length = static_cast<DWORD>(path.size());
    return TRUE;
}

BOOL WINAPI hookQueryFullProcessImageName(HANDLE handle, DWORD flags, LPWSTR path, PDWORD size)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.queryFullProcessImageName(handle, flags, path, size);
    }
    std::wstring text = (flags & PROCESS_NAME_NATIVE) != 0 ? nativeImagePath(*process) : dosImagePath(*process);
    return copyPath(text, path, *size, size);
}

DWORD WINAPI hookGetProcessImageFileName(HANDLE handle, LPWSTR path, DWORD capacity)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.getProcessImageFileName(handle, path, capacity);
    }
    DWORD length = 0;
    return copyPath(nativeImagePath(*process), path, capacity, &length) ? length : 0;
}

// A synthetic process answers the query for its command line the way
// Windows 8.1 and later do (class 60: a counted string with the text behind
// it in the caller's buffer); the plugin finds this through GetProcAddress.
const ULONG COMMAND_LINE_CLASS = 60;
const LONG STATUS_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
const LONG STATUS_BAD_CLASS = static_cast<LONG>(0xC0000003);

struct CountedString {
    USHORT lengthBytes;
    USHORT maximumBytes;
    wchar_t* buffer;
};

LONG NTAPI hookNtQueryInformationProcess(HANDLE handle, ULONG infoClass, PVOID buffer, ULONG bytes, PULONG returned)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.ntQueryInformationProcess(handle, infoClass, buffer, bytes, returned);
    }
    if (infoClass != COMMAND_LINE_CLASS) {
        return STATUS_BAD_CLASS;
    }
    std::wstring text = L"\"" + dosImagePath(*process) + L"\" --pid " + std::to_wstring(process->entry.th32ProcessID);
    ULONG textBytes = static_cast<ULONG>(text.size() * sizeof(wchar_t));
    ULONG needed = static_cast<ULONG>(sizeof(CountedString)) + textBytes;
    if (returned != nullptr) {
        *returned = needed;
    }
    if (bytes < needed) {
        return STATUS_LENGTH_MISMATCH;
    }
    CountedString* answer = static_cast<CountedString*>(buffer);
    answer->lengthBytes = static_cast<USHORT>(textBytes);
    answer->maximumBytes = static_cast<USHORT>(textBytes);
    answer->buffer = reinterpret_cast<wchar_t*>(answer + 1);
    memcpy(answer->buffer, text.data(), textBytes);
    ++gCounters.commandLines;
    return 0;
}

BOOL WINAPI hookOpenProcessToken(HANDLE handle, DWORD access, PHANDLE token)
{
    const SyntheticProcess* process = fakeProcess(handle, FAKE_PROCESS_BASE);
    if (process == nullptr) {
        return gReal.openProcessToken(handle, access, token);
    }
    *token = fakeHandle(FAKE_TOKEN_BASE, static_cast<size_t>(process - gTable->processes.data()));
    return TRUE;
}

BOOL WINAPI hookGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID data, DWORD bytes,
                                    PDWORD needed)
{
    const SyntheticProcess* process = fakeProcess(token, FAKE_TOKEN_BASE);
    if (process == nullptr) {
        return gReal.getTokenInformation(token, kind, data, bytes, needed);
    }
    if (kind != TokenElevation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = sizeof(TOKEN_ELEVATION);
    if (bytes < sizeof(TOKEN_ELEVATION) || data == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    static_cast<TOKEN_ELEVATION*>(data)->TokenIsElevated = process->elevated ? 1 : 0;
    return TRUE;
}

// --- Heap: what the plugin's own allocations hold --------------------------

void heapAdd(int64_t bytes)
{
    gCounters.heapNow += bytes;
    if (gCounters.heapNow > gCounters.heapPeak) {
        gCounters.heapPeak = gCounters.heapNow;
    }
}

int64_t blockSize(void* block)
{
    return block == nullptr || gMsize == nullptr ? 0 : static_cast<int64_t>(gMsize(block));
}

void* __cdecl hookMalloc(size_t bytes)
{
    void* block = gReal.malloc(bytes);
    heapAdd(blockSize(block));
    return block;
}

void* __cdecl hookCalloc(size_t count, size_t bytes)
{
    void* block = gReal.calloc(count, bytes);
    heapAdd(blockSize(block));
    return block;
}

void* __cdecl hookRealloc(void* block, size_t bytes)
{
    int64_t before = blockSize(block);
    void* moved = gReal.realloc(block, bytes);
    if (moved != nullptr) {
        heapAdd(blockSize(moved) - before);
    } else if (bytes == 0) {
        heapAdd(-before);  // realloc to nothing frees
    }
    return moved;
}

void __cdecl hookFree(void* block)
{
    heapAdd(-blockSize(block));
    gReal.free(block);
}

char* __cdecl hookStrdup(const char* text)
{
    char* copy = gReal.strdup(text);
    heapAdd(blockSize(copy));
    return copy;
}

wchar_t* __cdecl hookWcsdup(const wchar_t* text)
{
    wchar_t* copy = gReal.wcsdup(text);
    heapAdd(blockSize(copy));
    return copy;
}

LPVOID WINAPI hookHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    LPVOID block = gReal.heapAlloc(heap, flags, bytes);
    if (block != nullptr) {
        heapAdd(static_cast<int64_t>(bytes));
    }
    return block;
}

LPVOID WINAPI hookHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes)
{
    SIZE_T before = block != nullptr ? HeapSize(heap, 0, block) : 0;
    LPVOID moved = gReal.heapReAlloc(heap, flags, block, bytes);
    if (moved != nullptr && before != static_cast<SIZE_T>(-1)) {
        heapAdd(static_cast<int64_t>(bytes) - static_cast<int64_t>(before));
    }
    return moved;
}

BOOL WINAPI hookHeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    if (block != nullptr) {
        SIZE_T size = HeapSize(heap, 0, block);
        if (size != static_cast<SIZE_T>(-1)) {
            heapAdd(-static_cast<int64_t>(size));
        }
    }
    return gReal.heapFree(heap, flags, block);
}

// Memory committed in [start, start + bytes) of the allocation at start;
// bytes 0: the whole allocation.
int64_t committedBytes(void* start, SIZE_T bytes)
{
    MEMORY_BASIC_INFORMATION first;
    if (start == nullptr || VirtualQuery(start, &first, sizeof(first)) == 0) {
        return 0;
    }
    char* at = static_cast<char*>(start);
    char* end = bytes == 0 ? nullptr : at + bytes;
    int64_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    while ((end == nullptr || at < end) && VirtualQuery(at, &region, sizeof(region)) != 0 &&
           region.AllocationBase == first.AllocationBase) {
        char* regionEnd = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        char* stop = end != nullptr && end < regionEnd ? end : regionEnd;
        if (region.State == MEM_COMMIT) {
            total += stop - at;
        }
        at = regionEnd;
    }
    return total;
}

// Committed virtual memory counts as held like a heap block.
LPVOID WINAPI hookVirtualAlloc(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect)
{
    int64_t before = (type & MEM_COMMIT) != 0 && address != nullptr ? committedBytes(address, bytes) : 0;
    LPVOID block = gReal.virtualAlloc(address, bytes, type, protect);
    if (block != nullptr && (type & MEM_COMMIT) != 0) {
        heapAdd(committedBytes(block, bytes) - before);
    }
    return block;
}

BOOL WINAPI hookVirtualFree(LPVOID address, SIZE_T bytes, DWORD type)
{
    int64_t held = committedBytes(address, (type & MEM_RELEASE) != 0 ? 0 : bytes);
    BOOL freed = gReal.virtualFree(address, bytes, type);
    if (freed) {
        heapAdd(-held);
    }
    return freed;
}

// --- The host's output: lines go out through QPuts and CrLf ---------------

int64_t gOutputTicks = 0;

int64_t ticks()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

}  // namespace

int64_t outputClock()
{
    return ticks();
}

void countOutputSince(int64_t start)
{
    gOutputTicks += ticks() - start;
}

namespace {

int WINAPI hookQPuts(const wchar_t* text)
{
    int64_t start = ticks();
    int result = gReal.qputs(text);
    gOutputTicks += ticks() - start;
    ++gCounters.outputCalls;
    return result;
}

void WINAPI hookCrLf(void)
{
    int64_t start = ticks();
    gReal.crLf();
    gOutputTicks += ticks() - start;
    ++gCounters.outputCalls;
}

// --- The table of hooks ---------------------------------------------------

struct Hook {
    const char* name;
    void* replacement;
    void** original;
    const char* home;  // where the real function lives when the plugin does not import it
};

template <typename F>
void** slot(F* original)
{
    return reinterpret_cast<void**>(original);
}

template <typename F>
void* address(F function)
{
    return reinterpret_cast<void*>(function);
}

FARPROC WINAPI hookGetProcAddress(HMODULE module, LPCSTR name);

// Several names lead to one function: psapi's and kernel32's K32 forms.
const Hook HOOKS[] = {
    {"CreateToolhelp32Snapshot", address(hookCreateSnapshot), slot(&gReal.createSnapshot), "kernel32.dll"},
    {"Process32FirstW", address(hookProcess32First), slot(&gReal.process32First), "kernel32.dll"},
    {"Process32NextW", address(hookProcess32Next), slot(&gReal.process32Next), "kernel32.dll"},
    {"OpenProcess", address(hookOpenProcess), slot(&gReal.openProcess), "kernel32.dll"},
    {"CloseHandle", address(hookCloseHandle), slot(&gReal.closeHandle), "kernel32.dll"},
    {"GetProcessTimes", address(hookGetProcessTimes), slot(&gReal.getProcessTimes), "kernel32.dll"},
    {"GetPriorityClass", address(hookGetPriorityClass), slot(&gReal.getPriorityClass), "kernel32.dll"},
    {"IsWow64Process", address(hookIsWow64Process), slot(&gReal.isWow64Process), "kernel32.dll"},
    {"GetProcessId", address(hookGetProcessId), slot(&gReal.getProcessId), "kernel32.dll"},
    {"K32GetProcessMemoryInfo", address(hookGetProcessMemoryInfo), slot(&gReal.getProcessMemoryInfo), "kernel32.dll"},
    {"GetProcessMemoryInfo", address(hookGetProcessMemoryInfo), slot(&gReal.getProcessMemoryInfo), "psapi.dll"},
    {"K32GetProcessImageFileNameW", address(hookGetProcessImageFileName), slot(&gReal.getProcessImageFileName), "kernel32.dll"},
    {"GetProcessImageFileNameW", address(hookGetProcessImageFileName), slot(&gReal.getProcessImageFileName), "psapi.dll"},
    {"QueryFullProcessImageNameW", address(hookQueryFullProcessImageName), slot(&gReal.queryFullProcessImageName), "kernel32.dll"},
    {"OpenProcessToken", address(hookOpenProcessToken), slot(&gReal.openProcessToken), "advapi32.dll"},
    {"GetTokenInformation", address(hookGetTokenInformation), slot(&gReal.getTokenInformation), "advapi32.dll"},
    {"GetProcAddress", address(hookGetProcAddress), slot(&gReal.getProcAddress), "kernel32.dll"},
    {"NtQueryInformationProcess", address(hookNtQueryInformationProcess), slot(&gReal.ntQueryInformationProcess),
     "ntdll.dll"},
    {"malloc", address(hookMalloc), slot(&gReal.malloc), "msvcrt.dll"},
    {"calloc", address(hookCalloc), slot(&gReal.calloc), "msvcrt.dll"},
    {"realloc", address(hookRealloc), slot(&gReal.realloc), "msvcrt.dll"},
    {"free", address(hookFree), slot(&gReal.free), "msvcrt.dll"},
    {"_strdup", address(hookStrdup), slot(&gReal.strdup), "msvcrt.dll"},
    {"_wcsdup", address(hookWcsdup), slot(&gReal.wcsdup), "msvcrt.dll"},
    {"HeapAlloc", address(hookHeapAlloc), slot(&gReal.heapAlloc), "kernel32.dll"},
    {"HeapReAlloc", address(hookHeapReAlloc), slot(&gReal.heapReAlloc), "kernel32.dll"},
    {"HeapFree", address(hookHeapFree), slot(&gReal.heapFree), "kernel32.dll"},
    {"VirtualAlloc", address(hookVirtualAlloc), slot(&gReal.virtualAlloc), "kernel32.dll"},
    {"VirtualFree", address(hookVirtualFree), slot(&gReal.virtualFree), "kernel32.dll"},
    {"QPuts", address(hookQPuts), slot(&gReal.qputs), "TakeCmd.dll"},
    {"CrLf", address(hookCrLf), slot(&gReal.crLf), "TakeCmd.dll"},
};

// Functions looked up at run time (QueryFullProcessImageNameW, say) get the
// hook too, so the table reaches them the same way as the imported ones.
FARPROC WINAPI hookGetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC real = gReal.getProcAddress(module, name);
    if (real == nullptr || IS_INTRESOURCE(name)) {
        return real;
    }
    for (const Hook& hook : HOOKS) {
        if (strcmp(hook.name, name) == 0 && hook.replacement != address(hookGetProcAddress)) {
            if (*hook.original == nullptr) {
                *hook.original = reinterpret_cast<void*>(real);
            }
            return reinterpret_cast<FARPROC>(hook.replacement);
        }
    }
    return real;
}

// Imports that take a process handle or list processes, which the fakes above
// do not cover: a plugin that calls them would see the real system.
const char* const PROCESS_IMPORTS_NOT_FAKED[] = {
    "NtQuerySystemInformation", "ZwQuerySystemInformation", "ZwQueryInformationProcess", "NtOpenProcess", "EnumProcesses", "K32EnumProcesses",
    "GetProcessHandleCount", "GetExitCodeProcess", "GetProcessInformation", "IsWow64Process2",
    "GetModuleFileNameExW", "K32GetModuleFileNameExW", "GetModuleBaseNameW", "K32GetModuleBaseNameW",
    "Process32First", "Process32Next", "Thread32First", "Thread32Next", "GetProcessIoCounters",
    "QueryProcessCycleTime", "WTSEnumerateProcessesW"};

struct PatchContext {
    std::vector<std::string>* hooked;
};

void patchSlot(const char* dll, const char* name, ULONG_PTR* importSlot, void* context)
{
    PatchContext* patch = static_cast<PatchContext*>(context);
    for (const Hook& hook : HOOKS) {
        if (strcmp(hook.name, name) != 0) {
            continue;
        }
        // The plugin's own import decides which real function (which CRT's
        // malloc, say) the hook hands on to.
        if (*hook.original == nullptr) {
            *hook.original = reinterpret_cast<void*>(*importSlot);
            if (strcmp(name, "free") == 0) {
                gMsize = reinterpret_cast<MsizeFn>(
                    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), "_msize")));
            }
        }
        replaceImport(importSlot, hook.replacement);
        patch->hooked->push_back(name);
        return;
    }
}

void collectUnfaked(const char* dll, const char* name, ULONG_PTR* importSlot, void* context)
{
    for (const char* unfaked : PROCESS_IMPORTS_NOT_FAKED) {
        if (strcmp(unfaked, name) == 0) {
            static_cast<std::vector<std::string>*>(context)->push_back(name);
        }
    }
}

}  // namespace

bool installImportHooks(HMODULE plugin, std::vector<std::string>* hooked, std::string* error)
{
    PatchContext context = {hooked};
    if (!visitImports(plugin, patchSlot, &context)) {
        *error = "the plugin has no import table";
        return false;
    }
    // Hooks for functions the plugin does not import still need the real
    // function, for what GetProcAddress hands out.
    for (const Hook& hook : HOOKS) {
        if (*hook.original == nullptr) {
            HMODULE home = LoadLibraryA(hook.home);
            if (home != nullptr) {
                *hook.original = reinterpret_cast<void*>(GetProcAddress(home, hook.name));
            }
        }
    }
    if (gMsize == nullptr) {
        gMsize = reinterpret_cast<MsizeFn>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("msvcrt.dll"), "_msize")));
    }
    return true;
}

std::vector<std::string> unfakedProcessImports(HMODULE plugin)
{
    std::vector<std::string> names;
    visitImports(plugin, collectUnfaked, &names);
    return names;
}

void serveSyntheticTable(const SyntheticTable* table)
{
    gTable = table;
    for (SnapshotSlot& snapshot : gSnapshots) {
        snapshot = SnapshotSlot();
    }
}

void resetCallCounters()
{
    gCounters = CallCounters();
    gOutputTicks = 0;
}

CallCounters callCounters()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    CallCounters counters = gCounters;
    counters.outputSeconds = static_cast<double>(gOutputTicks) / static_cast<double>(frequency.QuadPart);
    return counters;
}
