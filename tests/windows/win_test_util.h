/*
 * win_test_util.h - what the Windows-only tests share: the table of exports, a way to
 * put a recording function in place of one of a module's imports, and a counter of
 * the port faults raised inside a module.
 */
#ifndef KORVA_TESTS_WIN_TEST_UTIL_H
#define KORVA_TESTS_WIN_TEST_UTIL_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdint.h>
#include <string.h>

/* name, ordinal, argument slots: generated from win/exports.tsv (tests/windows/CMakeLists). */
struct ExportEntry {
    const char *name;
    unsigned ordinal;
    unsigned args;
};
#include "exports_table.h" /* static const ExportEntry EXPORT_TABLE[52] */

/* Replaces `module`'s import of `function` from `dll` with `replacement`: the module's
 * own calls then go to the replacement, which nothing else sees. Returns the function
 * imported before, or null when the module imports no such function. This is how a
 * test sees the system calls a DLL makes (and answers them) without any hook in the
 * DLL itself. */
inline void *replace_import(HMODULE module, const char *dll, const char *function,
                            void *replacement)
{
    BYTE *base = (BYTE *)module;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)base;
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;
    for (const IMAGE_IMPORT_DESCRIPTOR *imp =
             (const IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
         imp->Name != 0; imp++) {
        if (lstrcmpiA((const char *)(base + imp->Name), dll) != 0)
            continue;
        const IMAGE_THUNK_DATA *names = (const IMAGE_THUNK_DATA *)(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME *by_name =
                (const IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)by_name->Name, function) != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                           &old);
            void *before = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return before;
        }
    }
    return nullptr;
}

/* The bytes of a loaded module's image. */
inline bool in_module(HMODULE module, const void *address)
{
    const BYTE *base = (const BYTE *)module;
    const IMAGE_NT_HEADERS *nt =
        (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    return (const BYTE *)address >= base && (const BYTE *)address < base + nt->OptionalHeader.SizeOfImage;
}

/* Counts the faults of port instructions (privileged instruction; Wine reports an
 * access violation) raised inside one module. A vectored handler sees every exception
 * first; it only counts and lets the module's own handlers deal with it. */
class PortFaultCounter {
public:
    explicit PortFaultCounter(HMODULE module)
    {
        module_ = module;
        count_ = 0;
        handle_ = AddVectoredExceptionHandler(1, &PortFaultCounter::seen);
    }
    ~PortFaultCounter() { RemoveVectoredExceptionHandler(handle_); }
    static LONG count() { return count_; }

private:
    static LONG CALLBACK seen(EXCEPTION_POINTERS *e)
    {
        DWORD code = e->ExceptionRecord->ExceptionCode;
        if ((code == EXCEPTION_PRIV_INSTRUCTION || code == EXCEPTION_ACCESS_VIOLATION) &&
            in_module(module_, e->ExceptionRecord->ExceptionAddress))
            InterlockedIncrement(&count_);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static inline HMODULE module_;
    static inline volatile LONG count_;
    void *handle_;
};

#endif
