#include "console/paging.h"

#include "console/arguments.h"
#include "console/console_port.h"
#include "console/diagnostics.h"
#include "base/text.h"
#include "console/highlight.h"
#include "base/host_api.h"

#include <wchar.h>
#include <wctype.h>

#include <memory>
#include <new>

PagingState gPaging;

namespace {

const wchar_t PAUSE_PROMPT[] = L"\r   \u2500\u2500 Press a key to continue \u2500\u2500 ";
const wchar_t CLEARING_LINE[] =
    L"\r                                                            \r";
const wchar_t BREAK_NOTICE[] = L"\r ^C \r\n";

const uint32_t ALL_LINES = 0xFFFFFFFF;
const uint32_t KEY_CTRL_C = 3;
const uint32_t KEY_ESCAPE = 27;
const uint32_t KEY_TIMEOUT = 0x20;
const uint32_t EXTENDED_KEY = 0x10000;
const DWORD POLL_INTERVAL_MS = 10;
const int PRINT_SLACK_COUNT = 16;
const int OUT_OF_MEMORY = -2;

const wchar_t FIRST_ATTRIBUTE_CODE = 17;
const wchar_t LAST_ATTRIBUTE_CODE = 22;

// The handler lives only while the prompt waits; every way out removes it.
class CtrlHandlerScope {
public:
    CtrlHandlerScope() { gConsole->setCtrlHandler(pauseCtrlHandler, TRUE); }
    ~CtrlHandlerScope() { gConsole->setCtrlHandler(pauseCtrlHandler, FALSE); }
    CtrlHandlerScope(const CtrlHandlerScope&) = delete;
    CtrlHandlerScope& operator=(const CtrlHandlerScope&) = delete;
};

unsigned attributeForCode(wchar_t code)
{
    switch (code) {
    case 17: return gAttributes.normalAttribute;
    case 18: return gAttributes.highlightAttribute;
    case 19: return gAttributes.inverseNormalAttribute;
    case 20: return gAttributes.inverseHighlightAttribute;
    case 21: return gAttributes.alternateAttribute;
    default: return gAttributes.inverseAlternateAttribute;
    }
}

bool isAttributeCode(wchar_t ch)
{
    return ch >= FIRST_ATTRIBUTE_CODE && ch <= LAST_ATTRIBUTE_CODE;
}

// The formatted text and room for the line being collected from it.
struct PrintBuffers {
    std::unique_ptr<wchar_t[]> text;
    std::unique_ptr<wchar_t[]> line;
};

int formatForPrint(const wchar_t* format, va_list args, PrintBuffers* buffers)
{
    va_list measureArgs;
    va_copy(measureArgs, args);
    int length = measureText(format, measureArgs);
    va_end(measureArgs);
    if (length < 0) {
        return -1;
    }
    size_t count = static_cast<size_t>(length) + PRINT_SLACK_COUNT;
    buffers->text.reset(new (std::nothrow) wchar_t[count]);
    buffers->line.reset(new (std::nothrow) wchar_t[count]);
    if (!buffers->text || !buffers->line) {
        buffers->text.reset();
        buffers->line.reset();
        return OUT_OF_MEMORY;
    }
    formatTextV(buffers->text.get(), count, format, args);
    buffers->line[0] = L'\0';
    return 0;
}

int printColouredV(const wchar_t* format, va_list args)
{
    PrintBuffers buffers;
    int status = formatForPrint(format, args, &buffers);
    if (status != 0) {
        return status;
    }
    wchar_t* line = buffers.line.get();
    size_t length = 0;
    unsigned current = gAttributes.normalAttribute;
    int result = 0;
    for (const wchar_t* p = buffers.text.get(); *p != L'\0'; ++p) {
        if (*p == L'\n') {
            if (length > 0) {
                line[length] = L'\0';
                emitRun(line, current);
                length = 0;
            }
            if (endLine() == STOPPED) {
                result = STOPPED;
                break;
            }
            current = gAttributes.normalAttribute;
        } else if (*p == L'\r') {
            continue;
        } else if (isAttributeCode(*p)) {
            unsigned next = attributeForCode(*p);
            if (length > 0 && next != current) {
                line[length] = L'\0';
                emitRun(line, current);
                length = 0;
            }
            current = next;
        } else {
            line[length++] = *p;
        }
    }
    if (result == 0 && length > 0) {
        line[length] = L'\0';
        emitRun(line, current);
    }
    if (current != gAttributes.normalAttribute) {
        setStdoutAttribute(gAttributes.normalAttribute);
        SetColors(gAttributes.normalAttribute);
    }
    return result;
}

bool isDecimalDigit(wchar_t ch)
{
    return ch >= L'0' && ch <= L'9';
}

bool isPauseLetter(const wchar_t* argument)
{
    return (argument[0] == L'/' || argument[0] == L'-') && (argument[1] == L'P' || argument[1] == L'p');
}

}  // namespace

void resetPaging()
{
    gPaging.pageLength = 0;
    gPaging.linesLeft = 0;
    gPaging.pauseTimeout = 0;
    gPaging.stopState = 0;
    gPaging.breakCount = 0;
}

BOOL WINAPI pauseCtrlHandler(DWORD ctrlType)
{
    if (ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT) {
        gPaging.breakCount.fetch_add(1);
        return TRUE;
    }
    return FALSE;
}

uint32_t waitForKey()
{
    const uint32_t timeout = gPaging.pauseTimeout;
    const DWORD start = timeout != 0 ? gConsole->tickCount() : 0;
    gPaging.breakCount = 0;
    CtrlHandlerScope handler;
    gConsole->prepareInput();
    // A key typed ahead of the prompt answers it at once.
    while (!gConsole->keyWaiting()) {
        gConsole->sleep(POLL_INTERVAL_MS);
        if (gPaging.breakCount.load() != 0) {
            return KEY_CTRL_C;
        }
        // Unsigned difference: right also when the tick counter wraps.
        if (timeout != 0 && gConsole->tickCount() - start >= timeout) {
            return KEY_TIMEOUT;
        }
    }
    uint32_t key = static_cast<uint32_t>(gConsole->readKey());
    if (key == 0 || key == 0xE0) {
        key = EXTENDED_KEY + static_cast<uint32_t>(gConsole->readKey());
    }
    return key;
}

uint16_t setNoticeAttribute()
{
    UniqueConsoleHandle console(gConsole->openConout());
    if (!console) {
        return 7;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!gConsole->getScreenBufferInfo(console.get(), &info)) {
        return 7;
    }
    WORD current = info.wAttributes;
    unsigned background = (current >> 4) & 15;
    WORD notice = contrastTable[1][background];
    if ((current & 15) == notice) {
        notice = contrastTable[0][background];
    }
    gConsole->setTextAttribute(console.get(), notice);
    return current;
}

int showBreakNotice()
{
    uint16_t previous = setNoticeAttribute();
    writeToConsole(BREAK_NOTICE);
    UniqueConsoleHandle console(gConsole->openConout());
    if (console) {
        gConsole->setTextAttribute(console.get(), previous);
    }
    return STOPPED;
}

int endLine()
{
    if (gAttributes.normalAttribute != 0) {
        setStdoutAttribute(gAttributes.normalAttribute);
        SetColors(gAttributes.normalAttribute);
    }
    CrLf();
    if (gPaging.stopState == STOPPED) {
        return showBreakNotice();
    }
    if (gPaging.linesLeft == 0) {
        return 0;
    }
    if (--gPaging.linesLeft != 0) {
        return 0;
    }
    gPaging.linesLeft = gPaging.pageLength;
    writeToConsole(PAUSE_PROMPT);
    uint32_t key = waitForKey();
    writeToConsole(CLEARING_LINE);

    if (key == L'c' || key == L'C' || key == L'a' || key == L'A') {
        gPaging.pageLength = 0;
        gPaging.linesLeft = 0;
    } else if (key == L'/') {
        gPaging.linesLeft = gPaging.pageLength / 2;
    } else if (key >= L'1' && key <= L'9') {
        gPaging.linesLeft = key - L'0';
    } else if (key == L'0') {
        gPaging.linesLeft = 10;
    } else if (key == KEY_ESCAPE) {
        gPaging.stopState = STOPPED;
        return STOPPED;
    } else if (key == KEY_CTRL_C) {
        gPaging.stopState = STOPPED;
        return showBreakNotice();
    }
    return 0;
}

int printPlainPaged(const wchar_t* format, va_list args)
{
    if (format == NULL) {
        return -1;
    }
    if (format[0] == L'\0') {
        return 0;
    }
    PrintBuffers buffers;
    int status = formatForPrint(format, args, &buffers);
    if (status != 0) {
        return status;
    }
    wchar_t* line = buffers.line.get();
    size_t length = 0;
    for (const wchar_t* p = buffers.text.get(); *p != L'\0'; ++p) {
        if (*p == L'\n') {
            if (length > 0) {
                line[length] = L'\0';
                QPuts(line);
                length = 0;
            }
            if (endLine() == STOPPED) {
                return STOPPED;
            }
        } else if (*p != L'\r' && !isAttributeCode(*p)) {
            line[length++] = *p;
        }
    }
    if (length > 0) {
        line[length] = L'\0';
        QPuts(line);
    }
    return 0;
}

int printPaged(const wchar_t* format, ...)
{
    if (format == NULL) {
        return -1;
    }
    if (format[0] == L'\0') {
        return 0;
    }
    if (gPaging.stopState == STOPPED) {
        return showBreakNotice();
    }
    va_list args;
    va_start(args, format);
    int result = gAttributes.normalAttribute == 0 ? printPlainPaged(format, args) : printColouredV(format, args);
    va_end(args);
    return result;
}

namespace {

// Reads the number at *p (more text may follow it); a bad one is reported
// with message, quoting the whole argument upper-cased.
bool readPauseNumber(wchar_t* argument, const wchar_t** p, const wchar_t* message, uint32_t* value)
{
    if (parseNumber(*p, p, value) == 0) {
        return true;
    }
    upperCaseText(argument);
    reportError(message, argument);
    return false;
}

}  // namespace

int parsePauseOption(wchar_t* argument, uint32_t* lines)
{
    if (argument == NULL) {
        return -1;
    }
    if (!isPauseLetter(argument)) {
        return 0;
    }
    uint32_t* lineCount = lines;
    uint32_t ignoredLines = 0;
    if (lineCount == NULL) {
        lineCount = &ignoredLines;
    }
    *lineCount = ALL_LINES;
    gPaging.pauseTimeout = 0;
    const wchar_t* p = argument + 2;
    if (*p == L'\0') {
        return 0;
    }
    if (isValueSeparator(*p)) {
        ++p;
    }
    if (isDecimalDigit(*p)) {
        uint32_t value = 0;
        if (!readPauseNumber(argument, &p, L"Bad pause time: \"%s\"\r\n", &value)) {
            return 1;
        }
        if (*p == L'M' || *p == L'm') {
            ++p;
            gPaging.pauseTimeout = value;
        } else {
            // Seconds beyond 32 bits of milliseconds wait as long as possible
            // rather than wrap round to a short pause.
            uint64_t milliseconds = static_cast<uint64_t>(value) * 1000;
            gPaging.pauseTimeout = milliseconds > 0xFFFFFFFFull ? 0xFFFFFFFF : static_cast<uint32_t>(milliseconds);
        }
    }
    if (*p == L',' || *p == L';') {
        ++p;
        if (isDecimalDigit(*p)) {
            uint32_t value = 0;
            if (!readPauseNumber(argument, &p, L"Bad pause lines: \"%s\"\r\n", &value)) {
                return 1;
            }
            if (value > 1000) {
                reportError(L"Pause lines must be 0 - 1000: %u\r\n", value);
                return 1;
            }
            *lineCount = value;
        }
    }
    if (*p != L'\0') {
        upperCaseText(argument);
        reportError(L"Syntax error: \"%s\"\r\n", argument);
        return 1;
    }
    return 0;
}
