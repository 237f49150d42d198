// The process information layer against real processes under Wine: a known
// tree started by the test (see support/process_tree.h), services.exe and its
// service hosts, and the test process itself.
#include "plugin/plugin.h"
#include "procinfo/ancestor_chain.h"
#include "procinfo/process_access.h"
#include "procinfo/names.h"
#include "base/unique_handle.h"
#include "procinfo/process_table.h"
#include "process_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

typedef std::set<uint32_t> Pids;

const unsigned DETAILS = 1, NO_SERVICES = 2, NO_TITLES = 4;

// Owns a built table for one test; what the test looks at is read as a
// command would read it.
struct BuiltTable {
    ProcessTable table;
    int result = -2;
    explicit BuiltTable(unsigned what)
    {
        OSVERSIONINFOEXW version;
        readWindowsVersion(&version);
        gProcessAccess.windowsMajorVersion = version.dwMajorVersion;
        TableOptions options = {(what & DETAILS) != 0, false, (what & NO_SERVICES) == 0, (what & NO_TITLES) == 0};
        result = buildProcessTable(options, &table);
    }
    const ProcessRecord* find(uint32_t pid) { return findRecordByPid(table, pid); }
    const ProcessDetails& details(uint32_t pid) { return *recordDetails(table, *findRecordByPid(table, pid)); }
    uint32_t parentOf(uint32_t pid) { return validatedParentPid(table, *findRecordByPid(table, pid)); }
    Pids childrenOf(uint32_t pid)
    {
        std::vector<const ProcessRecord*> children(childCandidates(table, pid) + 1);
        uint32_t n = collectChildren(table, pid, children.data(), static_cast<uint32_t>(children.size()));
        Pids pids;
        for (uint32_t i = 0; i < n; ++i) pids.insert(children[i]->entry.th32ProcessID);
        return pids;
    }
    const ProcessRecord* findDisplayName(const wchar_t* part) const
    {
        for (uint32_t i = 0; i < table.count; ++i) {
            const wchar_t* name = table.records[i].displayName;
            if (name != NULL && wcsstr(name, part) != NULL) return &table.records[i];
        }
        return NULL;
    }
};

// A chain with its name table.
struct Ancestry {
    AncestorChain chain;
    int result;
    explicit Ancestry(uint32_t pid) { result = getAncestorChain(pid, true, NULL, NULL, &chain); }
};

class ProcessTreeSystem : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tree.start()) << std::string(tree.error().begin(), tree.error().end()); }
    ProcessTree tree;
};

TEST_F(ProcessTreeSystem, TableHoldsExactlyTheStartedTreeWithParentsAndDetails)
{
    {
        UniqueProcessHandle leaf(OpenProcess(PROCESS_SET_INFORMATION, FALSE, tree.pid(TREE_LEAF)));
        ASSERT_TRUE(SetPriorityClass(leaf.get(), BELOW_NORMAL_PRIORITY_CLASS));
    }
    BuiltTable built(DETAILS);
    ASSERT_EQ(0, built.result);
    for (TreeRole role : {TREE_ROOT, TREE_BRANCH, TREE_LEAF, TREE_WINDOW}) {
        const ProcessRecord* record = built.find(tree.pid(role));
        ASSERT_NE(nullptr, record) << "role " << role;
        EXPECT_STREQ(ProcessTree::programName(role), record->entry.szExeFile);
        EXPECT_EQ(tree.parentPid(role), built.parentOf(tree.pid(role))) << "role " << role;
        const ProcessDetails& details = built.details(tree.pid(role));
        EXPECT_NE(0u, details.workingSetSize);
        // The tree is built like this test: in the x86 build it runs as
        // 32-bit processes on (Wine's) 64-bit Windows, in the x64 build as 64-bit.
        EXPECT_EQ(sizeof(void*) == 4, details.is32Bit) << "role " << role;
    }
    uint64_t rootTime = built.details(tree.pid(TREE_ROOT)).creationTime;
    uint64_t leafTime = built.details(tree.pid(TREE_LEAF)).creationTime;
    EXPECT_TRUE(rootTime != 0 && rootTime <= leafTime) << rootTime << " " << leafTime;
    EXPECT_EQ(3, built.details(tree.pid(TREE_ROOT)).priorityIndex);
    EXPECT_EQ(2, built.details(tree.pid(TREE_LEAF)).priorityIndex);

    EXPECT_EQ((Pids{tree.pid(TREE_ROOT)}), built.childrenOf(GetCurrentProcessId()));
    EXPECT_EQ((Pids{tree.pid(TREE_BRANCH), tree.pid(TREE_WINDOW)}), built.childrenOf(tree.pid(TREE_ROOT)));
    EXPECT_EQ((Pids{tree.pid(TREE_LEAF)}), built.childrenOf(tree.pid(TREE_BRANCH)));
    EXPECT_TRUE(built.childrenOf(tree.pid(TREE_LEAF)).empty());
    // Wine starts its desktop process (explorer.exe /desktop) as a child of
    // the first process that creates a window; nothing else may appear.
    for (uint32_t child : built.childrenOf(tree.pid(TREE_WINDOW))) {
        EXPECT_STREQ(L"explorer.exe", built.find(child)->entry.szExeFile);
    }
}

TEST_F(ProcessTreeSystem, WindowTitleBecomesTheDisplayName)
{
    if (!tree.hasWindow()) {
        GTEST_SKIP() << "no window could be created (graphics driver not null)";
    }
    BuiltTable built(NO_SERVICES);
    ASSERT_EQ(0, built.result);
    const ProcessRecord* window = built.find(tree.pid(TREE_WINDOW));
    ASSERT_NE(nullptr, window);
    ASSERT_NE(nullptr, window->displayName);
    EXPECT_EQ(tree.windowTitle(), window->displayName);
    EXPECT_EQ(21u, built.table.windowTitles.at(tree.pid(TREE_WINDOW)).score);
    EXPECT_EQ(nullptr, built.find(tree.pid(TREE_LEAF))->displayName);

    BuiltTable noTitles(NO_SERVICES | NO_TITLES);
    ASSERT_EQ(0, noTitles.result);
    EXPECT_TRUE(noTitles.table.windowTitles.empty());
    EXPECT_EQ(nullptr, noTitles.find(tree.pid(TREE_WINDOW))->displayName);
}

TEST_F(ProcessTreeSystem, AncestorChainFollowsTheTreeAndStopsAtAnExitedParent)
{
    {
        Ancestry leaf(tree.pid(TREE_LEAF));
        ASSERT_GE(leaf.result, 4);
        ASSERT_EQ(static_cast<uint32_t>(leaf.result), leaf.chain.count);
        const uint32_t* pids = leaf.chain.pids.get();
        EXPECT_EQ((std::vector<uint32_t>{tree.pid(TREE_LEAF), tree.pid(TREE_BRANCH), tree.pid(TREE_ROOT),
                                         GetCurrentProcessId()}),
                  std::vector<uint32_t>(pids, pids + 4));
        const wchar_t* names = leaf.chain.nameTable.get();
        EXPECT_STREQ(L"kfleaf.exe", names);
        EXPECT_STREQ(L"kfbranch.exe", names + leaf.chain.nameWidth);
        EXPECT_STREQ(L"kfroot.exe", names + 2 * leaf.chain.nameWidth);
    }

    uint32_t branch = tree.pid(TREE_BRANCH);
    ASSERT_TRUE(tree.stopRole(TREE_BRANCH));
    BuiltTable built(DETAILS);
    ASSERT_EQ(0, built.result);
    EXPECT_EQ(nullptr, built.find(branch));
    // The dead parent cannot be opened, so the link cannot be tested and stays.
    ASSERT_NE(nullptr, built.find(tree.pid(TREE_LEAF)));
    EXPECT_EQ(branch, built.parentOf(tree.pid(TREE_LEAF)));
    Ancestry orphan(tree.pid(TREE_LEAF));
    EXPECT_EQ(1, orphan.result);
    EXPECT_EQ(tree.pid(TREE_LEAF), orphan.chain.pids[0]);
}

// Wine runs a fixed set of services: Plug and Play, RPC and the event log
// among them, hosted by children of services.exe.
TEST(ServicesSystem, DisplayNamesOfRunningServicesAttachToTheirHosts)
{
    BuiltTable built(0);
    ASSERT_EQ(0, built.result);
    const ProcessRecord* plugAndPlay = built.findDisplayName(L"Plug and Play Service");
    ASSERT_NE(nullptr, plugAndPlay);
    const ProcessRecord* host = built.find(plugAndPlay->entry.th32ParentProcessID);
    ASSERT_NE(nullptr, host);
    EXPECT_STREQ(L"services.exe", host->entry.szExeFile);
    EXPECT_EQ(0u, built.details(host->entry.th32ProcessID).creationTime);  // details only when processes are opened
    for (const auto& names : built.table.serviceNames) {
        EXPECT_NE(nullptr, built.find(names.first)) << "a service host not in the table";
    }

    // A second collection empties the map first: no process doubles its names.
    NameMap names;
    EXPECT_GT(collectServiceNames(&names), 0u);
    EXPECT_GT(collectServiceNames(&names), 0u);
    EXPECT_STREQ(plugAndPlay->displayName, findName(names, plugAndPlay->entry.th32ProcessID));

    BuiltTable noServices(NO_SERVICES | NO_TITLES);
    ASSERT_EQ(0, noServices.result);
    EXPECT_EQ(nullptr, noServices.findDisplayName(L"Plug and Play Service"));
}

}  // namespace
