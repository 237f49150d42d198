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

bool ProcessTree::start(DWORD stallMs)
{
    stop();
    error_.clear();
    std::wstring dir = programDirectory();
    if (dir.empty()) {
        error_ = L"kfroot.exe not found";
        return false;
    }
    static LONG counter = 0;
    token_ = std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&counter)) + L"-" + std::to_wstring(GetTickCount());

    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                  sizeof(TreeSharedBlock), treeMappingName(token_).c_str());
    if (mapping_ == NULL) {
        error_ = L"CreateFileMappingW failed";
        return false;
    }
    block_ = static_cast<TreeSharedBlock*>(
        MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(TreeSharedBlock)));
    if (block_ == NULL) {
        error_ = L"MapViewOfFile failed";
        closeAll();
        return false;
    }
    for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
        stopEvents_[role] =
            CreateEventW(NULL, TRUE, FALSE, treeStopEventName(token_, role).c_str());
        if (stopEvents_[role] == NULL) {
            error_ = L"CreateEventW failed";
            closeAll();
            return false;
        }
    }

    InterlockedExchange(&block_->ownerPid, static_cast<LONG>(GetCurrentProcessId()));
    std::wstring program = dir + treeProgramName(TREE_ROOT);
    std::wstring commandLine = L"\"" + program + L"\" " + token_;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &info)) {
        error_ = L"CreateProcessW failed for " + program;
        closeAll();
        return false;
    }
    CloseHandle(info.hThread);
    processes_[TREE_ROOT] = info.hProcess;
    InterlockedExchange(&block_->parentPid[TREE_ROOT], static_cast<LONG>(GetCurrentProcessId()));

    DWORD lastReport = GetTickCount();
    int reported = 0;
    for (;;) {
        int ready = 0;
        for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
            if (block_->pid[role] != 0) {
                ++ready;
            }
        }
        if (ready == TREE_ROLE_COUNT) {
            break;
        }
        if (ready != reported) {
            reported = ready;
            lastReport = GetTickCount();
        }
        if (block_->failed != 0 || GetTickCount() - lastReport > stallMs ||
            WaitForSingleObject(processes_[TREE_ROOT], 0) == WAIT_OBJECT_0) {
            error_ = block_->failed != 0 ? L"a node could not start its child: error " +
                                               std::to_wstring(block_->failed)
                                         : L"the tree did not report in";
            stop();
            return false;
        }
        Sleep(10);
    }
    // Each node waits for its stop event, so its PID is still its own here.
    for (int role = 1; role < TREE_ROLE_COUNT; ++role) {
        processes_[role] = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(block_->pid[role]));
    }
    return true;
}

bool ProcessTree::stopRole(TreeRole role, DWORD timeoutMs)
{
    if (role < 0 || role >= TREE_ROLE_COUNT || stopEvents_[role] == NULL) {
        return false;
    }
    SetEvent(stopEvents_[role]);
    return processes_[role] == NULL ||
           WaitForSingleObject(processes_[role], timeoutMs) == WAIT_OBJECT_0;
}

void ProcessTree::stop(DWORD timeoutMs)
{
    for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
        if (stopEvents_[role] != NULL) {
            SetEvent(stopEvents_[role]);
        }
    }
    // Nodes that have not reported yet have no handle here; they find their
    // event set as soon as they open it, or end with this process.
    for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
        if (processes_[role] != NULL &&
            WaitForSingleObject(processes_[role], timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(processes_[role], 1);
        }
    }
    closeAll();
}

uint32_t ProcessTree::pid(TreeRole role) const
{
    return block_ != NULL && role >= 0 && role < TREE_ROLE_COUNT ? static_cast<uint32_t>(block_->pid[role])
                                                                  : 0;
}

uint32_t ProcessTree::parentPid(TreeRole role) const
{
    return block_ != NULL && role >= 0 && role < TREE_ROLE_COUNT
               ? static_cast<uint32_t>(block_->parentPid[role])
               : 0;
}

bool ProcessTree::hasWindow() const
{
    return block_ != NULL && block_->windowCreated != 0;
}

void ProcessTree::closeAll()
{
    for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
        if (processes_[role] != NULL) {
            CloseHandle(processes_[role]);
            processes_[role] = NULL;
        }
        if (stopEvents_[role] != NULL) {
            CloseHandle(stopEvents_[role]);
            stopEvents_[role] = NULL;
        }
    }
    if (block_ != NULL) {
        UnmapViewOfFile(block_);
        block_ = NULL;
    }
    if (mapping_ != NULL) {
        CloseHandle(mapping_);
        mapping_ = NULL;
    }
}
