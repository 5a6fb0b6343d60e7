/*
 * stdcall_fixture.c - a 32-bit DLL with one right and two wrong exports, against which
 * scripts/windows.sh shows that tests/windows/stdcall_check.py finds the faults it is
 * there for (stdcall_fixture.tsv says what the callers expect).
 */
#define EXPORT __declspec(dllexport)

/* Right: stdcall with the two arguments the table gives. */
EXPORT int __stdcall fixture_right(int a, int b)
{
    return a * b + 1;
}

/* A wrong count: the table says two arguments, the function takes (and pops) three. */
EXPORT int __stdcall fixture_wrong_count(int a, int b, int c)
{
    return a * b + c;
}

/* cdecl: returns without popping the two arguments the table gives. */
EXPORT int __cdecl fixture_cdecl(int a, int b)
{
    return a * b + 2;
}
