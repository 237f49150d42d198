// The host's requests for help on the plugin's names.
#pragma once
#include <windows.h>

typedef int(WINAPI* HelpBoxFn)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// How Help shows its box: MessageBoxW, called through the DLL's import at the
// moment of the request. Tests put a capturing function here, since a real
// box would wait for a click nobody can give.
extern HelpBoxFn gShowHelpBox;

const int HELP_CAPTION_COUNT = 1024;
const int USAGE_TEXT_COUNT = 1024;
