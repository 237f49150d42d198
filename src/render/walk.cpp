#include "render/walk.h"

#include "render/sibling_order.h"

namespace {

// Marks the record listed; false when it already was. Records outside the
// source have no mark and are never anyone's child.
bool takeRecord(DescendantWalk* walk, const ProcessRecord* record)
{
    uint8_t* mark = listedMark(walk->source, walk->listed, record);
    if (mark == nullptr || *mark != 0) {
        return false;
    }
    *mark = 1;
    return true;
}

// Queues the children of the step not listed yet, so that they come out in
// sibling order.
bool expand(DescendantWalk* walk, const WalkStep& parent)
{
    const RecordSource& source = walk->source;
    uint32_t pid = parent.record->entry.th32ProcessID;
    uint32_t room = source.childCount != nullptr ? source.childCount(source.context, pid) : 0;
    if (room == 0) {
        return true;
    }
    if (walk->children.size() < room) {
        walk->children.resize(room);
        if (walk->children.size() < room) {
            return false;
        }
    }
    const ProcessRecord** children = walk->children.data();
    uint32_t found = source.children(source.context, pid, children, room);
    uint32_t stored = 0;
    for (uint32_t i = 0; i < found; ++i) {
        if (takeRecord(walk, children[i])) {
            children[stored++] = children[i];
        }
    }
    // The source gives children in table order already.
    if (walk->sortKeys != nullptr) {
        sortSiblings(walk->sortKeys, source, children, stored);
    }
    for (uint32_t i = stored; i-- > 0;) {
        walk->pending.push_back(WalkStep{children[i], parent.depth + 1, pid, i == stored - 1});
    }
    return true;
}

}  // namespace

bool startListedMarks(const RecordSource& source, ListedMarks* listed)
{
    listed->assign(source.recordCount, 0);
    return listed->size() == source.recordCount;
}

uint8_t* listedMark(const RecordSource& source, ListedMarks* listed, const ProcessRecord* record)
{
    uint32_t slot = source.slotOf != nullptr ? source.slotOf(source.context, record) : NO_RECORD;
    return slot < listed->size() ? &(*listed)[slot] : nullptr;
}

void startWalk(const RecordSource& source, const wchar_t* sortKeys, ListedMarks* listed,
               const ProcessRecord* root, DescendantWalk* walk)
{
    walk->source = source;
    walk->sortKeys = sortKeys;
    walk->listed = listed;
    walk->pending.clear();
    walk->hasExpand = false;
    walk->status = 0;
    if (root != nullptr) {
        (void)takeRecord(walk, root);
        walk->pending.push_back(WalkStep{root, 0, 0, true});
    }
}

bool nextWalkStep(DescendantWalk* walk, WalkStep* step)
{
    if (walk->status != 0) {
        return false;
    }
    if (walk->hasExpand) {
        walk->hasExpand = false;
        if (!expand(walk, walk->expandNext)) {
            walk->status = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
    }
    if (walk->pending.empty()) {
        return false;
    }
    *step = walk->pending.back();
    walk->pending.pop_back();
    walk->expandNext = *step;
    walk->hasExpand = true;
    return true;
}
