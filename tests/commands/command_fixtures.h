// Synthetic process records and output helpers shared by the command tests.
#pragma once
#include "commands/commands.h"
#include "base/text.h"
#include "procinfo/process_table.h"

#include <string>
#include <vector>

inline ProcessRecord makeRecord(uint32_t pid, uint32_t parentPid, const wchar_t* name,
                                const wchar_t* displayName = nullptr)
{
    ProcessRecord record = {};
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parentPid;
    record.entry.cntThreads = 1;
    copyText(record.entry.szExeFile, MAX_PATH, name);
    record.priorityIndex = 2;
    record.displayName = displayName;
    return record;
}

// The text split at CRLF; a last line without one is kept too.
inline std::vector<std::wstring> splitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 2;
    }
    return lines;
}

// Runs an exported command on a writable copy of its argument text.
inline int runCommand(int(WINAPI* command)(wchar_t*), const std::wstring& arguments)
{
    std::wstring copy(arguments);
    return command(&copy[0]);
}
