// reader.h - the reader of a G-code program, inside the module: the modal state that
// a program builds line by line (reader.cpp), and the line and arc moves its paths
// become (line_arc_moves.cpp), all in machine millimetres.
#ifndef KORVA3_GCODE_READER_H
#define KORVA3_GCODE_READER_H

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gcode/arc_geometry.h"
#include "gcode/modal.h"
#include "gcode/program.h"

namespace korva3_gcode {

constexpr const char *kAxes = "XYZ";

// G73, G81, G82, G83, G85, G89: a canned drilling cycle (cycles.cpp).
inline bool is_cycle(int motion)
{
    return motion == kChipBreak || motion == kDrill || motion == kDrillDwell ||
           motion == kPeck || motion == kBore || motion == kBoreDwell;
}

struct State {
    int motion = kMotionOff; // GCode of the motion mode in force
    int plane = kPlaneXY;    // GCode of the arcs' plane
    bool inches = false;     // G20
    bool relative = false;   // G91
    double feed = 0;         // program units per minute
    bool exact_stop = false; // G61, G61.1: the machine stands at the end of every move
    double tolerance = -1;   // G64 P, mm; < 0: the machine's path tolerance (G64 alone)
    MmPoint pos{};           // machine position, mm (from where the card stood at the start)
    std::array<MmPoint, 9> coords{}; // work offsets G54 .. G59.3, mm from the machine's zero
    int coord = 0;           // the work offset in force: 0 = G54 .. 8 = G59.3
    MmPoint g92{};           // G92's offset, mm (kept while suspended by G92.2)
    bool g92_on = true;      // G92's offset in force (G92.2 suspends, G92.3 restores)
    double tool_length = 0;  // G43, G43.1: mm added to Z
    std::map<int, double> tool_lengths; // the tool table, mm (machine file, G10 L1/L10/L11)
    MmPoint g28{}, g30{};    // G28 and G30's positions, mm from the machine's zero
    int tool = 0;            // the tool in use (M6), 0 = none
    int selected = -1;       // the tool T selected last, -1 = none yet
    uint32_t outputs = 0;    // the card's output bits as set by the program
    bool retract_r = false;  // G99: cycles retract to R; G98 (at the start): to where Z was
    std::map<char, double> cycle_words; // Z R Q P of the cycle in force, as written
};

// An arc being read: millimetres in its plane (see arc_geometry.h).
struct Arc {
    ArcPlane plane;
    bool ccw = false;  // counter-clockwise in the plane's (u, v)
    bool full = false; // a whole turn: the end is the start
    PlanePoint start{}, end{}, centre{};
    double radius = 0;
    Sweep sweep{};
};

// Reads a program's lines, in order, into `program`; a bad line adds its message
// ("NAME:LINE: ...") to `errors`; ended() once M2 or M30 has ended the program.
class Reader {
public:
    Reader(const std::string &name, const Settings &settings, const ReadOptions &options,
           Program &program, std::vector<std::string> &errors)
        : name_(name), set_(settings), opt_(options), prog_(program), errors_(errors)
    {
        for (int i = 0; i < 9; i++)
            st_.coords[i] = set_.work_offsets[i];
        st_.tool_lengths = set_.tool_lengths;
        st_.g28 = set_.g28;
        st_.g30 = set_.g30;
    }

    void line(int number, const std::string &text);

    // Parameters and expressions in the lines' values (without: '#' and '[' are errors).
    void read_values_with(Values *values) { values_ = values; }

    // An error at `number` found outside a line's words (O-words and their conditions).
    void fail_at(int number, const std::string &what)
    {
        line_ = number;
        fail(what);
    }

    bool ended() const { return ended_ || closed_; }

    size_t moves() const { return prog_.moves.size(); }

    void finish();

    // Errors past max_errors, counted only; hints on the kind of file.
    void summary();

private:
    // A line read again by a loop or a call names the same error once.
    void fail(const std::string &what)
    {
        std::string error = name_ + ":" + std::to_string(line_) + ": " + what;
        if (errors_seen_.count(error))
            return;
        if (errors_seen_.size() < kErrorsRemembered)
            errors_seen_.insert(error);
        if (++error_count_ <= opt_.max_errors)
            errors_.push_back(std::move(error));
    }

    bool refuse(const std::string &what)
    {
        fail(what);
        return false;
    }

    double unit() const { return st_.inches ? 25.4 : 1.0; }

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
    bool set_coords(const LineWords &l);
    void set_g92(const LineWords &l);
    bool go_home(const LineWords &l, const MmPoint &position);
    bool machine_move(const LineWords &l);
    bool non_modal(const LineWords &l);
    void refuse_line(const std::vector<std::string> &why);

    // Canned cycles (cycles.cpp): G73 G81 G82 G83 G85 G89 as rapids, feeds and dwells.
    bool cycle(const LineWords &l);
    bool cycle_checks(const LineWords &l, int &repeats);
    bool drill_hole(const LineWords &l, const MmPoint &hole, double r, double bottom, double clear);
    bool z_to(const LineWords &l, double z, int motion);

    // Tools (tools.cpp): T, M6, G43, G43.1, G49, G10 L1 / L10 / L11.
    bool tools(const LineWords &l);
    bool tool_length(const LineWords &l);
    bool set_tool_table(const LineWords &l, int kind);

    // Lines and arcs (line_arc_moves.cpp).
    Move here(Op op) const;
    void extend(const MmPoint &mm);
    bool line_move(const MmPoint &target);
    bool arc_move(const LineWords &l, const MmPoint &target);
    bool arc_in_plane(const LineWords &l, const ArcPlane &p);
    bool centre_from_r(const LineWords &l, Arc &arc);
    bool centre_from_offsets(const LineWords &l, Arc &arc);
    bool arc_radius(Arc &arc);
    void arc_extent(const Arc &arc, const MmPoint &target);
    bool add_arc(const Arc &arc, const MmPoint &target);

    const std::string &name_;
    const Settings &set_;
    const ReadOptions &opt_;
    Program &prog_;
    std::vector<std::string> &errors_;
    Values *values_ = nullptr;
    std::set<int> message_lines_; // lines whose "(MSG, ...)" is listed
    State st_;
    int line_ = 0;
    bool ended_ = false;
    bool refused_ = false;    // this line has a refused word: its other words are read,
                              // its target taken, and checks that a refused word may
                              // have made false are not made
    int error_count_ = 0;     // all errors, listed or not
    static constexpr size_t kErrorsRemembered = 10000; // past these, repeats count again
    std::set<std::string> errors_seen_;
    bool printer_ = false;    // E words or * checksums seen: a 3D printer's program
    bool begun_ = false;      // a line other than blanks and comments has been read
    bool percent_ = false;    // the program began with "%": the next "%" ends it
    bool closed_ = false;     // that "%" has been read: the lines after it are not read
    bool arc_absolute_ = false; // G90.1: I J K are the centre's coordinates
};

} // namespace korva3_gcode

#endif
