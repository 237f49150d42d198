#include "console/line_output.h"

#include "base/host_api.h"
#include "console/console_port.h"
#include "console/paging.h"

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
