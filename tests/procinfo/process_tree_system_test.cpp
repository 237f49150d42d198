// The process information layer against real processes under Wine: a known
// tree started by the test (see support/process_tree.h), services.exe and its
// service hosts, and the test process itself.
#include "plugin/plugin.h"
#include "procinfo/ancestor_chain.h"
#include "procinfo/names.h"
#include "procinfo/owners.h"
#include "procinfo/process_table.h"
#include "process_tree.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const TreeRole ALL_ROLES[] = {TREE_ROOT, TREE_BRANCH, TREE_LEAF, TREE_WINDOW};

// Owns a built table for one test.
struct BuiltTable {
    ProcessTable table = {};
    int result = -2;
    explicit BuiltTable(DisplayFlags flags) { result = buildProcessTable(flags, &table); }
    ~BuiltTable() { releaseProcessTable(&table); }
    const ProcessRecord* find(uint32_t pid) const { return findRecordByPid(table.records, table.count, pid); }
    std::set<uint32_t> childrenOf(uint32_t pid) const
    {
        std::set<uint32_t> children;
        for (uint32_t i = 0; i < table.count; ++i) {
            if (table.records[i].entry.th32ParentProcessID == pid && table.records[i].entry.th32ProcessID != 0) {
                children.insert(table.records[i].entry.th32ProcessID);
            }
        }
        return children;
    }
    const ProcessRecord* findByName(const wchar_t* name) const
    {
        for (uint32_t i = 0; i < table.count; ++i) {
            if (_wcsicmp(table.records[i].entry.szExeFile, name) == 0) {
                return &table.records[i];
            }
        }
        return NULL;
    }
    const ProcessRecord* findByDisplayName(const wchar_t* part) const
    {
        for (uint32_t i = 0; i < table.count; ++i) {
            const wchar_t* name = table.records[i].displayName;
            if (name != NULL && wcsstr(name, part) != NULL) {
                return &table.records[i];
            }
        }
        return NULL;
    }
};

class ProcessTreeSystem : public ::testing::Test {
protected:
    static void SetUpTestSuite() { readWindowsVersion(&gPluginState.osVersion); }
    void SetUp() override { ASSERT_TRUE(tree.start()) << std::string(tree.error().begin(), tree.error().end()); }
    ProcessTree tree;
};

TEST_F(ProcessTreeSystem, TableHoldsExactlyTheStartedTreeWithItsParents)
{
    BuiltTable built(0);
    ASSERT_EQ(0, built.result);
    ASSERT_GT(built.table.count, 4u);
    for (TreeRole role : ALL_ROLES) {
        const ProcessRecord* record = built.find(tree.pid(role));
        ASSERT_NE(nullptr, record) << "role " << role;
        EXPECT_STREQ(ProcessTree::programName(role), record->entry.szExeFile);
        EXPECT_EQ(tree.parentPid(role), record->entry.th32ParentProcessID) << "role " << role;
        EXPECT_GE(record->entry.cntThreads, 1u);
        // Without OPT_OPEN_PROCESSES no details are read.
        EXPECT_EQ(0u, fileTimeValue(record->creationTime));
        EXPECT_EQ(0, record->priorityIndex);
        EXPECT_EQ(0u, record->memory.WorkingSetSize);
        EXPECT_EQ(0u, record->elevated);
    }
    EXPECT_EQ((std::set<uint32_t>{tree.pid(TREE_ROOT)}), built.childrenOf(GetCurrentProcessId()));
    EXPECT_EQ((std::set<uint32_t>{tree.pid(TREE_BRANCH), tree.pid(TREE_WINDOW)}),
              built.childrenOf(tree.pid(TREE_ROOT)));
    EXPECT_EQ((std::set<uint32_t>{tree.pid(TREE_LEAF)}), built.childrenOf(tree.pid(TREE_BRANCH)));
    EXPECT_TRUE(built.childrenOf(tree.pid(TREE_LEAF)).empty());
    // Wine starts its desktop process (explorer.exe /desktop) as a child of
    // the first process that creates a window; nothing else may appear.
    for (uint32_t child : built.childrenOf(tree.pid(TREE_WINDOW))) {
        EXPECT_STREQ(L"explorer.exe", built.find(child)->entry.szExeFile);
    }
}

TEST_F(ProcessTreeSystem, DetailsAreFilledWhenProcessesAreOpened)
{
    {
        UniqueProcessHandle leaf(OpenProcess(PROCESS_SET_INFORMATION, FALSE, tree.pid(TREE_LEAF)));
        ASSERT_TRUE(leaf.valid());
        ASSERT_TRUE(SetPriorityClass(leaf.get(), BELOW_NORMAL_PRIORITY_CLASS));
    }
    BuiltTable built(OPT_OPEN_PROCESSES);
    ASSERT_EQ(0, built.result);
    uint64_t previousTime = 0;
    for (TreeRole role : {TREE_ROOT, TREE_BRANCH, TREE_LEAF}) {
        const ProcessRecord* record = built.find(tree.pid(role));
        ASSERT_NE(nullptr, record);
        uint64_t time = fileTimeValue(record->creationTime);
        EXPECT_NE(0u, time);
        EXPECT_GE(time, previousTime) << "a child older than its parent, role " << role;
        previousTime = time;
        EXPECT_NE(0u, record->memory.WorkingSetSize);
        EXPECT_EQ(sizeof(PROCESS_MEMORY_COUNTERS), record->memory.cb);
        EXPECT_EQ(0u, record->is32Bit);  // the tree is 64-bit, like this test
    }
    EXPECT_EQ(3, built.find(tree.pid(TREE_ROOT))->priorityIndex);
    EXPECT_EQ(2, built.find(tree.pid(TREE_LEAF))->priorityIndex);
}

TEST_F(ProcessTreeSystem, WindowTitleBecomesTheDisplayName)
{
    if (!tree.hasWindow()) {
        GTEST_SKIP() << "no window could be created (graphics driver not null)";
    }
    std::wstring title = tree.windowTitle();
    BuiltTable built(OPT_NO_SERVICES);
    ASSERT_EQ(0, built.result);
    const ProcessRecord* window = built.find(tree.pid(TREE_WINDOW));
    ASSERT_NE(nullptr, window);
    ASSERT_NE(nullptr, window->displayName);
    EXPECT_EQ(title, window->displayName);
    const WindowTitleNode* node = findWindowTitle(built.table.windowTitles, tree.pid(TREE_WINDOW));
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(21u, node->score);  // visible application window
    // The windowless nodes get nothing.
    EXPECT_EQ(nullptr, built.find(tree.pid(TREE_LEAF))->displayName);

    BuiltTable noTitles(OPT_NO_SERVICES | OPT_NO_TITLES);
    ASSERT_EQ(0, noTitles.result);
    EXPECT_EQ(nullptr, noTitles.table.windowTitles);
    EXPECT_EQ(nullptr, noTitles.table.serviceNames);
    for (uint32_t i = 0; i < noTitles.table.count; ++i) {
        EXPECT_EQ(nullptr, noTitles.table.records[i].displayName);
    }
}

TEST_F(ProcessTreeSystem, AncestorChainOfTheDeepestProcessReachesThisTest)
{
    uint32_t count = 0;
    uint32_t* chain = NULL;
    wchar_t* names = NULL;
    uint32_t width = 0;
    int n = getAncestorChain(tree.pid(TREE_LEAF), &count, &chain, &names, &width);
    std::unique_ptr<uint32_t[]> chainOwner(chain);
    std::unique_ptr<wchar_t[]> namesOwner(names);
    ASSERT_GE(n, 4);
    ASSERT_EQ(static_cast<uint32_t>(n), count);
    EXPECT_EQ(tree.pid(TREE_LEAF), chain[0]);
    EXPECT_EQ(tree.pid(TREE_BRANCH), chain[1]);
    EXPECT_EQ(tree.pid(TREE_ROOT), chain[2]);
    EXPECT_EQ(GetCurrentProcessId(), chain[3]);
    ASSERT_NE(nullptr, names);
    EXPECT_STREQ(L"kfleaf.exe", names);
    EXPECT_STREQ(L"kfbranch.exe", names + width);
    EXPECT_STREQ(L"kfroot.exe", names + 2 * width);
    size_t longest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        longest = std::max(longest, wcslen(names + i * width));
        EXPECT_EQ(L'\0', names[i * width + width - 1]);
    }
    EXPECT_EQ(longest + 1, width);
}

TEST_F(ProcessTreeSystem, ParentThatExitedKeepsItsChildsLink)
{
    uint32_t branch = tree.pid(TREE_BRANCH);
    ASSERT_TRUE(tree.stopRole(TREE_BRANCH));
    BuiltTable built(OPT_OPEN_PROCESSES);
    ASSERT_EQ(0, built.result);
    EXPECT_EQ(nullptr, built.find(branch));
    const ProcessRecord* leaf = built.find(tree.pid(TREE_LEAF));
    ASSERT_NE(nullptr, leaf);
    // The dead parent cannot be opened, so the link cannot be tested and stays.
    EXPECT_EQ(branch, leaf->entry.th32ParentProcessID);

    // The chain stops there: the parent has no entry any more.
    uint32_t count = 0;
    uint32_t* chain = NULL;
    EXPECT_EQ(1, getAncestorChain(tree.pid(TREE_LEAF), &count, &chain, NULL, NULL));
    std::unique_ptr<uint32_t[]> owner(chain);
    ASSERT_EQ(1u, count);
    EXPECT_EQ(tree.pid(TREE_LEAF), chain[0]);
}

// Wine runs a fixed set of services: Plug and Play, RPC and the event log
// among them, hosted by children of services.exe.
TEST(ServicesSystem, DisplayNamesOfRunningServicesAttachToTheirHosts)
{
    readWindowsVersion(&gPluginState.osVersion);
    BuiltTable built(0);
    ASSERT_EQ(0, built.result);
    const ProcessRecord* services = built.findByName(L"services.exe");
    ASSERT_NE(nullptr, services);
    const ProcessRecord* plugAndPlay = built.findByDisplayName(L"Plug and Play Service");
    ASSERT_NE(nullptr, plugAndPlay);
    EXPECT_EQ(services->entry.th32ProcessID, plugAndPlay->entry.th32ParentProcessID);
    ASSERT_NE(nullptr, built.table.serviceNames);
    for (const ServiceNameNode* node = built.table.serviceNames; node != NULL; node = node->next) {
        EXPECT_NE(0u, node->pid);
        EXPECT_NE(nullptr, built.find(node->pid)) << "a service host not in the table";
        EXPECT_EQ(std::wstring::npos, std::wstring(node->names).find(L"; ; "));
    }

    // Names are still collected when they come from one fresh call.
    ServiceNameNode* list = NULL;
    EXPECT_GT(collectServiceNames(&list), 0u);
    EXPECT_NE(nullptr, findServiceNames(list, plugAndPlay->entry.th32ProcessID));
    // A second call empties the list first: no node doubles its names.
    uint32_t again = collectServiceNames(&list);
    EXPECT_GT(again, 0u);
    EXPECT_STREQ(plugAndPlay->displayName, findServiceNames(list, plugAndPlay->entry.th32ProcessID)->names);
    freeServiceNames(&list);

    BuiltTable noServices(OPT_NO_SERVICES | OPT_NO_TITLES);
    ASSERT_EQ(0, noServices.result);
    EXPECT_EQ(nullptr, noServices.findByDisplayName(L"Plug and Play Service"));
}

// No handle may outlive a build: 50 builds with every collection switched on.
// One warm-up build first, because the first service manager and window
// calls leave handles cached inside the system libraries; after that, a
// leak of even one handle per build would show as 50.
TEST(HandleLeaks, BuildAndReleaseManyTimes)
{
    readWindowsVersion(&gPluginState.osVersion);
    ProcessTree tree;
    ASSERT_TRUE(tree.start());
    {
        BuiltTable warmUp(OPT_OPEN_PROCESSES);
        ASSERT_EQ(0, warmUp.result);
    }
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i) {
        BuiltTable built(OPT_OPEN_PROCESSES);
        ASSERT_EQ(0, built.result);
        uint32_t count = 0;
        uint32_t* chain = NULL;
        wchar_t* names = NULL;
        uint32_t width = 0;
        ASSERT_GE(getAncestorChain(tree.pid(TREE_LEAF), &count, &chain, &names, &width), 4);
        delete[] chain;
        delete[] names;
    }
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 2) << "before " << before << ", after " << after;
}

}  // namespace
