#include "procinfo/names.h"

#include "base/unique_handle.h"

#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>

namespace {

const wchar_t NAME_SEPARATOR[] = L"; ";
const size_t NAME_SEPARATOR_LENGTH = 2;
const DWORD SERVICE_TYPES = SERVICE_WIN32 | SERVICE_DRIVER;  // 0x3B

const uint32_t SCORE_APP_WINDOW = 16;
const uint32_t SCORE_NOT_DIALOG = 4;
const uint32_t SCORE_VISIBLE = 1;

bool isEmptyText(const wchar_t* text)
{
    return text == NULL || text[0] == L'\0';
}

WindowTitleNode* findTitleNode(WindowTitleNode* list, uint32_t pid)
{
    for (WindowTitleNode* node = list; node != NULL; node = node->next) {
        if (node->pid == pid) {
            return node;
        }
    }
    return NULL;
}

}  // namespace

int addServiceName(ServiceNameNode** list, uint32_t pid, const wchar_t* name)
{
    if (list == NULL || pid == 0 || isEmptyText(name)) {
        return -1;
    }
    size_t nameLength = wcslen(name);
    ServiceNameNode** link = list;
    for (ServiceNameNode* node = *list; node != NULL; node = node->next) {
        if (node->pid == pid) {
            size_t used = wcslen(node->names);
            // A cut name would read as a different service: drop it whole.
            if (used + NAME_SEPARATOR_LENGTH + nameLength >= SERVICE_NAMES_COUNT) {
                return ERROR_INSUFFICIENT_BUFFER;
            }
            memcpy(node->names + used, NAME_SEPARATOR, NAME_SEPARATOR_LENGTH * sizeof(wchar_t));
            memcpy(node->names + used + NAME_SEPARATOR_LENGTH, name, (nameLength + 1) * sizeof(wchar_t));
            return 0;
        }
        link = &node->next;
    }
    if (nameLength >= SERVICE_NAMES_COUNT) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    ServiceNameNode* node = new (std::nothrow) ServiceNameNode();
    if (node == NULL) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    node->pid = pid;
    memcpy(node->names, name, (nameLength + 1) * sizeof(wchar_t));
    *link = node;
    return 0;
}

void freeServiceNames(ServiceNameNode** list)
{
    if (list == NULL) {
        return;
    }
    ServiceNameNode* node = *list;
    *list = NULL;
    while (node != NULL) {
        ServiceNameNode* next = node->next;
        delete node;
        node = next;
    }
}

const ServiceNameNode* findServiceNames(const ServiceNameNode* list, uint32_t pid)
{
    if (pid == 0) {
        return NULL;
    }
    for (const ServiceNameNode* node = list; node != NULL; node = node->next) {
        if (node->pid == pid) {
            return node;
        }
    }
    return NULL;
}

uint32_t collectServiceNames(ServiceNameNode** list)
{
    if (list == NULL) {
        return 0;
    }
    freeServiceNames(list);
    UniqueScHandle manager(
        OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        return 0;
    }
    DWORD bytesNeeded = 0;
    DWORD returned = 0;
    EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_TYPES, SERVICE_STATE_ALL,
                          NULL, 0, &bytesNeeded, &returned, NULL, NULL);
    if (bytesNeeded == 0) {
        return 0;
    }
    DWORD bufferBytes = bytesNeeded + SERVICE_NAMES_SLACK;
    // Pointer-sized elements keep the returned records aligned.
    std::unique_ptr<ULONG_PTR[]> buffer(
        new (std::nothrow) ULONG_PTR[(bufferBytes + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR)]);
    if (!buffer) {
        return 0;
    }
    returned = 0;
    if (!EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_TYPES,
                               SERVICE_STATE_ALL, reinterpret_cast<LPBYTE>(buffer.get()),
                               bufferBytes, &bytesNeeded, &returned, NULL, NULL)) {
        return 0;
    }
    const ENUM_SERVICE_STATUS_PROCESSW* services =
        reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.get());
    uint32_t taken = 0;
    for (DWORD i = 0; i < returned; ++i) {
        if (addServiceName(list, services[i].ServiceStatusProcess.dwProcessId,
                           services[i].lpDisplayName) == 0) {
            ++taken;
        }
    }
    return taken;
}

uint32_t titleScore(LONG extendedStyle, const wchar_t* className, bool visible)
{
    uint32_t score = 0;
    if ((extendedStyle & WS_EX_APPWINDOW) != 0) {
        score += SCORE_APP_WINDOW;
    }
    if (className == NULL || wcscmp(className, L"#32770") != 0) {
        score += SCORE_NOT_DIALOG;
    }
    if (visible) {
        score += SCORE_VISIBLE;
    }
    return score;
}

WindowTitleNode* newWindowTitleNode(uint32_t pid, const wchar_t* title, uint32_t score)
{
    if (pid == 0 || isEmptyText(title)) {
        return NULL;
    }
    size_t length = wcslen(title);
    if (length >= WINDOW_TITLE_COUNT) {
        length = WINDOW_TITLE_COUNT - 1;
    }
    // One allocation per node: the title sits right behind the record.
    size_t bytes = sizeof(WindowTitleNode) + (length + 1) * sizeof(wchar_t);
    void* memory = ::operator new(bytes, std::nothrow);
    if (memory == NULL) {
        return NULL;
    }
    WindowTitleNode* node = new (memory) WindowTitleNode();
    node->pid = pid;
    node->score = score;
    node->title = reinterpret_cast<wchar_t*>(node + 1);
    memcpy(node->title, title, length * sizeof(wchar_t));
    node->title[length] = L'\0';
    return node;
}

namespace {

void deleteWindowTitleNode(WindowTitleNode* node)
{
    ::operator delete(static_cast<void*>(node));
}

}  // namespace

BOOL considerWindowTitle(WindowTitleNode** list, uint32_t pid, const wchar_t* title,
                         const wchar_t* className, LONG extendedStyle, bool visible)
{
    if (list == NULL) {
        return FALSE;
    }
    if (pid == 0 || title == NULL || title[0] == L'\0' || title[1] == L'\0') {
        return TRUE;
    }
    // Input-method helper windows carry a title of their own on every GUI thread.
    if (className != NULL && (wcscmp(className, L"MSCTFIME UI") == 0 || wcscmp(className, L"IME") == 0)) {
        return TRUE;
    }
    uint32_t score = titleScore(extendedStyle, className, visible);
    WindowTitleNode* existing = findTitleNode(*list, pid);
    if (existing != NULL && existing->score >= score) {
        return TRUE;
    }
    WindowTitleNode* node = newWindowTitleNode(pid, title, score);
    if (node == NULL) {
        return FALSE;
    }
    if (existing != NULL) {
        node->prev = existing->prev;
        node->next = existing->next;
        if (existing->prev != NULL) {
            existing->prev->next = node;
        } else {
            *list = node;
        }
        if (existing->next != NULL) {
            existing->next->prev = node;
        }
        deleteWindowTitleNode(existing);
    } else if (*list == NULL) {
        *list = node;
    } else {
        WindowTitleNode* last = *list;
        while (last->next != NULL) {
            last = last->next;
        }
        last->next = node;
        node->prev = last;
    }
    return TRUE;
}

BOOL CALLBACK windowTitleCallback(HWND window, LPARAM param)
{
    WindowTitleNode** list = reinterpret_cast<WindowTitleNode**>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t title[WINDOW_TITLE_COUNT];
    wchar_t className[WINDOW_TITLE_COUNT];
    title[0] = L'\0';
    className[0] = L'\0';
    if (pid != 0) {
        GetWindowTextW(window, title, WINDOW_TITLE_COUNT);
        RealGetWindowClassW(window, className, WINDOW_TITLE_COUNT);
    }
    LONG extendedStyle = GetWindowLongW(window, GWL_EXSTYLE);
    return considerWindowTitle(list, pid, title, className, extendedStyle,
                               IsWindowVisible(window) != FALSE);
}

void collectWindowTitles(WindowTitleNode** list)
{
    if (list == NULL) {
        return;
    }
    *list = NULL;
    EnumWindows(windowTitleCallback, reinterpret_cast<LPARAM>(list));
}

void freeWindowTitles(WindowTitleNode** list)
{
    if (list == NULL) {
        return;
    }
    WindowTitleNode* node = *list;
    *list = NULL;
    while (node != NULL) {
        WindowTitleNode* next = node->next;
        deleteWindowTitleNode(node);
        node = next;
    }
}

const WindowTitleNode* findWindowTitle(const WindowTitleNode* list, uint32_t pid)
{
    if (pid == 0) {
        return NULL;
    }
    for (const WindowTitleNode* node = list; node != NULL; node = node->next) {
        if (node->pid == pid) {
            return node;
        }
    }
    return NULL;
}
