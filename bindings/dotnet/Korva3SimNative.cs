// Korva3SimNative.cs - the virtual card's control functions (korva3_sim.h), every one of
// them, one to one: set a virtual machine up, drive its clock, inject faults and look
// inside it. Only in korva32sim; compile the program with -define:KORVA3_SIM so
// Korva3Native uses it too.
//
// Types as in Korva3Native: uint for uint32_t, int for int32_t, ulong for uint64_t;
// input strings are string, output text buffers StringBuilder (give it the capacity you
// pass as size); byte[]/ushort[]/int[]/uint[] for the C arrays (null where the header
// allows a null pointer). The tests check every declaration and constant against the header.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Korva
{
    public static class Korva3SimNative
    {
        public const string Library = "korva32sim";
        public const CallingConvention Convention = Korva3Native.Convention;

        /// <summary>PCI IDs of the supported card, for KSIM_ADD_CARD.</summary>
        public const uint KSIM_PCI_VENDOR = 0xE159, KSIM_PCI_DEVICE = 0x0002,
                          KSIM_PCI_SUBVENDOR = 0x0081, KSIM_PCI_SUBSYSTEM = 0x0004;
        /// <summary>Clock modes of KSIM_SET_CLOCK.</summary>
        public const uint KSIM_CLOCK_VIRTUAL = 0, KSIM_CLOCK_WALL = 1;
        /// <summary>What moved a card's positions (the motion sink's last argument).</summary>
        public const uint KSIM_MOVED_BY_SLICE = 1, KSIM_MOVED_BY_AXIS = 2, KSIM_MOVED_BY_ORIGIN = 4;
        /// <summary>Faults of KSIM_FAULT.</summary>
        public const uint KSIM_FAULT_NONE = 0, KSIM_FAULT_SILENT = 1, KSIM_FAULT_STALL_STATUS = 2,
                          KSIM_FAULT_CORRUPT_STATUS = 3, KSIM_FAULT_NEVER_READY = 4;
        /// <summary>Kinds of the panel's operator requests (KSIM_PANEL_TAKE_REQUEST).</summary>
        public const uint KSIM_PANEL_JOG = 1, KSIM_PANEL_HOME = 2;
        /// <summary>Controls a job takes (KSIM_PANEL_JOB) and the operator's requests
        /// (KSIM_PANEL_JOB_REQUESTS).</summary>
        public const uint KSIM_JOB_OVERRIDE = 1, KSIM_JOB_HOLD = 2, KSIM_JOB_STOP = 4, KSIM_JOB_START = 8, KSIM_JOB_COMMANDS = 16;
        public const uint KSIM_REQUEST_HOLD = 1, KSIM_REQUEST_STOP = 2, KSIM_REQUEST_START = 4;

        /// <summary>KSIM_FRAME_SINK: every good command a card executes (13 bytes at frame).
        /// Runs inside the machine: it must not call any KSIM_ or KORVA3_ function. Keep the
        /// delegate referenced while it is set.</summary>
        [UnmanagedFunctionPointer(Convention)]
        public delegate void FrameSink(IntPtr user, int index, IntPtr frame);
        /// <summary>KSIM_MOTION_SINK: every change of a card's commanded positions.</summary>
        [UnmanagedFunctionPointer(Convention)]
        public delegate void MotionSink(IntPtr user, int index, ulong timeUs, int x, int y, int z,
                                        uint movedBy);

        // ---- Machine
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_RESET();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_OS(uint platform, uint major, uint minor);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_DRIVER(uint present);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_ADD_CARD(uint bus, uint device, uint vendor_id, uint device_id,
                                               uint subsys_vendor, uint subsys_id, uint id_switch);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_IO_BASE(int index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern void KSIM_SET_DEVICE_PATH(int index, string path);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_CLOCK_MS();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_CLOCK_VIEW_MS();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_CLOCK_MS(uint ms);

        // ---- The described machine
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_LOAD_MACHINE(string path, StringBuilder error, uint size);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_CLOCK(uint mode, uint speed_milli);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_LOGGING(uint on);

        // ---- Controller
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_LINK(int index, uint answers);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_HOLD(int index, uint n);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_OFFER(int index, byte[] bytes, uint n);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_OFFER_ON_LINK_TEST(int index, byte[] bytes, uint n);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_INPUTS(int index, uint value);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_FORCE_STATUS(int index, uint mask, uint value);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SCRIPT_STATUS(int index, byte[] values, uint n);

        // ---- Motion in virtual time
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_SLICE_PERIOD_US(int index, uint us);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_QUEUE_SIZE(int index, uint slices);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_STATUS_PERIOD_MS(int index, uint ms);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_LIMITS(int index, uint axis, int low, int high);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_HOME(int index, uint axis, int position);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_ADVANCE_MS(uint ms);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_POSITION(int index, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_MOTION(int index, [Out] int[] records, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_SINKS(FrameSink frames, MotionSink motion, IntPtr user);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_FAULT(int index, uint fault, uint n);

        // ---- What the card received
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_FRAMES(int index, [Out] byte[] frames, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_BAD_COMMANDS(int index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_BYTES(int index, [Out] byte[] bytes, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_PORT_WRITES([Out] ushort[] ports, [Out] uint[] values,
                                                        [Out] byte[] widths, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_PORT_READS([Out] ushort[] ports, [Out] uint[] values,
                                                       [Out] byte[] widths, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_TAKE_MESSAGES(StringBuilder text, uint size);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_TAKE_OS_CALLS(StringBuilder text, uint size);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_OPEN_HANDLES();

        // ---- What the card understood
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_AXIS_PULSES(int index, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_OUTPUTS(int index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_RESETS(int index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern int KSIM_CARD_VALUE(int index, string name, uint axis);

        // ---- The library, seen from inside
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_LIB_VALUE(string name, uint index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern double KSIM_LIB_DOUBLE(string name);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_LIB_PCI_ENTRY(uint index, [Out] uint[] entry);

        // ---- Front panel and pace
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_PANEL_START(uint port);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_PANEL_URL(StringBuilder text, uint size);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_PANEL_STOP();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_PANEL_ESTOP(int index);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_PANEL_OFFER_JOG(uint on);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_PANEL_TAKE_REQUEST([Out] int[] index, [Out] uint[] kind,
                                                          [Out] uint[] axis, [Out] int[] pulses);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern void KSIM_PANEL_REPORT(int index, uint busy, string text);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_PANEL_SET_SCALE(int index, uint axis, double pulsesPerMm);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_PACE(uint percent);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_PANEL_JOB(string description, uint controls);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true, CharSet = CharSet.Ansi)]
        public static extern uint KSIM_PANEL_JOB_STATE(string state);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_PANEL_JOB_REQUESTS([Out] uint[] overridePercent);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_PANEL_TAKE_COMMAND(StringBuilder text, uint size);

        /// <summary>A machine with one card of the supported kind at bus 0, device 1 with this
        /// ID switch; its index (0).</summary>
        public static int OneCardMachine(uint idSwitch)
        {
            KSIM_RESET();
            return KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                                 KSIM_PCI_SUBSYSTEM, idSwitch);
        }
    }
}
