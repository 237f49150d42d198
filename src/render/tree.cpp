#include "render/tree.h"

#include "base/text.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "render/columns.h"
#include "render/csv_row.h"
#include "render/sibling_order.h"
#include "render/subtree_totals.h"
#include "render/walk.h"

#include <wchar.h>

#include <memory>
#include <new>
#include <vector>

namespace {

const int PREFIX_TEXT_COUNT = 1024;
const int32_t LINE_NUMBER_WIDTH = 6;

// The tree strings of one style, chosen once per line.
struct TreeGlyphs {
    const wchar_t* branch;            // to a child with later siblings
    const wchar_t* lastBranch;        // to the last child
    const wchar_t* continuation;      // below a child with later siblings
    const wchar_t* lastContinuation;  // below the last child
};
const TreeGlyphs BOX_GLYPHS = {L"\x251C\x2500\x2500", L"\x2514\x2500\x2500", L"\x2502  ", L"   "};
const TreeGlyphs ASCII_GLYPHS = {L"+--", L"`--", L"|  ", L"   "};
const wchar_t* const NO_TREE_INDENT = L"  ";

// How a name or text that does not fit is cut, per style.
struct CutStyle {
    const wchar_t* mark;
    int32_t markLength;
    int32_t nameMarkFrom;  // remaining width from which a cut name carries the mark
    int32_t textFrom;      // remaining width from which a cut display text is shown at all
};
const CutStyle ELLIPSIS_CUT = {L"\x2026", 1, 6, 8};
const CutStyle ASCII_CUT = {L"...", 3, 8, 10};

const TreeGlyphs& glyphsFor(DisplayFlags flags)
{
    return (flags & OPT_ASCII) != 0 ? ASCII_GLYPHS : BOX_GLYPHS;
}

const CutStyle& cutStyleFor(DisplayFlags flags)
{
    return (flags & (OPT_ASCII | OPT_ASCII_ELLIPSIS)) != 0 ? ASCII_CUT : ELLIPSIS_CUT;
}

// Working text of the line being written, shared by every line of one walk
// and on the heap, since the host's stack is not ours to spend.
struct LineWork {
    wchar_t column[COLUMN_TEXT_COUNT];
    std::unique_ptr<LineText> line;
};

// Null when memory runs out.
std::unique_ptr<LineWork> newLineWork()
{
    std::unique_ptr<LineWork> work(new (std::nothrow) LineWork);
    if (work) {
        work->line.reset(new (std::nothrow) LineText);
    }
    return work && work->line ? std::move(work) : nullptr;
}

// The indents the lines of a walk inherit from the lines above them: the
// text for depth d is that of depth d - 1 and the indent below the line at
// d - 1. Cut at the line's capacity rather than overrun, so a chain of any
// depth costs a bounded line.
struct TreePrefix {
    wchar_t text[PREFIX_TEXT_COUNT];
    std::vector<uint32_t> lengthAt;  // by depth
};

// The indents a line inherits: length units of text, not terminated.
struct LinePrefix {
    const wchar_t* text;
    size_t length;
};

// The prefix of a line at step.depth; none for the first line of a tree.
const LinePrefix* prefixFor(const WalkStep& step, const TreePrefix& prefix, LinePrefix* line)
{
    if (step.depth == 0) {
        return nullptr;
    }
    *line = LinePrefix{prefix.text, prefix.lengthAt[step.depth]};
    return line;
}

// What the children of the line at step.depth inherit.
void handDown(const WalkStep& step, DisplayFlags flags, TreePrefix* prefix)
{
    if (prefix->lengthAt.size() < step.depth + 2) {
        prefix->lengthAt.resize(step.depth + 2, 0);
    }
    uint32_t length = prefix->lengthAt[step.depth];
    const TreeGlyphs& glyphs = glyphsFor(flags);
    const wchar_t* indent = (flags & OPT_NO_TREE) != 0 ? NO_TREE_INDENT
                                                      : (step.isLast ? glyphs.lastContinuation : glyphs.continuation);
    // Cut like any text at capacity, without measuring the whole prefix again.
    for (; *indent != L'\0' && length + 1 < PREFIX_TEXT_COUNT; ++indent) {
        prefix->text[length++] = *indent;
    }
    prefix->lengthAt[step.depth + 1] = length;
}

// The parent a tree's first line names: the one whose link holds; none for
// the ended-process placeholder, which stands for no process.
uint32_t checkedParentPid(const ViewSettings& view, const ProcessRecord& record, const ProcessDetails& details)
{
    if (details.priorityIndex == -1) {
        return 0;
    }
    const RecordSource& source = view.source;
    return source.parentPid != nullptr ? source.parentPid(source.context, &record) : record.entry.th32ParentProcessID;
}

int32_t textLength(const wchar_t* text)
{
    return static_cast<int32_t>(wcslen(text));
}

void writeExecutableName(const ProcessRecord& record, const ViewSettings& view, LineText* line, wchar_t* name,
                         int32_t* remaining)
{
    const ConsoleAttributes& colours = view.output->attributes;
    unsigned attribute = colours.highlightAttribute;
    if (view.highlightPattern != nullptr && matchesPatternList(view.highlightPattern, record.entry.szExeFile, true)) {
        attribute = colours.inverseHighlightAttribute;
    } else if (view.nameMatch.matches != nullptr && view.nameMatch.matches(view.nameMatch.context, &record)) {
        attribute = colours.inverseHighlightAttribute;
    }
    copyText(name, COLUMN_TEXT_COUNT, record.entry.szExeFile);
    if ((view.flags & OPT_KEEP_EXTENSIONS) == 0) {
        wchar_t* dot = wcsrchr(name, L'.');
        if (dot != nullptr) {
            *dot = L'\0';
        }
    }
    int32_t length = textLength(name);
    if (length <= *remaining) {
        appendInAttribute(line, name, attribute);
        *remaining -= length;
        return;
    }
    if (*remaining <= 0) {
        return;
    }
    const CutStyle& style = cutStyleFor(view.flags);
    if (*remaining >= style.nameMarkFrom) {
        name[*remaining - style.markLength] = L'\0';
        appendText(name, COLUMN_TEXT_COUNT, style.mark);
    } else {
        name[*remaining] = L'\0';
    }
    appendInAttribute(line, name, attribute);
    *remaining = 0;
}

// source is the whole text, which the highlight test sees before any cut.
void writeDisplayText(const wchar_t* source, const ViewSettings& view, LineText* line, wchar_t* text,
                      int32_t remaining)
{
    const ConsoleAttributes& colours = view.output->attributes;
    unsigned attribute = colours.normalAttribute;
    if (view.highlightPattern != nullptr && matchesPatternList(view.highlightPattern, source, false)) {
        attribute = colours.inverseHighlightAttribute;
    }
    copyText(text, COLUMN_TEXT_COUNT, source);
    int32_t length = textLength(text);
    if (length + 2 > remaining) {
        const CutStyle& style = cutStyleFor(view.flags);
        if (remaining < style.textFrom) {
            return;
        }
        text[remaining - 2 - style.markLength] = L'\0';
        appendText(text, COLUMN_TEXT_COUNT, style.mark);
    }
    appendToLine(line, L"  ");
    appendInAttribute(line, text, attribute);
}

// Everything of one line up to and including its end; 0 or STOPPED. A line
// without prefix is the first of its tree.
int renderLine(const ProcessRecord& record, const ProcessDetails& details, const SubtreeTotals* totals,
               const LinePrefix* prefix, bool isLast, ViewSettings* view, LineWork* work)
{
    int32_t remaining = static_cast<int32_t>(view->width);
    const TreeGlyphs& glyphs = glyphsFor(view->flags);
    LineText* line = work->line.get();
    startLine(line, view->output);

    if (prefix != nullptr) {
        // The branch to this line after the inherited indents, the whole cut
        // at the prefix's capacity rather than overrun.
        appendPartToLine(line, prefix->text, prefix->length);
        size_t length = prefix->length;
        if ((view->flags & OPT_NO_TREE) == 0) {
            const wchar_t* branch = isLast ? glyphs.lastBranch : glyphs.branch;
            size_t part = wcslen(branch);
            if (length + part >= PREFIX_TEXT_COUNT) {
                part = PREFIX_TEXT_COUNT - 1 - length;
            }
            appendPartToLine(line, branch, part);
            length += part;
        }
        remaining -= static_cast<int32_t>(length);
    } else if ((view->flags & OPT_NO_TREE) != 0) {
        // A list counts down from its length; a tree (no length) numbers its root 1, not 0.
        bool countUp = (view->flags & OPT_REVERSE) != 0 || view->totalCount == 0;
        uint32_t number = countUp ? view->printedCount + 1 : view->totalCount - view->printedCount;
        (void)formatText(work->column, COLUMN_TEXT_COUNT, L"%3u:  ", number);
        appendToLine(line, work->column);
        remaining -= LINE_NUMBER_WIDTH;
    }

    bool decimal = (view->flags & OPT_DECIMAL_PID) != 0;
    remaining -= formatText(work->column, COLUMN_TEXT_COUNT, decimal ? L"%u  " : L"%04X  ",
                            record.entry.th32ProcessID);
    appendToLine(line, work->column);

    if (view->parentPidOnFirstLine && prefix == nullptr) {
        uint32_t parentPid = checkedParentPid(*view, record, details);
        remaining -= formatText(work->column, COLUMN_TEXT_COUNT, decimal ? L"[%u]  " : L"[%04X]  ", parentPid);
        appendToLine(line, work->column);
    }

    writeLeadingColumns(details, totals, *view, line, work->column, &remaining);
    writeExecutableName(record, *view, line, work->column, &remaining);
    writeTrailingColumns(record, details, totals, *view, line, work->column, &remaining);

    if ((view->flags & OPT_NO_DISPLAY_NAMES) == 0) {
        const wchar_t* text = lineDisplayText(record, *view);
        if (text != nullptr && text[0] != L'\0') {
            writeDisplayText(text, *view, line, work->column, remaining);
        }
    }

    return writeLine(line);
}

// One line of a tree, or a row under OPT_CSV, and its count. A row names
// the record it hangs under as its parent; one that hangs under none names
// the parent whose link holds.
int renderStep(const WalkStep& step, const SubtreeTotals* totals, const LinePrefix* prefix, uint32_t csvDepth,
               ViewSettings* view, LineWork* work)
{
    const ProcessDetails& details = detailsFrom(view->source, step.record);
    uint32_t parentPid = step.parentPid != 0 ? step.parentPid : checkedParentPid(*view, *step.record, details);
    int result = (view->flags & OPT_CSV) != 0
                     ? writeCsvRow(*step.record, details, csvDepth, parentPid, totals, *view, work->line.get())
                     : renderLine(*step.record, details, totals, prefix, step.isLast, view, work);
    // The ended-process placeholder is no process found.
    if (result == 0 && details.priorityIndex != -1) {
        view->printedCount++;
        if (view->printed != nullptr) {
            view->printed->push_back(step.record);
        }
    }
    return result;
}

}  // namespace

int renderTree(const ProcessRecord* root, ListedMarks* listed, ViewSettings* view)
{
    if (root == nullptr || view == nullptr) {
        return -1;
    }
    std::unique_ptr<LineWork> work = newLineWork();
    std::unique_ptr<TreePrefix> prefix(new (std::nothrow) TreePrefix);
    if (!work || !prefix) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    ListedMarks own;
    if (listed == nullptr) {
        if (!startListedMarks(view->source, &own)) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        listed = &own;
    }
    prefix->lengthAt.assign(2, 0);
    DescendantWalk walk;
    startWalk(view->source, view->sortKeys, listed, root, true, &walk);
    WalkStep step;
    if ((view->flags & OPT_SUBTREE_SUMS) == 0) {
        // Each line as the walk reaches it: a stop at the prompt reads no more.
        while (nextWalkStep(&walk, &step)) {
            LinePrefix line;
            int result = renderStep(step, nullptr, prefixFor(step, *prefix, &line), step.depth, view, work.get());
            if (result != 0) {
                return result;
            }
            handDown(step, view->flags, prefix.get());
        }
        return walk.status;
    }
    // Totals need the whole tree before its first line: one walk into a
    // list, one pass over it, then the lines.
    std::vector<WalkStep> steps;
    steps.reserve(view->source.recordCount);
    while (nextWalkStep(&walk, &step)) {
        steps.push_back(step);
    }
    if (walk.status != 0) {
        return walk.status;
    }
    std::vector<SubtreeTotals> totals(steps.size());
    sumSubtrees(steps.data(), steps.size(), view->source, totals.data());
    for (size_t i = 0; i < steps.size(); ++i) {
        LinePrefix line;
        int result = renderStep(steps[i], &totals[i], prefixFor(steps[i], *prefix, &line), steps[i].depth, view,
                                work.get());
        if (result != 0) {
            return result;
        }
        handDown(steps[i], view->flags, prefix.get());
    }
    return 0;
}

int renderSingleLine(const ProcessRecord* record, uint32_t csvDepth, uint32_t parentPid, ViewSettings* view)
{
    if (record == nullptr || view == nullptr) {
        return -1;
    }
    std::unique_ptr<LineWork> work = newLineWork();
    if (!work) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    WalkStep step = {record, 0, parentPid, false};
    return renderStep(step, nullptr, nullptr, csvDepth, view, work.get());
}
