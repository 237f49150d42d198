#include "process_tree.h"

namespace {

bool fileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring withSlash(std::wstring path)
{
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    return path;
}

}  // namespace

std::wstring ProcessTree::programDirectory()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH * 2);
    std::wstring own(path, length);
    own = own.substr(0, own.find_last_of(L"\\/") + 1);
    std::wstring candidates[4] = {own + L"e2e\\", own + L"..\\e2e\\", own, std::wstring()};
    wchar_t buildDir[MAX_PATH * 2];
    DWORD buildLength = GetEnvironmentVariableW(L"KF_BUILD_DIR", buildDir, MAX_PATH * 2);
    if (buildLength > 0 && buildLength < MAX_PATH * 2) {
        std::wstring dir = withSlash(buildDir);
        // A Unix path from the build system: Wine shows the root as Z:.
        if (dir.size() > 1 && dir[0] == L'\\' && dir[1] != L'\\') {
            dir = L"Z:" + dir;
        }
        candidates[3] = dir + L"e2e\\";
    }
    for (const std::wstring& dir : candidates) {
        if (!dir.empty() && fileExists(dir + treeProgramName(TREE_ROOT))) {
            return dir;
        }
    }
    return std::wstring();
}

bool TreeRun::create(size_t blockBytes, int stopCount, std::wstring* error)
{
    close();
    static LONG counter = 0;
    token_ = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(InterlockedIncrement(&counter)) + L"-" +
             std::to_wstring(GetTickCount());
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, static_cast<DWORD>(blockBytes),
                                  treeMappingName(token_).c_str());
    if (mapping_ == NULL) {
        *error = L"CreateFileMappingW failed";
        return false;
    }
    view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, blockBytes);
    if (view_ == NULL) {
        *error = L"MapViewOfFile failed";
        close();
        return false;
    }
    for (int index = 0; index < stopCount; ++index) {
        HANDLE event = CreateEventW(NULL, TRUE, FALSE, treeStopEventName(token_, index).c_str());
        if (event == NULL) {
            *error = L"CreateEventW failed";
            close();
            return false;
        }
        stops_.push_back(event);
    }
    InterlockedExchange(&header()->ownerPid, static_cast<LONG>(GetCurrentProcessId()));
    return true;
}

bool TreeRun::startRoot(const std::wstring& program, const std::wstring& extra, std::wstring* error)
{
    DWORD pid = 0;
    if (startTreeProgram(program, token_, extra, &root_, &pid) != 0) {
        *error = L"CreateProcessW failed for " + program;
        return false;
    }
    rootPid_ = pid;
    return true;
}

bool TreeRun::waitForReports(const std::function<int()>& reported, int goal, DWORD stallMs, std::wstring* error)
{
    DWORD lastReport = GetTickCount();
    int seen = 0;
    for (;;) {
        int now = reported();
        if (now >= goal) {
            return true;
        }
        if (now != seen) {
            seen = now;
            lastReport = GetTickCount();
        }
        if (header()->failed != 0 || GetTickCount() - lastReport > stallMs ||
            WaitForSingleObject(root_, 0) == WAIT_OBJECT_0) {
            *error = header()->failed != 0
                         ? L"a node could not start its child: error " + std::to_wstring(header()->failed)
                         : L"the tree did not report in";
            return false;
        }
        Sleep(10);
    }
}

bool TreeRun::signalStop(int index)
{
    return index >= 0 && static_cast<size_t>(index) < stops_.size() && SetEvent(stops_[index]);
}

void TreeRun::signalAllStops()
{
    for (HANDLE event : stops_) {
        SetEvent(event);
    }
}

void TreeRun::close()
{
    if (root_ != NULL) {
        CloseHandle(root_);
        root_ = NULL;
    }
    rootPid_ = 0;
    for (HANDLE event : stops_) {
        CloseHandle(event);
    }
    stops_.clear();
    if (view_ != NULL) {
        UnmapViewOfFile(view_);
        view_ = NULL;
    }
    if (mapping_ != NULL) {
        CloseHandle(mapping_);
        mapping_ = NULL;
    }
}

bool ProcessTree::start(DWORD stallMs)
{
    stop();
    error_.clear();
    std::wstring dir = programDirectory();
    if (dir.empty()) {
        error_ = L"kfroot.exe not found";
        return false;
    }
    if (!run_.create(sizeof(TreeSharedBlock), TREE_ROLE_COUNT, &error_)) {
        return false;
    }
    TreeSharedBlock* block = run_.block<TreeSharedBlock>();
    if (!run_.startRoot(dir + treeProgramName(TREE_ROOT), L"", &error_)) {
        closeAll();
        return false;
    }
    InterlockedExchange(&block->parentPid[TREE_ROOT], static_cast<LONG>(GetCurrentProcessId()));
    auto ready = [block]() {
        int count = 0;
        for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
            count += block->pid[role] != 0 ? 1 : 0;
        }
        return count;
    };
    if (!run_.waitForReports(ready, TREE_ROLE_COUNT, stallMs, &error_)) {
        stop();
        return false;
    }
    // Each node waits for its stop event, so its PID is still its own here.
    for (int role = 1; role < TREE_ROLE_COUNT; ++role) {
        processes_[role] = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(block->pid[role]));
    }
    return true;
}

bool ProcessTree::stopRole(TreeRole role, DWORD timeoutMs)
{
    if (role < 0 || role >= TREE_ROLE_COUNT || !run_.signalStop(role)) {
        return false;
    }
    return process(role) == NULL || WaitForSingleObject(process(role), timeoutMs) == WAIT_OBJECT_0;
}

void ProcessTree::stop(DWORD timeoutMs)
{
    run_.signalAllStops();
    // Nodes that have not reported yet have no handle here; they find their
    // event set as soon as they open it, or end with this process.
    for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
        if (process(role) != NULL && WaitForSingleObject(process(role), timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process(role), 1);
        }
    }
    closeAll();
}

uint32_t ProcessTree::pid(TreeRole role) const
{
    const TreeSharedBlock* block = run_.block<TreeSharedBlock>();
    return block != NULL && role >= 0 && role < TREE_ROLE_COUNT ? static_cast<uint32_t>(block->pid[role]) : 0;
}

uint32_t ProcessTree::parentPid(TreeRole role) const
{
    const TreeSharedBlock* block = run_.block<TreeSharedBlock>();
    return block != NULL && role >= 0 && role < TREE_ROLE_COUNT ? static_cast<uint32_t>(block->parentPid[role])
                                                                 : 0;
}

bool ProcessTree::hasWindow() const
{
    const TreeSharedBlock* block = run_.block<TreeSharedBlock>();
    return block != NULL && block->windowCreated != 0;
}

void ProcessTree::closeAll()
{
    for (HANDLE& process : processes_) {
        if (process != NULL) {
            CloseHandle(process);
            process = NULL;
        }
    }
    run_.close();
}
