// DeclarationsTest.cs - the .NET declarations against the headers (each function's
// types and calling convention, the delegates, the constants) and Korva.csproj against
// the Mono build's sources; part of korva3_dotnet_test (Korva3Test.cs).
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
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
    public const uint KSIM_PCI_VENDOR = 0xE158;                                        // wrong value
}

static partial class Korva3Test
{
    // ---- the drift check ---------------------------------------------------------------
    static readonly Dictionary<string, Type[]> CTypes = new Dictionary<string, Type[]> {
        { "void", new[] { typeof(void) } }, { "uint32_t", new[] { typeof(uint) } },
        { "int32_t", new[] { typeof(int) } }, { "uint64_t", new[] { typeof(ulong) } },
        { "double", new[] { typeof(double) } }, { "void*", new[] { typeof(IntPtr) } },
        { "char*", new[] { typeof(string), typeof(StringBuilder) } },
        { "uint8_t*", new[] { typeof(byte[]), typeof(IntPtr) } }, { "uint16_t*", new[] { typeof(ushort[]) } },
        { "uint32_t*", new[] { typeof(uint[]) } }, { "int32_t*", new[] { typeof(int[]) } },
        { "KSIM_FRAME_SINK", new[] { typeof(Korva3SimNative.FrameSink) } },
        { "KSIM_MOTION_SINK", new[] { typeof(Korva3SimNative.MotionSink) } },
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

    static string[] Types(string result, string parameters)
    {
        var types = new List<string> { Normal(result) };
        foreach (string p in parameters.Split(','))
            if (p.Trim().Length > 0 && p.Trim() != "void")
                types.Add(Normal(p));
        return types.ToArray();
    }

    static string Uncommented(string path)
    {
        return Regex.Replace(File.ReadAllText(path), @"/\*.*?\*/", "", RegexOptions.Singleline);
    }

    // Functions of a header: name -> result and parameter types in C; with the function
    // pointer types (typedef ... (KORVA3_CALL *NAME)(...)) when `pointers`.
    static Dictionary<string, string[]> ReadHeader(string path, bool pointers = false)
    {
        string text = Uncommented(path);
        var decl = pointers
            ? new Regex(@"typedef\s+([\w\s\*]+?)\s*\(\s*KORVA3_CALL\s*\*\s*(\w+)\s*\)\s*\(([^)]*)\)\s*;")
            : new Regex(@"KORVA3_API\s+([\w\s\*]+?)\s*KORVA3_CALL\s+(\w+)\s*\(([^)]*)\)\s*;");
        var found = new Dictionary<string, string[]>();
        foreach (Match m in decl.Matches(text))
            found[m.Groups[2].Value] = Types(m.Groups[1].Value, m.Groups[3].Value);
        return found;
    }

    // Constants of a header: #define NAME 0x12u and enum { NAME = 1, ... } -> value.
    static Dictionary<string, ulong> ReadConstants(string path, string prefix)
    {
        var found = new Dictionary<string, ulong>();
        var constant = new Regex(@"(?:#define\s+|[{,]\s*)(" + prefix + @"\w+)\s*=?\s*(0x[0-9A-Fa-f]+|\d+)u?\b");
        foreach (Match m in constant.Matches(Uncommented(path))) {
            string v = m.Groups[2].Value;
            found[m.Groups[1].Value] = v.StartsWith("0x") ? Convert.ToUInt64(v.Substring(2), 16) : ulong.Parse(v);
        }
        return found;
    }

    static void Compare(string name, Type[] types, string[] c, List<string> problems)
    {
        if (types.Length != c.Length)
            problems.Add(name + ": " + (types.Length - 1) + " parameters, header " + (c.Length - 1));
        for (int i = 0; i < Math.Min(types.Length, c.Length); i++)
            if (!CTypes.ContainsKey(c[i]) || !CTypes[c[i]].Contains(types[i]))
                problems.Add(name + (i == 0 ? ": result " : ": parameter " + i + " ") + types[i].Name + ", header " + c[i]);
    }

    // One line per declaration of `cls` that differs from the header, and per function of
    // the header `cls` lacks when `complete`.
    static List<string> Drift(Type cls, Dictionary<string, string[]> header, bool complete = false)
    {
        var problems = new List<string>();
        var declared = new HashSet<string>();
        foreach (MethodInfo m in cls.GetMethods(BindingFlags.Public | BindingFlags.Static)) {
            var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false).FirstOrDefault();
            if (import == null)
                continue;
            string name = import.EntryPoint ?? m.Name;
            declared.Add(name);
            string[] c;
            if (!header.TryGetValue(name, out c)) {
                problems.Add(name + ": not in the header");
                continue;
            }
            if (import.CallingConvention != CallingConvention.StdCall)
                problems.Add(name + ": calling convention " + import.CallingConvention);
            var types = new List<Type> { m.ReturnType };
            types.AddRange(m.GetParameters().Select(p => p.ParameterType));
            Compare(name, types.ToArray(), c, problems);
        }
        if (complete)
            foreach (string name in header.Keys.Where(n => !declared.Contains(n)))
                problems.Add(name + ": not declared");
        return problems;
    }

    // The delegates of `cls` against the header's function pointer types, by the names of
    // CTypes; and the header's constants against `cls`'s public constants.
    static List<string> DelegateAndConstantDrift(Type cls, string headerPath, string prefix)
    {
        var problems = new List<string>();
        foreach (var pointer in ReadHeader(headerPath, true)) {
            Type d = CTypes.ContainsKey(pointer.Key) ? CTypes[pointer.Key][0] : null;
            if (d == null || d.DeclaringType != cls) {
                problems.Add(pointer.Key + ": no delegate");
                continue;
            }
            var convention = (UnmanagedFunctionPointerAttribute)d.GetCustomAttributes(
                typeof(UnmanagedFunctionPointerAttribute), false).FirstOrDefault();
            if (convention == null || convention.CallingConvention != CallingConvention.StdCall)
                problems.Add(pointer.Key + ": delegate's calling convention");
            MethodInfo invoke = d.GetMethod("Invoke");
            var types = new List<Type> { invoke.ReturnType };
            types.AddRange(invoke.GetParameters().Select(p => p.ParameterType));
            Compare(pointer.Key, types.ToArray(), pointer.Value, problems);
        }
        var fields = cls.GetFields(BindingFlags.Public | BindingFlags.Static).Where(f => f.IsLiteral && f.FieldType == typeof(uint))
                        .ToDictionary(f => f.Name, f => Convert.ToUInt64(f.GetRawConstantValue()));
        foreach (var constant in ReadConstants(headerPath, prefix)) {
            ulong value;
            if (!fields.TryGetValue(constant.Key, out value))
                problems.Add(constant.Key + ": constant not declared");
            else if (value != constant.Value)
                problems.Add(constant.Key + ": " + value + ", header " + constant.Value);
        }
        return problems;
    }

    static void DriftChecks(string include)
    {
        var header = ReadHeader(Path.Combine(include, "korva3.h"));
        string simPath = Path.Combine(include, "korva3_sim.h");
        var simHeader = ReadHeader(simPath);
        var declared = typeof(Korva3Native).GetMethods(BindingFlags.Public | BindingFlags.Static)
                           .Select(m => m.Name).ToList();
        Check(header.Count == 52 && header.Keys.All(declared.Contains) && declared.Count == 52,
              "Korva3Native declares exactly the 52 functions of korva3.h");
        Check(simHeader.Count >= 40 && ReadConstants(simPath, "KSIM_").Count >= 14,
              "korva3_sim.h is read: " + simHeader.Count + " functions, "
              + ReadConstants(simPath, "KSIM_").Count + " constants");
        var problems = Drift(typeof(Korva3Native), header, true);
        problems.AddRange(Drift(typeof(Korva3SimNative), simHeader, true));
        problems.AddRange(DelegateAndConstantDrift(typeof(Korva3SimNative), simPath, "KSIM_"));
        foreach (string p in problems)
            Console.WriteLine("     " + p);
        Check(problems.Count == 0, "every KORVA3_ and KSIM_ function, sink and constant is declared as its header says");

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
        var lacking = Drift(typeof(Drifted), simHeader, true);
        Check(lacking.Contains("KSIM_RESET: not declared") && lacking.Contains("KSIM_PANEL_URL: not declared"),
              "the check catches a KSIM_ function left undeclared");
        var constants = DelegateAndConstantDrift(typeof(Drifted), simPath, "KSIM_");
        Check(constants.Contains("KSIM_FRAME_SINK: no delegate") &&
              constants.Contains("KSIM_PCI_VENDOR: 57688, header 57689") &&
              constants.Contains("KSIM_FAULT_SILENT: constant not declared"),
              "the check catches a missing delegate, a wrong and a missing constant");
    }

    // ---- the SDK project file: the same sources as the Mono build, the library's version --
    static void ProjectFile(string include, string bindings)
    {
        var project = new System.Xml.XmlDocument();
        project.Load(Path.Combine(bindings, "Korva.csproj"));
        var compiled = project.SelectNodes("/Project/ItemGroup/Compile").Cast<System.Xml.XmlElement>()
                              .Select(e => e.GetAttribute("Include")).OrderBy(n => n).ToArray();
        Check(compiled.SequenceEqual(new[] { "Korva3Native.cs", "Korva3SimNative.cs", "KorvaCard.cs" })
              && compiled.All(n => File.Exists(Path.Combine(bindings, n))),
              "Korva.csproj compiles the bindings' sources: " + string.Join(", ", compiled));
        var node = project.SelectSingleNode("/Project/PropertyGroup/TargetFramework");
        Check(node != null && node.InnerText == "netstandard2.0", "Korva.csproj targets netstandard2.0");
        string header = File.ReadAllText(Path.Combine(include, "korva3.h"));
        string version = string.Join(".", new[] { "MAJOR", "MINOR", "PATCH" }.Select(
            part => Regex.Match(header, @"#define KORVA3_VERSION_" + part + @"\s+(\d+)").Groups[1].Value));
        node = project.SelectSingleNode("/Project/PropertyGroup/Version");
        Check(node != null && node.InnerText == version, "Korva.csproj carries the library's version " + version);
    }
}
