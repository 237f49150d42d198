// Help and Usage: the help texts of the plugin's names for the host, the whole
// text in a message box or the usage part for the host to print.
#include "plugin/help.h"

#include "commands/help_texts.h"
#include "base/text.h"
#include "plugin/plugin.h"

#include <wchar.h>

namespace {

const int HELP_NAME_COUNT = 11;

struct HelpRow {
    wchar_t name[HELP_NAME_COUNT];
    const wchar_t* const* text;
};

const HelpRow HELP_ROWS[] = {
    {L"ancestry", &ANCESTRY_HELP},
    {L"kinfold", &KINFOLD_HELP},
    {L"@ancestry", &ANCESTRY_FUNCTION_HELP},
    {L"@kinfold", &KINFOLD_FUNCTION_HELP},
};

// A plain function, so the import is read when the box is shown: a shell
// that replaces the plugin's imported MessageBoxW after loading it still
// gets the call.
int WINAPI messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    return MessageBoxW(owner, text, caption, type);
}

const HelpRow* findHelpRow(const wchar_t* name)
{
    if (name == NULL) {
        return NULL;
    }
    for (const HelpRow& row : HELP_ROWS) {
        if (_wcsicmp(name, row.name) == 0) {
            return &row;
        }
    }
    return NULL;
}

}  // namespace

int showHelp(const wchar_t* name, HelpBoxFn showBox)
{
    wchar_t caption[HELP_CAPTION_COUNT];
    (void)formatText(caption, HELP_CAPTION_COUNT, L"%s Plugin Help", PLUGIN_NAME);
    const HelpRow* row = findHelpRow(name);
    if (row == NULL) {
        return 0;
    }
    showBox(GetForegroundWindow(), *row->text, caption, MB_OK);
    return 1;
}

extern "C" int WINAPI Help(wchar_t* name)
{
    return showHelp(name, messageBox);
}

extern "C" int WINAPI Usage(wchar_t* name, wchar_t* buffer)
{
    // Variable functions and internal variables have no usage line.
    if (name == NULL || buffer == NULL || name[0] == L'@' || name[0] == L'_') {
        return 0;
    }
    const HelpRow* row = findHelpRow(name);
    if (row == NULL) {
        return 0;
    }
    // The first line says what the command does; usage starts at the syntax line.
    const wchar_t* text = *row->text;
    const wchar_t* lineFeed = wcschr(text, L'\n');
    if (lineFeed != NULL) {
        text = lineFeed;
        while (*text == L'\n') {
            ++text;
        }
    }
    copyText(buffer, USAGE_TEXT_COUNT, text);
    return 1;
}
