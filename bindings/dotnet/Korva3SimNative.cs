// Korva3SimNative.cs - the virtual card's control functions (korva3_sim.h) that .NET
// programs and tests need to set a virtual machine up and look inside it. Only in
// korva32sim; compile the program with -define:KORVA3_SIM so Korva3Native uses it too.
using System.Runtime.InteropServices;

namespace Korva
{
    public static class Korva3SimNative
    {
        public const string Library = "korva32sim";
        public const CallingConvention Convention = Korva3Native.Convention;

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_RESET();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_ADD_CARD(uint bus, uint device, uint vendor_id, uint device_id,
                                               uint subsys_vendor, uint subsys_id, uint id_switch);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_CLOCK_MS();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_LINK(int index, uint answers);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_INPUTS(int index, uint value);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_SLICE_PERIOD_US(int index, uint us);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_STATUS_PERIOD_MS(int index, uint ms);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_SET_LIMITS(int index, uint axis, int low, int high);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void KSIM_ADVANCE_MS(uint ms);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int KSIM_POSITION(int index, uint axis);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_MOTION(int index, [Out] int[] records, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_TAKE_FRAMES(int index, [Out] byte[] frames, uint max);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern uint KSIM_OUTPUTS(int index);

        /// <summary>PCI IDs of the supported card (KSIM_PCI_* of korva3_sim.h).</summary>
        public const uint KSIM_PCI_VENDOR = 0xE159, KSIM_PCI_DEVICE = 0x0002,
                          KSIM_PCI_SUBVENDOR = 0x0081, KSIM_PCI_SUBSYSTEM = 0x0004;

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
