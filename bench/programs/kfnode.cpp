// kfnode.exe TOKEN DEPTH FANOUT: one node of the tree of real processes that
// the bench starts. While DEPTH is above 0 it starts FANOUT children one level
// deeper; then it reports in and waits for the bench's stop event.
#include "../node_protocol.h"

#include <stdlib.h>

#include <string>

namespace {

// Hundreds of processes starting at once on a busy machine now and then see
// a start fail; a few tries keep one such hiccup from spoiling the whole tree.
const int START_TRIES = 3;
const DWORD RETRY_PAUSE_MS = 200;

bool startChild(const std::wstring& self, const std::wstring& token, unsigned depth, unsigned fanout)
{
    std::wstring commandLine = L"\"" + self + L"\" " + token + L" " + std::to_wstring(depth) + L" " +
                               std::to_wstring(fanout);
    for (int attempt = 0; attempt < START_TRIES; ++attempt) {
        if (attempt > 0) {
            Sleep(RETRY_PAUSE_MS);
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(self.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
            return true;
        }
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        return 2;
    }
    std::wstring token = argv[1];
    unsigned depth = static_cast<unsigned>(wcstoul(argv[2], NULL, 10));
    unsigned fanout = static_cast<unsigned>(wcstoul(argv[3], NULL, 10));
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, nodeMappingName(token).c_str());
    if (mapping == NULL) {
        return 3;
    }
    NodeBlock* block = static_cast<NodeBlock*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(NodeBlock)));
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, nodeStopEventName(token).c_str());
    if (block == NULL || stop == NULL) {
        return 4;
    }
    InterlockedIncrement(&block->running);
    if (depth > 0) {
        wchar_t self[MAX_PATH * 2];
        DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH * 2);
        for (unsigned i = 0; i < fanout; ++i) {
            if (!startChild(std::wstring(self, length), token, depth - 1, fanout)) {
                InterlockedExchange(&block->error, static_cast<LONG>(GetLastError()));
                InterlockedIncrement(&block->failed);
            }
        }
    }
    InterlockedIncrement(&block->started);
    WaitForSingleObject(stop, NODE_LIFETIME_MS);
    InterlockedDecrement(&block->running);
    UnmapViewOfFile(block);
    CloseHandle(mapping);
    CloseHandle(stop);
    return 0;
}
