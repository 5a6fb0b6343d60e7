// Korva3Native.cs - the KORVA32 library for .NET and Mono programs: the 52 functions of
// korva3.h as P/Invoke declarations, one to one (KorvaCard.cs is a small class over them).
//
// Library: korva32.dll on Windows, libkorva32.so on Linux (Mono and .NET find
// "korva32" under either name). Compile with -define:KORVA3_SIM to use the virtual card
// (korva32sim.dll, libkorva32sim.so) instead. A 32-bit program needs the 32-bit DLL, a
// 64-bit program the 64-bit one.
//
// Types: every C uint32_t is a C# uint and every int32_t an int (never long); results are
// full 32-bit values; the position readers KORVA3_GET_XC ... KORVA3_GET_ZP are signed.
// Calling convention: the functions are __stdcall on 32-bit Windows; on 64-bit systems
// there is one convention and the runtime ignores StdCall. (Mono on 32-bit x86 Linux, where
// the library uses cdecl, is not a target: compile with -define:KORVA3_CDECL there.)
using System;
using System.Runtime.InteropServices;

namespace Korva
{
    /// <summary>The 52 exported functions of korva3.h, one to one.</summary>
    public static class Korva3Native
    {
#if KORVA3_SIM
        public const string Library = "korva32sim";
#else
        public const string Library = "korva32";
#endif
#if KORVA3_CDECL
        public const CallingConvention Convention = CallingConvention.Cdecl;
#else
        public const CallingConvention Convention = CallingConvention.StdCall;
#endif

        // ---- Set-up
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INITIAL();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_END();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_REGISTRATION(uint card, uint id);

        // ---- Direct registers
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_DI(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_DO(uint card, uint value);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_MSC(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_WAIT_X(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_WAIT_Y(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_WAIT_Z(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_IS_X_STOP(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_IS_Y_STOP(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_IS_Z_STOP(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_RESET_SYSTEM(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_STOP_ALL(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_EMG_STOP(uint card);

        // ---- Configuration
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_CONTROL_MODE(uint card, uint x_mode, uint y_mode, uint z_mode);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_VAR(uint card, uint card_var, uint accel, uint start_speed, uint high_speed, uint spare_var);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_DEFDIR(uint card, uint x_dir, uint y_dir, uint z_dir);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_SERVO_ON(uint card, uint x_on, uint y_on, uint z_on);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_ZERO(uint card, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_PRESET_POSITION(uint card, uint axis, int position);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_SET_NC(uint card, uint nc);

        // ---- Motion
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_STOP(uint card, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_DEC_STOP(uint card, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_BACK_HOME(uint card, uint axis, uint home_byte1, uint home_byte2);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_BACK_HOME01(uint card, uint axis, uint home_byte1);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_PULSE_MOVE(uint card, uint axis, int pulses, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_PULSE(uint card, int x_pulses, int y_pulses, int z_pulses);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_CONSTANT_SPEED(uint card, uint axis, uint direction, uint speed);

        // ---- Blocking interpolation (return when the last slice is sent: the card may still run
        //      the slices it holds; KORVA3_EMG_STOP from another thread aborts them)
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_XYZ(uint card, int dx, int dy, int dz, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_LINE01(uint card, uint plane, int du, int dv, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_LINE(uint card, int du, int dv, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_CIRCLE01(uint card, uint plane, int center_u, int center_v, uint direction, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_CIRCLE(uint card, int center_u, int center_v, uint direction, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_ARC01(uint card, uint plane, int end_u, int end_v, int radius, uint direction, uint speed);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KORVA3_INTP_ARC(uint card, int end_u, int end_v, int radius, uint direction, uint speed);

        // ---- Stepwise interpolation (result 1 = saved; nothing sent until KORVA3_INTP_STOP or KORVA3_GET_CARD)
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_XYZ02(uint card, int dx, int dy, int dz, uint speed, uint no_ramp);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_LINE02(uint card, uint plane, int du, int dv, uint speed, uint no_ramp);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_CIRCLE02(uint card, uint plane, int center_u, int center_v, uint direction, uint speed, uint no_ramp);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_ARC02(uint card, uint plane, int end_u, int end_v, int radius, uint direction, uint speed, uint no_ramp);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_STOP();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_INTP_ONLINE_SETSPEED(uint speed);

        // ---- Status (the position readers are signed)
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_GET_CARD(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_GET_SYS(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_GET_LIMIT(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KORVA3_GET_P1(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_XC(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_XP(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_YC(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_YP(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_ZC(uint card);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KORVA3_GET_ZP(uint card);
    }
}
