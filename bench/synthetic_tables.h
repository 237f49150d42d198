// Synthetic process tables for the bench: what the faked toolhelp and process
// functions serve to the plugin in place of the running system.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <string>
#include <unordered_map>
#include <vector>

struct SyntheticProcess {
    PROCESSENTRY32W entry;
    uint64_t creationTime;  // 100-ns units, as FILETIME
    SIZE_T workingSet;
    DWORD priorityClass;
    bool elevated;
    bool wow64;
};

struct SyntheticTable {
    std::string label;                       // "random 10,000" and the like
    std::vector<SyntheticProcess> processes;  // in snapshot order
    std::unordered_map<uint32_t, uint32_t> indexByPid;
    uint32_t rootPid;
    uint32_t deepestPid;  // the first process of greatest depth below the root
    uint32_t deepestDepth;  // links from it up to the root
};

// count processes; every process but the root has a parent created before
// it, picked at random among the earlier ones.
SyntheticTable randomTable(uint32_t count);
// One root and count - 1 children of it.
SyntheticTable starTable(uint32_t count);
// Each process the only child of the one before: count - 1 links deep.
SyntheticTable chainTable(uint32_t count);

// "1,000" and the like.
std::string groupedNumber(uint64_t value);
