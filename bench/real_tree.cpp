#include "real_tree.h"

#include "node_protocol.h"

namespace {

const DWORD STOP_WAIT_MS = 30000;

}  // namespace

bool RealTree::start(const std::wstring& nodeProgram, unsigned depth, unsigned fanout, DWORD stallMs,
                     std::wstring* error)
{
    stop();
    if (!run_.create(sizeof(NodeBlock), 1, error)) {
        return false;
    }
    size_ = 0;
    uint32_t level = 1;
    for (unsigned i = 0; i <= depth; ++i) {
        size_ += level;
        level *= fanout;
    }
    if (!run_.startRoot(nodeProgram, std::to_wstring(depth) + L" " + std::to_wstring(fanout), error)) {
        return false;
    }
    NodeBlock* block = run_.block<NodeBlock>();
    return run_.waitForReports([block]() { return static_cast<int>(block->started); }, static_cast<int>(size_),
                               stallMs, error);
}

void RealTree::stop()
{
    NodeBlock* block = run_.block<NodeBlock>();
    if (block != nullptr) {
        run_.signalAllStops();
        DWORD started = GetTickCount();
        while (block->running > 0 && GetTickCount() - started < STOP_WAIT_MS) {
            Sleep(20);
        }
        if (run_.root() != nullptr) {
            WaitForSingleObject(run_.root(), STOP_WAIT_MS);
        }
    }
    run_.close();
}
