// What kfnode.exe and the bench that starts a tree of them agree on, beyond
// what every tree of our node programs shares (the token, the names of the
// block and of the stop event, the header: tests/e2e/programs/kftree_protocol.h).
// The nodes all wait on stop event 0.
#pragma once
#include "../tests/e2e/programs/kftree_protocol.h"

// The shared block. Counters only: the bench waits for "started" to reach
// the size of the tree, and after the stop event for "running" to reach 0.
struct NodeBlock {
    TreeBlockHeader header;  // its "failed" holds the last error of a start that failed
    volatile LONG started;   // nodes that have started all their children
    volatile LONG running;   // nodes that have not yet ended
};
