#include "console/window_fit.h"

#include <windows.h>

uint32_t widthFromWindow(bool isConsole, bool infoOk, int windowWidth)
{
    if (!isConsole) {
        return 100;
    }
    // A window too narrow or too wide to be believed counts as unreadable.
    uint32_t width = (!infoOk || windowWidth < 22 || windowWidth > 400) ? 101 : static_cast<uint32_t>(windowWidth);
    width -= 1;
    if (width < MIN_WIDTH) {
        width = MIN_WIDTH;
    }
    if (width > MAX_WIDTH) {
        width = MAX_WIDTH;
    }
    return width;
}

uint32_t pauseLinesForWindow(uint32_t lines, bool infoOk, int height)
{
    if (!infoOk || height < 10 || height > 100) {
        return 0;
    }
    uint32_t windowLines = static_cast<uint32_t>(height);
    // Two lines stay free for the prompt and the line it follows.
    if (lines < 3 || lines >= windowLines) {
        return windowLines - 2;
    }
    return lines;
}

uint32_t automaticWidth(const ConsolePort* port)
{
    if (!stdoutIsConsole(port)) {
        return widthFromWindow(false, false, 0);
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool infoOk = stdoutScreenBufferInfo(port, &info);
    return widthFromWindow(true, infoOk, infoOk ? info.srWindow.Right - info.srWindow.Left + 1 : 0);
}

uint32_t fitPauseLines(const ConsolePort* port, uint32_t lines)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool infoOk = stdoutScreenBufferInfo(port, &info);
    return pauseLinesForWindow(lines, infoOk, infoOk ? info.srWindow.Bottom - info.srWindow.Top + 1 : 0);
}
