// One reading of a toolhelp process snapshot, shared by the process table and
// the ancestor walk: the entries are copied out and the snapshot is closed
// before anyone looks at them.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>

struct SnapshotEntries {
    std::unique_ptr<PROCESSENTRY32W[]> entries;
    uint32_t count = 0;
    // The walk ended the normal way (ERROR_NO_MORE_FILES), not by an
    // error part way through.
    bool complete = false;
};

// 0 (count may be 0), 8 out of memory, or the Windows error code of the
// failing call (-1 when there is none).
[[nodiscard]] int readProcessSnapshot(SnapshotEntries* snapshot);

// The Windows error of the last call as a result: -1 when it is 0.
int lastErrorResult();
