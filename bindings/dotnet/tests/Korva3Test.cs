// Korva3Test.cs - the bindings on the virtual card (Mono, libkorva32sim.so): frames,
// status, argument checks, Dispose, wait timeouts; the declarations' checks are in
// DeclarationsTest.cs.
// Usage: mono korva3_dotnet_test.exe INCLUDE_DIR BINDINGS_DIR
using System;
using System.Linq;
using Korva;

static partial class Korva3Test
{
    static int failures;

    static void Check(bool ok, string what)
    {
        Console.WriteLine((ok ? "ok   " : "FAIL ") + what);
        if (!ok)
            failures++;
    }

    // ---- the bindings on the virtual card ----------------------------------------------
    static int[] SliceOf(byte[] frames, int k)
    {
        var v = new int[3];
        for (int a = 0; a < 3; a++) {
            int high = frames[13 * k + 3 + 2 * a], low = frames[13 * k + 4 + 2 * a];
            int magnitude = (high & 0x07) << 8 | low;
            v[a] = (high & 0x80) != 0 ? -magnitude : magnitude;
        }
        return v;
    }

    static void WorkedExample()
    {
        Korva3SimNative.OneCardMachine(0);
        Korva3SimNative.KSIM_SET_SLICE_PERIOD_US(-1, 0); // an ideal card
        KorvaCard.Initial();
        KorvaCard card = KorvaCard.Register(0, 0);
        var frames = new byte[13 * 16];
        Korva3SimNative.KSIM_TAKE_FRAMES(0, frames, 16); // registration's frames
        Korva3Native.KORVA3_INTP_LINE(0, 3, 4, 10);
        uint n = Korva3SimNative.KSIM_TAKE_FRAMES(0, frames, 16);
        var slices = Enumerable.Range(0, (int)n).Select(k => string.Join(",", SliceOf(frames, k))).ToArray();
        Check(string.Join(" ", slices) == "1,1,0 1,2,0 1,1,0",
              "KORVA3_INTP_LINE(0, 3, 4, 10) sends slices (1,1,0) (1,2,0) (1,1,0): " + string.Join(" ", slices));
        byte[] first = { 0x55, 0xAA, 0x10, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00 };
        Check(frames.Take(11).SequenceEqual(first), "its first frame is 55 AA 10 00 01 00 01 00 00 00 00 ...");
        card.Line(1, 1, 5);
        Check(Korva3SimNative.KSIM_TAKE_FRAMES(0, frames, 16) == 1 && string.Join(",", SliceOf(frames, 0)) == "1,1,0",
              "the wrapper's Line(1, 1, 5) sends one slice (1,1,0)");
        KorvaCard.End();
    }

    static void StatusRead()
    {
        Korva3SimNative.OneCardMachine(0);
        Korva3SimNative.KSIM_SET_STATUS_PERIOD_MS(-1, 5);
        KorvaCard.Initial();
        KorvaCard card = KorvaCard.Register(0, 0);
        Korva3SimNative.KSIM_SET_INPUTS(0, 0xA5);
        Check(card.Inputs == 0xA5, "KORVA3_DI reads the inputs 0xA5");
        card.PollInterval = TimeSpan.Zero; // virtual time runs while the test polls
        card.Line(-3000, -4000, 100);
        card.Move(Axis.Z, -70000, 500);
        card.Wait(TimeSpan.FromSeconds(30));
        card.Poll();
        Korva3SimNative.KSIM_ADVANCE_MS(20);
        CardStatus status = card.Poll();
        Check(card.X == -3000 && card.Y == -4000 && card.Z == -70000 &&
              Korva3Native.KORVA3_GET_ZP(0) == -70000,
              string.Format("the status report reads signed positions ({0}, {1}, {2})", card.X, card.Y, card.Z));
        Check((status & (CardStatus.Busy | CardStatus.XMoving)) == 0 && (card.Status & CardStatus.TxReady) != 0,
              "the card is idle and ready: " + status);
        try {
            card.StartLine(0, 0, 10);
            Check(false, "an empty stepwise line throws");
        } catch (KorvaException e) {
            Check(e.Message.Contains("INTP_LINE02"), "an empty stepwise line throws: " + e.Message);
        }
        try {
            KorvaCard.Register(1, 9);
            Check(false, "registering a missing card throws");
        } catch (KorvaException e) {
            Check(e.Message.Contains("ID switch 9"), "registering a missing card throws: " + e.Message);
        }
        KorvaCard.End();
    }

    // ---- argument checks: refused before the library sees them --------------------------
    class Call
    {
        public string What, Param; public Action<KorvaCard> Run;
        public Call(string what, string param, Action<KorvaCard> run) { What = what; Param = param; Run = run; }
    }

    static KorvaCard IdealCard()
    {
        Korva3SimNative.OneCardMachine(0);
        Korva3SimNative.KSIM_SET_SLICE_PERIOD_US(-1, 0);
        KorvaCard.Initial();
        KorvaCard card = KorvaCard.Register(0, 0);
        card.PollInterval = TimeSpan.Zero;
        FramesSent();
        return card;
    }

    static uint outputs;

    // Commands the card took since the last look, and 1 more if its outputs changed.
    static uint FramesSent()
    {
        uint now = Korva3SimNative.KSIM_OUTPUTS(0), changed = now != outputs ? 1u : 0u;
        outputs = now;
        return Korva3SimNative.KSIM_TAKE_FRAMES(0, new byte[13 * 4096], 4096) + changed;
    }

    // Runs `call`; the exception it threw (null: none), and whether the card got a frame.
    static Exception Try(KorvaCard card, Call call, out uint frames)
    {
        Exception thrown = null;
        try {
            call.Run(card);
        } catch (Exception e) {
            thrown = e;
        }
        frames = FramesSent();
        return thrown;
    }

    static void RangeChecks()
    {
        KorvaCard card = IdealCard();
        Call[] outOfRange = {
            new Call("Move at speed 0", "speed", c => c.Move(Axis.X, 100, 0)),
            new Call("Move at speed 2041", "speed", c => c.Move(Axis.X, 100, 2041)),
            new Call("Move at speed (uint)-5", "speed", c => c.Move(Axis.X, 100, unchecked((uint)-5))),
            new Call("Move of axis 7", "axis", c => c.Move((Axis)7, 100, 10)),
            new Call("Move of axis 0", "axis", c => c.Move((Axis)0, 100, 10)),
            new Call("Jog at speed 0", "speed", c => c.Jog(Axis.Y, Direction.Positive, 0)),
            new Call("Jog in direction 2", "direction", c => c.Jog(Axis.Y, (Direction)2, 10)),
            new Call("Stop of axis 4", "axis", c => c.Stop((Axis)4)),
            new Call("DecelerateStop of axis 0", "axis", c => c.DecelerateStop((Axis)0)),
            new Call("SetZero of axis 9", "axis", c => c.SetZero((Axis)9)),
            new Call("Preset of axis 0", "axis", c => c.Preset((Axis)0, 5)),
            new Call("Home of axis 5", "axis", c => c.Home((Axis)5, 1, 2)),
            new Call("Slice of 2048 on x", "x", c => c.Slice(2048, 0, 0)),
            new Call("Slice of -2048 on y", "y", c => c.Slice(0, -2048, 0)),
            new Call("Slice of int.MinValue on z", "z", c => c.Slice(0, 0, int.MinValue)),
            new Call("Line at speed 0", "speed", c => c.Line(10, 10, 0)),
            new Call("Line in plane 4", "plane", c => c.Line(10, 10, 10, (Plane)4)),
            new Call("Line in plane 0", "plane", c => c.Line(10, 10, 10, (Plane)0)),
            new Call("XYZ line at speed 3000", "speed", c => c.Line(1, 2, 3, 3000)),
            new Call("Arc turning 2", "turn", c => c.Arc(10, 0, 10, (Turn)2, 10)),
            new Call("Arc at speed 0", "speed", c => c.Arc(10, 0, 10, Turn.Clockwise, 0)),
            new Call("Arc of 2^32 pulses or more", "radius", c => c.Arc(0, 0, -700000000, Turn.Clockwise, 10)),
            new Call("Circle at speed 2041", "speed", c => c.Circle(10, 0, Turn.Clockwise, 2041)),
            new Call("Circle of radius 683565276", "centerU", c => c.Circle(683565276, 0, Turn.Clockwise, 10)),
            new Call("StartLine at speed 0", "speed", c => c.StartLine(10, 10, 0)),
            new Call("StartLine XYZ at speed 0", "speed", c => c.StartLine(1, 1, 1, 0)),
            new Call("StartArc in plane 7", "plane", c => c.StartArc(10, 0, 10, Turn.Clockwise, 10, (Plane)7)),
            new Call("StartCircle at speed 0", "speed", c => c.StartCircle(10, 0, Turn.Clockwise, 0)),
            new Call("SetPathSpeed 0", "speed", c => c.SetPathSpeed(0)),
            new Call("SetPathSpeed 2041", "speed", c => c.SetPathSpeed(2041)),
            new Call("SetOutputs 0x80", "value", c => c.SetOutputs(0x80)),
            new Call("SetSpeeds cardVar 0", "cardVar", c => c.SetSpeeds(0, 10, 10, 100)),
            new Call("SetSpeeds cardVar 255", "cardVar", c => c.SetSpeeds(255, 10, 10, 100)),
            new Call("SetSpeeds accel 251", "accel", c => c.SetSpeeds(10, 251, 10, 100)),
            new Call("SetSpeeds startSpeed 501", "startSpeed", c => c.SetSpeeds(10, 10, 501, 1000)),
            new Call("SetSpeeds highSpeed below startSpeed", "highSpeed", c => c.SetSpeeds(10, 10, 100, 99)),
            new Call("SetSpeeds highSpeed 2041", "highSpeed", c => c.SetSpeeds(10, 10, 10, 2041)),
            new Call("Register card 16", "number", c => KorvaCard.Register(16, 0)),
            new Call("Register ID switch 16", "idSwitch", c => KorvaCard.Register(0, 16)),
            new Call("Wait with a negative timeout", "timeout", c => c.Wait(TimeSpan.FromMilliseconds(-2))),
        };
        foreach (Call call in outOfRange) {
            uint frames;
            var e = Try(card, call, out frames) as ArgumentOutOfRangeException;
            Check(e != null && e.ParamName == call.Param && e.Message.Contains(call.Param + " must be")
                  && frames == 0,
                  call.What + ": ArgumentOutOfRangeException(" + call.Param + "), nothing sent"
                  + (e != null ? ": " + e.Message.Split('\n')[0] : ""));
        }

        Call[] refused = {
            new Call("Arc (3, 4) radius 2", "half the chord (3)", c => c.Arc(3, 4, 2, Turn.Clockwise, 10)),
            new Call("Arc radius 0", "shorter than half the chord", c => c.Arc(0, 0, 0, Turn.Clockwise, 10)),
            new Call("Arc (2000, 0) radius -999", "half the chord (1000)", c => c.Arc(2000, 0, -999, Turn.CounterClockwise, 10)),
            new Call("Circle centred on its start", "centre is the start point", c => c.Circle(0, 0, Turn.Clockwise, 10)),
            new Call("StartArc (3, 4) radius 2", "INTP_ARC02", c => c.StartArc(3, 4, 2, Turn.Clockwise, 10)),
            new Call("StartCircle centred on its start", "INTP_CIRCLE02", c => c.StartCircle(0, 0, Turn.Clockwise, 10)),
        };
        foreach (Call call in refused) {
            uint frames;
            var e = Try(card, call, out frames) as KorvaException;
            Check(e != null && e.Message.Contains(call.Param) && frames == 0,
                  call.What + ": KorvaException, nothing sent" + (e != null ? ": " + e.Message : ""));
        }

        // The edges of each range pass, and reach the card.
        Call[] accepted = {
            new Call("Move at speed 1", "", c => c.Move(Axis.X, 3, 1)),
            new Call("Move at speed 2040", "", c => c.Move(Axis.Z, -3, 2040)),
            new Call("Move of int.MinValue pulses", "", c => { c.Move(Axis.Y, int.MinValue, 5); c.Stop(Axis.Y); }),
            new Call("Slice of 2047, -2047, 0", "", c => c.Slice(2047, -2047, 0)),
            new Call("Arc (6, 8) radius 5 (half a circle)", "", c => c.Arc(6, 8, 5, Turn.Clockwise, 10)),
            new Call("Arc (6, 8) radius -5", "", c => c.Arc(6, 8, -5, Turn.CounterClockwise, 10, Plane.YZ)),
            new Call("Circle of radius 1 in XZ", "", c => c.Circle(0, -1, Turn.CounterClockwise, 10, Plane.XZ)),
            new Call("SetSpeeds 254, 250, 500, 2040", "", c => c.SetSpeeds(254, 250, 500, 2040)),
            new Call("SetSpeeds 1, 1, 1, 1", "", c => c.SetSpeeds(1, 1, 1, 1)),
            new Call("SetOutputs 0x7F", "", c => c.SetOutputs(0x7F)),
            new Call("SetOutputs 0", "", c => c.SetOutputs(0)),
        };
        foreach (Call call in accepted) {
            uint frames;
            Exception e = Try(card, call, out frames);
            Check(e == null && frames > 0, call.What + ": accepted and sent (" + frames + " frames)"
                  + (e != null ? ": " + e.Message : ""));
        }
        card.Dispose();
        KorvaCard.End();
    }

    // ---- Dispose stops the card; Wait ends at its timeout ---------------------------------
    static int[] Positions()
    {
        return new[] { Korva3SimNative.KSIM_POSITION(0, 1), Korva3SimNative.KSIM_POSITION(0, 2),
                       Korva3SimNative.KSIM_POSITION(0, 3) };
    }

    static void DisposeStops()
    {
        Call[] motions = {
            new Call("a jog of X", "", c => c.Jog(Axis.X, Direction.Positive, 100)),
            new Call("a long move of Z", "", c => c.Move(Axis.Z, -50000000, 200)),
            new Call("a stepwise line", "", c => { c.StartLine(0, 5000000, 100, Plane.YZ); c.Poll(); }),
        };
        foreach (bool dispose in new[] { true, false })
            foreach (Call call in motions) {
                Korva3SimNative.OneCardMachine(0);
                KorvaCard.Initial();
                KorvaCard card = KorvaCard.Register(0, 0);
                card.PollInterval = TimeSpan.Zero;
                call.Run(card);
                for (int i = 0; i < 20; i++) { // let it get going, pumping the stepwise line
                    Korva3SimNative.KSIM_ADVANCE_MS(5);
                    card.Poll();
                }
                if (dispose)
                    card.Dispose();
                int[] before = Positions();
                Korva3SimNative.KSIM_ADVANCE_MS(2000);
                for (int i = 0; i < 20; i++) {
                    Korva3SimNative.KSIM_ADVANCE_MS(5);
                    Korva3Native.KORVA3_GET_CARD(0);
                }
                int[] after = Positions();
                bool moved = before.Any(v => v != 0), stood = before.SequenceEqual(after);
                uint resets = Korva3SimNative.KSIM_RESETS(0);
                bool decelerated = Enumerable.Range(1, 3).All(
                    a => Korva3SimNative.KSIM_CARD_VALUE(0, "last_cmd", (uint)a) == 0x33);
                if (dispose)
                    Check(moved && stood && decelerated && resets == 0,
                          "Dispose during " + call.What + " stops it by decelerating stops, no emergency stop: ("
                          + string.Join(", ", before) + ") then (" + string.Join(", ", after) + ")");
                else
                    Check(moved && !stood, "without Dispose " + call.What + " runs on (the check above can fail)");
                Korva3Native.KORVA3_EMG_STOP(0);
                KorvaCard.End();
            }

        // A decelerating stop that does not end within StopTimeout: an emergency stop.
        Korva3SimNative.OneCardMachine(0);
        KorvaCard.Initial();
        KorvaCard held = KorvaCard.Register(0, 0);
        held.PollInterval = TimeSpan.Zero;
        held.StopTimeout = TimeSpan.Zero;
        held.Jog(Axis.Y, Direction.Negative, 500);
        Korva3SimNative.KSIM_ADVANCE_MS(50);
        held.Dispose();
        Korva3SimNative.KSIM_ADVANCE_MS(100);
        int y = Korva3SimNative.KSIM_POSITION(0, 2);
        Korva3SimNative.KSIM_ADVANCE_MS(1000);
        Check(Korva3SimNative.KSIM_RESETS(0) == 1 && y < 0 && Korva3SimNative.KSIM_POSITION(0, 2) == y,
              "Dispose makes an emergency stop when the decelerating one outlasts StopTimeout");
        FramesSent();
        try {
            held.Move(Axis.X, 1, 1);
            Check(false, "a disposed card refuses calls");
        } catch (ObjectDisposedException) {
            Check(FramesSent() == 0, "a disposed card refuses calls (ObjectDisposedException), nothing sent");
        }
        KorvaCard.End();
    }

    static void WaitTimeout()
    {
        foreach (TimeSpan poll in new[] { TimeSpan.Zero, TimeSpan.FromMilliseconds(1) }) {
            Korva3SimNative.OneCardMachine(0);
            KorvaCard.Initial();
            KorvaCard card = KorvaCard.Register(0, 0);
            card.PollInterval = poll;
            card.Jog(Axis.X, Direction.Positive, 50);
            var clock = System.Diagnostics.Stopwatch.StartNew();
            try {
                card.Wait(TimeSpan.FromMilliseconds(200));
                Check(false, "Wait on a jogging axis ends at its timeout");
            } catch (TimeoutException e) {
                long ms = clock.ElapsedMilliseconds;
                Check(ms >= 200 && ms < 20000 && e.Message.Contains("XMoving"),
                      string.Format("Wait(200 ms) on a jogging axis (polls {0} ms apart) throws TimeoutException after {1} ms: {2}",
                                    poll.TotalMilliseconds, ms, e.Message));
            }
            card.EmergencyStop();
            card.Wait(TimeSpan.FromSeconds(5));
            Check(true, "after an emergency stop the same Wait returns");
            KorvaCard.End();
        }
    }


    static int Main(string[] args)
    {
        string include = args.Length > 0 ? args[0] : "include";
        DriftChecks(include);
        ProjectFile(include, args.Length > 1 ? args[1] : ".");
        WorkedExample();
        StatusRead();
        RangeChecks();
        DisposeStops();
        WaitTimeout();
        Console.WriteLine(failures == 0 ? "all passed" : failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}
