#include "console/paging.h"

#include "console/arguments.h"
#include "console/console_port.h"
#include "console/diagnostics.h"
#include "base/text.h"
#include "console/highlight.h"
#include "base/host_api.h"

std::atomic<uint32_t> gBreakCount(0);

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

// The handler lives only while the prompt waits; every way out removes it.
class CtrlHandlerScope {
public:
    explicit CtrlHandlerScope(const ConsolePort* port) : port_(port) { port_->setCtrlHandler(pauseCtrlHandler, TRUE); }
    ~CtrlHandlerScope() { port_->setCtrlHandler(pauseCtrlHandler, FALSE); }
    CtrlHandlerScope(const CtrlHandlerScope&) = delete;
    CtrlHandlerScope& operator=(const CtrlHandlerScope&) = delete;

private:
    const ConsolePort* port_;
};

bool isDecimalDigit(wchar_t ch)
{
    return ch >= L'0' && ch <= L'9';
}

bool isPauseLetter(const wchar_t* argument)
{
    return (argument[0] == L'/' || argument[0] == L'-') && (argument[1] == L'P' || argument[1] == L'p');
}

}  // namespace

void resetConsoleOutput(ConsoleOutput* output, const ConsolePort* port)
{
    output->port = port;
    output->attributes = ConsoleAttributes();
    output->paging = PagingState();
    gBreakCount = 0;
}

BOOL WINAPI pauseCtrlHandler(DWORD ctrlType)
{
    if (ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT) {
        gBreakCount.fetch_add(1);
        return TRUE;
    }
    return FALSE;
}

uint32_t waitForKey(ConsoleOutput* output)
{
    const ConsolePort* port = output->port;
    const uint32_t timeout = output->paging.pauseTimeout;
    const DWORD start = timeout != 0 ? port->tickCount() : 0;
    gBreakCount = 0;
    CtrlHandlerScope handler(port);
    port->prepareInput();
    // A key typed ahead of the prompt answers it at once.
    while (!port->keyWaiting()) {
        port->sleep(POLL_INTERVAL_MS);
        if (gBreakCount.load() != 0) {
            return KEY_CTRL_C;
        }
        // Unsigned difference: right also when the tick counter wraps.
        if (timeout != 0 && port->tickCount() - start >= timeout) {
            return KEY_TIMEOUT;
        }
    }
    uint32_t key = static_cast<uint32_t>(port->readKey());
    if (key == 0 || key == 0xE0) {
        key = EXTENDED_KEY + static_cast<uint32_t>(port->readKey());
    }
    return key;
}

uint16_t setNoticeAttribute(const ConsolePort* port)
{
    UniqueConsoleHandle console(port);
    if (!console) {
        return 7;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!port->getScreenBufferInfo(console.get(), &info)) {
        return 7;
    }
    WORD current = info.wAttributes;
    unsigned background = (current >> 4) & 15;
    WORD notice = contrastTable[1][background];
    if ((current & 15) == notice) {
        notice = contrastTable[0][background];
    }
    port->setTextAttribute(console.get(), notice);
    return current;
}

int showBreakNotice(const ConsolePort* port)
{
    uint16_t previous = setNoticeAttribute(port);
    writeToConsole(port, BREAK_NOTICE);
    UniqueConsoleHandle console(port);
    if (console) {
        port->setTextAttribute(console.get(), previous);
    }
    return STOPPED;
}

int endLine(ConsoleOutput* output)
{
    const ConsolePort* port = output->port;
    PagingState& paging = output->paging;
    if (output->attributes.normalAttribute != 0) {
        setStdoutAttribute(port, output->attributes.normalAttribute);
        SetColors(output->attributes.normalAttribute);
    }
    CrLf();
    if (paging.stopState == STOPPED) {
        return showBreakNotice(port);
    }
    if (paging.linesLeft == 0) {
        return 0;
    }
    if (--paging.linesLeft != 0) {
        return 0;
    }
    paging.linesLeft = paging.pageLength;
    writeToConsole(port, PAUSE_PROMPT);
    uint32_t key = waitForKey(output);
    writeToConsole(port, CLEARING_LINE);

    if (key == L'c' || key == L'C' || key == L'a' || key == L'A') {
        paging.pageLength = 0;
        paging.linesLeft = 0;
    } else if (key == L'/') {
        paging.linesLeft = paging.pageLength / 2;
    } else if (key >= L'1' && key <= L'9') {
        paging.linesLeft = key - L'0';
    } else if (key == L'0') {
        paging.linesLeft = 10;
    } else if (key == KEY_ESCAPE) {
        paging.stopState = STOPPED;
        return STOPPED;
    } else if (key == KEY_CTRL_C) {
        paging.stopState = STOPPED;
        return showBreakNotice(port);
    }
    return 0;
}

bool askYes(ConsoleOutput* output, const wchar_t* question)
{
    // Unlike the pause prompt's, this answer is not taken from keys typed
    // ahead: a stray Y while the tree was printing must not end it.
    const ConsolePort* port = output->port;
    port->prepareInput();
    while (port->keyWaiting()) {
        (void)port->readKey();
    }
    writeToConsole(output->port, question);
    uint32_t key = waitForKey(output);
    if (key == KEY_CTRL_C) {
        // The notice starts at the beginning of a line: on the question's
        // own line it would overwrite the question's first words.
        writeToConsole(output->port, L"\r\n");
        (void)showBreakNotice(output->port);
        return false;
    }
    bool yes = key == L'y' || key == L'Y';
    writeToConsole(output->port, yes ? L"Y\r\n" : L"N\r\n");
    return yes;
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

int parsePauseOption(wchar_t* argument, uint32_t* lines, PagingState* paging)
{
    if (argument == NULL || paging == NULL) {
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
    paging->pauseTimeout = 0;
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
            paging->pauseTimeout = value;
        } else {
            // Seconds beyond 32 bits of milliseconds wait as long as possible
            // rather than wrap round to a short pause.
            uint64_t milliseconds = static_cast<uint64_t>(value) * 1000;
            paging->pauseTimeout = milliseconds > 0xFFFFFFFFull ? 0xFFFFFFFF : static_cast<uint32_t>(milliseconds);
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
