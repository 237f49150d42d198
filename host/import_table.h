// Walking a loaded module's import address table, for the hosts that redirect
// a plugin's imports: kfshell's message boxes, the bench's system fakes.
#pragma once
#include <windows.h>

#include <string.h>

// Called for each function the module imports by name; slot is the address
// the module calls through.
typedef void (*ImportVisitor)(const char* dll, const char* name, ULONG_PTR* slot, void* context);

// False when the module has no import table.
inline bool visitImports(HMODULE module, ImportVisitor visit, void* context)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return false;
    }
    for (IMAGE_IMPORT_DESCRIPTOR* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (descriptor->OriginalFirstThunk == 0) {
            continue;  // no name table (some linkers' bound imports): nothing to match names against
        }
        const char* dll = reinterpret_cast<const char*>(base + descriptor->Name);
        IMAGE_THUNK_DATA* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            IMAGE_IMPORT_BY_NAME* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            visit(dll, reinterpret_cast<const char*>(byName->Name), &slots->u1.Function, context);
        }
    }
    return true;
}

// The table's pages are read-only once the loader has filled them.
inline void replaceImport(ULONG_PTR* slot, void* replacement)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
    *slot = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(slot, sizeof(*slot), old, &old);
}
