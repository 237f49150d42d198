// Which trees KINFOLD prints when it prints more than one, or a root below
// its ancestors: the first line of each tree in order, and a RecordSource
// over the table's in which an ancestor leads only towards the roots below
// it. The walks of all trees share one set of listed marks, so each process
// is printed once.
#pragma once
#include <stdint.h>

#include <utility>
#include <vector>

#include "commands/root_selection.h"
#include "procinfo/process_table.h"
#include "render/view.h"
#include "render/walk.h"

// After the planned trees, further trees start at the first record in
// snapshot order that is still unlisted: any record, or only a match.
enum class LeftoverRoots { None, AnyRecord, Matches };

struct TreePlan {
    ProcessTable* table = nullptr;
    RecordSource tableSource = {};
    // Per record: the MARK_ bits of tree_plan.cpp.
    std::vector<uint8_t> marks;
    // Listed by a walk, or reserved as the first line of a tree.
    ListedMarks listed;
    // Each tree's first record, in printing order.
    std::vector<const ProcessRecord*> firsts;
    size_t nextFirst = 0;
    // (parent index, child record) of the ancestor paths, by parent index.
    std::vector<std::pair<uint32_t, const ProcessRecord*>> pathChildren;
    LeftoverRoots leftovers = LeftoverRoots::None;
    uint32_t leftoverCursor = 0;
};

// A plan over the table with no trees yet. False when memory runs out.
[[nodiscard]] bool startTreePlan(ProcessTable* table, TreePlan* plan);

// Marks the records the pattern matches (executable name or display name,
// as the wildcard root compares them); how many.
uint32_t markMatches(const RootPattern& pattern, TreePlan* plan);

// The whole system: every record whose checked parent link is 0 or names no
// record, in sibling order; leftovers of cycles follow.
void planWholeSystem(const wchar_t* sortKeys, TreePlan* plan);

// Every marked match with no match among its checked ancestors, in sibling
// order; matches left unprinted (a cycle of matches) follow.
void planTopmostMatches(const wchar_t* sortKeys, TreePlan* plan);

// One root of the table (a record of it, or the ended-process placeholder).
void planSingleRoot(const ProcessRecord* root, TreePlan* plan);

// Replaces the planned roots by their oldest ancestors, as ANCESTRY finds
// them, with the paths to the roots merged: each ancestor once. Records
// outside the table keep no ancestors.
void addAncestorPaths(const wchar_t* sortKeys, TreePlan* plan);

// The first record of the next tree, null after the last; it counts as
// listed from here on.
const ProcessRecord* nextTree(TreePlan* plan);

// The table's source, seen through the plan: an ancestor's children are the
// path records below it, and a path record is nobody else's child.
RecordSource planSource(TreePlan* plan);

// True for an ancestor the plan shows only above the roots below it.
bool isAncestorOnly(const TreePlan& plan, const ProcessRecord* record);

// The names the plan marked as matches.
RecordMatch planMatches(const TreePlan* plan);
