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
// ends. The destructor stops whatever still runs. TreeRun is what starting
// any tree of our node programs takes; the bench starts its kfnode trees with it.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "../e2e/programs/kftree_protocol.h"

// A token of its own, the block the nodes report in, their stop events and
// the root's process. Closes them all when it goes; the nodes end with this
// process at the latest.
class TreeRun {
public:
    TreeRun() = default;
    ~TreeRun() { close(); }
    TreeRun(const TreeRun&) = delete;
    TreeRun& operator=(const TreeRun&) = delete;

    // A block of blockBytes, starting with a TreeBlockHeader that names this
    // process as the owner, and stopCount stop events.
    bool create(size_t blockBytes, int stopCount, std::wstring* error);
    // Starts program as the root; its command line is the token and extra.
    bool startRoot(const std::wstring& program, const std::wstring& extra, std::wstring* error);
    // Polls reported() until it reaches goal. Gives up when no further node
    // has reported for stallMs (a slow machine only takes longer, a node that
    // hangs stops the reports), when a node could not start its child, or
    // when the root has ended.
    bool waitForReports(const std::function<int()>& reported, int goal, DWORD stallMs, std::wstring* error);
    // Tells the nodes waiting on stop event index to end.
    bool signalStop(int index);
    void signalAllStops();
    void close();

    const std::wstring& token() const { return token_; }
    TreeBlockHeader* header() const { return static_cast<TreeBlockHeader*>(view_); }
    template <class Block>
    Block* block() const
    {
        return static_cast<Block*>(view_);
    }
    HANDLE root() const { return root_; }
    uint32_t rootPid() const { return rootPid_; }

private:
    std::wstring token_;
    HANDLE mapping_ = NULL;
    void* view_ = NULL;
    std::vector<HANDLE> stops_;
    HANDLE root_ = NULL;
    uint32_t rootPid_ = 0;
};

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
    std::wstring windowTitle() const { return treeWindowTitle(run_.token()); }
    static const wchar_t* programName(TreeRole role) { return treeProgramName(role); }
    const std::wstring& error() const { return error_; }

    // The folder that holds kfroot.exe and its siblings, with a trailing
    // backslash; empty when it cannot be found.
    static std::wstring programDirectory();

private:
    TreeRun run_;
    std::wstring error_;
    HANDLE processes_[TREE_ROLE_COUNT] = {};  // the root's is the run's

    HANDLE process(int role) const { return role == TREE_ROOT ? run_.root() : processes_[role]; }
    void closeAll();
};
