#include "commands/end_tree.h"

#include "base/text.h"
#include "commands/record_source.h"
#include "console/diagnostics.h"
#include "console/line_output.h"
#include "console/paging.h"
#include "procinfo/ancestor_chain.h"

#include <unordered_set>

namespace {

const size_t PID_TEXT_COUNT = 16;
const size_t QUESTION_COUNT = 64;

// The shell and its ancestors as ANCESTRY finds them: ending any of them
// would end the user's session, or orphan it.
std::unordered_set<uint32_t> shellAndAncestors(ProcessTable* table, uint32_t shellPid)
{
    std::unordered_set<uint32_t> pids;
    pids.insert(shellPid);
    std::vector<uint32_t> chain(table->count);
    std::vector<uint32_t> indexes(table->count);
    AncestorLinks links = tableAncestorLinks(table);
    uint32_t length = walkAncestorLinks(links, shellPid, tableCreationTime, table, chain.data(), indexes.data());
    pids.insert(chain.begin(), chain.begin() + length);
    return pids;
}

// One process of the tree and what became of it.
struct Member {
    const ProcessRecord* record;
    HANDLE process;  // held by the table; null when it could not be opened
    bool eligible;
    bool ended;
    DWORD endError;  // why TerminateProcess failed; 0 when it did not
};

void pidText(const ProcessRecord& record, DisplayFlags flags, wchar_t* text)
{
    (void)formatText(text, PID_TEXT_COUNT, (flags & OPT_DECIMAL_PID) != 0 ? L"%u" : L"%04X",
                     record.entry.th32ProcessID);
}

// "PID name: what happened", one line of the report.
int reportMember(const Member& member, DisplayFlags flags, const wchar_t* what, ConsoleOutput* output)
{
    wchar_t pid[PID_TEXT_COUNT];
    pidText(*member.record, flags, pid);
    return printPaged(output, L"%s %s: %s\n", pid, member.record->entry.szExeFile, what);
}

// Why a process is left alone; null when it may be ended.
const wchar_t* reasonToLeave(ProcessTable* table, const Member& member, const EndCalls& calls, wchar_t* work)
{
    if (member.process == nullptr) {
        wchar_t error[ERROR_TEXT_COUNT];
        (void)formatSystemError(heldOpenError(*table, *member.record), error);
        (void)formatText(work, ERROR_TEXT_COUNT, L"not ended (cannot open it to end it: %s)", error);
        return work;
    }
    uint64_t checked = liveCreationTime(*table, member.record->entry.th32ProcessID);
    if (checked == 0 || calls.creationTime(calls.context, member.process) != checked) {
        return L"not ended (it is not the process the tree was built from)";
    }
    if (calls.hasEnded(calls.context, member.process)) {
        return L"not ended (it has ended already)";
    }
    if (calls.isCritical(calls.context, member.process)) {
        return L"not ended (it is critical to the system)";
    }
    return nullptr;
}

}  // namespace

int endPrintedTree(ProcessTable* table, const std::vector<const ProcessRecord*>& members,
                   const EndRequest& request, const EndCalls& calls, ConsoleOutput* output)
{
    std::unordered_set<uint32_t> shell = shellAndAncestors(table, request.shellPid);
    for (const ProcessRecord* record : members) {
        if (shell.count(record->entry.th32ProcessID) != 0) {
            return SHELL_IN_TREE;
        }
    }

    // The report stands apart from the tree, as the count line does.
    if (printPaged(output, L"\n") == STOPPED) {
        return STOPPED;
    }
    std::vector<Member> checked;
    checked.reserve(members.size());
    uint32_t eligible = 0;
    wchar_t work[ERROR_TEXT_COUNT];
    for (const ProcessRecord* record : members) {
        Member member = {record, heldProcess(*table, *record), false, false, 0};
        const wchar_t* reason = reasonToLeave(table, member, calls, work);
        if (reason != nullptr && reportMember(member, request.flags, reason, output) == STOPPED) {
            return STOPPED;
        }
        member.eligible = reason == nullptr;
        eligible += member.eligible ? 1 : 0;
        checked.push_back(member);
    }

    if (eligible != 0 && request.askFirst) {
        wchar_t question[QUESTION_COUNT];
        (void)formatText(question, QUESTION_COUNT, L"End %u process%s? (Y/N) ", eligible, eligible == 1 ? L"" : L"es");
        if (!askYes(output, question)) {
            return STOPPED;
        }
    }

    // Leaves first: the printed order turned round puts every process after
    // all of its descendants, so none is left to be re-parented. No wait
    // between them, and no output: once begun, the ending is carried through
    // before a pause prompt in the report could stop anything.
    std::vector<HANDLE> ending;
    std::vector<size_t> endingMember;
    for (size_t i = checked.size(); i-- > 0;) {
        Member& member = checked[i];
        if (member.eligible) {
            member.endError = calls.terminate(calls.context, member.process);
            if (member.endError == 0) {
                ending.push_back(member.process);
                endingMember.push_back(i);
            }
        }
    }
    std::unique_ptr<bool[]> gone(new (std::nothrow) bool[ending.size() + 1]());
    if (!gone) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    calls.waitForEnd(calls.context, ending.data(), static_cast<uint32_t>(ending.size()), END_WAIT_MS, gone.get());
    uint32_t ended = 0;
    for (size_t j = 0; j < ending.size(); ++j) {
        checked[endingMember[j]].ended = gone[j];
        ended += gone[j] ? 1 : 0;
    }
    for (size_t i = checked.size(); i-- > 0;) {
        const Member& member = checked[i];
        if (!member.eligible || member.ended) {
            continue;
        }
        wchar_t text[ERROR_TEXT_COUNT];
        if (member.endError != 0) {
            (void)formatSystemError(member.endError, text);
        } else {
            copyText(text, ERROR_TEXT_COUNT, L"still running after 5 seconds");
        }
        if (reportMember(member, request.flags, text, output) == STOPPED) {
            return STOPPED;
        }
    }
    uint32_t all = static_cast<uint32_t>(members.size());
    if (printPaged(output, L"Ended %u of %u process%s.\n", ended, all, all == 1 ? L"" : L"es") == STOPPED) {
        return STOPPED;
    }
    return ended == all ? 0 : SOME_NOT_ENDED;
}
