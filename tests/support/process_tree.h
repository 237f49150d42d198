// Starts a known tree of test processes for tests that need real processes:
//
//   test process
//   └ kfroot.exe
//     ├ kfbranch.exe
//     │ └ kfleaf.exe
//     └ kfwindow.exe   (owns a visible window titled windowTitle(), where the
//                       graphics driver allows windows)
//
// Each node lives until stopped or until the process that started the tree
// ends. The destructor stops whatever still runs.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "../e2e/programs/kftree_protocol.h"

class ProcessTree {
public:
    ProcessTree() = default;
    ~ProcessTree() { stop(); }
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;

    // Starts the tree and waits until every node reported in. It gives up
    // when no further node has reported for stallMs: a slow machine (x86
    // under qemu, loaded) only takes longer, a node that hangs stops the
    // reports. On failure, error() says why and whatever started is stopped.
    bool start(DWORD stallMs = 20000);
    // Tells one node to exit and waits for it; its children keep running.
    bool stopRole(TreeRole role, DWORD timeoutMs = 10000);
    // Tells every node to exit and waits for them all.
    void stop(DWORD timeoutMs = 10000);

    uint32_t pid(TreeRole role) const;
    // The PID of the process that started this node, as its starter saw it.
    uint32_t parentPid(TreeRole role) const;
    bool hasWindow() const;
    std::wstring windowTitle() const { return treeWindowTitle(token_); }
    static const wchar_t* programName(TreeRole role) { return treeProgramName(role); }
    const std::wstring& error() const { return error_; }

    // The folder that holds kfroot.exe and its siblings, with a trailing
    // backslash; empty when it cannot be found.
    static std::wstring programDirectory();

private:
    std::wstring token_;
    std::wstring error_;
    HANDLE mapping_ = NULL;
    TreeSharedBlock* block_ = NULL;
    HANDLE stopEvents_[TREE_ROLE_COUNT] = {};
    HANDLE processes_[TREE_ROLE_COUNT] = {};

    void closeAll();
};
