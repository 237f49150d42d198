#include "console/line_output.h"

#include "base/host_api.h"
#include "base/text.h"
#include "console/console_port.h"
#include "console/paging.h"

#include <stdarg.h>
#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>

namespace {

bool hasSurrogate(const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// The host takes terminated text: the stretch is cut off for the call and
// the text put back.
void putPlain(wchar_t* text, size_t start, size_t end)
{
    if (end <= start) {
        return;
    }
    wchar_t following = text[end];
    text[end] = L'\0';
    QPuts(text + start);
    text[end] = following;
}

void writeColoured(const ConsoleOutput* output, const wchar_t* text, size_t length, unsigned attribute)
{
    const ConsolePort* port = output->port;
    setStdoutAttribute(port, attribute);
    writeToConsole(port, text, length);
    // Consoles that draw such a character two cells wide still advance the
    // cursor by one; the space and backspace put it where the host expects.
    if (hasSurrogate(text, length)) {
        writeToConsole(port, L" \b", 2);
    }
    setStdoutAttribute(port, output->attributes.normalAttribute);
    SetColors(output->attributes.normalAttribute);
}

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
void append(LineText* line, const wchar_t* text, size_t length, bool coloured, unsigned attribute)
{
    if (text == nullptr) {
        return;
    }
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

const wchar_t FIRST_ATTRIBUTE_CODE = 17;
const wchar_t LAST_ATTRIBUTE_CODE = 22;
const int PRINT_SLACK_COUNT = 16;
const int OUT_OF_MEMORY = -2;

unsigned attributeForCode(const ConsoleAttributes& attributes, wchar_t code)
{
    switch (code) {
    case 17: return attributes.normalAttribute;
    case 18: return attributes.highlightAttribute;
    case 19: return attributes.inverseNormalAttribute;
    case 20: return attributes.inverseHighlightAttribute;
    case 21: return attributes.alternateAttribute;
    default: return attributes.inverseAlternateAttribute;
    }
}

bool isAttributeCode(wchar_t ch)
{
    return ch >= FIRST_ATTRIBUTE_CODE && ch <= LAST_ATTRIBUTE_CODE;
}

// One stretch of printed text in the attribute of its codes. In colour, the
// normal stretches go straight to the console with the coloured ones, as the
// text's own colours are the point of it.
void appendStretch(LineText* line, wchar_t* text, size_t* length, unsigned attribute)
{
    if (*length == 0) {
        return;
    }
    text[*length] = L'\0';
    if (line->output->attributes.normalAttribute == 0) {
        appendToLine(line, text);
    } else {
        appendInAttribute(line, text, attribute);
    }
    *length = 0;
}

}  // namespace

void writeLineText(LineText* line)
{
    const ConsoleOutput* output = line->output;
    if (output->attributes.normalAttribute == 0) {
        putPlain(line->text, 0, line->length);
    } else {
        size_t position = 0;
        for (size_t i = 0; i < line->runCount; ++i) {
            const ColouredRun& run = line->runs[i];
            putPlain(line->text, position, run.start);
            writeColoured(output, line->text + run.start, run.length, run.attribute);
            position = static_cast<size_t>(run.start) + run.length;
        }
        putPlain(line->text, position, line->length);
    }
    line->length = 0;
    line->text[0] = L'\0';
    line->runCount = 0;
}

int writeLine(LineText* line)
{
    writeLineText(line);
    return endLine(line->output);
}


void startLine(LineText* line, ConsoleOutput* output)
{
    line->output = output;
    line->length = 0;
    line->text[0] = L'\0';
    line->runCount = 0;
}

void appendToLine(LineText* line, const wchar_t* text)
{
    append(line, text, text != nullptr ? wcslen(text) : 0, false, 0);
}

void appendPartToLine(LineText* line, const wchar_t* text, size_t length)
{
    append(line, text, length, false, 0);
}

void appendInAttribute(LineText* line, const wchar_t* text, unsigned attribute)
{
    append(line, text, text != nullptr ? wcslen(text) : 0, true, attribute);
}

int writeEmptyLine(ConsoleOutput* output)
{
    return endLine(output);
}

void writeUncountedLineEnd(ConsoleOutput* output)
{
    (void)output;
    CrLf();
}

void writeHelpText(ConsoleOutput* output, const wchar_t* text)
{
    (void)output;
    QPuts(text);
}

int printPaged(ConsoleOutput* output, const wchar_t* format, ...)
{
    if (format == NULL) {
        return -1;
    }
    if (format[0] == L'\0') {
        return 0;
    }
    if (output->paging.stopState == STOPPED) {
        return showBreakNotice(output->port);
    }
    va_list args;
    va_start(args, format);
    va_list measureArgs;
    va_copy(measureArgs, args);
    int measured = measureText(format, measureArgs);
    va_end(measureArgs);
    if (measured < 0) {
        va_end(args);
        return -1;
    }
    size_t count = static_cast<size_t>(measured) + PRINT_SLACK_COUNT;
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[count]);
    std::unique_ptr<wchar_t[]> stretch(new (std::nothrow) wchar_t[count]);
    std::unique_ptr<LineText> line(new (std::nothrow) LineText);
    if (!text || !stretch || !line) {
        va_end(args);
        return OUT_OF_MEMORY;
    }
    (void)formatTextV(text.get(), count, format, args);
    va_end(args);

    startLine(line.get(), output);
    const ConsoleAttributes& attributes = output->attributes;
    unsigned current = attributes.normalAttribute;
    size_t length = 0;
    int result = 0;
    for (const wchar_t* p = text.get(); *p != L'\0'; ++p) {
        if (*p == L'\n') {
            appendStretch(line.get(), stretch.get(), &length, current);
            if (writeLine(line.get()) == STOPPED) {
                result = STOPPED;
                break;
            }
            current = attributes.normalAttribute;
        } else if (isAttributeCode(*p)) {
            unsigned next = attributeForCode(attributes, *p);
            if (next != current) {
                appendStretch(line.get(), stretch.get(), &length, current);
            }
            current = next;
        } else if (*p != L'\r') {
            stretch[length++] = *p;
        }
    }
    // A last line without a line feed goes out without a line end.
    if (result == 0) {
        appendStretch(line.get(), stretch.get(), &length, current);
        writeLineText(line.get());
    }
    return result;
}
