// reader.cpp - the reader's lines: each read into words and carried out.
//
// Each line is read into words, its G and M words are sorted into their modal groups
// (two of one group is an error), and then it is carried out in a fixed order, as
// LinuxCNC does: feed, tool selection and change, spindle and coolant, dwell, plane,
// path control, tool length, units, distance mode, G92, the cycles' return mode (G98,
// G99), the motion, and last the stop words. A motion's target becomes a line or an arc
// move in line_arc_moves.cpp, a canned cycle's holes in cycles.cpp.
#include "gcode/reader.h"

#include <cmath>
#include <cstdio>

#include "gcode/block.h"
#include "gcode/modal.h"

namespace korva3_gcode {

namespace {

constexpr double kMaxPulses = 2147483647.0;

bool is_arc(int motion) { return motion == kClockwise || motion == kCounterClockwise; }

} // namespace

void Reader::line(int number, const std::string &text)
{
    line_ = number;
    refused_ = false;
    const size_t first = text.find_first_not_of(" \t");
    if (opt_.block_delete && first != std::string::npos && text[first] == '/')
        return; // deleted: not read, so its parameters are neither read nor set
    Block block;
    std::string error;
    if (!read_block(text, block, error, values_)) {
        if (values_) { // what the line sets is set as far as it was read: no false errors after it
            values_->not_set(line_);
            values_->assign(block.assignments);
        }
        return fail(error);
    }
    if (block.deleted && opt_.block_delete)
        return;
    if (values_) // a line's parameters are set once all its values are read
        values_->assign(block.assignments);
    if (block.percent) {
        if (begun_)
            closed_ = percent_;
        percent_ = begun_ = true;
        return;
    }
    begun_ = begun_ || !block.words.empty();
    if (!block.message.empty() && !message_lines_.count(line_)) { // once, also in a loop
        if (message_lines_.size() < kMessagesRemembered)
            message_lines_.insert(line_);
        sink_.message(line_, block.message);
    }
    std::vector<std::string> why;
    bool io = false; // M66, M67, M68 name an input or output by E: no printer's word
    for (const Word &w : block.words)
        io = io || (w.letter == 'M' && w.value >= 66 && w.value <= 68 && w.value == std::floor(w.value));
    for (const Word &w : block.words) {
        printer_ = printer_ || (w.letter == 'E' && !io);
        printer_words_ = printer_words_ || printer_ ||
                         std::string("ABCUVW").find(w.letter) != std::string::npos ||
                         (w.letter == 'M' && (w.value == 82 || w.value == 83 || w.value == 84 ||
                                              w.value == 104 || w.value == 106 || w.value == 107 ||
                                              w.value == 109 || w.value == 140 || w.value == 190));
    }
    if (block.checksum) {
        printer_ = true;
        why.push_back("'*' (a checksum) is not supported");
    }
    LineWords l;
    sort_words(block, l, why);
    refuse_line(why);
    carry_out(l);
}

void Reader::refuse_line(const std::vector<std::string> &why)
{
    for (const std::string &w : why)
        fail(w);
    refused_ = !why.empty();
}

void Reader::summary()
{
    if (error_count_ > max_errors())
        errors_.push_back(*name_ + ": ... and " + std::to_string(error_count_ - max_errors()) +
                          " more error" + (error_count_ - max_errors() > 1 ? "s" : ""));
    if (printer_)
        errors_.push_back(*name_ + ": E words and * checksums make this a 3D printer's program; "
                                  "korva3 gcode runs milling programs on X, Y and Z");
}

void Reader::finish()
{
    if (!ended())
        stop(kEnd); // the file's end ends the program as M2 does
    sum_.end = st_.pos;
    if (sum_.coords_used.empty())
        coords_in_force(); // the one in force throughout
}

void Reader::carry_out(const LineWords &l)
{
    const auto &c = l.codes;
    // Feed (in the units in force after this line's G20/G21). A change of units keeps the
    // feed in force the same speed: 100 mm/min becomes 3.937 in/min, as LinuxCNC does.
    if (c[Units] && (*c[Units] == kInches) != st_.inches) {
        st_.inches = *c[Units] == kInches;
        st_.feed = st_.inches ? st_.feed / 25.4 : st_.feed * 25.4;
    }
    if (has(l, 'F')) {
        if (l.values.at('F') < 0)
            return fail("F must not be negative");
        st_.feed = st_.f_word = l.values.at('F');
    }
    if (has(l, 'S') && l.values.at('S') < 0)
        return fail("S must not be negative");
    if (has(l, 'S'))
        st_.rpm = l.values.at('S');
    if (!tools(l) || sum_.stopped)
        return;
    outputs(l);
    bool dwell = c[NonModal] && *c[NonModal] == kDwell;
    bool blend = c[PathControl] && *c[PathControl] == kBlend;
    if (dwell && blend)
        return fail("G4 and G64 on one line: both take P");
    bool g10 = c[NonModal] && *c[NonModal] == kSetCoords;
    const int motion = c[Motion] ? *c[Motion] : st_.motion; // in force after this line
    const bool cycle_dwell = motion == kDrillDwell || motion == kBoreDwell;
    const bool pecks = motion == kPeck || motion == kChipBreak;
    if (has(l, 'P') && !dwell && !blend && !g10 && !cycle_dwell && !is_arc(motion) && !refused_)
        return fail("P is used only by G2, G3 (turns), G4 (dwell), G10 (which offset), G64 "
                    "(path tolerance) and G82, G89 (dwell at the bottom)");
    const bool m61 = c[ToolChange] && *c[ToolChange] == kSetTool;
    if (has(l, 'Q') && !blend && !pecks && !m61 && !refused_)
        return fail("Q is used only by G73, G83 (the peck), M61 (the tool in use) and G64 (not "
                    "used there)");
    if (dwell) {
        if (!has(l, 'P') || l.values.at('P') < 0)
            return fail("G4 needs P, the dwell in seconds (0 or more)");
        add_dwell(l.values.at('P'));
    }
    if (sum_.stopped)
        return;
    if (c[Plane])
        st_.plane = *c[Plane];
    if (c[ArcDistance])
        st_.arc_absolute = *c[ArcDistance] == kArcAbsolute;
    if (!path_control(l) || !tool_length(l))
        return;
    if (c[Coords])
        select_coords(*c[Coords]);
    if (c[Distance])
        st_.relative = *c[Distance] == kRelative;
    if (c[Retract])
        st_.retract_r = *c[Retract] == kRetractR;
    if (has(l, 'L') && !g10 && !is_cycle(motion) && !refused_)
        return fail("L is used only by G10 and the canned cycles (repeats)");
    const bool length_given = c[Length] && *c[Length] == kLengthDynamic; // G43.1's Z
    bool axes = !length_given && (has(l, 'X') || has(l, 'Y') || has(l, 'Z'));
    if (c[NonModal] && *c[NonModal] != kDwell) {
        if (c[Motion] && *c[NonModal] != kMachineCoords)
            return fail(word_text('G', *c[NonModal]) + " and " + word_text('G', *c[Motion]) +
                        " on one line");
        if (c[Motion])
            st_.motion = *c[Motion];
        if (!non_modal(l))
            return;
        axes = false;
    } else if (c[Motion]) {
        if (*c[Motion] != st_.motion) // a cycle's R, Z, Q and P hold until the motion changes
            st_.cycle_words.clear();
        if (!is_cycle(*c[Motion])) // the series' initial level holds from cycle to cycle
            st_.cycle_series = false;
        st_.motion = *c[Motion];
    }
    if (is_cycle(st_.motion) && !c[NonModal]) // kept for the holes, from a line without any too
        for (char w : {'R', 'Q', 'P'})
            if (has(l, w))
                st_.cycle_words[w] = l.values.at(w);
    bool arc_words = has(l, 'I') || has(l, 'J') || has(l, 'K') ||
                     (has(l, 'R') && !is_cycle(st_.motion) && !g10); // G10 L1's R: a radius
    bool arc = is_arc(st_.motion);
    if (arc_words && !(arc && (axes || c[Motion])) && !refused_)
        return fail("I, J, K and R are used only by G2 and G3");
    if (axes || (c[Motion] && arc)) {
        if (st_.motion == kMotionOff && !refused_)
            return fail("X, Y or Z with no motion mode in force (G0, G1, G2 or G3)");
        if (is_cycle(st_.motion) ? !cycle(l) : !move(l))
            return;
    }
    if (c[Stop])
        stop(*c[Stop]);
}

void Reader::outputs(const LineWords &l)
{
    const OutputTable &t = set_.outputs;
    uint32_t bits = st_.outputs;
    auto set = [&bits](int output, bool on) {
        if (output >= 0)
            bits = on ? bits | (1u << output) : bits & ~(1u << output);
    };
    if (l.codes[Spindle])
        set(t.spindle, *l.codes[Spindle] == kSpindleOn);
    if (l.codes[Coolant] && *l.codes[Coolant] == kCoolantOff) {
        set(t.mist, false);
        set(t.flood, false);
    }
    if (l.coolant_on[0])
        set(t.mist, true);
    if (l.coolant_on[1])
        set(t.flood, true);
    if (bits != st_.outputs) {
        Move m = here(Op::Outputs);
        m.outputs = st_.outputs = bits;
        emit(m);
    }
}

void Reader::add_dwell(double seconds)
{
    if (seconds > 86400)
        return fail("G4 P" + number_text(seconds) + ": at most a day (86400 s)");
    Move m = here(Op::Dwell);
    m.ms = static_cast<uint32_t>(std::lround(seconds * 1000));
    sum_.dwell_ms += m.ms;
    emit(m);
}

// G61, G61.1: every move ends at rest; G64: corners blended within P (program units),
// or the machine's path tolerance without P. Q (G64's folding of short lines) is taken
// and not used.
bool Reader::path_control(const LineWords &l)
{
    if (!l.codes[PathControl])
        return true;
    st_.exact_stop = *l.codes[PathControl] != kBlend;
    st_.tolerance = -1;
    if (!st_.exact_stop && has(l, 'P')) {
        if (l.values.at('P') < 0)
            return refuse("G64 P must not be negative");
        st_.tolerance = l.values.at('P') * unit();
    }
    return true;
}

void Reader::pause(const std::string &note)
{
    Move m = here(Op::Pause);
    m.note = note;
    emit(m);
}

void Reader::stop(int stop_code)
{
    if (stop_code == kPause)
        return pause("M0");
    if (stop_code == kOptionalPause) {
        if (!opt_.skip_optional_stops)
            pause("M1 (optional stop)");
        return;
    }
    if (stop_code == kPalletPause)
        return pause("M60 (pallet change)");
    const OutputTable &t = set_.outputs;
    Move m = here(Op::End);
    m.outputs = st_.outputs;
    for (int o : {t.spindle, t.mist, t.flood})
        if (o >= 0)
            m.outputs &= ~(1u << o);
    st_.outputs = m.outputs; // the session's machine stands with them off
    emit(m);
    ended_ = true;
}

bool Reader::move(const LineWords &l)
{
    MmPoint target = st_.pos; // machine mm
    const MmPoint off = offset();
    for (int a = 0; a < 3; a++) {
        if (!has(l, kAxes[a]))
            continue;
        double v = l.values.at(kAxes[a]) * unit();
        target[a] = st_.relative ? st_.pos[a] + v : v + off[a];
    }
    return go(l, target, st_.motion);
}

// A move to `target` (machine mm) by `motion` (G0 .. G3), checked and added. The target
// and the move must stay within the card's reach once the planner rounds them to pulses.
bool Reader::go(const LineWords &l, const MmPoint &target, int motion)
{
    for (int a = 0; a < 3; a++) {
        const double p = korva3_planner::nearest_pulse(target[a], set_.scale[a]);
        if (!(std::fabs(p) <= kMaxPulses)) // NaN too, though bounded words make none
            return refuse(std::string(1, kAxes[a]) + " goes to " + number_text(target[a]) +
                          " mm, beyond the card's reach (" + number_text(kMaxPulses) +
                          " pulses)");
        if (std::fabs(p - korva3_planner::nearest_pulse(st_.pos[a], set_.scale[a])) > kMaxPulses)
            return refuse(std::string("a move of more than ") + number_text(kMaxPulses) +
                          " pulses on " + kAxes[a]);
    }
    const int in_force = st_.motion; // G28, G30 and G53 move by their own motion
    st_.motion = motion;
    if (refused_) { // taken as written, so the lines after it read from there
        st_.motion = in_force;
        st_.pos = target;
        return true;
    }
    bool ok = st_.motion == kRapid || st_.feed > 0;
    if (!ok)
        fail(word_text('G', st_.motion) + " with no feed rate (F)");
    else if (st_.motion != kRapid && st_.feed * unit() < kMinFeedMmMin)
        ok = refuse("F" + number_text(st_.feed) + (st_.inches ? " in/min" : " mm/min") +
                    ": below the lowest feed, " + number_text(kMinFeedMmMin) +
                    " mm/min (a move would never end)");
    else
        ok = is_arc(st_.motion) ? arc_move(l, target) : line_move(target);
    st_.motion = in_force;
    if (ok)
        st_.pos = target;
    return ok && !sum_.stopped;
}

} // namespace korva3_gcode
