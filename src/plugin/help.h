// The host's requests for help on the plugin's names.
#pragma once
#include <windows.h>

typedef int(WINAPI* HelpBoxFn)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Help with the way its box is shown: the export passes MessageBoxW, called
// through the DLL's import at the moment of the request; tests pass a
// capturing function, since a real box would wait for a click nobody gives.
// 1 when the name is one of ours, else 0.
int showHelp(const wchar_t* name, HelpBoxFn showBox);

extern "C" {
int WINAPI Help(wchar_t* name);
int WINAPI Usage(wchar_t* name, wchar_t* buffer);
}

const int HELP_CAPTION_COUNT = 1024;
const int USAGE_TEXT_COUNT = 1024;
