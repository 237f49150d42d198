// Synthetic process records and output helpers shared by the command tests.
#pragma once
#include "base/text.h"
#include "commands/commands.h"
#include "fake_console.h"
#include "procinfo/ancestor_chain.h"
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

// A process table holding exactly these records, as a command sees its
// table; no process can be opened, so every parent link holds. Display
// names come in as a build attaches them, through the table's name maps.
inline void fillTable(const std::vector<ProcessRecord>& records, ProcessTable* table)
{
    std::vector<PROCESSENTRY32W> entries;
    for (const ProcessRecord& record : records) {
        entries.push_back(record.entry);
    }
    TableOptions options = {false, false, false, false};
    ProcessProbe nothing = {nullptr, nullptr};
    if (fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options, nothing, table) == 0) {
        for (const ProcessRecord& record : records) {
            if (record.displayName != nullptr) {
                table->windowTitles[record.entry.th32ProcessID] = NamedText{record.displayName, 0};
            }
        }
        attachDisplayNames(table);
    }
}

// Runs a command on a writable copy of its argument text, writing to the
// test's console.
inline int runCommand(int (*command)(wchar_t*, const ConsolePort*), const std::wstring& arguments)
{
    std::wstring copy(arguments);
    return command(&copy[0], testConsolePort());
}

// The exported entries: the real console, like the host.
inline int runCommand(int(WINAPI* command)(wchar_t*), const std::wstring& arguments)
{
    std::wstring copy(arguments);
    return command(&copy[0]);
}

// The ancestor chain of pid over synthetic entries, walked as a snapshot's.
inline int chainFromEntries(const PROCESSENTRY32W* entries, uint32_t count, uint32_t pid, bool withNames,
                            CreationTimeQuery timeOf, void* context, AncestorChain* chain)
{
    SnapshotEntries snapshot;
    if (snapshotFromEntries(entries, count, &snapshot) != 0) {
        return -1;
    }
    return ancestorChainFromSnapshot(snapshot, pid, withNames, timeOf, context, chain);
}
