// kfnode.exe TOKEN DEPTH FANOUT: one node of the tree of real processes that
// the bench starts. While DEPTH is above 0 it starts FANOUT children one level
// deeper; then it reports in and waits until the bench tells it to stop, or
// has ended.
#include "../node_protocol.h"
#include "../../tests/e2e/programs/kftree_node.h"

#include <stdlib.h>

#include <string>

namespace {

// Hundreds of processes start at once.
const int START_TRIES = 3;

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        return 2;
    }
    std::wstring token = argv[1];
    unsigned depth = static_cast<unsigned>(wcstoul(argv[2], NULL, 10));
    unsigned fanout = static_cast<unsigned>(wcstoul(argv[3], NULL, 10));
    kftree::NodeLink link;
    int opened = link.open(token, sizeof(NodeBlock), 0);
    if (opened != 0) {
        return opened;
    }
    NodeBlock* block = link.block<NodeBlock>();
    InterlockedIncrement(&block->running);
    if (depth > 0) {
        std::wstring childArguments = std::to_wstring(depth - 1) + L" " + std::to_wstring(fanout);
        for (unsigned i = 0; i < fanout; ++i) {
            kftree::startChild(&block->header, kftree::ownPath(), token, childArguments, START_TRIES);
        }
    }
    InterlockedIncrement(&block->started);
    link.waitForEnd();
    InterlockedDecrement(&block->running);
    return 0;
}
