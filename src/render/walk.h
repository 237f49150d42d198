// The one walk over a process's descendants, for every view that lists a
// tree: the tree lines, the trees of KINFOLD /ALL and /ANC, @KINFOLD. Depth
// first, each process before its descendants, siblings in the order of the
// sort keys; without recursion, since the host's thread stack is small and a
// chain of processes can be as deep as the table is long.
#pragma once
#include <stdint.h>

#include <vector>

#include "procinfo/process_record.h"
#include "render/view.h"

// One byte per record of a source: nonzero once the record is listed, or
// reserved by a plan to be listed elsewhere. A record is listed at most once
// whatever cycles its parent links form; the marks outlive one walk, so the
// trees of one command share them.
typedef std::vector<uint8_t> ListedMarks;

// One line of a walk.
struct WalkStep {
    const ProcessRecord* record;
    uint32_t depth;      // 0 for the walk's root
    uint32_t parentPid;  // the PID of the record it hangs under; 0 for the root
    bool isLast;         // the last of its siblings; the root counts as one
};

struct DescendantWalk {
    RecordSource source;
    const wchar_t* sortKeys;  // null: children keep table order
    ListedMarks* listed;
    std::vector<WalkStep> pending;               // taken from the end
    std::vector<const ProcessRecord*> children;  // room for one record's children
    WalkStep expandNext;                         // the step whose children come next
    bool hasExpand;
    int status;                                  // 0, or 8 when memory ran out
};

// Marks for every record of source, none listed. False when memory runs out.
[[nodiscard]] bool startListedMarks(const RecordSource& source, ListedMarks* listed);
// The mark of record (its PID's); null for a record outside the source.
uint8_t* listedMark(const RecordSource& source, ListedMarks* listed, const ProcessRecord* record);

// Starts a walk at root (a record of the source, or one outside it such as
// the ended-process placeholder, whose children are found by its PID). root
// is marked listed.
void startWalk(const RecordSource& source, const wchar_t* sortKeys, ListedMarks* listed,
               const ProcessRecord* root, DescendantWalk* walk);

// The next step in depth-first order; false after the last one, or when
// memory ran out (walk->status is then 8). A step's children are read only
// when the next step is asked for, so a caller that stops reads no more.
[[nodiscard]] bool nextWalkStep(DescendantWalk* walk, WalkStep* step);
