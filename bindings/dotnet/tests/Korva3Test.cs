// Korva3Test.cs - the .NET declarations against the headers, and the bindings on the
// virtual card (Mono, libkorva32sim.so). Usage: mono korva3_dotnet_test.exe INCLUDE_DIR
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using Korva;

// Declarations that drifted, each in one way: the check must name every one of them.
static class Drifted
{
    const string L = Korva3SimNative.Library;
    [DllImport(L, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
    public static extern uint KORVA3_GET_XC(uint card);                              // unsigned reader
    [DllImport(L, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
    public static extern void KORVA3_PULSE_MOVE(uint card, uint axis, uint pulses, uint speed);
    [DllImport(L, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
    public static extern void KORVA3_INTP_LINE(uint card, int du, int dv);          // argument missing
    [DllImport(L, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
    public static extern void KORVA3_DO(uint card, long value);                       // 64-bit value
    [DllImport(L, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    public static extern uint KORVA3_INITIAL();                                       // convention
    [DllImport(L, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
    public static extern uint KORVA3_NOT_IN_HEADER(uint card);
}

static class Korva3Test
{
    static int failures;

    static void Check(bool ok, string what)
    {
        Console.WriteLine((ok ? "ok   " : "FAIL ") + what);
        if (!ok)
            failures++;
    }

    // ---- the drift check ---------------------------------------------------------------
    static readonly Dictionary<string, Type> CTypes = new Dictionary<string, Type> {
        { "void", typeof(void) }, { "uint32_t", typeof(uint) }, { "int32_t", typeof(int) },
        { "double", typeof(double) }, { "char*", typeof(string) }, { "uint8_t*", typeof(byte[]) },
        { "uint16_t*", typeof(ushort[]) }, { "uint32_t*", typeof(uint[]) }, { "int32_t*", typeof(int[]) },
    };

    static string Normal(string c)
    {
        c = Regex.Replace(c, @"\bconst\b", "").Trim();
        int stars = c.Count(ch => ch == '*');
        var words = c.Replace("*", " ").Split((char[])null, StringSplitOptions.RemoveEmptyEntries).ToList();
        if (words.Count > 1)
            words.RemoveAt(words.Count - 1); // the parameter's name
        return string.Join(" ", words) + new string('*', stars);
    }

    // Functions of a header: name -> result and parameter types in C.
    static Dictionary<string, string[]> ReadHeader(string path)
    {
        string text = Regex.Replace(File.ReadAllText(path), @"/\*.*?\*/", "", RegexOptions.Singleline);
        var decl = new Regex(@"KORVA3_API\s+([\w\s\*]+?)\s*KORVA3_CALL\s+(\w+)\s*\(([^)]*)\)\s*;");
        var found = new Dictionary<string, string[]>();
        foreach (Match m in decl.Matches(text)) {
            var types = new List<string> { Normal(m.Groups[1].Value) };
            foreach (string p in m.Groups[3].Value.Split(','))
                if (p.Trim().Length > 0 && p.Trim() != "void")
                    types.Add(Normal(p));
            found[m.Groups[2].Value] = types.ToArray();
        }
        return found;
    }

    // One line per declaration of `cls` that differs from the header.
    static List<string> Drift(Type cls, Dictionary<string, string[]> header)
    {
        var problems = new List<string>();
        foreach (MethodInfo m in cls.GetMethods(BindingFlags.Public | BindingFlags.Static)) {
            var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false).FirstOrDefault();
            if (import == null)
                continue;
            string name = import.EntryPoint ?? m.Name;
            string[] c;
            if (!header.TryGetValue(name, out c)) {
                problems.Add(name + ": not in the header");
                continue;
            }
            if (import.CallingConvention != CallingConvention.StdCall)
                problems.Add(name + ": calling convention " + import.CallingConvention);
            var types = new List<Type> { m.ReturnType };
            types.AddRange(m.GetParameters().Select(p => p.ParameterType));
            if (types.Count != c.Length)
                problems.Add(name + ": " + (types.Count - 1) + " parameters, header " + (c.Length - 1));
            for (int i = 0; i < Math.Min(types.Count, c.Length); i++)
                if (!CTypes.ContainsKey(c[i]) || CTypes[c[i]] != types[i])
                    problems.Add(name + (i == 0 ? ": result " : ": parameter " + i + " ") + types[i].Name + ", header " + c[i]);
        }
        return problems;
    }

    static void DriftChecks(string include)
    {
        var header = ReadHeader(Path.Combine(include, "korva3.h"));
        var simHeader = ReadHeader(Path.Combine(include, "korva3_sim.h"));
        var declared = typeof(Korva3Native).GetMethods(BindingFlags.Public | BindingFlags.Static)
                           .Select(m => m.Name).ToList();
        Check(header.Count == 52 && header.Keys.All(declared.Contains) && declared.Count == 52,
              "Korva3Native declares exactly the 52 functions of korva3.h");
        var problems = Drift(typeof(Korva3Native), header);
        problems.AddRange(Drift(typeof(Korva3SimNative), simHeader));
        foreach (string p in problems)
            Console.WriteLine("     " + p);
        Check(problems.Count == 0, "every declaration matches its header");

        var caught = Drift(typeof(Drifted), header);
        string[] expected = {
            "KORVA3_GET_XC: result UInt32, header int32_t",
            "KORVA3_PULSE_MOVE: parameter 3 UInt32, header int32_t",
            "KORVA3_INTP_LINE: 3 parameters, header 4",
            "KORVA3_DO: parameter 2 Int64, header uint32_t",
            "KORVA3_INITIAL: calling convention Cdecl",
            "KORVA3_NOT_IN_HEADER: not in the header",
        };
        foreach (string e in expected)
            Check(caught.Contains(e), "the check catches \"" + e + "\"");
        Check(caught.Count == expected.Length, "and reports nothing else (" + caught.Count + ")");
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
        card.Line(-3000, -4000, 100);
        card.Move(Axis.Z, -70000, 500);
        card.Wait();
        card.Poll();
        Korva3SimNative.KSIM_ADVANCE_MS(20);
        CardStatus status = card.Poll();
        Check(card.X == -3000 && card.Y == -4000 && card.Z == -70000 &&
              Korva3Native.KORVA3_GET_ZP(0) == -70000,
              string.Format("the status report reads signed positions ({0}, {1}, {2})", card.X, card.Y, card.Z));
        Check((status & (CardStatus.Busy | CardStatus.XMoving)) == 0 && (card.Status & CardStatus.TxReady) != 0,
              "the card is idle and ready: " + status);
        try {
            card.StartLine(10, 10, 0);
            Check(false, "a stepwise line at speed 0 throws");
        } catch (KorvaException e) {
            Check(e.Message.Contains("INTP_LINE02"), "a stepwise line at speed 0 throws: " + e.Message);
        }
        try {
            KorvaCard.Register(1, 9);
            Check(false, "registering a missing card throws");
        } catch (KorvaException e) {
            Check(e.Message.Contains("ID switch 9"), "registering a missing card throws: " + e.Message);
        }
        KorvaCard.End();
    }

    static int Main(string[] args)
    {
        DriftChecks(args.Length > 0 ? args[0] : "include");
        WorkedExample();
        StatusRead();
        Console.WriteLine(failures == 0 ? "all passed" : failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}
