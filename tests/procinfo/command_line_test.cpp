// The command-line reader over a fake system whose memory may lie. A Fake's
// address is the handle the fake calls get.
#include "procinfo/command_line.h"
#include "procinfo/process_access.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const LONG REFUSED = static_cast<LONG>(0xC0000003);  // STATUS_INVALID_INFO_CLASS, Wine 8's answer to class 60

struct Fake {
    LONG classStatus = REFUSED;
    std::wstring classText;   // class 60's answer when classStatus is 0
    intptr_t classShift = 0;  // a lie: moves the answer's pointer off its text
    uint64_t peb = 0;
    bool vmRead = true;
    int reads = 0;
    std::map<uint64_t, std::string> memory;  // mapped blocks by address
    // Like ReadProcessMemory, leaves behind what it copied before the gap.
    bool read(uint64_t at, void* to, uint64_t bytes)
    {
        ++reads;
        auto block = memory.upper_bound(at);
        if (!vmRead || block == memory.begin() || (--block, at - block->first >= block->second.size())) return false;
        uint64_t have = block->second.size() - (at - block->first);
        memcpy(to, block->second.data() + (at - block->first), static_cast<size_t>(std::min(bytes, have)));
        return bytes <= have;
    }
};
Fake* fake(HANDLE process) { return reinterpret_cast<Fake*>(process); }

// Native ProcessBasicInformation and class 60 with Word = ULONG_PTR; WOW64's 64-bit query with uint64_t.
template <typename Word>
LONG NTAPI fakeQuery(HANDLE process, ULONG infoClass, void* out, ULONG bytes, ULONG* returned)
{
    Fake* p = fake(process);
    Word basic[6] = {0, static_cast<Word>(p->peb)};
    if (infoClass == 0) {
        memcpy(out, basic, sizeof(basic));
        return 0;
    }
    if (p->classStatus != 0) return p->classStatus;
    ULONG textBytes = static_cast<ULONG>(p->classText.size() * 2);
    *returned = sizeof(CountedText) + textBytes + 2;
    if (bytes < *returned) return static_cast<LONG>(0xC0000004);  // STATUS_INFO_LENGTH_MISMATCH
    CountedText line = {static_cast<uint16_t>(textBytes), static_cast<uint16_t>(textBytes + 2),
                        reinterpret_cast<wchar_t*>(static_cast<char*>(out) + sizeof(line) + p->classShift)};
    memcpy(out, &line, sizeof(line));
    memcpy(static_cast<char*>(out) + sizeof(line), p->classText.c_str(), textBytes + 2);
    return 0;
}
BOOL WINAPI fakeRead(HANDLE process, const void* at, void* to, SIZE_T bytes, SIZE_T* got)
{
    *got = bytes;
    return fake(process)->read(reinterpret_cast<uintptr_t>(at), to, bytes);
}
LONG NTAPI fakeRead64(HANDLE process, uint64_t at, void* to, uint64_t bytes, uint64_t* got)
{
    *got = bytes;
    return fake(process)->read(at, to, bytes) ? 0 : static_cast<LONG>(0x8000000D);
}
// The x86 tests run under WOW64 with 32-bit processes, as under Wine.
BOOL WINAPI fakeIsWow64(HANDLE, BOOL* wow64)
{
    *wow64 = sizeof(void*) == 4;
    return TRUE;
}
const CommandLineCalls FAKE = {fakeQuery<ULONG_PTR>, fakeRead, fakeIsWow64, fakeQuery<uint64_t>, fakeRead64};
const PebLayout NATIVE = sizeof(void*) == 8 ? PEB_NATIVE64 : PEB_NATIVE32;

// A PEB whose CommandLine claims length bytes (maximum of room) where text is
// mapped; above 4 GiB where 64-bit addresses must stay whole.
void placePeb(Fake* p, PebLayout layout, const std::wstring& text, int length = -1, int maximum = -1,
              bool nullBuffer = false)
{
    bool is64 = layout != PEB_NATIVE32;
    uint64_t base = layout == PEB_WOW64_64 || (is64 && sizeof(void*) == 8) ? 0x7FF600000000ull : 0;
    uint64_t parameters = base + 0x20000, buffer = nullBuffer ? 0 : base + 0x30000;
    uint16_t sizes[2] = {static_cast<uint16_t>(length < 0 ? text.size() * 2 : length),
                         static_cast<uint16_t>(maximum < 0 ? text.size() * 2 + 2 : maximum)};
    std::string peb(0x40, '\0'), block(0x90, '\0');
    memcpy(&peb[is64 ? 0x20 : 0x10], &parameters, is64 ? 8 : 4);
    memcpy(&block[is64 ? 0x70 : 0x40], sizes, 4);
    memcpy(&block[is64 ? 0x78 : 0x44], &buffer, is64 ? 8 : 4);
    p->peb = base + 0x7FFD0000;
    std::string mapped(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    p->memory = {{p->peb, peb}, {parameters, block}, {base + 0x30000, mapped}};
}

// Reads into count units and guard units behind them: "(overrun)" when a
// guard changed or no terminator lies inside.
template <typename Read>
std::wstring bounded(uint32_t count, int* result, Read read)
{
    std::vector<wchar_t> units(count + 4, 0xBEEF);
    *result = read(units.data(), count);
    size_t length = wcsnlen(units.data(), count);
    bool guarded = std::count(units.begin() + count, units.end(), 0xBEEF) == 4;
    return length < count && guarded ? std::wstring(units.data(), length) : L"(overrun)";
}

// Catches: the x86 DLL reading a 64-bit PEB with its own layout, or guessing one.
TEST(CommandLine, LayoutByBitness)
{
    struct Case { bool dll64, callerWow64, targetKnown, targetWow64; PebLayout layout; };
    for (const Case& c : {Case{true, false, true, true, PEB_NATIVE64}, Case{false, false, false, false, PEB_NATIVE32},
                          Case{false, true, true, true, PEB_NATIVE32}, Case{false, true, true, false, PEB_WOW64_64},
                          Case{false, true, false, false, PEB_NONE}}) {
        EXPECT_EQ(c.layout, pebLayoutFor(c.dll64, c.callerWow64, c.targetKnown, c.targetWow64)) << c.layout;
    }
}

// Route 1, and its hand-over to the PEB. Catches: no second ask after a
// length mismatch, an answer's stray pointer followed, a refusal not handed
// over, a PEB read although the system answered, controls left in.
TEST(CommandLine, SystemQueryAnswersOrHandsOver)
{
    struct Case {
        LONG status; std::wstring answer; intptr_t shift; bool vmRead;
        uint32_t count; int result; std::wstring expected;
    };
    const std::wstring PEB_TEXT = L"peb", LONG_TEXT(2000, L'x'), LONGEST(32767, L'y');
    const Case cases[] = {
        {0, L"a\tb\r\nc", 0, true, 100, COMMAND_LINE_WHOLE, L"a b  c"},
        {0, LONG_TEXT, 0, true, COMMAND_LINE_COUNT, COMMAND_LINE_WHOLE, LONG_TEXT},
        {0, LONGEST, 0, true, COMMAND_LINE_COUNT, COMMAND_LINE_WHOLE, LONGEST},
        {0, L"0123456789", 0, true, 5, COMMAND_LINE_CUT, L"0123"},
        {0, L"abc", 4096, true, 100, COMMAND_LINE_WHOLE, PEB_TEXT},
        {REFUSED, L"", 0, true, 100, COMMAND_LINE_WHOLE, PEB_TEXT},
        {REFUSED, L"", 0, false, 100, COMMAND_LINE_NONE, L""},        // a protected process
        {0, L"csrss.exe", 0, false, 100, COMMAND_LINE_WHOLE, L"csrss.exe"},  // needs no VM_READ
    };
    for (const Case& c : cases) {
        Fake p;
        placePeb(&p, NATIVE, PEB_TEXT);
        p.classStatus = c.status, p.classText = c.answer, p.classShift = c.shift, p.vmRead = c.vmRead;
        int result = -1;
        auto read = [&](wchar_t* text, uint32_t count) { return readCommandLine(FAKE, &p, text, count); };
        EXPECT_EQ(c.expected, bounded(c.count, &result, read));
        EXPECT_EQ(c.result, result) << c.expected.size();
        EXPECT_EQ(c.status != 0 || c.shift != 0, p.reads > 0);
    }
}

// Routes 2 and 3 in each layout, truthful and lying. Catches: the odd,
// oversized or pointerless checks dropped, a read past the caller's count, a
// cut inside a surrogate pair, a failed read's remains shown, an address cut
// to 32 bits, wrong offsets. (Missing WOW64 calls: the x86 system test.)
TEST(CommandLine, PebAnswersAndLies)
{
    struct Case {
        std::wstring text; int length, maximum; bool nullBuffer; uint32_t count; int result; std::wstring expected;
    };
    const Case cases[] = {
        {L"p \"a b\"\tc", -1, -1, false, 100, COMMAND_LINE_WHOLE, L"p \"a b\" c"},
        {L"0123456789", -1, -1, false, 4, COMMAND_LINE_CUT, L"012"},
        {L"ab\xD83D\xDE00", -1, -1, false, 4, COMMAND_LINE_CUT, L"ab"},
        {L"abcdef", 7, 20, false, 100, COMMAND_LINE_NONE, L""},
        {L"abcdef", 12, 10, false, 100, COMMAND_LINE_NONE, L""},
        {L"abcdef", 0xFFFE, 0xFFFE, false, COMMAND_LINE_COUNT, COMMAND_LINE_NONE, L""},
        {L"abcdef", 0xFFFE, 0xFFFE, false, 5, COMMAND_LINE_CUT, L"abcd"},
        {L"abc", 0, 8, false, 100, COMMAND_LINE_WHOLE, L""},
        {L"abc", -1, -1, true, 100, COMMAND_LINE_NONE, L""},
        {L"", 6, 8, false, 100, COMMAND_LINE_NONE, L""},
    };
    for (PebLayout layout : {PEB_NATIVE32, PEB_NATIVE64, PEB_WOW64_64}) {
        for (const Case& c : cases) {
            Fake p;
            placePeb(&p, layout, c.text, c.length, c.maximum, c.nullBuffer);
            int result = -1;
            auto read = [&](wchar_t* text, uint32_t n) { return readPebCommandLine(FAKE, &p, layout, text, n); };
            EXPECT_EQ(c.expected, bounded(c.count, &result, read)) << layout;
            EXPECT_EQ(c.result, result) << layout << " " << c.text.size();
        }
    }
}

std::vector<DWORD> gOpens;
HANDLE WINAPI openRefusingVmRead(DWORD access, BOOL, DWORD pid)
{
    gOpens.push_back(access);
    if (pid == 0 || (access & PROCESS_VM_READ)) {
        SetLastError(pid == 0 ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);  // gone, or protected
        return NULL;
    }
    return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
}

// Catches: a protected process not opened again without VM_READ (its row
// would lose every fact), the refusal not reported (its text would be read
// through a handle that cannot), and a second try for a process that is gone.
TEST(CommandLine, OpeningRetriesOnlyARefusedReadRight)
{
    DWORD refused = 0;
    EXPECT_TRUE(openProcessWith(openRefusingVmRead, 1234, PROCESS_VM_READ, &refused).valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), refused);
    ASSERT_EQ(2u, gOpens.size());
    EXPECT_TRUE((gOpens[0] & PROCESS_VM_READ) && !(gOpens[1] & PROCESS_VM_READ));
    EXPECT_FALSE(openProcessWith(openRefusingVmRead, 0, PROCESS_VM_READ, &refused).valid());
    EXPECT_EQ(3u, gOpens.size());
}

}  // namespace
