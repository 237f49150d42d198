// Error reporting: every message goes to standard error as the prefix, then
// one Qprintf whose format ends in "\r\n".
#pragma once
#include <windows.h>

const int ERROR_TEXT_COUNT = 1024;   // callers' buffers for formatSystemError
const int PREFIX_WORK_COUNT = 8192;

// "Kinfold plugin: ", plus "<batch name> [<line>]  " inside a batch file.
int printErrorPrefix();

// One line of readable text for a Windows error code (0xFFFFFFFF: none known).
// text holds ERROR_TEXT_COUNT units. Returns -1 for a null buffer, else 0.
int formatSystemError(DWORD code, wchar_t* text);

// printErrorPrefix followed by the message, on standard error.
void reportError(const wchar_t* format, ...);
