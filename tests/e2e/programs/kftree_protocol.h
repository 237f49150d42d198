// What the tree programs (kfroot, kfbranch, kfleaf, kfwindow) and the test
// helper that starts them agree on. Each run has a token of its own, so trees
// of tests that run side by side never see each other's objects.
#pragma once
#include <windows.h>

#include <string>

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
    volatile LONG pid[TREE_ROLE_COUNT];
    volatile LONG parentPid[TREE_ROLE_COUNT];
    volatile LONG windowCreated;  // 1 when kfwindow has its titled window
    volatile LONG failed;         // a node could not start its child: its error code
    volatile LONG ownerPid;       // the test that started the tree, written before the root starts
};

inline std::wstring treeMappingName(const std::wstring& token)
{
    return L"kftree-" + token + L"-map";
}

inline std::wstring treeStopEventName(const std::wstring& token, int role)
{
    return L"kftree-" + token + L"-stop-" + std::to_wstring(role);
}

inline std::wstring treeWindowTitle(const std::wstring& token)
{
    return L"Kinfold tree window " + token;
}
