// tools.cpp - tools, as LinuxCNC reads them: T selects a tool, M6 changes to it (the
// machine stands and asks for it, as at M0), G43 applies a tool's length from the
// tool table (H's tool, or without H the one in use), G43.1 a length the program gives,
// G49 none. The table is the machine file's [tools], changed for the run by G10 L1 (a
// length given), L10 and L11 (the length that makes here read Z, with or without the
// work offset and G92). The length counts on Z in offset(): a program's Z is the
// machine's less the work offsets less the length. Changing the tool, or its entry in
// the table, leaves the length in force until the next G43.
#include <cmath>
#include <string>

#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

constexpr int kMaxTool = 99999;

// A tool number as written in T or H: a whole number 0 .. 99999, or -1.
int tool_number(double value)
{
    return value >= 0 && value <= kMaxTool && value == std::floor(value) ? static_cast<int>(value)
                                                                            : -1;
}

} // namespace

// T and M6 (before the line's outputs, lengths and moves). False when the line is not
// to be read on.
bool Reader::tools(const LineWords &l)
{
    if (has(l, 'T')) {
        const int n = tool_number(l.values.at('T'));
        if (n < 0)
            return refuse("T" + number_text(l.values.at('T')) + ": a tool is a whole number 0 .. " +
                          std::to_string(kMaxTool));
        st_.selected = n;
    }
    if (!l.codes[ToolChange])
        return true;
    if (*l.codes[ToolChange] == kSetTool) { // M61 Q: the tool in use, no change, no pause
        const int n = has(l, 'Q') ? tool_number(l.values.at('Q')) : -1;
        if (n < 0)
            return refuse("M61 needs Q, the tool in use: a whole number 0 .. " +
                          std::to_string(kMaxTool));
        st_.tool = n;
        return true;
    }
    if (st_.selected < 0)
        return refuse("M6 with no tool selected (T first: T3 M6)");
    st_.tool = st_.selected;
    sum_.tools_used.insert(st_.tool);
    pause("M6: tool " + std::to_string(st_.tool));
    return true;
}

// G43 (H), G43.1 Z, G49: the tool length in force. False when the line is not to be
// read on; a G43.1 line's Z is the length, not a move.
bool Reader::tool_length(const LineWords &l)
{
    const int code = l.codes[Length] ? *l.codes[Length] : -1;
    if (has(l, 'H') && code != kLengthOffset && !refused_)
        return refuse("H is used only by G43 (whose tool's length applies)");
    if (code == kLengthOff) {
        st_.tool_length = 0;
    } else if (code == kLengthOffset) {
        int n = st_.tool;
        if (has(l, 'H') && (n = tool_number(l.values.at('H'))) < 0)
            return refuse("H" + number_text(l.values.at('H')) + ": a tool is a whole number 0 .. " +
                          std::to_string(kMaxTool));
        const auto it = st_.tool_lengths.find(n);
        if (n != 0 && it == st_.tool_lengths.end())
            return refuse((has(l, 'H') ? "G43 H" + std::to_string(n) + ": tool " + std::to_string(n)
                                       : "G43: tool " + std::to_string(n) + " (the one in use)") +
                          " is not in the machine file's [tools] table");
        st_.tool_length = n == 0 ? 0 : it->second;
    } else if (code == kLengthDynamic) {
        if (l.codes[Motion])
            return refuse("G43.1 and " + word_text('G', *l.codes[Motion]) +
                          " on one line: G43.1's Z is the tool's length, not a move");
        if (has(l, 'X') || has(l, 'Y') || !has(l, 'Z'))
            return refuse("G43.1 takes Z alone: the tool's length");
        st_.tool_length = l.values.at('Z') * unit();
    }
    return true;
}

// G10 L1 / L10 / L11 P Z [R]: tool P's length in the table. L1: Z (program units); L10:
// the length that makes the machine's Z read Z with the work offset and G92 in force;
// L11: without them. R (a radius) is taken and not used; no Z keeps the length.
bool Reader::set_tool_table(const LineWords &l, int kind)
{
    const std::string g10 = "G10 L" + std::to_string(kind);
    const int n = has(l, 'P') ? tool_number(l.values.at('P')) : -1;
    if (n < 1)
        return refuse(g10 + " needs P1 .. P" + std::to_string(kMaxTool) + ": the tool");
    if (has(l, 'X') || has(l, 'Y'))
        return refuse(g10 + ": a tool's X and Y offsets (lathe tools) are not supported");
    if (!has(l, 'Z')) {
        st_.tool_lengths.emplace(n, 0.0);
        return true;
    }
    const double z = l.values.at('Z') * unit();
    double length = z;
    if (kind != 1) {
        double others = kind == 10 ? st_.coords[st_.coord][2] + (st_.g92_on ? st_.g92[2] : 0) : 0;
        length = st_.pos[2] - others - z;
    }
    if (!(std::fabs(length) <= 1e6))
        return refuse(g10 + ": a length of " + number_text(length) + " mm, at most 1e6 in size");
    st_.tool_lengths[n] = length;
    return true;
}

} // namespace korva3_gcode
