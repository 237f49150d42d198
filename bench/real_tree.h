// A tree of real processes for the bench: kfnode.exe started by the bench,
// each node starting fanout children down to the given depth.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "node_protocol.h"

class RealTree {
public:
    RealTree() = default;
    ~RealTree() { stop(); }
    RealTree(const RealTree&) = delete;
    RealTree& operator=(const RealTree&) = delete;

    // Starts the tree and waits until every node reported in.
    bool start(const std::wstring& nodeProgram, unsigned depth, unsigned fanout, DWORD timeoutMs, std::string* error);
    // Tells every node to end and waits (up to a while) until they have.
    void stop();

    uint32_t rootPid() const { return rootPid_; }
    uint32_t size() const { return size_; }

private:
    HANDLE mapping_ = nullptr;
    NodeBlock* block_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE root_ = nullptr;
    uint32_t rootPid_ = 0;
    uint32_t size_ = 0;
};
