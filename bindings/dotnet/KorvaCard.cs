// KorvaCard.cs - a small class over Korva3Native: a registered card, its commands, paths
// and status, with enums for axes, planes, directions and status bits.
//
// Every argument is checked before the library sees it: a value the library would clamp,
// ignore or send nothing for throws ArgumentOutOfRangeException naming the parameter and
// its range, and a path the library would refuse (an arc whose radius is shorter than
// half its chord, a circle centred on its start) throws KorvaException. Nothing is sent
// then. Waits end after a timeout (TimeoutException); Dispose stops the card's motion.
using System;
using System.Diagnostics;
using System.Threading;

namespace Korva
{
    public enum Axis : uint { X = 1, Y = 2, Z = 3 }

    public enum Plane : uint { XY = 1, XZ = 2, YZ = 3 }

    public enum Turn : uint { Clockwise = 0, CounterClockwise = 1 }

    /// <summary>Direction of a jog (KORVA3_CONSTANT_SPEED).</summary>
    public enum Direction : uint { Positive = 0, Negative = 1 }

    /// <summary>Bits of the card's status register (KORVA3_MSC, KORVA3_GET_CARD).</summary>
    [Flags]
    public enum CardStatus : uint
    {
        None = 0, Busy = 0x01, TxReady = 0x02, RxReady = 0x04,
        XMoving = 0x10, YMoving = 0x20, ZMoving = 0x40
    }

    /// <summary>A call the library refused or would refuse; the message says which and why.</summary>
    public class KorvaException : Exception
    {
        public KorvaException(string message) : base(message) { }
    }

    /// <summary>A registered card. Speeds are pulses (of path) per slice, 1..2040; positions
    /// pulses; paths are relative. A blocking path returns when its last slice is sent:
    /// the card may still be running up to a queue of slices then; Wait() until it ran them.
    /// Dispose() stops the card (see there). Not thread-safe, except EmergencyStop(), which
    /// another thread may call while this one is inside a blocking path.</summary>
    public sealed class KorvaCard : IDisposable
    {
        /// <summary>The highest speed the library sends (it clamps anything above to it).</summary>
        public const uint MaxSpeed = 2040;
        /// <summary>The most pulses one axis takes in one interpolation slice.</summary>
        public const int MaxSlicePulses = 2047;
        /// <summary>A path is shorter than 2^32 pulses (the library counts its length in 32 bits).</summary>
        public const double MaxPathLength = 4294967295.0;

        const CardStatus Moving = CardStatus.Busy | CardStatus.XMoving | CardStatus.YMoving | CardStatus.ZMoving;
        const double TwoPi = 6.283185308; // the library's own

        public uint Number { get; private set; }
        bool disposed;
        bool pathSaved; // a stepwise path was saved (ended by any later command)

        /// <summary>Pause between status reads while waiting (default 1 ms). On the virtual card
        /// in virtual time the machine runs only while the program touches it: TimeSpan.Zero
        /// lets it run as fast as it can.</summary>
        public TimeSpan PollInterval { get; set; }

        /// <summary>How long Dispose() waits for a decelerating stop before it makes an
        /// emergency stop (default 5 s).</summary>
        public TimeSpan StopTimeout { get; set; }

        private KorvaCard(uint number)
        {
            Number = number;
            PollInterval = TimeSpan.FromMilliseconds(1);
            StopTimeout = TimeSpan.FromSeconds(5);
        }

        // ---- checks ----------------------------------------------------------------------
        static void InRange(string name, long value, long low, long high, string what)
        {
            if (value < low || value > high)
                throw new ArgumentOutOfRangeException(name, value, string.Format(
                    "{0} must be {1}..{2}{3}", name, low, high, what));
        }

        static void CheckSpeed(uint speed, string name = "speed")
        {
            InRange(name, speed, 1, MaxSpeed, " (pulses per slice; 0 moves nothing, above 2040 is clamped)");
        }

        // An enum argument that is one of its named values; "range" as the message gives it.
        static void CheckNamed<T>(string name, T value, string range) where T : struct
        {
            if (!Enum.IsDefined(typeof(T), value))
                throw new ArgumentOutOfRangeException(name, value, name + " must be " + range);
        }

        static void CheckAxis(Axis axis) { CheckNamed("axis", axis, "1..3 (Axis.X, Y, Z)"); }

        static void CheckPlane(Plane plane) { CheckNamed("plane", plane, "1..3 (Plane.XY, XZ, YZ)"); }

        static void CheckTurn(Turn turn)
        {
            CheckNamed("turn", turn, "0..1 (Turn.Clockwise, CounterClockwise)");
        }

        static void CheckDirection(Direction direction)
        {
            CheckNamed("direction", direction, "0..1 (Direction.Positive, Negative)");
        }

        static void CheckCircle(string call, int centerU, int centerV)
        {
            if (centerU == 0 && centerV == 0)
                throw new KorvaException(call + ": the centre is the start point (radius 0): the library refuses the circle, nothing is sent");
            double length = Math.Sqrt((double)centerU * centerU + (double)centerV * centerV) * TwoPi;
            if (length >= MaxPathLength)
                throw new ArgumentOutOfRangeException("centerU", centerU,
                    "centerU must be such that the circle's radius (with centerV) is at most 683565275 pulses: a path shorter than 2^32 pulses");
        }

        static void CheckArc(string call, int endU, int endV, int radius)
        {
            double half = 0.5 * Math.Sqrt((double)endU * endU + (double)endV * endV);
            double r = Math.Abs((double)radius);
            if (radius == 0 || r < half)
                throw new KorvaException(string.Format(
                    "{0}: the radius {1} is shorter than half the chord ({2}): the library refuses the arc, nothing is sent",
                    call, radius, (long)Math.Ceiling(half)));
            double angle = 2 * Math.Asin(Math.Min(1.0, half / r));
            if (radius < 0)
                angle = TwoPi - angle;
            if (angle * r >= MaxPathLength)
                throw new ArgumentOutOfRangeException("radius", radius,
                    "radius must be such that the arc is shorter than 2^32 pulses");
        }

        void Live()
        {
            if (disposed)
                throw new ObjectDisposedException("KorvaCard " + Number);
        }

        // ---- set-up ----------------------------------------------------------------------
        /// <summary>KORVA3_INITIAL: start values, and the port-access driver this system needs
        /// (on Linux: root or CAP_SYS_RAWIO).</summary>
        public static void Initial()
        {
            if (Korva3Native.KORVA3_INITIAL() != 0)
                throw new KorvaException("KORVA3_INITIAL: the port-access driver could not be opened");
        }

        /// <summary>KORVA3_END: closes the library's device handle.</summary>
        public static void End() { Korva3Native.KORVA3_END(); }

        /// <summary>KORVA3_REGISTRATION: binds card number 0..15 to the card with this ID switch (0..15).</summary>
        public static KorvaCard Register(uint number, uint idSwitch)
        {
            InRange("number", number, 0, 15, " (card numbers)");
            InRange("idSwitch", idSwitch, 0, 15, " (the card's ID switch)");
            if (Korva3Native.KORVA3_REGISTRATION(number, idSwitch) != 1)
                throw new KorvaException(string.Format(
                    "KORVA3_REGISTRATION({0}, {1}): no usable card with ID switch {1} (not found, "
                    + "no port access, or its link test failed)", number, idSwitch));
            return new KorvaCard(number);
        }

        // ---- registers and settings ------------------------------------------------------
        public uint Inputs { get { Live(); return Korva3Native.KORVA3_DI(Number); } }

        /// <summary>KORVA3_DO: outputs 0..6 (value 0..0x7F; bit 7 is the controller's reset line).</summary>
        public void SetOutputs(uint value)
        {
            Live();
            InRange("value", value, 0, 0x7F, " (outputs 0..6)");
            Korva3Native.KORVA3_DO(Number, value);
        }

        /// <summary>KORVA3_MSC: the status register now.</summary>
        public CardStatus Status { get { Live(); return (CardStatus)Korva3Native.KORVA3_MSC(Number); } }

        /// <summary>KORVA3_SET_VAR: cardVar 1..254, accel 1..250, startSpeed 1..500,
        /// highSpeed startSpeed..2040 (the library would clamp each).</summary>
        public void SetSpeeds(uint cardVar, uint accel, uint startSpeed, uint highSpeed)
        {
            Live();
            InRange("cardVar", cardVar, 1, 254, "");
            InRange("accel", accel, 1, 250, " (pulses per slice, per slice)");
            InRange("startSpeed", startSpeed, 1, 500, " (pulses per slice)");
            InRange("highSpeed", highSpeed, startSpeed, MaxSpeed, " (startSpeed..2040 pulses per slice)");
            Korva3Native.KORVA3_SET_VAR(Number, cardVar, accel, startSpeed, highSpeed, 0);
        }

        /// <summary>KORVA3_SET_ZERO.</summary>
        public void SetZero(Axis axis)
        {
            Live();
            CheckAxis(axis);
            Korva3Native.KORVA3_SET_ZERO(Number, (uint)axis);
        }

        /// <summary>KORVA3_PRESET_POSITION.</summary>
        public void Preset(Axis axis, int position)
        {
            Live();
            CheckAxis(axis);
            Korva3Native.KORVA3_PRESET_POSITION(Number, (uint)axis, position);
        }

        // ---- single axes -----------------------------------------------------------------
        /// <summary>KORVA3_PULSE_MOVE: a relative move (sign = direction).</summary>
        public void Move(Axis axis, int pulses, uint speed)
        {
            Live();
            CheckAxis(axis);
            CheckSpeed(speed);
            Korva3Native.KORVA3_PULSE_MOVE(Number, (uint)axis, pulses, speed);
        }

        /// <summary>KORVA3_CONSTANT_SPEED: runs until stopped.</summary>
        public void Jog(Axis axis, Direction direction, uint speed)
        {
            Live();
            CheckAxis(axis);
            CheckDirection(direction);
            CheckSpeed(speed);
            Korva3Native.KORVA3_CONSTANT_SPEED(Number, (uint)axis, (uint)direction, speed);
        }

        /// <summary>KORVA3_BACK_HOME: homing with two homing bytes.</summary>
        public void Home(Axis axis, byte homeByte1, byte homeByte2)
        {
            Live();
            CheckAxis(axis);
            Korva3Native.KORVA3_BACK_HOME(Number, (uint)axis, homeByte1, homeByte2);
        }

        /// <summary>KORVA3_STOP: immediate stop of one axis.</summary>
        public void Stop(Axis axis)
        {
            Live();
            CheckAxis(axis);
            Korva3Native.KORVA3_STOP(Number, (uint)axis);
        }

        /// <summary>KORVA3_DEC_STOP: decelerating stop of one axis.</summary>
        public void DecelerateStop(Axis axis)
        {
            Live();
            CheckAxis(axis);
            Korva3Native.KORVA3_DEC_STOP(Number, (uint)axis);
        }

        /// <summary>KORVA3_EMG_STOP: resets the controller (every axis and path stops at once,
        /// outputs kept). Safe from any thread, also after Dispose.</summary>
        public void EmergencyStop() { Korva3Native.KORVA3_EMG_STOP(Number); }

        // ---- paths -----------------------------------------------------------------------
        /// <summary>KORVA3_INTP_PULSE: one slice, each axis -2047..2047 pulses.</summary>
        public void Slice(int x, int y, int z)
        {
            Live();
            InRange("x", x, -MaxSlicePulses, MaxSlicePulses, " (pulses in one slice)");
            InRange("y", y, -MaxSlicePulses, MaxSlicePulses, " (pulses in one slice)");
            InRange("z", z, -MaxSlicePulses, MaxSlicePulses, " (pulses in one slice)");
            Korva3Native.KORVA3_INTP_PULSE(Number, x, y, z);
        }

        /// <summary>KORVA3_INTP_XYZ: a blocking line in space.</summary>
        public void Line(int dx, int dy, int dz, uint speed)
        {
            Live();
            CheckSpeed(speed);
            Korva3Native.KORVA3_INTP_XYZ(Number, dx, dy, dz, speed);
        }

        /// <summary>KORVA3_INTP_LINE01: a blocking line in a plane.</summary>
        public void Line(int du, int dv, uint speed, Plane plane = Plane.XY)
        {
            Live();
            CheckPlane(plane);
            CheckSpeed(speed);
            Korva3Native.KORVA3_INTP_LINE01(Number, (uint)plane, du, dv, speed);
        }

        /// <summary>KORVA3_INTP_ARC01: a blocking arc; KorvaException when the radius is
        /// shorter than half the chord (or 0).</summary>
        public void Arc(int endU, int endV, int radius, Turn turn, uint speed, Plane plane = Plane.XY)
        {
            Live();
            CheckPlane(plane);
            CheckTurn(turn);
            CheckSpeed(speed);
            CheckArc("KORVA3_INTP_ARC01", endU, endV, radius);
            Korva3Native.KORVA3_INTP_ARC01(Number, (uint)plane, endU, endV, radius, (uint)turn, speed);
        }

        /// <summary>KORVA3_INTP_CIRCLE01: a blocking full circle; KorvaException when the
        /// centre is the start point.</summary>
        public void Circle(int centerU, int centerV, Turn turn, uint speed, Plane plane = Plane.XY)
        {
            Live();
            CheckPlane(plane);
            CheckTurn(turn);
            CheckSpeed(speed);
            CheckCircle("KORVA3_INTP_CIRCLE01", centerU, centerV);
            Korva3Native.KORVA3_INTP_CIRCLE01(Number, (uint)plane, centerU, centerV, (uint)turn, speed);
        }

        void Saved(uint result, string call)
        {
            pathSaved = result == 1;
            if (result != 1)
                throw new KorvaException(call + ": stepwise path refused (nothing to do)");
        }

        /// <summary>KORVA3_INTP_LINE02: saves a stepwise line; Wait(), Poll() or ContinuePath() run it.</summary>
        public void StartLine(int du, int dv, uint speed, Plane plane = Plane.XY, bool ramp = true)
        {
            Live();
            CheckPlane(plane);
            CheckSpeed(speed);
            Saved(Korva3Native.KORVA3_INTP_LINE02(Number, (uint)plane, du, dv, speed, ramp ? 0u : 1u),
                  string.Format("KORVA3_INTP_LINE02 (line ({0}, {1}) at {2})", du, dv, speed));
        }

        /// <summary>KORVA3_INTP_XYZ02: saves a stepwise line in space.</summary>
        public void StartLine(int dx, int dy, int dz, uint speed, bool ramp = true)
        {
            Live();
            CheckSpeed(speed);
            Saved(Korva3Native.KORVA3_INTP_XYZ02(Number, dx, dy, dz, speed, ramp ? 0u : 1u),
                  string.Format("KORVA3_INTP_XYZ02 (line ({0}, {1}, {2}) at {3})", dx, dy, dz, speed));
        }

        /// <summary>KORVA3_INTP_ARC02: saves a stepwise arc (checked as Arc).</summary>
        public void StartArc(int endU, int endV, int radius, Turn turn, uint speed, Plane plane = Plane.XY,
                             bool ramp = true)
        {
            Live();
            CheckPlane(plane);
            CheckTurn(turn);
            CheckSpeed(speed);
            CheckArc("KORVA3_INTP_ARC02", endU, endV, radius);
            Saved(Korva3Native.KORVA3_INTP_ARC02(Number, (uint)plane, endU, endV, radius, (uint)turn, speed,
                                                ramp ? 0u : 1u), "KORVA3_INTP_ARC02");
        }

        /// <summary>KORVA3_INTP_CIRCLE02: saves a stepwise circle (checked as Circle).</summary>
        public void StartCircle(int centerU, int centerV, Turn turn, uint speed, Plane plane = Plane.XY,
                                bool ramp = true)
        {
            Live();
            CheckPlane(plane);
            CheckTurn(turn);
            CheckSpeed(speed);
            CheckCircle("KORVA3_INTP_CIRCLE02", centerU, centerV);
            Saved(Korva3Native.KORVA3_INTP_CIRCLE02(Number, (uint)plane, centerU, centerV, (uint)turn, speed,
                                                   ramp ? 0u : 1u), "KORVA3_INTP_CIRCLE02");
        }

        /// <summary>KORVA3_INTP_STOP: sends the stepwise path's next batch; true while it goes on.</summary>
        public bool ContinuePath() { Live(); return Korva3Native.KORVA3_INTP_STOP() == 1; }

        /// <summary>KORVA3_INTP_ONLINE_SETSPEED: the stepwise path's new speed cap (1..2040),
        /// then its next batch; true while it goes on.</summary>
        public bool SetPathSpeed(uint speed)
        {
            Live();
            CheckSpeed(speed);
            return Korva3Native.KORVA3_INTP_ONLINE_SETSPEED(speed) == 1;
        }

        // ---- status and waits ------------------------------------------------------------
        /// <summary>KORVA3_GET_CARD: runs a stepwise path on and reads the status reports.</summary>
        public CardStatus Poll() { Live(); return (CardStatus)Korva3Native.KORVA3_GET_CARD(Number); }

        /// <summary>Until every axis and any path are idle (busy and motion bits clear, and
        /// still clear 10 ms later by the library's clock, as KORVA3_WAIT_X looks), running a
        /// stepwise path on as it goes (Poll), with PollInterval between reads.
        /// TimeoutException after `timeout` of wall-clock time (Timeout.InfiniteTimeSpan: none);
        /// the card keeps moving then: stop it. A card whose link test failed never reads as
        /// idle: the wait ends at its timeout.</summary>
        public void Wait(TimeSpan timeout)
        {
            Live();
            if (timeout < TimeSpan.Zero && timeout != Timeout.InfiniteTimeSpan)
                throw new ArgumentOutOfRangeException("timeout", timeout, "timeout must be 0 or more, or Timeout.InfiniteTimeSpan");
            if (!WaitIdle(timeout))
                throw new TimeoutException(string.Format(
                    "card {0} still moving after {1} ms ({2})", Number, (long)timeout.TotalMilliseconds,
                    (CardStatus)Korva3Native.KORVA3_MSC(Number) & Moving));
        }

        // Polls (KORVA3_GET_CARD, which also runs a stepwise path on) until the busy and motion
        // bits are clear, then asks KORVA3_IS_X/Y/Z_STOP, which look again after 10 ms of the
        // library's clock; false at the timeout.
        bool WaitIdle(TimeSpan timeout)
        {
            Stopwatch clock = Stopwatch.StartNew();
            for (;;) {
                CardStatus status = (CardStatus)Korva3Native.KORVA3_GET_CARD(Number);
                if ((status & Moving) == 0 && Korva3Native.KORVA3_IS_X_STOP(Number) == 1 &&
                    Korva3Native.KORVA3_IS_Y_STOP(Number) == 1 && Korva3Native.KORVA3_IS_Z_STOP(Number) == 1)
                    return true;
                if (timeout != Timeout.InfiniteTimeSpan && clock.Elapsed >= timeout)
                    return false;
                if (PollInterval > TimeSpan.Zero)
                    Thread.Sleep(PollInterval);
                else
                    Thread.Yield();
            }
        }

        /// <summary>Stops the card's motion and ends this object (later calls but
        /// EmergencyStop throw ObjectDisposedException; the card stays registered). If the card
        /// moves: a decelerating stop of every axis (which also ends a saved stepwise path;
        /// slices the card already holds still run), then up to StopTimeout for the card to
        /// come to rest, else an emergency stop. Whether an exception is unwinding cannot be
        /// known here: call EmergencyStop() in a catch for that.</summary>
        public void Dispose()
        {
            if (disposed)
                return;
            disposed = true;
            if (((CardStatus)Korva3Native.KORVA3_MSC(Number) & Moving) == 0 && !pathSaved)
                return;
            foreach (Axis axis in new[] { Axis.X, Axis.Y, Axis.Z })
                Korva3Native.KORVA3_DEC_STOP(Number, (uint)axis);
            if (!WaitIdle(StopTimeout))
                Korva3Native.KORVA3_EMG_STOP(Number);
        }

        /// <summary>Commanded positions of the last status report (signed).</summary>
        public int X { get { Live(); return Korva3Native.KORVA3_GET_XC(Number); } }
        public int Y { get { Live(); return Korva3Native.KORVA3_GET_YC(Number); } }
        public int Z { get { Live(); return Korva3Native.KORVA3_GET_ZC(Number); } }
        public uint Limits { get { Live(); return Korva3Native.KORVA3_GET_LIMIT(Number); } }
    }
}
