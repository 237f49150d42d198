#include "render/subtree_totals.h"

#include "render/columns.h"
#include "render/sibling_order.h"

#include <vector>

void sumSubtrees(const WalkStep* steps, size_t count, const RecordSource& source, SubtreeTotals* totals)
{
    // pending[d]: the subtrees at depth d already summed whose parent, at
    // depth d - 1, comes earlier in walk order and has not been reached yet.
    std::vector<SubtreeTotals> pending;
    for (size_t i = count; i-- > 0;) {
        const WalkStep& step = steps[i];
        if (pending.size() < step.depth + 2) {
            pending.resize(step.depth + 2, SubtreeTotals{0, 0, 0});
        }
        SubtreeTotals& children = pending[step.depth + 1];
        SubtreeTotals own = {children.below, children.workingSet, children.threads};
        own.workingSet += workingSetBytes(detailsFrom(source, step.record));
        own.threads += step.record->entry.cntThreads;
        children = SubtreeTotals{0, 0, 0};
        totals[i] = own;
        SubtreeTotals& siblings = pending[step.depth];
        siblings.below += own.below + 1;
        siblings.workingSet += own.workingSet;
        siblings.threads += own.threads;
    }
}
