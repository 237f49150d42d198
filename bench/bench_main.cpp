// kf_bench.exe: figures for KINFOLD, ANCESTRY, @ANCESTRY and @KINFOLD at scale, measured
// through the plugin DLL's exported entry points only, so that they stay
// comparable whatever happens inside the DLL. Prints figures; checks nothing.
//
//   kf_bench.exe [--max N] [--chain DEPTH] [--rounds N] [--tree DEPTH,FANOUT] [--no-synthetic]
//                [--no-real] [--plugin PATH]
//
// Synthetic tables: the DLL's imports of the toolhelp and process functions
// are patched to serve a table of N processes (see import_hooks.h), and a
// chain of DEPTH processes against a random table of as many. Real
// processes: a tree of kfnode.exe processes, with the real functions called
// through the same patched imports (counting OpenProcess), timed against
// floor.h's floor in interleaved rounds.
#include "floor.h"
#include "import_hooks.h"
#include "plugin_host.h"
#include "real_tree.h"
#include "synthetic_tables.h"

#include "../src/base/host_api.h"

#include <windows.h>
#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const uint32_t STANDARD_SIZES[] = {1000, 10000, 30000, 100000};
const uint32_t CHAIN_LENGTH = 5000;
// Repeats for the best time: up to this many calls, stopping once the next
// would take the time spent past the budget. Big tables get one call.
const int MAX_RUNS = 5;
const double RUN_BUDGET_SECONDS = 10.0;
// The real tree's start gives up when no node has reported for this long.
const DWORD TREE_STALL_MS = 60000;

// --chain's default: the largest table.
const uint32_t CHAIN_AS_LARGEST = UINT32_MAX;

struct Options {
    uint32_t maxSize = 100000;
    uint32_t chainDepth = CHAIN_AS_LARGEST;  // 0: no deep chain
    int rounds = 15;
    unsigned treeDepth = 4;
    unsigned treeFanout = 4;
    bool synthetic = true;
    bool real = true;
    std::wstring plugin;
};

HANDLE gReport = nullptr;

// The bench's own lines go straight to the standard output it started with
// (the plugin's go to files), unbuffered so a row shows as soon as it is known.
void say(const char* format, ...)
{
    char line[2048];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    DWORD written = 0;
    WriteFile(gReport, line, static_cast<DWORD>(std::min<size_t>(static_cast<size_t>(length), sizeof(line) - 1)),
              &written, nullptr);
}

double now()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string narrow(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(strlen(out.c_str()));
    return out;
}

std::wstring ownDirectory()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

bool parseOptions(int argc, wchar_t** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--max" && hasValue) {
            options->maxSize = static_cast<uint32_t>(wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--chain" && hasValue) {
            options->chainDepth = static_cast<uint32_t>(wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--rounds" && hasValue) {
            options->rounds = std::max(1, _wtoi(argv[++i]));
        } else if (arg == L"--tree" && hasValue) {
            if (swscanf(argv[++i], L"%u,%u", &options->treeDepth, &options->treeFanout) != 2) {
                return false;
            }
        } else if (arg == L"--plugin" && hasValue) {
            options->plugin = argv[++i];
        } else if (arg == L"--no-synthetic") {
            options->synthetic = false;
        } else if (arg == L"--no-real") {
            options->real = false;
        } else {
            return false;
        }
    }
    if (options->chainDepth == CHAIN_AS_LARGEST) {
        options->chainDepth = options->maxSize;
    }
    return (options->maxSize >= 1000 && options->chainDepth != 1) || !options->synthetic;
}

std::vector<std::string> gHooked;

bool patchPlugin(HMODULE plugin, std::wstring* error)
{
    std::string reason;
    if (!installImportHooks(plugin, &gHooked, &reason)) {
        *error = std::wstring(reason.begin(), reason.end());
        return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& names)
{
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string out;
    for (const std::string& name : sorted) {
        out += (out.empty() ? "" : " ") + name;
    }
    return out;
}

std::string wineVersion()
{
    typedef const char*(CDECL * WineVersionFn)(void);
    WineVersionFn version = reinterpret_cast<WineVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return version != nullptr ? std::string("Wine ") + version() : std::string("Windows");
}

// --- Synthetic tables -----------------------------------------------------

struct Measurement {
    double best = 0;     // wall-clock seconds of the fastest call
    double cpu = 0;      // this thread's processor seconds in that call
    double host = 0;     // of best, the host's writing of the lines
    int runs = 0;
    CallCounters counters = {};
    CallOutput output;
    std::wstring functionResult;
};

// User and kernel time of the calling thread, where the plugin runs: unlike
// the wall clock, it does not grow when other work shares the processors.
// Wine counts it in steps of 10 ms.
double threadSeconds()
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) {
        return 0;
    }
    uint64_t total = ((static_cast<uint64_t>(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime) +
                     ((static_cast<uint64_t>(user.dwHighDateTime) << 32) | user.dwLowDateTime);
    return static_cast<double>(total) / 1e7;
}

Measurement measure(PluginHost& host, const std::function<int(std::wstring*)>& call)
{
    Measurement m;
    double spent = 0;
    do {
        resetCallCounters();
        std::wstring result;
        double cpuStart = threadSeconds();
        double start = now();
        int rc = call(&result);
        double seconds = now() - start;
        double cpu = threadSeconds() - cpuStart;
        if (m.runs == 0) {
            m.counters = callCounters();
            m.output = host.lastOutput(rc);
            m.functionResult = result;
        }
        if (m.runs == 0 || seconds < m.best) {
            m.best = seconds;
            m.cpu = cpu;
            m.host = callCounters().outputSeconds;
        }
        spent += seconds;
        ++m.runs;
    } while (m.runs < MAX_RUNS && spent + m.best <= RUN_BUDGET_SECONDS);
    return m;
}

uint32_t wordCount(const std::wstring& text)
{
    uint32_t words = 0;
    bool inWord = false;
    for (wchar_t c : text) {
        bool blank = c == L' ';
        if (!blank && !inWord) {
            ++words;
        }
        inWord = !blank;
    }
    return words;
}

void printSyntheticHeader()
{
    say("%-15s %-13s %9s %8s %4s %12s %8s %10s %7s  %s\n", "table", "command", "seconds", "cpu s", "runs",
        "OpenProcess", "per proc", "heap peak", "B/proc", "output");
}

// One row; expectedLines 0 means the output is a function result, whose
// expectedMembers make up a whole (a chain, a tree).
void printRow(const SyntheticTable& table, const char* command, const Measurement& m, uint64_t expectedLines,
              uint32_t expectedMembers, const char* whole = "chain")
{
    double processes = static_cast<double>(table.processes.size());
    std::string output;
    std::string note;
    if (expectedLines != 0) {
        output = groupedNumber(m.output.lines) + " lines";
        if (m.output.lines != expectedLines) {
            note = "  (expected " + groupedNumber(expectedLines) + " lines)";
        }
    } else {
        uint32_t members = wordCount(m.functionResult);
        output = groupedNumber(members) + " PIDs";
        if (members != expectedMembers) {
            note = std::string("  (") + whole + " of " + groupedNumber(expectedMembers) + "; the result is cut at " +
                   std::to_string(HOST_BUFFER_COUNT) + " units)";
        }
    }
    if (m.output.result != 0) {
        note += "  result " + std::to_string(m.output.result);
    }
    if (!m.output.firstError.empty()) {
        note += "  stderr: " + m.output.firstError;
    }
    if (m.counters.snapshots == 0) {
        note += "  NO TOOLHELP SNAPSHOT: the table did not reach the plugin";
    }
    if (m.counters.commandLines != 0) {
        char perProcess[64];
        snprintf(perProcess, sizeof(perProcess), "  %.2f command lines read per process",
                 static_cast<double>(m.counters.commandLines) / processes);
        note += perProcess;
    }
    say("%-15s %-13s %9.4f %8.2f %4d %12s %8.2f %7.1f MB %7.0f  %s%s\n", table.label.c_str(), command, m.best,
        m.cpu, m.runs,
        groupedNumber(m.counters.openProcess).c_str(), static_cast<double>(m.counters.openProcess) / processes,
        static_cast<double>(m.counters.heapPeak) / (1024.0 * 1024.0),
        static_cast<double>(m.counters.heapPeak) / processes, output.c_str(), note.c_str());
}

struct TableFigures {
    uint32_t size;
    Measurement kinfold;
    Measurement sorted;
    Measurement wholeSystem;
    Measurement matches;
};

// The name one process in RARE_NAME_SPACING carries in the /ALL /ANC row.
const wchar_t RARE_NAME[] = L"kfmatch.exe";
const wchar_t RARE_PATTERN[] = L"kfmatch";
const uint32_t RARE_NAME_SPACING = 100;

SyntheticTable withRareName(const SyntheticTable& table)
{
    SyntheticTable renamed = table;
    for (size_t i = RARE_NAME_SPACING / 2; i < renamed.processes.size(); i += RARE_NAME_SPACING) {
        wcscpy(renamed.processes[i].entry.szExeFile, RARE_NAME);
    }
    return renamed;
}

// The lines of "kinfold PATTERN /ALL /ANC" over a table with one root: the
// empty line, the ancestors of every match and everything below them.
uint64_t matchTreeLines(const SyntheticTable& table)
{
    size_t count = table.processes.size();
    auto parentOf = [&table](size_t i) -> size_t {
        auto parent = table.indexByPid.find(table.processes[i].entry.th32ParentProcessID);
        return parent == table.indexByPid.end() || table.processes[i].entry.th32ParentProcessID == 0
                   ? SIZE_MAX
                   : parent->second;
    };
    auto isMatch = [&table](size_t i) { return wcscmp(table.processes[i].entry.szExeFile, RARE_NAME) == 0; };
    // 0 unknown, 1 below a match (or one), 2 not.
    std::vector<uint8_t> below(count, 0);
    std::vector<bool> shown(count, false);
    std::vector<size_t> walk;
    for (size_t i = 0; i < count; ++i) {
        walk.clear();
        size_t at = i;
        uint8_t answer = 2;
        while (at != SIZE_MAX && below[at] == 0) {
            if (isMatch(at)) {
                answer = 1;
                break;
            }
            walk.push_back(at);
            at = parentOf(at);
        }
        if (at != SIZE_MAX && below[at] != 0) {
            answer = below[at];
        }
        if (at != SIZE_MAX && isMatch(at)) {
            below[at] = 1;
        }
        for (size_t node : walk) {
            below[node] = answer;
        }
        if (isMatch(i)) {
            for (size_t up = i; up != SIZE_MAX && !shown[up]; up = parentOf(up)) {
                shown[up] = true;
            }
        }
    }
    uint64_t lines = 1;
    for (size_t i = 0; i < count; ++i) {
        lines += (shown[i] || below[i] == 1) ? 1 : 0;
    }
    return lines;
}

TableFigures benchTable(PluginHost& host, const SyntheticTable& table)
{
    serveSyntheticTable(&table);
    uint64_t treeLines = table.processes.size() + 1;  // an empty line comes first
    std::wstring root = std::to_wstring(table.rootPid);
    std::wstring deepest = std::to_wstring(table.deepestPid);
    TableFigures figures;
    figures.size = static_cast<uint32_t>(table.processes.size());

    figures.kinfold = measure(host, [&](std::wstring*) { return host.command(L"kinfold", root); });
    printRow(table, "kinfold", figures.kinfold, treeLines, 0);
    figures.sorted = measure(host, [&](std::wstring*) { return host.command(L"kinfold", L"/O:N " + root); });
    printRow(table, "kinfold /O:N", figures.sorted, treeLines, 0);
    // The two texts a line can read beside its name, with the one opening.
    Measurement paths = measure(host, [&](std::wstring*) { return host.command(L"kinfold", L"/F " + root); });
    printRow(table, "kinfold /F", paths, treeLines, 0);
    Measurement commandLines = measure(host, [&](std::wstring*) { return host.command(L"kinfold", L"/CMD " + root); });
    printRow(table, "kinfold /CMD", commandLines, treeLines, 0);
    Measurement chain = measure(host, [&](std::wstring*) { return host.command(L"ancestry", deepest); });
    printRow(table, "ancestry", chain, table.deepestDepth + 1, 0);
    Measurement function = measure(host, [&](std::wstring* result) {
        return host.ancestryFunction(deepest, result);
    });
    printRow(table, "@ancestry", function, 0, table.deepestDepth + 1);
    Measurement descendants = measure(host, [&](std::wstring* result) {
        return host.kinfoldFunction(root, result);
    });
    printRow(table, "@kinfold", descendants, 0, figures.size, "tree");
    figures.wholeSystem = measure(host, [&](std::wstring*) { return host.command(L"kinfold", L"/ALL"); });
    printRow(table, "kinfold /ALL", figures.wholeSystem, treeLines, 0);
    SyntheticTable rare = withRareName(table);
    serveSyntheticTable(&rare);
    std::wstring matchArguments = std::wstring(RARE_PATTERN) + L" /ALL /ANC";
    figures.matches = measure(host, [&](std::wstring*) { return host.command(L"kinfold", matchArguments); });
    printRow(rare, "P /ALL /ANC", figures.matches, matchTreeLines(rare), 0);
    serveSyntheticTable(nullptr);
    return figures;
}

double growthExponent(double small, uint32_t smallSize, double big, uint32_t bigSize)
{
    if (small <= 0 || big <= 0) {
        return 0;
    }
    return log(big / small) / log(static_cast<double>(bigSize) / smallSize);
}

// One line of growth exponents for two rows, from wall and from cpu seconds.
void printGrowth(const TableFigures& small, const TableFigures& big, const char* firstName,
                 Measurement TableFigures::*first, const char* secondName, Measurement TableFigures::*second)
{
    say("Growth exponent between %s and %s processes (random), from seconds (from cpu s): %s %.2f (%.2f), "
        "%s %.2f (%.2f)\n",
        groupedNumber(small.size).c_str(), groupedNumber(big.size).c_str(), firstName,
        growthExponent((small.*first).best, small.size, (big.*first).best, big.size),
        growthExponent((small.*first).cpu, small.size, (big.*first).cpu, big.size), secondName,
        growthExponent((small.*second).best, small.size, (big.*second).best, big.size),
        growthExponent((small.*second).cpu, small.size, (big.*second).cpu, big.size));
}

// The first call of each kind pays for loading and first use (the service
// manager's connection, pages of code): not what the rows are about.
void warmUp(PluginHost& host)
{
    SyntheticTable table = randomTable(100);
    serveSyntheticTable(&table);
    host.command(L"kinfold", std::to_wstring(table.rootPid));
    host.command(L"kinfold", L"/O:N " + std::to_wstring(table.rootPid));
    host.command(L"ancestry", std::to_wstring(table.deepestPid));
    std::wstring result;
    host.ancestryFunction(std::to_wstring(table.deepestPid), &result);
    host.kinfoldFunction(std::to_wstring(table.rootPid), &result);
    host.command(L"kinfold", L"/ALL");
    serveSyntheticTable(nullptr);
}

void benchSynthetic(PluginHost& host, const Options& options)
{
    std::vector<uint32_t> sizes;
    for (uint32_t size : STANDARD_SIZES) {
        if (size < options.maxSize) {
            sizes.push_back(size);
        }
    }
    sizes.push_back(options.maxSize);
    uint32_t largest = sizes.back();

    say("\nSynthetic process tables served through the plugin's patched toolhelp and process imports\n");
    say("(random: each process's parent picked among older ones; star: one root with all others its children;\n"
        "chain: each process the only child of the one before). kinfold and @kinfold run on the root, ancestry\n"
        "and @ancestry on the deepest process. seconds: best of up to %d calls within %.0f s (wall clock), with\n"
        "the processor time of that call; OpenProcess: calls in one call, and per process of the table; heap\n"
        "peak: the most the plugin's own allocations held at once during one call, and per process.\n\n",
        MAX_RUNS, RUN_BUDGET_SECONDS);
    say("kinfold /ALL: the whole system. P /ALL /ANC: \"kinfold kfmatch /ALL /ANC\" over the same table with one\n"
        "process in %u renamed kfmatch.exe.\n\n",
        RARE_NAME_SPACING);
    warmUp(host);
    printSyntheticHeader();

    std::vector<TableFigures> random;
    for (uint32_t size : sizes) {
        SyntheticTable table = randomTable(size);
        random.push_back(benchTable(host, table));
    }
    {
        SyntheticTable table = starTable(largest);
        benchTable(host, table);
    }
    {
        SyntheticTable table = chainTable(std::min(CHAIN_LENGTH, largest));
        benchTable(host, table);
    }

    const TableFigures* tenThousand = nullptr;
    for (const TableFigures& figures : random) {
        if (figures.size == 10000) {
            tenThousand = &figures;
        }
    }
    const TableFigures& top = random.back();
    say("\n");
    if (tenThousand != nullptr && top.size > tenThousand->size) {
        printGrowth(*tenThousand, top, "kinfold", &TableFigures::kinfold, "kinfold /O:N", &TableFigures::sorted);
        printGrowth(*tenThousand, top, "kinfold /ALL", &TableFigures::wholeSystem, "P /ALL /ANC",
                    &TableFigures::matches);
    }
    say("Peak heap at %s processes (random): kinfold %.1f MB (%.0f bytes per process), kinfold /O:N %.1f MB "
        "(%.0f bytes per process)\n",
        groupedNumber(top.size).c_str(), top.kinfold.counters.heapPeak / (1024.0 * 1024.0),
        static_cast<double>(top.kinfold.counters.heapPeak) / top.size,
        top.sorted.counters.heapPeak / (1024.0 * 1024.0), static_cast<double>(top.sorted.counters.heapPeak) / top.size);
}

// --- A deep chain against a random table of as many -------------------------

// "1.23x", or "-" when either figure is too small to divide by (Wine counts
// processor time in steps of 10 ms).
std::string ratioText(double chain, double random)
{
    if (chain <= 0 || random <= 0) {
        return "-";
    }
    char text[32];
    snprintf(text, sizeof(text), "%.2fx", chain / random);
    return text;
}

// The commands that walk the whole tree down from the root (or from every
// root), where depth could cost more than breadth.
struct TreeWalk {
    const char* label;
    bool function;  // its output is a function result, not lines
    int (*call)(PluginHost& host, const SyntheticTable& table, std::wstring* result);
};

const TreeWalk TREE_WALKS[] = {
    {"kinfold", false,
     [](PluginHost& host, const SyntheticTable& table, std::wstring*) {
         return host.command(L"kinfold", std::to_wstring(table.rootPid));
     }},
    {"kinfold /ALL", false,
     [](PluginHost& host, const SyntheticTable&, std::wstring*) { return host.command(L"kinfold", L"/ALL"); }},
    {"@kinfold", true,
     [](PluginHost& host, const SyntheticTable& table, std::wstring* result) {
         return host.kinfoldFunction(std::to_wstring(table.rootPid), result);
     }},
    // /SUM walks the whole tree into a list and sums it before the first
    // line: against /M, which reads the same facts, that is its whole cost.
    {"kinfold /M", false,
     [](PluginHost& host, const SyntheticTable& table, std::wstring*) {
         return host.command(L"kinfold", L"/M " + std::to_wstring(table.rootPid));
     }},
    {"kinfold /SUM", false,
     [](PluginHost& host, const SyntheticTable& table, std::wstring*) {
         return host.command(L"kinfold", L"/SUM " + std::to_wstring(table.rootPid));
     }},
};
const size_t TREE_WALK_COUNT = sizeof(TREE_WALKS) / sizeof(TREE_WALKS[0]);

// Each walk on the random table and then on the chain, back to back, so that
// both rows of a pair see the same load on the machine.
void benchDeepChain(PluginHost& host, uint32_t depth)
{
    say("\nA chain of %s processes (each the only child of the one before) against a random table of as many,\n"
        "each command measured on the random table and then on the chain. A walk that recursed once per level\n"
        "would overflow the thread's stack on a deep chain and end the bench here (--chain 0 leaves these rows out).\n\n",
        groupedNumber(depth).c_str());
    printSyntheticHeader();
    const SyntheticTable random = randomTable(depth);
    const SyntheticTable chain = chainTable(depth);
    std::string ratios;
    std::string pluginRatios;
    Measurement all[TREE_WALK_COUNT][2];
    for (size_t w = 0; w < TREE_WALK_COUNT; ++w) {
        const TreeWalk& walk = TREE_WALKS[w];
        Measurement* figures = all[w];
        const SyntheticTable* tables[2] = {&random, &chain};
        for (int i = 0; i < 2; ++i) {
            const SyntheticTable& table = *tables[i];
            serveSyntheticTable(&table);
            figures[i] = measure(host, [&](std::wstring* result) { return walk.call(host, table, result); });
            printRow(table, walk.label, figures[i], walk.function ? 0 : depth + 1, walk.function ? depth : 0, "tree");
        }
        ratios += std::string(ratios.empty() ? "" : ", ") + walk.label + " " +
                  ratioText(figures[1].best, figures[0].best) + " (" + ratioText(figures[1].cpu, figures[0].cpu) + ")";
        pluginRatios += std::string(pluginRatios.empty() ? "" : ", ") + walk.label + " " +
                        ratioText(figures[1].best - figures[1].host, figures[0].best - figures[0].host);
    }
    serveSyntheticTable(nullptr);
    say("\nChain against random at %s processes, from seconds (from cpu s): %s\n", groupedNumber(depth).c_str(),
        ratios.c_str());
    // Each line of the chain carries an indent of 1,023 units: some 25 times
    // the random tree's output, which the host has to write.
    say("The same without the host's writing of the lines (the plugin's own seconds): %s\n", pluginRatios.c_str());
    const Measurement* memory = all[TREE_WALK_COUNT - 2];
    const Measurement* sums = all[TREE_WALK_COUNT - 1];
    say("kinfold /SUM against kinfold /M, from seconds (from cpu s): random %s (%s), chain %s (%s)\n",
        ratioText(sums[0].best, memory[0].best).c_str(), ratioText(sums[0].cpu, memory[0].cpu).c_str(),
        ratioText(sums[1].best, memory[1].best).c_str(), ratioText(sums[1].cpu, memory[1].cpu).c_str());
}

// --- Real processes -------------------------------------------------------

struct RealMode {
    const char* label;
    const wchar_t* options;
    FloorColumns floor;
};

const RealMode REAL_MODES[] = {
    {"kinfold", L"", FloorColumns::Plain},
    {"kinfold /M /I /C /T", L"/M /I /C /T ", FloorColumns::Details},
    {"kinfold /F", L"/F ", FloorColumns::ImagePath},
};
const size_t REAL_MODE_COUNT = sizeof(REAL_MODES) / sizeof(REAL_MODES[0]);

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : (n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

void benchReal(PluginHost& host, const Options& options)
{
    std::wstring node = ownDirectory() + L"kfnode.exe";
    RealTree tree;
    std::wstring error;
    say("\nReal processes: a tree of kfnode.exe processes started by the bench (depth %u, %u children each)\n",
        options.treeDepth, options.treeFanout);
    double startedAt = now();
    if (!tree.start(node, options.treeDepth, options.treeFanout, TREE_STALL_MS, &error)) {
        say("  could not start the tree: %s\n", narrow(error).c_str());
        return;
    }
    serveSyntheticTable(nullptr);
    FloorFigures seen = runFloor(FloorColumns::Plain, tree.rootPid());
    say("%s processes in the tree, started in %.1f s; %s processes in a snapshot; root PID %u\n\n",
        groupedNumber(tree.size()).c_str(), now() - startedAt, groupedNumber(seen.processes).c_str(),
        tree.rootPid());

    std::vector<std::wstring> arguments;
    say("OpenProcess calls in one call on the tree's root (the real functions called through the patched imports):\n");
    say("%-21s %12s %10s %12s %12s\n", "command", "OpenProcess", "processes", "per process", "lines");
    for (const RealMode& mode : REAL_MODES) {
        arguments.push_back(std::wstring(mode.options) + std::to_wstring(tree.rootPid()));
        resetCallCounters();
        int rc = host.command(L"kinfold", arguments.back());
        CallCounters counters = callCounters();
        CallOutput output = host.lastOutput(rc);
        FloorFigures floor = runFloor(mode.floor, tree.rootPid());
        std::string note = rc != 0 ? "  result " + std::to_string(rc) + " " + output.firstError : "";
        say("%-21s %12s %10s %12.2f %12s%s\n", mode.label, groupedNumber(counters.openProcess).c_str(),
            groupedNumber(floor.processes).c_str(),
            static_cast<double>(counters.openProcess) / std::max<uint32_t>(1, floor.processes),
            groupedNumber(output.lines).c_str(), note.c_str());
    }

    say("\nAgainst the floor: one snapshot, each process opened once (creation time), only the queries the\n"
        "printed columns need (/M /I /C /T: memory counters, token elevation, priority, IsWow64Process;\n"
        "/F: image path), plus service names and window titles (\"of which\"); it prints nothing. %d\n"
        "interleaved rounds (floor, plugin, floor, plugin, ...); medians. The plugin's output goes to a file\n"
        "through the stand-in host, whose QPuts and CrLf take the \"host output\" time.\n",
        options.rounds);
    say("%-21s %9s %9s %10s %12s %7s %12s %14s\n", "command", "floor ms", "of which", "plugin ms", "host output",
        "ratio", "ratio range", "ratio w/o host");
    std::vector<double> floorTimes[REAL_MODE_COUNT];
    std::vector<double> sourceTimes[REAL_MODE_COUNT];
    std::vector<double> pluginTimes[REAL_MODE_COUNT];
    std::vector<double> outputTimes[REAL_MODE_COUNT];
    std::vector<double> ratios[REAL_MODE_COUNT];
    std::vector<double> ratiosWithoutOutput[REAL_MODE_COUNT];
    for (int round = 0; round < options.rounds; ++round) {
        for (size_t i = 0; i < REAL_MODE_COUNT; ++i) {
            double start = now();
            FloorFigures floor = runFloor(REAL_MODES[i].floor, tree.rootPid());
            double floorSeconds = now() - start;
            resetCallCounters();
            start = now();
            host.command(L"kinfold", arguments[i]);
            double pluginSeconds = now() - start;
            double outputSeconds = callCounters().outputSeconds;
            floorTimes[i].push_back(floorSeconds);
            sourceTimes[i].push_back(floor.displaySourceSeconds);
            pluginTimes[i].push_back(pluginSeconds);
            outputTimes[i].push_back(outputSeconds);
            ratios[i].push_back(pluginSeconds / floorSeconds);
            ratiosWithoutOutput[i].push_back((pluginSeconds - outputSeconds) / floorSeconds);
        }
    }
    for (size_t i = 0; i < REAL_MODE_COUNT; ++i) {
        say("%-21s %9.1f %9.1f %10.1f %12.1f %7.2f %5.2f-%-6.2f %14.2f\n", REAL_MODES[i].label,
            median(floorTimes[i]) * 1000.0, median(sourceTimes[i]) * 1000.0, median(pluginTimes[i]) * 1000.0,
            median(outputTimes[i]) * 1000.0, median(ratios[i]), *std::min_element(ratios[i].begin(), ratios[i].end()),
            *std::max_element(ratios[i].begin(), ratios[i].end()), median(ratiosWithoutOutput[i]));
    }
    tree.stop();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    gReport = GetStdHandle(STD_OUTPUT_HANDLE);
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        say("usage: kf_bench [--max N (1000 or more)] [--chain DEPTH (0 for none, else 2 or more)] [--rounds N] "
            "[--tree DEPTH,FANOUT] [--no-synthetic] [--no-real] [--plugin PATH]\n");
        return 2;
    }
    std::wstring dll = fullPath(options.plugin.empty()
                                    ? ownDirectory() + L"..\\" + (sizeof(void*) == 8 ? L"Kinfold-x64.dll" : L"Kinfold-x86.dll")
                                    : options.plugin);
    PluginHost host;
    std::wstring error;
    if (!host.load(dll, ownDirectory(), patchPlugin, &error)) {
        say("kf_bench: %s\n", narrow(error).c_str());
        return 2;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    SYSTEMTIME time;
    GetLocalTime(&time);
    say("Kinfold bench, %04u-%02u-%02u %02u:%02u; %s, %lu processors; %s\n", time.wYear, time.wMonth, time.wDay,
        time.wHour, time.wMinute, wineVersion().c_str(), system.dwNumberOfProcessors, narrow(dll).c_str());
    say("Patched imports of the plugin: %s\n", joined(gHooked).c_str());
    std::vector<std::string> unfaked = unfakedProcessImports(host.module());
    if (!unfaked.empty()) {
        say("WARNING: the plugin also imports %s, which the synthetic tables do not fake\n", joined(unfaked).c_str());
    }
    if (options.synthetic) {
        benchSynthetic(host, options);
        if (options.chainDepth > 0) {
            benchDeepChain(host, options.chainDepth);
        }
    }
    if (options.real) {
        benchReal(host, options);
    }
    return 0;
}
