#include "render/line_text.h"

#include "base/text.h"

#include <string.h>
#include <wchar.h>

namespace {

// Of a text longer than a line, the part that fits, a surrogate pair kept whole.
size_t fittingPart(const wchar_t* text)
{
    size_t part = LINE_TEXT_COUNT - 1;
    if (isHighSurrogate(text[part - 1])) {
        --part;
    }
    return part;
}

// What does not fit sends the gathered pieces first, so nothing is lost and
// the order stays; only a text longer than a whole line goes in parts.
void append(LineText* line, const wchar_t* text, bool coloured, unsigned attribute)
{
    if (text == nullptr) {
        return;
    }
    size_t length = wcslen(text);
    if (line->length + length >= LINE_TEXT_COUNT || (coloured && line->runCount == LINE_RUN_COUNT)) {
        writeLineText(line);
    }
    for (;;) {
        size_t part = length < LINE_TEXT_COUNT ? length : fittingPart(text);
        if (coloured) {
            ColouredRun& run = line->runs[line->runCount++];
            run.start = static_cast<uint16_t>(line->length);
            run.length = static_cast<uint16_t>(part);
            run.attribute = static_cast<uint8_t>(attribute);
        }
        memcpy(line->text + line->length, text, part * sizeof(wchar_t));
        line->length += part;
        line->text[line->length] = L'\0';
        text += part;
        length -= part;
        if (length == 0) {
            return;
        }
        writeLineText(line);
    }
}

}  // namespace

void startLine(LineText* line, ConsoleOutput* output)
{
    line->output = output;
    line->length = 0;
    line->text[0] = L'\0';
    line->runCount = 0;
}

void appendToLine(LineText* line, const wchar_t* text)
{
    append(line, text, false, 0);
}

void appendInAttribute(LineText* line, const wchar_t* text, unsigned attribute)
{
    append(line, text, true, attribute);
}
