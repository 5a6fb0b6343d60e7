/*
 * version_info_test.c - the version resource of korva32.dll and korva32sim.dll, read as
 * Explorer's "Details" page reads it (GetFileVersionInfo, VerQueryValue): file and
 * product version equal to korva3.h's, a description, the product name.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "korva3.h"

static int failures;

static void expect(int ok, const char *dll, const char *what, const char *got)
{
    printf("%s %s: %s: %s\n", ok ? "ok" : "FAILED", dll, what, got ? got : "(none)");
    if (!ok)
        failures++;
}

static const char *string_value(void *info, const char *name)
{
    char key[128];
    char *value = NULL;
    UINT len = 0;
    snprintf(key, sizeof key, "\\StringFileInfo\\040904B0\\%s", name);
    return VerQueryValueA(info, key, (void **)&value, &len) && len > 0 ? value : NULL;
}

static void check(const char *dll)
{
    char path[MAX_PATH], want[32], fixed_text[32];
    DWORD handle = 0, size;
    GetModuleFileNameA(NULL, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, dll);
    size = GetFileVersionInfoSizeA(path, &handle);
    static char info[8192];
    if (size == 0 || size > sizeof info || !GetFileVersionInfoA(path, 0, size, info)) {
        expect(0, dll, "version resource", NULL);
        return;
    }
    snprintf(want, sizeof want, "%d.%d.%d", KORVA3_VERSION_MAJOR, KORVA3_VERSION_MINOR,
             KORVA3_VERSION_PATCH);
    const char *v = string_value(info, "FileVersion");
    expect(v && strcmp(v, want) == 0, dll, "FileVersion", v);
    v = string_value(info, "ProductVersion");
    expect(v && strcmp(v, want) == 0, dll, "ProductVersion", v);
    v = string_value(info, "ProductName");
    expect(v && strcmp(v, "KORVA32") == 0, dll, "ProductName", v);
    v = string_value(info, "FileDescription");
    expect(v && strstr(v, "KORVA32") != NULL, dll, "FileDescription", v);
    v = string_value(info, "OriginalFilename");
    expect(v && strcmp(v, dll) == 0, dll, "OriginalFilename", v);

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    int ok = VerQueryValueA(info, "\\", (void **)&fixed, &len) && len >= sizeof *fixed;
    if (ok)
        snprintf(fixed_text, sizeof fixed_text, "%lu.%lu.%lu.%lu",
                 (unsigned long)HIWORD(fixed->dwFileVersionMS),
                 (unsigned long)LOWORD(fixed->dwFileVersionMS),
                 (unsigned long)HIWORD(fixed->dwFileVersionLS),
                 (unsigned long)LOWORD(fixed->dwFileVersionLS));
    expect(ok && fixed->dwFileVersionMS == MAKELONG(KORVA3_VERSION_MINOR, KORVA3_VERSION_MAJOR) &&
               fixed->dwFileVersionLS == MAKELONG(0, KORVA3_VERSION_PATCH) &&
               fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
               fixed->dwProductVersionLS == fixed->dwFileVersionLS,
           dll, "file and product version numbers", ok ? fixed_text : NULL);
}

int main(void)
{
    check("korva32.dll");
    check("korva32sim.dll");
    return failures == 0 ? 0 : 1;
}
