// controller_impl.h - the controller's insides, shared by its files: controller.cpp
// (the turn, the emergency stop, the snapshot), request_handling.cpp (what each state
// takes), motion_run.cpp (a work streamed to the card), homing.cpp.
#ifndef KORVA3_CONTROL_CONTROLLER_IMPL_H
#define KORVA3_CONTROL_CONTROLLER_IMPL_H

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "control/controller.h"
#include "control/execution_tracker.h"
#include "control/session_state.h"

namespace korva3_control {

// A continuous jog runs towards a point this far off, stopped when its renewals end.
constexpr double kContinuousJogMm = 100000;

// Work a request started, run by serve() between turns.
enum class WorkKind { None, Program, Mdi, Jog, Home, Lines };

struct PendingWork {
    WorkKind kind = WorkKind::None;
    Request request;    // what started it
    int from_line = 0;  // Program: 0 = its start, else run from this line
};

struct Controller::Impl {
    Impl(MachineLink &l, const ControlOptions &o, ControlHooks h);

    // ---- controller.cpp ------------------------------------------------------------
    void turn();                      // one look: e-stop, requests, the snapshot
    bool estop_seen();                // an emergency stop asked or pressed: handled
    void enter_estop(const std::string &why);
    void publish();                   // the snapshot from the state now
    void read_machine();              // the card's position into the session
    void set_outputs(uint32_t bits);  // KORVA3_DO and the record of it
    void outputs_off(); // spindle and coolant off (stop, abort, e-stop)
    void say(const std::string &message) { message_ = message; error_.clear(); }
    void fail(const std::string &error) { error_ = error; }
    // A reply, also shown in the snapshot (a refusal as its error).
    const Reply &told(const Reply &r)
    {
        if (r.ok)
            message_ = r.text;
        else
            error_ = r.text;
        return r;
    }

    // ---- request_handling.cpp ------------------------------------------------------
    Reply handle(const Request &r);          // at rest: Idle, Stopped, EStop
    Reply handle_moving(const Request &r);   // while work runs
    Reply start_load(const std::string &path);
    void check_done();                       // a finished check taken over
    Reply touch_off(int axis, double value);
    void take_requests_moving();             // every poll while work runs

    // ---- motion_run.cpp --------------------------------------------------------------
    void run_work(const PendingWork &w);
    void run_program(int from_line);
    void run_mdi(const std::string &line);
    void run_jog(const Request &r);

    // ---- line_stream.cpp ------------------------------------------------------------
    void run_lines(const StreamedLine &first);
    bool take_line(); // at rest: a streamed line starts the lines' work (or is refused)

    // ---- homing.cpp -------------------------------------------------------------------
    void run_home(int axis);

    MachineLink &link;
    ControlOptions opt;
    ControlHooks hooks;
    RequestQueue queue;
    // Read by front ends' threads (ask, load) to tell the owner's own calls apart.
    std::atomic<std::thread::id> owner{}; // the thread that opened the card
    std::atomic<bool> serving{false};     // inside serve()
    std::atomic<bool> estop_asked{false};
    std::atomic<bool> shutdown_asked{false};
    bool card_open = false;

    // The state, on the owner's thread.
    State state = State::Idle;
    Activity activity = Activity::None;
    uint32_t override_percent = 100;
    uint32_t outputs = 0;              // the card's output bits as last set
    SessionState session;              // modal state, offsets, tools, position
    std::array<int32_t, 3> card_pulses{}; // where the card stands, pulses
    std::array<int32_t, 3> origin_pulses{}; // the card's count at the machine's zero
    bool homed[3] = {false, false, false};
    PendingWork pending;
    StreamedLine first_line;           // WorkKind::Lines: the line that starts it
    // Controls asked for the work under way, taken at the next poll.
    bool hold_asked = false, resume_asked = false, stop_asked = false;
    uint32_t jog_until_ms = 0;         // a continuous jog stops after this (machine ms)
    bool jog_continuous = false;
    bool paused = false;               // held at a program's pause
    std::string pause_note;
    int stopped_line = 0;
    ExecutionTracker tracker;
    std::string message_, error_;

    // The loaded program and its check (a worker thread checks; the owner takes it).
    std::string program_path;
    std::shared_ptr<const ProgramCheck> check;
    std::thread checker;
    std::atomic<bool> checking{false};
    std::shared_ptr<ProgramCheck> checked; // handed over by the checker
    std::mutex checked_mutex;

    WorkReport report;                 // the last work's end (under snap_mutex)

    mutable std::mutex snap_mutex;
    Snapshot snap;
    uint64_t version = 0;
};

} // namespace korva3_control

#endif
