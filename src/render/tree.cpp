#include "render/tree.h"

#include "base/text.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "render/columns.h"
#include "render/csv_row.h"
#include "render/sibling_order.h"

#include <wchar.h>

#include <algorithm>
#include <memory>
#include <new>

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
    wchar_t prefix[PREFIX_TEXT_COUNT];
    wchar_t column[COLUMN_TEXT_COUNT];
    std::unique_ptr<LineText> line;
};

// The PIDs from the root down to the current record: a child already on it
// closes a cycle of parent links and is left out.
struct PathLink {
    uint32_t pid;
    const PathLink* up;
};

bool isOnPath(const PathLink* link, uint32_t pid)
{
    for (; link != nullptr; link = link->up) {
        if (link->pid == pid) {
            return true;
        }
    }
    return false;
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

// Everything of one line up to and including its end; 0 or STOPPED.
int renderLine(const ProcessRecord& record, const ProcessDetails& details, const wchar_t* prefix, bool isLast,
               bool isRoot, ViewSettings* view, LineWork* work)
{
    int32_t remaining = static_cast<int32_t>(view->width);
    const TreeGlyphs& glyphs = glyphsFor(view->flags);
    LineText* line = work->line.get();
    startLine(line, view->output);

    if (prefix != nullptr) {
        // A prefix too deep for its text is cut rather than overrun.
        copyText(work->prefix, PREFIX_TEXT_COUNT, prefix);
        if ((view->flags & OPT_NO_TREE) == 0) {
            appendText(work->prefix, PREFIX_TEXT_COUNT, isLast ? glyphs.lastBranch : glyphs.branch);
        }
        appendToLine(line, work->prefix);
        remaining -= textLength(work->prefix);
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

    if (view->parentPidOnFirstLine && isRoot) {
        // The bracketed parent is the one whose link holds.
        const RecordSource& source = view->source;
        uint32_t parentPid = source.parentPid != nullptr ? source.parentPid(source.context, &record)
                                                         : record.entry.th32ParentProcessID;
        remaining -= formatText(work->column, COLUMN_TEXT_COUNT, decimal ? L"[%u]  " : L"[%04X]  ", parentPid);
        appendToLine(line, work->column);
    }

    writeLeadingColumns(details, *view, line, work->column, &remaining);
    writeExecutableName(record, *view, line, work->column, &remaining);
    writeTrailingColumns(record, details, *view, line, work->column, &remaining);

    if ((view->flags & OPT_NO_DISPLAY_NAMES) == 0) {
        const wchar_t* text = lineDisplayText(record, *view);
        if (text != nullptr && text[0] != L'\0') {
            writeDisplayText(text, *view, line, work->column, remaining);
        }
    }

    return writeLine(line);
}

int renderWalk(const ProcessRecord* record, const wchar_t* prefix, bool isLast, bool recurse,
               ViewSettings* view, const PathLink* ancestors, uint32_t depth, LineWork* work)
{
    const ProcessDetails& details = detailsFrom(view->source, record);
    int result = (view->flags & OPT_CSV) != 0
                     ? writeCsvRow(*record, details, depth, *view, work->line.get())
                     : renderLine(*record, details, prefix, isLast, ancestors == nullptr, view, work);
    if (result != 0) {
        return result;
    }
    // The ended-process placeholder is no process found.
    if (details.priorityIndex != -1) {
        view->printedCount++;
    }
    if (!recurse) {
        return 0;
    }

    const RecordSource& source = view->source;
    uint32_t pid = record->entry.th32ProcessID;
    uint32_t count = source.childCount != nullptr ? source.childCount(source.context, pid) : 0;
    if (count == 0) {
        return 0;
    }
    std::unique_ptr<const ProcessRecord*[]> children(new (std::nothrow) const ProcessRecord*[count]);
    if (!children) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    PathLink self = {pid, ancestors};
    uint32_t found = source.children(source.context, pid, children.get(), count);
    uint32_t stored = 0;
    for (uint32_t i = 0; i < found; ++i) {
        if (!isOnPath(&self, children[i]->entry.th32ProcessID)) {
            children[stored++] = children[i];
        }
    }

    if (view->sortKeys != nullptr && stored > 1) {
        // Keys that compare details read them for exactly these siblings.
        const wchar_t* keys = view->sortKeys;
        std::sort(children.get(), children.get() + stored,
                  [keys, &source](const ProcessRecord* a, const ProcessRecord* b) {
                      return compareSiblings(keys, source, a, b) < 0;
                  });
    }

    // What the children inherit, kept for as long as they are being written.
    std::unique_ptr<wchar_t[]> handedDown(new (std::nothrow) wchar_t[PREFIX_TEXT_COUNT]);
    if (!handedDown) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    copyText(handedDown.get(), PREFIX_TEXT_COUNT, prefix != nullptr ? prefix : L"");
    const TreeGlyphs& glyphs = glyphsFor(view->flags);
    const wchar_t* indent = (view->flags & OPT_NO_TREE) != 0 ? NO_TREE_INDENT
                                                             : (isLast ? glyphs.lastContinuation : glyphs.continuation);
    appendText(handedDown.get(), PREFIX_TEXT_COUNT, indent);

    for (uint32_t i = 0; i < stored; ++i) {
        result = renderWalk(children[i], handedDown.get(), i == stored - 1, true, view, &self, depth + 1, work);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

}  // namespace

int renderProcess(const ProcessRecord* record, const wchar_t* prefix, bool isLast, bool recurse,
                  ViewSettings* view)
{
    if (record == nullptr || view == nullptr) {
        return -1;
    }
    std::unique_ptr<LineWork> work(new (std::nothrow) LineWork);
    if (!work) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    work->line.reset(new (std::nothrow) LineText);
    if (!work->line) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return renderWalk(record, prefix, isLast, recurse, view, nullptr, view->firstDepth, work.get());
}
