#include "render/line_text.h"

#include "base/host_api.h"
#include "console/highlight.h"

#include <string.h>
#include <wchar.h>

void startLine(LineText* line)
{
    line->length = 0;
    line->text[0] = L'\0';
}

void flushLine(LineText* line)
{
    if (line->length > 0) {
        QPuts(line->text);
        startLine(line);
    }
}

void appendToLine(LineText* line, const wchar_t* text)
{
    if (text == nullptr) {
        return;
    }
    size_t length = wcslen(text);
    if (line->length + length >= LINE_TEXT_COUNT) {
        flushLine(line);
        if (length >= LINE_TEXT_COUNT) {
            QPuts(text);
            return;
        }
    }
    memcpy(line->text + line->length, text, (length + 1) * sizeof(wchar_t));
    line->length += length;
}

void appendInAttribute(LineText* line, const ConsoleOutput* output, const wchar_t* text, unsigned attribute)
{
    if (output->attributes.normalAttribute == 0) {
        appendToLine(line, text);
        return;
    }
    flushLine(line);
    writeInAttribute(output, text, attribute);
}
