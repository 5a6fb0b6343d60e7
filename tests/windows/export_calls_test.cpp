/*
 * export_calls_test.cpp - every export of korva32sim.dll and korva32.dll, looked up at
 * run time by name and by ordinal and called through a function pointer, as a program
 * written in any language does.
 *
 * On 32-bit Windows every export is stdcall: the callee takes its arguments off the
 * stack. The calls here go through korva_checked_call, which pushes the arguments,
 * calls, and measures how far the stack pointer ended from where it stood before the
 * pushes (0 when the callee removed exactly its arguments), and whether EBX, ESI and
 * EDI came back unchanged. A cdecl export, or one with a wrong argument count, fails.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win_test_util.h"

namespace {

/* A looked-up export as a function pointer of its own type. */
template <class F>
F as(FARPROC fn)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(fn));
}

struct CallResult {
    uint32_t value;     /* EAX */
    int32_t stack_left; /* bytes the callee left on (or took beyond) its arguments */
    bool saved_regs_kept;
};

#ifdef _WIN64
/* 64-bit Windows has one calling convention: the caller owns the stack. */
CallResult checked_call(FARPROC fn, const uint32_t *a, unsigned n)
{
    using U = uint32_t;
    uintptr_t r = 0;
    switch (n) {
    case 0: r = as<uintptr_t(*)()>(fn)(); break;
    case 1: r = as<uintptr_t(*)(U)>(fn)(a[0]); break;
    case 2: r = as<uintptr_t(*)(U, U)>(fn)(a[0], a[1]); break;
    case 3: r = as<uintptr_t(*)(U, U, U)>(fn)(a[0], a[1], a[2]); break;
    case 4: r = as<uintptr_t(*)(U, U, U, U)>(fn)(a[0], a[1], a[2], a[3]); break;
    case 5: r = as<uintptr_t(*)(U, U, U, U, U)>(fn)(a[0], a[1], a[2], a[3], a[4]); break;
    case 6: r = as<uintptr_t(*)(U, U, U, U, U, U)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5]); break;
    case 7:
        r = as<uintptr_t(*)(U, U, U, U, U, U, U)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
        break;
    default:
        r = as<uintptr_t(*)(U, U, U, U, U, U, U, U)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6],
                                                     a[7]);
        break;
    }
    return {(uint32_t)r, 0, true};
}
#else
extern "C" uint32_t korva_checked_call(FARPROC fn, const uint32_t *args, uint32_t n,
                                       int32_t *stack_left, uint32_t *saved_regs_kept);
__asm__(".text\n"
        ".globl _korva_checked_call\n"
        ".def _korva_checked_call; .scl 2; .type 32; .endef\n"
        "_korva_checked_call:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    movl 16(%ebp), %ecx\n" /* n */
        "    movl 12(%ebp), %edx\n" /* args */
        "1:  testl %ecx, %ecx\n"
        "    jz 2f\n"
        "    decl %ecx\n"
        "    pushl (%edx,%ecx,4)\n" /* last argument first */
        "    jmp 1b\n"
        "2:  movl $0x5EB1E5B1, %ebx\n"
        "    movl $0x5EB1E5E1, %esi\n"
        "    movl $0x5EB1E5D1, %edi\n"
        "    call *8(%ebp)\n"
        "    leal -12(%ebp), %ecx\n" /* where the stack stood before the pushes */
        "    subl %esp, %ecx\n"
        "    movl 20(%ebp), %edx\n"
        "    movl %ecx, (%edx)\n"
        "    xorl %ecx, %ecx\n"
        "    cmpl $0x5EB1E5B1, %ebx\n"
        "    jne 3f\n"
        "    cmpl $0x5EB1E5E1, %esi\n"
        "    jne 3f\n"
        "    cmpl $0x5EB1E5D1, %edi\n"
        "    jne 3f\n"
        "    incl %ecx\n"
        "3:  movl 24(%ebp), %edx\n"
        "    movl %ecx, (%edx)\n"
        "    leal -12(%ebp), %esp\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    popl %ebp\n"
        "    ret\n");

CallResult checked_call(FARPROC fn, const uint32_t *args, unsigned n)
{
    int32_t left = 0x7FFFFFFF;
    uint32_t kept = 0;
    uint32_t value = korva_checked_call(fn, args, n, &left, &kept);
    return {value, left, kept != 0};
}
#endif

/* Arguments for each export, for a virtual machine with card 0 registered: every call
 * does real work and returns soon. */
struct Args {
    const char *name;
    uint32_t a[8];
};
const Args ARGS[] = {
    {"KORVA3_INITIAL", {}},
    {"KORVA3_REGISTRATION", {0, 0}},
    {"KORVA3_DI", {0}},
    {"KORVA3_DO", {0, 0x55}},
    {"KORVA3_MSC", {0}},
    {"KORVA3_WAIT_X", {0}},
    {"KORVA3_IS_X_STOP", {0}},
    {"KORVA3_WAIT_Y", {0}},
    {"KORVA3_IS_Y_STOP", {0}},
    {"KORVA3_WAIT_Z", {0}},
    {"KORVA3_IS_Z_STOP", {0}},
    {"KORVA3_SET_CONTROL_MODE", {0, 1, 2, 3}},
    {"KORVA3_SET_VAR", {0, 12, 3, 4, 150, 30}},
    {"KORVA3_SET_DEFDIR", {0, 1, 0, 1}},
    {"KORVA3_SET_SERVO_ON", {0, 1, 1, 0}},
    {"KORVA3_SET_ZERO", {0, 2}},
    {"KORVA3_PRESET_POSITION", {0, 3, (uint32_t)-1234}},
    {"KORVA3_SET_NC", {0, 9}},
    {"KORVA3_STOP", {0, 1}},
    {"KORVA3_DEC_STOP", {0, 2}},
    {"KORVA3_RESET_SYSTEM", {0}},
    {"KORVA3_STOP_ALL", {0}},
    {"KORVA3_EMG_STOP", {0}},
    {"KORVA3_BACK_HOME", {0, 1, 5, 6}},
    {"KORVA3_BACK_HOME01", {0, 2, 7}},
    {"KORVA3_PULSE_MOVE", {0, 3, (uint32_t)-500, 80}},
    {"KORVA3_INTP_PULSE", {0, 5, (uint32_t)-6, 7}},
    {"KORVA3_CONSTANT_SPEED", {0, 1, 1, 60}},
    {"KORVA3_INTP_XYZ", {0, 40, (uint32_t)-30, 20, 15}},
    {"KORVA3_INTP_LINE01", {0, 2, 25, (uint32_t)-35, 15}},
    {"KORVA3_INTP_LINE", {0, (uint32_t)-25, 35, 15}},
    {"KORVA3_INTP_CIRCLE01", {0, 3, 20, 0, 1, 15}},
    {"KORVA3_INTP_CIRCLE", {0, 0, (uint32_t)-20, 0, 15}},
    {"KORVA3_INTP_ARC01", {0, 1, 40, 0, 20, 0, 15}},
    {"KORVA3_INTP_ARC", {0, 0, 40, (uint32_t)-20, 1, 15}},
    {"KORVA3_INTP_XYZ02", {0, 30, 20, 10, 15, 0}},
    {"KORVA3_INTP_STOP", {}},
    {"KORVA3_INTP_LINE02", {0, 1, 30, 40, 15, 1}},
    {"KORVA3_INTP_ONLINE_SETSPEED", {20}},
    {"KORVA3_INTP_CIRCLE02", {0, 2, 0, 15, 1, 15, 0}},
    {"KORVA3_GET_CARD", {0}},
    {"KORVA3_INTP_ARC02", {0, 3, 30, 0, 15, 1, 15, 0}},
    {"KORVA3_INTP_STOP", {}},
    {"KORVA3_GET_SYS", {0}},
    {"KORVA3_GET_LIMIT", {0}},
    {"KORVA3_GET_P1", {0}},
    {"KORVA3_GET_XC", {0}},
    {"KORVA3_GET_XP", {0}},
    {"KORVA3_GET_YC", {0}},
    {"KORVA3_GET_YP", {0}},
    {"KORVA3_GET_ZC", {0}},
    {"KORVA3_GET_ZP", {0}},
    {"KORVA3_END", {}},
};

const ExportEntry &entry(const char *name)
{
    for (const ExportEntry &e : EXPORT_TABLE)
        if (strcmp(e.name, name) == 0)
            return e;
    ADD_FAILURE() << "no export " << name;
    return EXPORT_TABLE[0];
}

class Dll {
public:
    explicit Dll(const char *name) : module_(LoadLibraryA(name)) {}
    ~Dll()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE module() const { return module_; }
    FARPROC by_name(const char *name) const { return GetProcAddress(module_, name); }
    FARPROC by_ordinal(unsigned ordinal) const
    {
        return GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
    }

private:
    HMODULE module_;
};

enum class Lookup { ByName, ByOrdinal };

/* Calls every export in the order of ARGS; returns the results of those that return
 * a value, and checks each call's stack and saved registers. */
/* Whether korva3.h gives the function a result (the others are void). */
bool returns_a_value(const char *name)
{
    static const char *const VOID_FUNCTIONS[] = {
        "KORVA3_END", "KORVA3_DO", "KORVA3_WAIT_X", "KORVA3_WAIT_Y", "KORVA3_WAIT_Z",
        "KORVA3_RESET_SYSTEM", "KORVA3_STOP_ALL", "KORVA3_EMG_STOP", "KORVA3_SET_CONTROL_MODE",
        "KORVA3_SET_VAR", "KORVA3_SET_DEFDIR", "KORVA3_SET_SERVO_ON", "KORVA3_SET_ZERO",
        "KORVA3_PRESET_POSITION", "KORVA3_SET_NC", "KORVA3_STOP", "KORVA3_DEC_STOP",
        "KORVA3_BACK_HOME", "KORVA3_BACK_HOME01", "KORVA3_PULSE_MOVE", "KORVA3_INTP_PULSE",
        "KORVA3_CONSTANT_SPEED", "KORVA3_INTP_XYZ", "KORVA3_INTP_LINE01", "KORVA3_INTP_LINE",
        "KORVA3_INTP_CIRCLE01", "KORVA3_INTP_CIRCLE", "KORVA3_INTP_ARC01", "KORVA3_INTP_ARC"};
    for (const char *v : VOID_FUNCTIONS)
        if (strcmp(v, name) == 0)
            return false;
    return true;
}

std::vector<uint32_t> call_all(const Dll &dll, Lookup lookup)
{
    std::vector<uint32_t> results;
    for (const Args &call : ARGS) {
        const ExportEntry &e = entry(call.name);
        FARPROC fn = lookup == Lookup::ByName ? dll.by_name(e.name) : dll.by_ordinal(e.ordinal);
        if (!fn) {
            ADD_FAILURE() << e.name << " not found";
            continue;
        }
        CallResult r = checked_call(fn, call.a, e.args);
        EXPECT_EQ(r.stack_left, 0) << e.name << " left the stack unbalanced";
        EXPECT_TRUE(r.saved_regs_kept) << e.name << " changed EBX, ESI or EDI";
        results.push_back(r.value);
    }
    return results;
}

/* The KSIM_ functions needed to set the virtual machine up, by name. */
struct Machine {
    explicit Machine(const Dll &dll)
        : reset(as<void(__stdcall *)(void)>(dll.by_name("KSIM_RESET"))),
          add_card(as<int32_t(__stdcall *)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                           uint32_t, uint32_t)>(dll.by_name("KSIM_ADD_CARD"))),
          take_frames(as<uint32_t(__stdcall *)(int32_t, uint8_t *, uint32_t)>(
              dll.by_name("KSIM_TAKE_FRAMES")))
    {
    }
    bool ok() const { return reset && add_card && take_frames; }
    void fresh() const
    {
        reset();
        add_card(0, 3, 0xE159, 0x0002, 0x0081, 0x0004, 0);
    }
    std::vector<uint8_t> frames() const
    {
        std::vector<uint8_t> out;
        uint8_t buf[13 * 64];
        uint32_t n;
        do {
            n = take_frames(0, buf, 64);
            out.insert(out.end(), buf, buf + 13 * n);
        } while (n == 64);
        return out;
    }
    void(__stdcall *reset)(void);
    int32_t(__stdcall *add_card)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                 uint32_t);
    uint32_t(__stdcall *take_frames)(int32_t, uint8_t *, uint32_t);
};

// ---- The export tables as seen by GetProcAddress ---------------------------------------

void expect_table(const Dll &dll)
{
    ASSERT_NE(dll.module(), nullptr);
    for (const ExportEntry &e : EXPORT_TABLE) {
        FARPROC named = dll.by_name(e.name);
        EXPECT_NE(named, nullptr) << e.name;
        EXPECT_EQ(named, dll.by_ordinal(e.ordinal)) << e.name << " @" << e.ordinal;
    }
    EXPECT_EQ(dll.by_name("KORVA3_STOP_ALL"), dll.by_name("KORVA3_EMG_STOP"));
    /* Undecorated only: no stdcall names next to them. */
    EXPECT_EQ(dll.by_name("KORVA3_INITIAL@0"), nullptr);
    EXPECT_EQ(dll.by_name("_KORVA3_REGISTRATION@8"), nullptr);
}

TEST(ExportTable, SimDllNamesAndOrdinalsAgree)
{
    Dll dll("korva32sim.dll");
    expect_table(dll);
}

TEST(ExportTable, HardwareDllNamesAndOrdinalsAgreeAndNothingElse)
{
    Dll dll("korva32.dll");
    expect_table(dll);
    EXPECT_EQ(dll.by_ordinal(1), nullptr);
    EXPECT_EQ(dll.by_ordinal(54), nullptr);
    EXPECT_EQ(dll.by_name("KSIM_RESET"), nullptr);
}

// ---- Every export called -------------------------------------------------------------------

TEST(ExportCalls, EverySimExportByNameAndByOrdinalDoesTheSame)
{
    Dll dll("korva32sim.dll");
    ASSERT_NE(dll.module(), nullptr);
    Machine vm(dll);
    ASSERT_TRUE(vm.ok());

    vm.fresh();
    std::vector<uint32_t> by_name = call_all(dll, Lookup::ByName);
    std::vector<uint8_t> frames_by_name = vm.frames();

    vm.fresh();
    std::vector<uint32_t> by_ordinal = call_all(dll, Lookup::ByOrdinal);
    std::vector<uint8_t> frames_by_ordinal = vm.frames();

    ASSERT_EQ(by_name.size(), sizeof ARGS / sizeof ARGS[0]);
    EXPECT_EQ(by_name[0], 0u) << "KORVA3_INITIAL";
    EXPECT_EQ(by_name[1], 1u) << "KORVA3_REGISTRATION";
    ASSERT_EQ(by_ordinal.size(), by_name.size());
    for (size_t i = 0; i < by_name.size(); i++)
        if (returns_a_value(ARGS[i].name)) { // a void function leaves whatever EAX/RAX held
            EXPECT_EQ(by_name[i], by_ordinal[i]) << ARGS[i].name;
        }
    EXPECT_GT(frames_by_name.size(), 13u * 40);
    EXPECT_EQ(frames_by_name, frames_by_ordinal);
}

TEST(ExportCalls, EveryHardwareExportByNameAndByOrdinalReturnsBalanced)
{
    /* Here (no port access, no card) every function is refused, quickly. */
    Dll dll("korva32.dll");
    ASSERT_NE(dll.module(), nullptr);
    std::vector<uint32_t> by_name = call_all(dll, Lookup::ByName);
    std::vector<uint32_t> by_ordinal = call_all(dll, Lookup::ByOrdinal);
    EXPECT_EQ(by_name, by_ordinal);
    EXPECT_EQ(by_name[1], 0u) << "KORVA3_REGISTRATION";
}

#ifndef _WIN64
TEST(ExportCalls, TheCheckSeesAWrongArgumentCount)
{
    Dll dll("korva32sim.dll");
    FARPROC get_sys = dll.by_name("KORVA3_GET_SYS"); /* takes 4 bytes */
    ASSERT_NE(get_sys, nullptr);
    const uint32_t args[2] = {20, 20}; /* card 20: refused, reads nothing */
    EXPECT_EQ(checked_call(get_sys, args, 1).stack_left, 0);
    EXPECT_EQ(checked_call(get_sys, args, 2).stack_left, 4);
    EXPECT_TRUE(checked_call(get_sys, args, 2).saved_regs_kept);
}

TEST(ExportCalls, TheCheckSeesACdeclFunction)
{
    /* A cdecl function of the C runtime: it leaves its argument on the stack. */
    FARPROC abs_fn = GetProcAddress(GetModuleHandleA("msvcrt.dll"), "abs");
    ASSERT_NE(abs_fn, nullptr);
    const uint32_t args[1] = {(uint32_t)-5};
    CallResult r = checked_call(abs_fn, args, 1);
    EXPECT_EQ(r.value, 5u);
    EXPECT_EQ(r.stack_left, 4);
}
#endif

} // namespace
