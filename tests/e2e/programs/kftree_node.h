// The body shared by the tree programs: report in, start the children of this
// role, then wait for the stop event with a message loop. A node also ends with
// the test that started the tree, so a test that dies leaves nothing behind
// and a slow one is never outlived by its tree.
// Never shows a message box: under the null driver one would block forever.
#pragma once
#include "kftree_protocol.h"

#include <string>

namespace kftree {

inline std::wstring ownDirectory()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH * 2);
    std::wstring text(path, length);
    size_t slash = text.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : text.substr(0, slash + 1);
}

inline bool startChild(TreeSharedBlock* block, const std::wstring& token, int role)
{
    std::wstring program = ownDirectory() + treeProgramName(role);
    std::wstring commandLine = L"\"" + program + L"\" " + token;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &info)) {
        DWORD error = GetLastError();
        InterlockedExchange(&block->failed, error != 0 ? static_cast<LONG>(error) : -1);
        return false;
    }
    InterlockedExchange(&block->parentPid[role], static_cast<LONG>(GetCurrentProcessId()));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
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

inline int runNode(int role, int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    std::wstring token = argv[1];
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, treeMappingName(token).c_str());
    if (mapping == NULL) {
        return 3;
    }
    TreeSharedBlock* block = static_cast<TreeSharedBlock*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(TreeSharedBlock)));
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, treeStopEventName(token, role).c_str());
    if (block == NULL || stop == NULL) {
        return 4;
    }
    HANDLE owner = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(block->ownerPid));
    if (owner == NULL) {
        return 5;
    }
    HWND window = NULL;
    if (role == TREE_WINDOW) {
        window = createTitledWindow(token);
        InterlockedExchange(&block->windowCreated, window != NULL ? 1 : 0);
    }
    if (role == TREE_ROOT) {
        startChild(block, token, TREE_BRANCH);
        startChild(block, token, TREE_WINDOW);
    } else if (role == TREE_BRANCH) {
        startChild(block, token, TREE_LEAF);
    }
    InterlockedExchange(&block->pid[role], static_cast<LONG>(GetCurrentProcessId()));

    HANDLE ends[2] = {stop, owner};
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjects(2, ends, FALSE, INFINITE, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 2) {
            break;  // stopped, the test ended, or the wait failed
        }
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    if (window != NULL) {
        DestroyWindow(window);
    }
    UnmapViewOfFile(block);
    CloseHandle(mapping);
    CloseHandle(stop);
    CloseHandle(owner);
    return 0;
}

}  // namespace kftree
