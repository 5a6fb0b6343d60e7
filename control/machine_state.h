// machine_state.h - what the controller tells every front end: its state, what it is
// doing, where the machine is, which line the card executes, and the program's
// progress. A front end reads a Snapshot whenever it likes; it changes only on the
// controller's thread.
#ifndef KORVA3_CONTROL_MACHINE_STATE_H
#define KORVA3_CONTROL_MACHINE_STATE_H

#include <array>
#include <cstdint>
#include <string>

namespace korva3_control {

//   Idle --cycle start, MDI, jog, home--> Running --feed hold--> Holding --at rest--> Held
//   Held --resume--> Running;  Running/Holding/Held --stop--> Stopping --at rest--> Stopped
//   Running --the work ends--> Idle;  any --emergency stop--> EStop --reset--> Idle
// Stopped is Idle that remembers the line a program was stopped at (run from there).
enum class State { Idle, Running, Holding, Held, Stopping, Stopped, EStop };

// What a Running (Holding, Held, Stopping) controller is doing.
enum class Activity { None, Program, Mdi, Jog, Home };

const char *state_name(State s);       // "idle", "running", ..., "e-stop"
const char *activity_name(Activity a); // "", "program", "mdi", "jog", "home"

// The G-code modal state a front end shows.
struct ModalView {
    std::string coords = "G54";    // work offset in force
    std::string distance = "G90";  // G90 or G91
    std::string units = "G21";     // G20 or G21
    std::string plane = "G17";     // G17, G18, G19
    std::string motion = "G0";     // motion mode in force (G0, G1, G2, G3, G80, G81 ...)
    double feed = 0;               // F in force, program units per minute
    int tool = 0;                  // tool in use (M6), 0 = none
    double tool_length_mm = 0;     // G43's length in force
    bool spindle = false;          // M3 in force
    bool mist = false, flood = false; // M7, M8
    // The offsets behind the work position, mm from the machine's zero.
    std::array<std::array<double, 3>, 9> coords_mm{}; // G54 .. G59.3
    std::array<double, 3> g92_mm{};   // G92's offset (zero while G92.2 suspends it)
    std::array<double, 3> g28_mm{}, g30_mm{}; // G28, G30's positions
};

struct Snapshot {
    uint64_t version = 0;          // grows with every change
    State state = State::Idle;
    Activity activity = Activity::None;
    std::array<double, 3> machine_mm{}; // machine position X, Y, Z (the card's, in mm)
    std::array<double, 3> work_mm{};    // the same in the work coordinates in force
    std::array<double, 3> offset_mm{};  // work = machine - offset (work offset, G92, tool)
    // The line the card executes now (not the one being sent), its programmed feed and
    // whether it is a rapid; 0 when none.
    int line = 0;
    double programmed_mm_min = 0;  // the executing line's feed as programmed (or rapid)
    bool rapid = false;
    uint32_t override_percent = 100; // feed override, 1..1000
    double speed_mm_min = 0;       // path speed of the slice the card executes
    uint32_t outputs = 0;          // the card's output bits the controller set
    // The program: loaded, checked, its progress from the check's plan.
    std::string program;           // its name ("" when none)
    int program_lines = 0;         // lines in its file
    bool checking = false;         // its check is under way
    double progress = 0;           // 0..1 of the planned time
    double total_s = 0;            // planned time at 100 %
    double left_s = 0;             // planned time left at 100 %
    int stopped_line = 0;          // Stopped: the line the program was stopped at
    bool paused = false;           // Held at M0/M1/M6/M60 (resume goes on)
    std::string pause_note;        // what the pause says ("M6: tool 3")
    ModalView modal;
    std::string message;           // the last thing that happened, for a person
    std::string error;             // the last refusal or failure ("" after a success)
    bool homed = false;            // every axis homed since the start
};

} // namespace korva3_control

#endif
