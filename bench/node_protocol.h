// What kfnode.exe and the bench that starts a tree of them agree on. Each run
// has a token of its own, so that trees of separate runs never meet.
#pragma once
#include <windows.h>

#include <string>

// The shared block. Counters only: the bench waits for "started" to reach
// the size of the tree, and after the stop event for "running" to reach 0.
struct NodeBlock {
    volatile LONG started;  // nodes that have started all their children
    volatile LONG running;  // nodes that have not yet ended
    volatile LONG failed;   // children that could not be started
    volatile LONG error;    // the last CreateProcessW error among them
};

// A node left behind by a bench that died ends by itself after this long.
const DWORD NODE_LIFETIME_MS = 15 * 60 * 1000;

inline std::wstring nodeMappingName(const std::wstring& token)
{
    return L"kfbench-" + token + L"-block";
}

inline std::wstring nodeStopEventName(const std::wstring& token)
{
    return L"kfbench-" + token + L"-stop";
}
