#include "console/diagnostics.h"

#include "base/text.h"
#include "base/host_api.h"
#include "base/product.h"

#include <stdarg.h>
#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

#include <memory>

namespace {

const DWORD NO_ERROR_CODE = 0xFFFFFFFF;
const DWORD SYSTEM_MESSAGE_FLAGS =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;

}  // namespace

int printErrorPrefix()
{
    HANDLE errorHandle = GetStdHandle(STD_ERROR_HANDLE);
    // 16 KB is too much for the stack of a plugin called deep inside the host.
    std::unique_ptr<wchar_t[]> work(new (std::nothrow) wchar_t[PREFIX_WORK_COUNT]());
    Qprintf(errorHandle, L"%s plugin: ", PLUGIN_NAME);
    if (!work) {
        return 0;
    }
    copyText(work.get(), PREFIX_WORK_COUNT, L"%_batch");
    ExpandVariables(work.get(), 1);
    if (work[0] == L'0') {
        return 0;
    }
    copyText(work.get(), PREFIX_WORK_COUNT, L"%_batchname [%_batchline]  ");
    ExpandVariables(work.get(), 1);
    // Output text, not a format: a "%" in a batch file's name stays a "%".
    Qprintf(errorHandle, L"%s", work.get());
    return 0;
}

int formatSystemError(DWORD code, wchar_t* text)
{
    if (text == NULL) {
        return -1;
    }
    DWORD flags = SYSTEM_MESSAGE_FLAGS;
    HMODULE source = NULL;
    if (code >= 12000 && code <= 12199) {
        // Internet errors have their texts in wininet's own table; use it only
        // when the library is already loaded, never load it for this.
        source = GetModuleHandleW(L"wininet.dll");
        if (source != NULL) {
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    if (code == NO_ERROR_CODE) {
        copyText(text, ERROR_TEXT_COUNT, L"Unknown error");
    } else if (FormatMessageW(flags, source, code, 0, text, ERROR_TEXT_COUNT, NULL) == 0) {
        (void)formatText(text, ERROR_TEXT_COUNT, L"Error %d", static_cast<int>(code));
    }
    size_t length = wcslen(text);
    while (length > 0 && iswspace(text[length - 1])) {
        text[--length] = L'\0';
    }
    return 0;
}

void reportError(const wchar_t* format, ...)
{
    printErrorPrefix();
    va_list args;
    va_start(args, format);
    va_list measureArgs;
    va_copy(measureArgs, args);
    int length = measureText(format, measureArgs);
    va_end(measureArgs);
    // Messages quote whole arguments, which may be as long as the command line.
    if (length >= 0) {
        size_t count = static_cast<size_t>(length) + 1;
        std::unique_ptr<wchar_t[]> message(new (std::nothrow) wchar_t[count]);
        if (message) {
            (void)formatTextV(message.get(), count, format, args);
            Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s", message.get());
        }
    }
    va_end(args);
}
