// reader.h - the reader of a G-code program, inside the module: each line carried out
// on the session's state (reader.cpp), and the line and arc moves its paths become
// (line_arc_moves.cpp), all in machine millimetres, handed to a sink as they come.
#ifndef KORVA3_GCODE_READER_H
#define KORVA3_GCODE_READER_H

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gcode/arc_geometry.h"
#include "gcode/modal.h"
#include "gcode/move_sink.h"
#include "gcode/reading.h"
#include "gcode/state.h"

namespace korva3_gcode {

constexpr const char *kAxes = "XYZ";

// G73, G81, G82, G83, G85, G89: a canned drilling cycle (cycles.cpp).
inline bool is_cycle(int motion)
{
    return motion == kChipBreak || motion == kDrill || motion == kDrillDwell ||
           motion == kPeck || motion == kBore || motion == kBoreDwell;
}

// An arc being read: millimetres in its plane (see arc_geometry.h).
struct Arc {
    ArcPlane plane;
    bool ccw = false;  // counter-clockwise in the plane's (u, v)
    bool full = false; // a whole turn: the end is the start
    PlanePoint start{}, end{}, centre{};
    double radius = 0;
    Sweep sweep{};
};

// Reads a program's lines, in the order given, on `state`: each move goes to `sink`, a
// bad line adds its message ("NAME:LINE: ...") to `errors`; ended() once M2 or M30 has
// ended the program or the sink has stopped the reading.
class Reader {
public:
    Reader(const std::string &name, const Settings &settings, const ReadOptions &options,
           State &state, MoveSink &sink, ProgramSummary &summary,
           std::vector<std::string> &errors)
        : name_(&name), set_(settings), opt_(options), st_(state), sink_(sink), sum_(summary),
          errors_(errors)
    {
        sum_.extent.low = sum_.extent.high = st_.pos; // the path starts there
    }

    void line(int number, const std::string &text);

    // The file whose lines are read now (a sub's own file, then the program's again):
    // errors name it. `name` outlives the reading.
    void name_file(const std::string &name) { name_ = &name; }
    const std::string &file_name() const { return *name_; }

    // Parameters and expressions in the lines' values (without: '#' and '[' are errors).
    void read_values_with(Values *values) { values_ = values; }

    // An error at `number` found outside a line's words (O-words and their conditions).
    void fail_at(int number, const std::string &what)
    {
        line_ = number;
        fail(what);
    }

    bool ended() const { return ended_ || closed_ || sum_.stopped; }

    // The sink has stopped the reading.
    void stop() { sum_.stopped = true; }

    uint64_t moves() const { return sum_.move_count; }

    // The end of a program: an End move unless M2 or M30 made one.
    void finish();

    // Errors past max_errors, counted only; hints on the kind of file.
    void summary();

private:
    // A line read again by a loop or a call names the same error once. An error of no
    // line (line 0: the file can't be read) names the file alone.
    void fail(const std::string &what)
    {
        std::string error = *name_ + ":" + (line_ ? std::to_string(line_) + ":" : "") + " " + what;
        if (errors_seen_.count(error))
            return;
        if (errors_seen_.size() < kErrorsRemembered)
            errors_seen_.insert(error);
        if (++error_count_ <= max_errors())
            errors_.push_back(std::move(error));
    }

    // A program of another kind (a 3D printer's) lists a few errors: the rest are alike.
    static constexpr int kOtherKindErrors = 5;
    int max_errors() const
    {
        return printer_words_ ? std::min(opt_.max_errors, kOtherKindErrors) : opt_.max_errors;
    }

    bool refuse(const std::string &what)
    {
        fail(what);
        return false;
    }

    double unit() const { return st_.inches ? 25.4 : 1.0; }

    // mm an arc's end may be off its circle (beside 0.1 % of the radius): the machine
    // file's, or LinuxCNC's 0.028 mm (G21) and 0.0028 in (G20).
    double arc_tolerance() const
    {
        return set_.arc_tolerance > 0 ? set_.arc_tolerance : st_.inches ? 0.0028 * 25.4 : 0.028;
    }

    bool has(const LineWords &l, char c) const { return l.values.count(c) != 0; }

    // Carrying out a line's words (reader.cpp).
    void carry_out(const LineWords &l);
    void outputs(const LineWords &l);
    void add_dwell(double seconds);
    bool path_control(const LineWords &l);
    void stop(int stop_code);
    void pause(const std::string &note);
    bool move(const LineWords &l);
    bool go(const LineWords &l, const MmPoint &target, int motion);

    // Coordinate systems (offsets.cpp): machine = program + offset().
    MmPoint offset() const;
    void select_coords(int code);
    void coords_in_force(); // listed in the summary's coords_used
    bool set_coords(const LineWords &l);
    void set_g92(const LineWords &l);
    bool go_home(const LineWords &l, const MmPoint &position);
    bool machine_move(const LineWords &l);
    bool non_modal(const LineWords &l);
    void refuse_line(const std::vector<std::string> &why);

    // Canned cycles (cycles.cpp): G73 G81 G82 G83 G85 G89 as rapids, feeds and dwells.
    bool cycle(const LineWords &l);
    bool cycle_checks(const LineWords &l, int &repeats);
    bool drill_hole(const LineWords &l, double r, double bottom, double clear);
    bool z_to(const LineWords &l, double z, int motion);

    // Tools (tools.cpp): T, M6, G43, G43.1, G49, G10 L1 / L10 / L11.
    bool tools(const LineWords &l);
    bool tool_length(const LineWords &l);
    bool set_tool_table(const LineWords &l, int kind);

    // Lines and arcs (line_arc_moves.cpp).
    Move here(Op op) const;
    // The move to the sink; false once the sink has stopped the reading.
    bool emit(const Move &m);
    void extend(const MmPoint &mm);
    bool line_move(const MmPoint &target);
    bool arc_move(const LineWords &l, const MmPoint &target);
    bool arc_in_plane(const LineWords &l, const ArcPlane &p);
    bool centre_from_r(const LineWords &l, Arc &arc);
    bool centre_from_offsets(const LineWords &l, Arc &arc);
    bool arc_radius(Arc &arc);
    void arc_extent(const Arc &arc, const MmPoint &target);
    bool add_arc(const Arc &arc, const MmPoint &target);

    const std::string *name_;
    const Settings &set_;
    const ReadOptions &opt_;
    State &st_;
    MoveSink &sink_;
    ProgramSummary &sum_;
    std::vector<std::string> &errors_;
    Values *values_ = nullptr;
    // The lines whose "(MSG, ...)" was shown, so a loop shows it once; past
    // kMessagesRemembered of them, a message in a loop is shown again.
    static constexpr size_t kMessagesRemembered = 10000;
    std::set<int> message_lines_;
    int line_ = 0;
    bool ended_ = false;
    bool refused_ = false;    // this line has a refused word: its other words are read,
                              // its target taken, and checks that a refused word may
                              // have made false are not made
    int error_count_ = 0;     // all errors, listed or not
    static constexpr size_t kErrorsRemembered = 10000; // past these, repeats count again
    std::set<std::string> errors_seen_;
    bool printer_ = false;    // E words or * checksums seen: a 3D printer's program
    bool printer_words_ = false; // those, a 3D printer's M words (M104, M140, M84 ...) or
                                 // other axes (A .. C, U .. W): a program of another kind
    bool begun_ = false;      // a line other than blanks and comments has been read
    bool percent_ = false;    // the program began with "%": the next "%" ends it
    bool closed_ = false;     // that "%" has been read: the lines after it are not read
};

} // namespace korva3_gcode

#endif
