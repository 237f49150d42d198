#include "commands/tree_plan.h"

#include "commands/record_source.h"
#include "procinfo/ancestor_chain.h"
#include "render/columns.h"
#include "render/sibling_order.h"

#include <algorithm>
#include <new>

namespace {

const uint8_t MARK_MATCH = 0x1;
const uint8_t MARK_PATH = 0x2;    // an ancestor shown only towards its roots
const uint8_t MARK_PLACED = 0x4;  // already on a merged ancestor path

uint32_t indexOfPid(const TreePlan& plan, uint32_t pid)
{
    return firstEntryOf(plan.table->pids, pid);
}

// The record the checked parent link leads to; NO_RECORD at the top of a tree.
uint32_t parentIndex(const TreePlan& plan, uint32_t index)
{
    uint32_t parentPid = validatedParentPid(*plan.table, plan.table->records[index]);
    return parentPid == 0 ? NO_RECORD : indexOfPid(plan, parentPid);
}

void sortAsSiblings(const wchar_t* sortKeys, const RecordSource& source, std::vector<const ProcessRecord*>* records)
{
    sortSiblings(sortKeys, source, records->data(), static_cast<uint32_t>(records->size()));
}

TreePlan& planOf(void* context)
{
    return *static_cast<TreePlan*>(context);
}

bool isPathRecord(const TreePlan& plan, uint32_t index)
{
    return index != NO_RECORD && (plan.marks[index] & MARK_PATH) != 0;
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

uint32_t planSlotOf(void* context, const ProcessRecord* record)
{
    const RecordSource& source = planOf(context).tableSource;
    return source.slotOf(source.context, record);
}

uint32_t planChildCount(void* context, uint32_t pid)
{
    TreePlan& plan = planOf(context);
    uint32_t index = indexOfPid(plan, pid);
    if (isPathRecord(plan, index)) {
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
    if (isPathRecord(plan, index)) {
        auto range = pathChildrenOf(plan, index);
        for (PathChild link = range.first; link != range.second && stored < room; ++link) {
            out[stored++] = link->second;
        }
        return stored;
    }
    uint32_t found = plan.tableSource.children(plan.tableSource.context, pid, out, room);
    for (uint32_t i = 0; i < found; ++i) {
        if (!isPathRecord(plan, recordIndex(*plan.table, out[i]))) {
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

const wchar_t* planCommandLine(void* context, const ProcessRecord* record)
{
    return shownCommandLine(planOf(context).tableSource, record);
}

bool planMatch(const void* context, const ProcessRecord* record)
{
    const TreePlan& plan = *static_cast<const TreePlan*>(context);
    uint32_t index = recordIndex(*plan.table, record);
    return index != NO_RECORD && (plan.marks[index] & MARK_MATCH) != 0;
}

void setListed(TreePlan* plan, const ProcessRecord* record, uint8_t value)
{
    uint8_t* mark = listedMark(plan->tableSource, &plan->listed, record);
    if (mark != nullptr) {
        *mark = value;
    }
}

// The first line of a tree, kept from being anyone's child.
void reserveFirst(TreePlan* plan, const ProcessRecord* record)
{
    setListed(plan, record, 1);
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
    return plan->marks.size() == table->count && startListedMarks(plan->tableSource, &plan->listed);
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
        if (parentIndex(*plan, i) == NO_RECORD) {
            reserveFirst(plan, &table.records[i]);
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
        while (at != NO_RECORD) {
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
            reserveFirst(plan, &table.records[i]);
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
    reserveFirst(plan, root);
    plan->leftovers = LeftoverRoots::None;
}

void addAncestorPaths(const wchar_t* sortKeys, TreePlan* plan)
{
    ProcessTable& table = *plan->table;
    std::vector<uint32_t> pids(table.count);
    std::vector<uint32_t> indexes(table.count);
    AncestorLinks links = tableAncestorLinks(&table);
    std::vector<const ProcessRecord*> tops;
    for (const ProcessRecord* root : plan->firsts) {
        uint32_t index = recordIndex(table, root);
        uint32_t length = 0;
        if (index != NO_RECORD) {
            // The same walk and creation times as ANCESTRY, read through the table.
            length = walkAncestorLinks(links, root->entry.th32ProcessID, tableCreationTime, &table, pids.data(),
                                       indexes.data());
        }
        if (length == 0 || indexes[0] != index) {
            tops.push_back(root);
            continue;
        }
        // A root below ancestors is listed where its path reaches it.
        if (length > 1) {
            setListed(plan, root, 0);
        }
        for (uint32_t step = 0; step < length; ++step) {
            uint32_t at = indexes[step];
            // The rest of this path is shared with one placed before.
            if ((plan->marks[at] & MARK_PLACED) != 0) {
                break;
            }
            plan->marks[at] |= MARK_PLACED;
            if (step > 0) {
                plan->marks[at] |= MARK_PATH;
            }
            if (step + 1 == length) {
                reserveFirst(plan, &table.records[at]);
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
        reserveFirst(plan, first);
        return first;
    }
    if (plan->leftovers == LeftoverRoots::None) {
        return nullptr;
    }
    uint8_t wanted = plan->leftovers == LeftoverRoots::Matches ? MARK_MATCH : 0;
    const ProcessTable& table = *plan->table;
    for (; plan->leftoverCursor < table.count; ++plan->leftoverCursor) {
        const ProcessRecord* record = &table.records[plan->leftoverCursor];
        uint8_t* listed = listedMark(plan->tableSource, &plan->listed, record);
        if (*listed == 0 && (plan->marks[plan->leftoverCursor] & wanted) == wanted) {
            *listed = 1;
            ++plan->leftoverCursor;
            return record;
        }
    }
    return nullptr;
}

RecordSource planSource(TreePlan* plan)
{
    RecordSource source = {plan,          plan->tableSource.recordCount, planSlotOf,  planChildCount, planChildren,
                           planParentPid, planDetails,                   planImagePath, nullptr};
    if (plan->tableSource.commandLine != nullptr) {
        source.commandLine = planCommandLine;
    }
    return source;
}

bool isAncestorOnly(const TreePlan& plan, const ProcessRecord* record)
{
    return isPathRecord(plan, recordIndex(*plan.table, record));
}

RecordMatch planMatches(const TreePlan* plan)
{
    RecordMatch match = {plan, planMatch};
    return match;
}
