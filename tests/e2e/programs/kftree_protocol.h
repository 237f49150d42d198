// What the tree programs and the helpers that start them agree on: the test
// tree (kfroot, kfbranch, kfleaf, kfwindow) and the bench's tree of kfnode.
// Each run has a token of its own, so trees of runs side by side never see
// each other's objects.
#pragma once
#include <windows.h>

#include <string>

// Every tree's shared block starts with this.
struct TreeBlockHeader {
    volatile LONG ownerPid;  // the process that started the tree, written before the root starts
    volatile LONG failed;    // a node could not start its child: its error code (-1 when none was given)
};

// Starts a node: program with the tree's token, then what its role needs.
// 0, or the error of CreateProcessW; *process (when asked for) is the new
// process's handle for the caller to close.
inline DWORD startTreeProgram(const std::wstring& program, const std::wstring& token, const std::wstring& extra,
                              HANDLE* process, DWORD* pid)
{
    std::wstring commandLine = L"\"" + program + L"\" " + token + (extra.empty() ? L"" : L" " + extra);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
        DWORD error = GetLastError();
        return error != 0 ? error : static_cast<DWORD>(-1);
    }
    CloseHandle(info.hThread);
    if (process != NULL) {
        *process = info.hProcess;
    } else {
        CloseHandle(info.hProcess);
    }
    if (pid != NULL) {
        *pid = info.dwProcessId;
    }
    return 0;
}

enum TreeRole { TREE_ROOT, TREE_BRANCH, TREE_LEAF, TREE_WINDOW, TREE_ROLE_COUNT };

// root starts branch and window; branch starts leaf.
inline const wchar_t* treeProgramName(int role)
{
    static const wchar_t* const names[TREE_ROLE_COUNT] = {
        L"kfroot.exe", L"kfbranch.exe", L"kfleaf.exe", L"kfwindow.exe"};
    return role >= 0 && role < TREE_ROLE_COUNT ? names[role] : L"";
}

// The shared block: a starter writes its child's parent PID, then the child
// its own PID, so a nonzero pid means the record is complete.
struct TreeSharedBlock {
    TreeBlockHeader header;
    volatile LONG pid[TREE_ROLE_COUNT];
    volatile LONG parentPid[TREE_ROLE_COUNT];
    volatile LONG windowCreated;  // 1 when kfwindow has its titled window
};

inline std::wstring treeMappingName(const std::wstring& token)
{
    return L"kftree-" + token + L"-map";
}

// One event per role of the test tree; the bench's nodes share event 0.
inline std::wstring treeStopEventName(const std::wstring& token, int index)
{
    return L"kftree-" + token + L"-stop-" + std::to_wstring(index);
}

inline std::wstring treeWindowTitle(const std::wstring& token)
{
    return L"Kinfold tree window " + token;
}
