#include "procinfo/names.h"

#include "base/unique_handle.h"

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

BOOL CALLBACK windowTitleCallback(HWND window, LPARAM param)
{
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
    considerWindowTitle(reinterpret_cast<NameMap*>(param), pid, title, className, extendedStyle,
                        IsWindowVisible(window) != FALSE);
    return TRUE;
}

}  // namespace

const wchar_t* findName(const NameMap& names, uint32_t pid)
{
    if (pid == 0) {
        return NULL;
    }
    auto found = names.find(pid);
    return found != names.end() ? found->second.text.c_str() : NULL;
}

int addServiceName(NameMap* names, uint32_t pid, const wchar_t* name)
{
    if (names == NULL || pid == 0 || isEmptyText(name)) {
        return -1;
    }
    size_t nameLength = wcslen(name);
    auto held = names->find(pid);
    if (held == names->end()) {
        if (nameLength >= SERVICE_NAMES_COUNT) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        names->emplace(pid, NamedText{std::wstring(name, nameLength), 0});
        return 0;
    }
    std::wstring& text = held->second.text;
    // A cut name would read as a different service: drop it whole.
    if (text.size() + NAME_SEPARATOR_LENGTH + nameLength >= SERVICE_NAMES_COUNT) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    text.append(NAME_SEPARATOR, NAME_SEPARATOR_LENGTH);
    text.append(name, nameLength);
    return 0;
}

uint32_t collectServiceNames(NameMap* names)
{
    if (names == NULL) {
        return 0;
    }
    names->clear();
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
        if (addServiceName(names, services[i].ServiceStatusProcess.dwProcessId, services[i].lpDisplayName) == 0) {
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

void considerWindowTitle(NameMap* titles, uint32_t pid, const wchar_t* title, const wchar_t* className,
                         LONG extendedStyle, bool visible)
{
    if (titles == NULL || pid == 0 || title == NULL || title[0] == L'\0' || title[1] == L'\0') {
        return;
    }
    // Input-method helper windows carry a title of their own on every GUI thread.
    if (className != NULL && (wcscmp(className, L"MSCTFIME UI") == 0 || wcscmp(className, L"IME") == 0)) {
        return;
    }
    uint32_t score = titleScore(extendedStyle, className, visible);
    auto held = titles->find(pid);
    if (held != titles->end() && held->second.score >= score) {
        return;
    }
    NamedText& named = held != titles->end() ? held->second : (*titles)[pid];
    named.text.assign(title, wcsnlen(title, WINDOW_TITLE_COUNT - 1));
    named.score = score;
}

void collectWindowTitles(NameMap* titles)
{
    if (titles == NULL) {
        return;
    }
    titles->clear();
    EnumWindows(windowTitleCallback, reinterpret_cast<LPARAM>(titles));
}
