// KorvaCard.cs - a small class over Korva3Native: a registered card, its commands, paths
// and status, with enums for axes, planes and status bits; KorvaException when the
// library refuses a call (registration 0, a stepwise path refused).
using System;

namespace Korva
{
    public enum Axis : uint { X = 1, Y = 2, Z = 3 }

    public enum Plane : uint { XY = 1, XZ = 2, YZ = 3 }

    public enum Turn : uint { Clockwise = 0, CounterClockwise = 1 }

    /// <summary>Bits of the card's status register (KORVA3_MSC, KORVA3_GET_CARD).</summary>
    [Flags]
    public enum CardStatus : uint
    {
        None = 0, Busy = 0x01, TxReady = 0x02, RxReady = 0x04,
        XMoving = 0x10, YMoving = 0x20, ZMoving = 0x40
    }

    /// <summary>A call the library refused; the message says which and why.</summary>
    public class KorvaException : Exception
    {
        public KorvaException(string message) : base(message) { }
    }

    /// <summary>A registered card. Speeds are pulses (of path) per slice, positions pulses;
    /// paths are relative. Blocking paths return when sent; Wait() until the card ran them.</summary>
    public sealed class KorvaCard
    {
        public uint Number { get; private set; }

        private KorvaCard(uint number) { Number = number; }

        /// <summary>KORVA3_INITIAL: start values, and the port-access driver this system needs
        /// (on Linux: root or CAP_SYS_RAWIO).</summary>
        public static void Initial()
        {
            if (Korva3Native.KORVA3_INITIAL() != 0)
                throw new KorvaException("KORVA3_INITIAL: the port-access driver could not be opened");
        }

        /// <summary>KORVA3_END: closes the library's device handle.</summary>
        public static void End() { Korva3Native.KORVA3_END(); }

        /// <summary>KORVA3_REGISTRATION: binds card number 0..15 to the card with this ID switch.</summary>
        public static KorvaCard Register(uint number, uint idSwitch)
        {
            if (number > 15)
                throw new ArgumentOutOfRangeException("number", "card numbers are 0..15");
            if (Korva3Native.KORVA3_REGISTRATION(number, idSwitch) != 1)
                throw new KorvaException(string.Format(
                    "KORVA3_REGISTRATION({0}, {1}): no usable card with ID switch {1} (not found, "
                    + "no port access, or its link test failed)", number, idSwitch));
            return new KorvaCard(number);
        }

        public uint Inputs { get { return Korva3Native.KORVA3_DI(Number); } }
        public void SetOutputs(uint value) { Korva3Native.KORVA3_DO(Number, value); }
        public CardStatus Status { get { return (CardStatus)Korva3Native.KORVA3_MSC(Number); } }

        public void SetSpeeds(uint cardVar, uint accel, uint startSpeed, uint highSpeed)
        {
            Korva3Native.KORVA3_SET_VAR(Number, cardVar, accel, startSpeed, highSpeed, 0);
        }

        public void Move(Axis axis, int pulses, uint speed)
        {
            Korva3Native.KORVA3_PULSE_MOVE(Number, (uint)axis, pulses, speed);
        }

        public void Stop(Axis axis) { Korva3Native.KORVA3_STOP(Number, (uint)axis); }
        public void EmergencyStop() { Korva3Native.KORVA3_EMG_STOP(Number); }

        public void Line(int du, int dv, uint speed, Plane plane = Plane.XY)
        {
            Korva3Native.KORVA3_INTP_LINE01(Number, (uint)plane, du, dv, speed);
        }

        public void Arc(int endU, int endV, int radius, Turn turn, uint speed, Plane plane = Plane.XY)
        {
            Korva3Native.KORVA3_INTP_ARC01(Number, (uint)plane, endU, endV, radius, (uint)turn, speed);
        }

        public void Circle(int centerU, int centerV, Turn turn, uint speed, Plane plane = Plane.XY)
        {
            Korva3Native.KORVA3_INTP_CIRCLE01(Number, (uint)plane, centerU, centerV, (uint)turn, speed);
        }

        /// <summary>KORVA3_INTP_LINE02: saves a stepwise line; ContinuePath() or Poll() send it.</summary>
        public void StartLine(int du, int dv, uint speed, Plane plane = Plane.XY, bool ramp = true)
        {
            if (Korva3Native.KORVA3_INTP_LINE02(Number, (uint)plane, du, dv, speed, ramp ? 0u : 1u) != 1)
                throw new KorvaException(string.Format(
                    "KORVA3_INTP_LINE02: stepwise path refused (line ({0}, {1}) at {2})", du, dv, speed));
        }

        /// <summary>KORVA3_INTP_STOP: sends the stepwise path's next batch; true while it goes on.</summary>
        public bool ContinuePath() { return Korva3Native.KORVA3_INTP_STOP() == 1; }

        /// <summary>KORVA3_WAIT_X, _Y, _Z: until every axis and any path are idle.</summary>
        public void Wait()
        {
            Korva3Native.KORVA3_WAIT_X(Number);
            Korva3Native.KORVA3_WAIT_Y(Number);
            Korva3Native.KORVA3_WAIT_Z(Number);
        }

        /// <summary>KORVA3_GET_CARD: runs a stepwise path on and reads the status reports.</summary>
        public CardStatus Poll() { return (CardStatus)Korva3Native.KORVA3_GET_CARD(Number); }

        /// <summary>Commanded positions of the last status report (signed).</summary>
        public int X { get { return Korva3Native.KORVA3_GET_XC(Number); } }
        public int Y { get { return Korva3Native.KORVA3_GET_YC(Number); } }
        public int Z { get { return Korva3Native.KORVA3_GET_ZC(Number); } }
        public uint Limits { get { return Korva3Native.KORVA3_GET_LIMIT(Number); } }
    }
}
