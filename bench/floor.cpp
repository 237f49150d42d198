#include "floor.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

uint64_t creationTime(HANDLE process)
{
    FILETIME times[4];
    if (process == nullptr || !GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3])) {
        return 0;
    }
    return (static_cast<uint64_t>(times[0].dwHighDateTime) << 32) | times[0].dwLowDateTime;
}

void queryDetails(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(process, &memory, sizeof(memory));
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation = {};
        DWORD length = 0;
        GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &length);
        CloseHandle(token);
    }
    GetPriorityClass(process);
    BOOL wow64 = FALSE;
    IsWow64Process(process, &wow64);
}

void queryImagePath(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    QueryFullProcessImageNameW(process, 0, path, &size);
}

void readServiceNames()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        return;
    }
    DWORD needed = 0;
    DWORD returned = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                          nullptr, 0, &needed, &returned, nullptr, nullptr);
    std::vector<BYTE> buffer(needed + 64);
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                          buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned, nullptr, nullptr);
    CloseServiceHandle(manager);
}

BOOL CALLBACK readWindow(HWND window, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t text[1024];
    if (pid != 0) {
        GetWindowTextW(window, text, 1024);
        RealGetWindowClassW(window, text, 1024);
    }
    GetWindowLongW(window, GWL_EXSTYLE);
    IsWindowVisible(window);
    return TRUE;
}

}  // namespace

FloorFigures runFloor(FloorColumns columns, uint32_t rootPid)
{
    FloorFigures figures = {};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return figures;
    }
    std::vector<PROCESSENTRY32W> entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL found = Process32FirstW(snapshot, &entry); found; found = Process32NextW(snapshot, &entry)) {
        entries.push_back(entry);
    }
    CloseHandle(snapshot);
    uint32_t count = static_cast<uint32_t>(entries.size());
    figures.processes = count;

    std::vector<HANDLE> handles(count);
    std::vector<uint64_t> created(count);
    std::unordered_map<uint32_t, uint32_t> indexByPid;
    for (uint32_t i = 0; i < count; ++i) {
        handles[i] = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entries[i].th32ProcessID);
        ++figures.opened;
        created[i] = creationTime(handles[i]);
        indexByPid.emplace(entries[i].th32ProcessID, i);
    }

    // Children by checked parent links: a parent created after its child is
    // a reused PID, not a parent.
    std::vector<std::vector<uint32_t>> children(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto parent = indexByPid.find(entries[i].th32ParentProcessID);
        if (entries[i].th32ParentProcessID == 0 || parent == indexByPid.end() || parent->second == i) {
            continue;
        }
        uint64_t parentTime = created[parent->second];
        if (parentTime != 0 && created[i] != 0 && parentTime > created[i]) {
            continue;
        }
        children[parent->second].push_back(i);
    }
    auto root = indexByPid.find(rootPid);
    std::vector<uint32_t> pending;
    std::vector<bool> seen(count, false);
    if (root != indexByPid.end()) {
        pending.push_back(root->second);
        seen[root->second] = true;
    }
    while (!pending.empty()) {
        uint32_t i = pending.back();
        pending.pop_back();
        ++figures.printed;
        if (handles[i] != nullptr && columns == FloorColumns::Details) {
            queryDetails(handles[i]);
        }
        if (handles[i] != nullptr && columns == FloorColumns::ImagePath) {
            queryImagePath(handles[i]);
        }
        for (uint32_t child : children[i]) {
            if (!seen[child]) {
                seen[child] = true;
                pending.push_back(child);
            }
        }
    }
    for (HANDLE handle : handles) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    readServiceNames();
    EnumWindows(readWindow, 0);
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    figures.displaySourceSeconds =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    return figures;
}
