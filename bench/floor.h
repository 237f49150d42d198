// The floor for a KINFOLD call on real processes: the least system work its
// output needs. One snapshot, each process opened once for its creation time
// (parent links are checked against it), and for the processes the tree
// prints only the queries their columns need; plus the sources of the
// display texts (service names, window titles). It writes nothing.
#pragma once
#include <stdint.h>

enum class FloorColumns {
    Plain,      // kinfold: creation times only
    Details,    // kinfold /M /I /C /T: + memory counters, token elevation, priority, IsWow64Process
    ImagePath,  // kinfold /F: + the image path
};

struct FloorFigures {
    uint32_t processes;  // in the snapshot
    uint32_t printed;    // in the tree below (and with) the root
    uint32_t opened;     // OpenProcess calls
    double displaySourceSeconds;  // the part spent on service names and window titles
};

FloorFigures runFloor(FloorColumns columns, uint32_t rootPid);
