// A tree of real processes for the bench: kfnode.exe started by the bench,
// each node starting fanout children down to the given depth, started and
// stopped through the tests' TreeRun.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "../tests/support/process_tree.h"

class RealTree {
public:
    RealTree() = default;
    ~RealTree() { stop(); }
    RealTree(const RealTree&) = delete;
    RealTree& operator=(const RealTree&) = delete;

    // Starts the tree and waits until every node reported in; gives up when
    // none has for stallMs.
    bool start(const std::wstring& nodeProgram, unsigned depth, unsigned fanout, DWORD stallMs, std::wstring* error);
    // Tells every node to end and waits (up to a while) until they have.
    void stop();

    uint32_t rootPid() const { return run_.rootPid(); }
    uint32_t size() const { return size_; }

private:
    TreeRun run_;
    uint32_t size_ = 0;
};
