#include "commands/tree_plan.h"

#include "commands/record_source.h"
#include "procinfo/ancestor_chain.h"
#include "render/sibling_order.h"

#include <algorithm>
#include <new>

namespace {

const uint8_t MARK_PRINTED = 0x1;  // shown, or sure to be shown where it was planned
const uint8_t MARK_MATCH = 0x2;
const uint8_t MARK_PATH = 0x4;     // an ancestor shown only towards its roots
const uint8_t MARK_PLACED = 0x8;   // already on a merged ancestor path

const uint32_t NO_INDEX = 0xFFFFFFFF;

uint32_t indexOf(const TreePlan& plan, const ProcessRecord* record)
{
    const ProcessTable& table = *plan.table;
    if (record == nullptr || !table.records || record < table.records.get() ||
        record >= table.records.get() + table.count) {
        return NO_INDEX;
    }
    return static_cast<uint32_t>(record - table.records.get());
}

uint32_t indexOfPid(const TreePlan& plan, uint32_t pid)
{
    return indexOf(plan, findRecordByPid(*plan.table, pid));
}

// The record the checked parent link leads to; NO_INDEX at the top of a tree.
uint32_t parentIndex(const TreePlan& plan, uint32_t index)
{
    uint32_t parentPid = validatedParentPid(*plan.table, plan.table->records[index]);
    return parentPid == 0 ? NO_INDEX : indexOfPid(plan, parentPid);
}

void sortAsSiblings(const wchar_t* sortKeys, const RecordSource& source, std::vector<const ProcessRecord*>* records)
{
    if (sortKeys == nullptr) {
        // Unsorted siblings keep table order.
        std::sort(records->begin(), records->end());
        return;
    }
    std::sort(records->begin(), records->end(), [sortKeys, &source](const ProcessRecord* a, const ProcessRecord* b) {
        return compareSiblings(sortKeys, source, a, b) < 0;
    });
}

uint32_t tableFind(const void* context, uint32_t pid)
{
    const ProcessTable& table = *static_cast<const ProcessTable*>(context);
    const ProcessRecord* record = pid == 0 ? nullptr : findRecordByPid(table, pid);
    return record != nullptr ? static_cast<uint32_t>(record - table.records.get()) : table.count;
}

uint32_t tableParentOf(const void* context, uint32_t index)
{
    return static_cast<const ProcessTable*>(context)->records[index].entry.th32ParentProcessID;
}

TreePlan& planOf(void* context)
{
    return *static_cast<TreePlan*>(context);
}

typedef std::vector<std::pair<uint32_t, const ProcessRecord*>>::const_iterator PathChild;

std::pair<PathChild, PathChild> pathChildrenOf(const TreePlan& plan, uint32_t index)
{
    auto byParent = [](const std::pair<uint32_t, const ProcessRecord*>& link, uint32_t parent) {
        return link.first < parent;
    };
    PathChild first = std::lower_bound(plan.pathChildren.begin(), plan.pathChildren.end(), index, byParent);
    PathChild last = first;
    while (last != plan.pathChildren.end() && last->first == index) {
        ++last;
    }
    return std::make_pair(first, last);
}

uint32_t planChildCount(void* context, uint32_t pid)
{
    TreePlan& plan = planOf(context);
    uint32_t index = indexOfPid(plan, pid);
    if (index != NO_INDEX && (plan.marks[index] & MARK_PATH) != 0) {
        auto range = pathChildrenOf(plan, index);
        return static_cast<uint32_t>(range.second - range.first);
    }
    return plan.tableSource.childCount(plan.tableSource.context, pid);
}

uint32_t planChildren(void* context, uint32_t pid, const ProcessRecord** out, uint32_t room)
{
    TreePlan& plan = planOf(context);
    uint32_t index = indexOfPid(plan, pid);
    uint32_t stored = 0;
    if (index != NO_INDEX && (plan.marks[index] & MARK_PATH) != 0) {
        auto range = pathChildrenOf(plan, index);
        for (PathChild link = range.first; link != range.second && stored < room; ++link) {
            out[stored++] = link->second;
        }
        return stored;
    }
    uint32_t found = plan.tableSource.children(plan.tableSource.context, pid, out, room);
    for (uint32_t i = 0; i < found; ++i) {
        uint32_t child = indexOf(plan, out[i]);
        if (child != NO_INDEX && (plan.marks[child] & MARK_PRINTED) == 0) {
            plan.marks[child] |= MARK_PRINTED;
            out[stored++] = out[i];
        }
    }
    return stored;
}

uint32_t planParentPid(void* context, const ProcessRecord* record)
{
    const RecordSource& source = planOf(context).tableSource;
    return source.parentPid(source.context, record);
}

const ProcessDetails* planDetails(void* context, const ProcessRecord* record)
{
    const RecordSource& source = planOf(context).tableSource;
    return source.details(source.context, record);
}

const wchar_t* planImagePath(void* context, const ProcessRecord* record)
{
    const RecordSource& source = planOf(context).tableSource;
    return source.imagePath(source.context, record);
}

bool planMatch(const void* context, const ProcessRecord* record)
{
    const TreePlan& plan = *static_cast<const TreePlan*>(context);
    uint32_t index = indexOf(plan, record);
    return index != NO_INDEX && (plan.marks[index] & MARK_MATCH) != 0;
}

// Answers of the walk up from the matches, per record.
const uint8_t UNKNOWN = 0;
const uint8_t ON_WALK = 1;
const uint8_t NO_MATCH_HERE_OR_ABOVE = 2;
const uint8_t MATCH_HERE_OR_ABOVE = 3;

}  // namespace

bool startTreePlan(ProcessTable* table, TreePlan* plan)
{
    *plan = TreePlan();
    plan->table = table;
    plan->tableSource = recordSourceFor(table);
    plan->marks.assign(table->count, 0);
    return plan->marks.size() == table->count;
}

uint32_t markMatches(const RootPattern& pattern, TreePlan* plan)
{
    uint32_t matches = 0;
    const ProcessTable& table = *plan->table;
    for (uint32_t i = 0; i < table.count; ++i) {
        const ProcessRecord& record = table.records[i];
        if (matchesExeName(pattern, record) || matchesDisplayName(pattern, record)) {
            plan->marks[i] |= MARK_MATCH;
            ++matches;
        }
    }
    return matches;
}

void planWholeSystem(const wchar_t* sortKeys, TreePlan* plan)
{
    const ProcessTable& table = *plan->table;
    plan->firsts.clear();
    for (uint32_t i = 0; i < table.count; ++i) {
        if (parentIndex(*plan, i) == NO_INDEX) {
            plan->marks[i] |= MARK_PRINTED;
            plan->firsts.push_back(&table.records[i]);
        }
    }
    sortAsSiblings(sortKeys, plan->tableSource, &plan->firsts);
    plan->leftovers = LeftoverRoots::AnyRecord;
}

void planTopmostMatches(const wchar_t* sortKeys, TreePlan* plan)
{
    const ProcessTable& table = *plan->table;
    plan->firsts.clear();
    // Each record is answered once, so the walks together stay linear.
    std::vector<uint8_t> answer(table.count, UNKNOWN);
    std::vector<uint32_t> walk;
    for (uint32_t i = 0; i < table.count; ++i) {
        if ((plan->marks[i] & MARK_MATCH) == 0) {
            continue;
        }
        walk.clear();
        bool above = false;
        uint32_t at = parentIndex(*plan, i);
        while (at != NO_INDEX) {
            if (answer[at] == NO_MATCH_HERE_OR_ABOVE || answer[at] == MATCH_HERE_OR_ABOVE) {
                above = answer[at] == MATCH_HERE_OR_ABOVE;
                break;
            }
            if (answer[at] == ON_WALK) {
                // A cycle of links: each of its records is above all the others.
                size_t start = walk.size();
                while (walk[--start] != at) {
                }
                for (size_t j = start; j < walk.size(); ++j) {
                    above = above || (plan->marks[walk[j]] & MARK_MATCH) != 0;
                }
                for (size_t j = start; j < walk.size(); ++j) {
                    answer[walk[j]] = above ? MATCH_HERE_OR_ABOVE : NO_MATCH_HERE_OR_ABOVE;
                }
                walk.resize(start);
                break;
            }
            answer[at] = ON_WALK;
            walk.push_back(at);
            at = parentIndex(*plan, at);
        }
        for (size_t j = walk.size(); j-- > 0;) {
            above = above || (plan->marks[walk[j]] & MARK_MATCH) != 0;
            answer[walk[j]] = above ? MATCH_HERE_OR_ABOVE : NO_MATCH_HERE_OR_ABOVE;
        }
        if (!above) {
            plan->marks[i] |= MARK_PRINTED;
            plan->firsts.push_back(&table.records[i]);
        }
        if (answer[i] == UNKNOWN) {
            answer[i] = MATCH_HERE_OR_ABOVE;
        }
    }
    sortAsSiblings(sortKeys, plan->tableSource, &plan->firsts);
    plan->leftovers = LeftoverRoots::Matches;
}

void planSingleRoot(const ProcessRecord* root, TreePlan* plan)
{
    plan->firsts.assign(1, root);
    uint32_t index = indexOf(*plan, root);
    if (index != NO_INDEX) {
        plan->marks[index] |= MARK_PRINTED;
    }
    plan->leftovers = LeftoverRoots::None;
}

void addAncestorPaths(const wchar_t* sortKeys, TreePlan* plan)
{
    ProcessTable& table = *plan->table;
    std::vector<uint32_t> pids(table.count);
    std::vector<uint32_t> indexes(table.count);
    AncestorLinks links = {&table, table.count, tableFind, tableParentOf};
    std::vector<const ProcessRecord*> tops;
    for (const ProcessRecord* root : plan->firsts) {
        uint32_t index = indexOf(*plan, root);
        uint32_t length = 0;
        if (index != NO_INDEX) {
            // The same walk and creation times as ANCESTRY, read through the table.
            length = walkAncestorLinks(links, root->entry.th32ProcessID, tableCreationTime, &table, pids.data(),
                                       indexes.data());
        }
        if (length == 0 || indexes[0] != index) {
            tops.push_back(root);
            continue;
        }
        for (uint32_t step = 0; step < length; ++step) {
            uint32_t at = indexes[step];
            // The rest of this path is shared with one placed before.
            if ((plan->marks[at] & MARK_PLACED) != 0) {
                break;
            }
            plan->marks[at] |= MARK_PLACED;
            if (step > 0) {
                plan->marks[at] |= MARK_PATH | MARK_PRINTED;
            }
            if (step + 1 == length) {
                tops.push_back(&table.records[at]);
            } else {
                plan->pathChildren.push_back(std::make_pair(indexes[step + 1], &table.records[at]));
            }
        }
    }
    std::sort(plan->pathChildren.begin(), plan->pathChildren.end());
    sortAsSiblings(sortKeys, plan->tableSource, &tops);
    plan->firsts.swap(tops);
    plan->nextFirst = 0;
}

const ProcessRecord* nextTree(TreePlan* plan)
{
    if (plan->nextFirst < plan->firsts.size()) {
        const ProcessRecord* first = plan->firsts[plan->nextFirst++];
        uint32_t index = indexOf(*plan, first);
        if (index != NO_INDEX) {
            plan->marks[index] |= MARK_PRINTED;
        }
        return first;
    }
    if (plan->leftovers == LeftoverRoots::None) {
        return nullptr;
    }
    uint8_t wanted = plan->leftovers == LeftoverRoots::Matches ? MARK_MATCH : 0;
    const ProcessTable& table = *plan->table;
    for (; plan->leftoverCursor < table.count; ++plan->leftoverCursor) {
        uint8_t& marks = plan->marks[plan->leftoverCursor];
        if ((marks & MARK_PRINTED) == 0 && (marks & wanted) == wanted) {
            marks |= MARK_PRINTED;
            return &table.records[plan->leftoverCursor++];
        }
    }
    return nullptr;
}

RecordSource planSource(TreePlan* plan)
{
    RecordSource source = {plan, planChildCount, planChildren, planParentPid, planDetails, planImagePath};
    return source;
}

RecordMatch planMatches(const TreePlan* plan)
{
    RecordMatch match = {plan, planMatch};
    return match;
}
