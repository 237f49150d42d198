// The body shared by the tree programs: report in, start the children of this
// role, then wait for the stop event with a message loop. A node also ends with
// the process that started the tree, so a test that dies leaves nothing behind
// and a slow one is never outlived by its tree. The bench's kfnode is built
// from the same pieces (NodeLink, startChild).
// Never shows a message box: under the null driver one would block forever.
#pragma once
#include "kftree_protocol.h"

#include <string>

namespace kftree {

inline std::wstring ownPath()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

inline std::wstring ownDirectory()
{
    std::wstring text = ownPath();
    size_t slash = text.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : text.substr(0, slash + 1);
}

// What a node holds of its tree: the shared block, its stop event and the
// process that started the tree. Closes them when it goes.
class NodeLink {
public:
    NodeLink() = default;
    ~NodeLink()
    {
        if (view_ != NULL) UnmapViewOfFile(view_);
        if (mapping_ != NULL) CloseHandle(mapping_);
        if (stop_ != NULL) CloseHandle(stop_);
        if (owner_ != NULL) CloseHandle(owner_);
    }
    NodeLink(const NodeLink&) = delete;
    NodeLink& operator=(const NodeLink&) = delete;

    // 0, or the exit code that says what could not be opened: 3 the block,
    // 4 its view or the stop event, 5 the starter.
    int open(const std::wstring& token, size_t blockBytes, int stopIndex)
    {
        mapping_ = OpenFileMappingW(FILE_MAP_WRITE, FALSE, treeMappingName(token).c_str());
        if (mapping_ == NULL) {
            return 3;
        }
        view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, blockBytes);
        stop_ = OpenEventW(SYNCHRONIZE, FALSE, treeStopEventName(token, stopIndex).c_str());
        if (view_ == NULL || stop_ == NULL) {
            return 4;
        }
        owner_ = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(header()->ownerPid));
        return owner_ == NULL ? 5 : 0;
    }

    TreeBlockHeader* header() const { return static_cast<TreeBlockHeader*>(view_); }
    template <class Block>
    Block* block() const
    {
        return static_cast<Block*>(view_);
    }

    // Until the node is told to stop or its starter has ended.
    void waitForEnd() const
    {
        HANDLE ends[2] = {stop_, owner_};
        WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    }

    // The same for a node with a window, whose messages must keep flowing.
    void waitForEndWithMessages() const
    {
        HANDLE ends[2] = {stop_, owner_};
        for (;;) {
            DWORD wait = MsgWaitForMultipleObjects(2, ends, FALSE, INFINITE, QS_ALLINPUT);
            if (wait != WAIT_OBJECT_0 + 2) {
                break;  // stopped, the starter ended, or the wait failed
            }
            MSG message;
            while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
    }

private:
    HANDLE mapping_ = NULL;
    void* view_ = NULL;
    HANDLE stop_ = NULL;
    HANDLE owner_ = NULL;
};

// Starts a child node; when it cannot, its error goes into the header. Many
// processes starting at once on a busy machine now and then see a start fail:
// tries above 1 keep one such hiccup from spoiling a big tree.
inline bool startChild(TreeBlockHeader* header, const std::wstring& program, const std::wstring& token,
                       const std::wstring& extra, int tries = 1)
{
    const DWORD RETRY_PAUSE_MS = 200;
    DWORD error = 0;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0) {
            Sleep(RETRY_PAUSE_MS);
        }
        error = startTreeProgram(program, token, extra, NULL, NULL);
        if (error == 0) {
            return true;
        }
    }
    InterlockedExchange(&header->failed, static_cast<LONG>(error));
    return false;
}

inline LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

inline HWND createTitledWindow(const std::wstring& token)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"KinfoldTreeWindow";
    RegisterClassW(&windowClass);
    std::wstring title = treeWindowTitle(token);
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, L"KinfoldTreeWindow", title.c_str(),
                                  WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                                  GetModuleHandleW(NULL), NULL);
    if (window != NULL) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    return window;
}

// The child of role, started by this node, with the parent PID it recorded.
inline void startRole(TreeSharedBlock* block, const std::wstring& token, int role)
{
    if (startChild(&block->header, ownDirectory() + treeProgramName(role), token, L"")) {
        InterlockedExchange(&block->parentPid[role], static_cast<LONG>(GetCurrentProcessId()));
    }
}

inline int runNode(int role, int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    std::wstring token = argv[1];
    NodeLink link;
    int opened = link.open(token, sizeof(TreeSharedBlock), role);
    if (opened != 0) {
        return opened;
    }
    TreeSharedBlock* block = link.block<TreeSharedBlock>();
    HWND window = NULL;
    if (role == TREE_WINDOW) {
        window = createTitledWindow(token);
        InterlockedExchange(&block->windowCreated, window != NULL ? 1 : 0);
    }
    if (role == TREE_ROOT) {
        startRole(block, token, TREE_BRANCH);
        startRole(block, token, TREE_WINDOW);
    } else if (role == TREE_BRANCH) {
        startRole(block, token, TREE_LEAF);
    }
    InterlockedExchange(&block->pid[role], static_cast<LONG>(GetCurrentProcessId()));
    link.waitForEndWithMessages();
    if (window != NULL) {
        DestroyWindow(window);
    }
    return 0;
}

}  // namespace kftree
