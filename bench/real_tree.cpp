#include "real_tree.h"

namespace {

const DWORD STOP_WAIT_MS = 30000;

}  // namespace

bool RealTree::start(const std::wstring& nodeProgram, unsigned depth, unsigned fanout, DWORD timeoutMs,
                     std::string* error)
{
    stop();
    std::wstring token = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(NodeBlock),
                                  nodeMappingName(token).c_str());
    block_ = mapping_ == nullptr ? nullptr
                                 : static_cast<NodeBlock*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(NodeBlock)));
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nodeStopEventName(token).c_str());
    if (block_ == nullptr || stopEvent_ == nullptr) {
        *error = "cannot create the tree's shared block or stop event";
        return false;
    }
    size_ = 0;
    uint32_t level = 1;
    for (unsigned i = 0; i <= depth; ++i) {
        size_ += level;
        level *= fanout;
    }

    std::wstring commandLine = L"\"" + nodeProgram + L"\" " + token + L" " + std::to_wstring(depth) + L" " +
                               std::to_wstring(fanout);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nodeProgram.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        *error = "cannot start kfnode.exe (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(info.hThread);
    root_ = info.hProcess;
    rootPid_ = info.dwProcessId;

    DWORD started = GetTickCount();
    while (static_cast<uint32_t>(block_->started) < size_) {
        if (block_->failed != 0) {
            *error = std::to_string(block_->failed) + " nodes could not be started (error " +
                     std::to_string(block_->error) + ")";
            return false;
        }
        if (GetTickCount() - started > timeoutMs) {
            *error = "only " + std::to_string(block_->started) + " of " + std::to_string(size_) +
                     " nodes reported in";
            return false;
        }
        Sleep(50);
    }
    return true;
}

void RealTree::stop()
{
    if (stopEvent_ != nullptr) {
        SetEvent(stopEvent_);
        DWORD started = GetTickCount();
        while (block_ != nullptr && block_->running > 0 && GetTickCount() - started < STOP_WAIT_MS) {
            Sleep(20);
        }
        if (root_ != nullptr) {
            WaitForSingleObject(root_, STOP_WAIT_MS);
        }
    }
    if (root_ != nullptr) {
        CloseHandle(root_);
        root_ = nullptr;
    }
    if (block_ != nullptr) {
        UnmapViewOfFile(block_);
        block_ = nullptr;
    }
    if (mapping_ != nullptr) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
    }
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
    rootPid_ = 0;
}
