// controller.h - the machine controller: one object that owns a card from one thread
// and runs everything that moves it (programs, MDI lines, jogs, homing) through the
// G-code reader, the planner and the stream, taking commands from any front end while
// it runs (the korva3 tool, the panel's page, the grbl server).
//
//   front ends (any thread) --ask(Request)--> RequestQueue --> the owner's thread:
//     serve(): takes each request, answers it (done, started, or refused with the
//     reason), runs the work it starts: reader -> planner -> slices to the card,
//     polling requests between slices; publishes a Snapshot every turn.
//   emergency_stop() (any thread, never queued): KORVA3_EMG_STOP at once; the owner's
//     thread stops again after its last slice, switches spindle and coolant off and
//     stays in EStop until Reset.
//
// Which request each state takes (the rest are refused with the reason):
//   Idle, Stopped  Load CycleStart RunFrom Mdi Jog Home TouchOff Override
//   Running        Hold Stop Override (JogRenew JogCancel while jogging)
//   Holding, Held  Resume CycleStart(= Resume) Stop Override
//   Stopping       Override
//   EStop          Reset Load Override
// Emergency stop: every state.
#ifndef KORVA3_CONTROL_CONTROLLER_H
#define KORVA3_CONTROL_CONTROLLER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "control/line_feed.h"
#include "control/machine_link.h"
#include "control/machine_state.h"
#include "control/program_check.h"
#include "control/requests.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "planner/slicer.h"

namespace korva3_control {

struct ControlOptions {
    korva3_gcode::Settings settings;       // the machine: scale, limits, outputs, offsets
    korva3_gcode::ReadOptions read;        // bounds of reading programs and MDI lines
    uint32_t card = 0;                     // the library's card number it owns
    uint32_t id_switch = 0;                // the ID switch of the card to register
    double jog_feed_mm_min = 0;            // a jog's feed when a request gives none;
                                           // 0: half the slowest axis's highest speed
    uint32_t jog_deadline_ms = 500;        // a continuous jog stops unless renewed within
    double clearance_mm = 0;               // run from a line: the safe move crosses this
                                           // far above the highest point the program reaches
    bool zero_where_card_starts = false;   // the machine's zero: where the card stands at
                                           // open() (a batch run), else where it counts 0
    uint32_t reply_timeout_ms = 10000;     // a front end waits at most this for an answer
    LineFeed *lines = nullptr;             // a sender's streamed lines, taken while no
                                           // other work runs (null: none)
    uint32_t lines_grace_ms = 50;          // streamed lines: the planner waits this long
                                           // for the next line before it plans to rest
};

// What the front end that built the controller hears, on the controller's thread.
struct ControlHooks {
    std::function<void(const korva3_planner::Slice &)> sending; // before each slice
    std::function<void(int line, const std::string &)> message; // "(MSG, ...)", pauses
    std::function<void()> poll;                                  // every turn
    // At a pause (M0, M1, M6, M60) of a program: true goes on at once; false holds
    // until Resume (or CycleStart) or Stop. Empty: holds.
    std::function<bool(int line, const std::string &note)> pause;
};

// How the last work (program, MDI line, jog, homing) ended: for a front end's report.
struct WorkReport {
    enum class End { None, Done, Stopped, EStop, Failed };
    Activity activity = Activity::None;
    End end = End::None;
    int line = 0;            // the program line where it ended
    uint64_t slices = 0;     // slices sent
    uint64_t underruns = 0;  // slices the card found its queue empty mid-path
    uint32_t motion_ms = 0;  // from its first slice to the card at rest after its last
    std::string error;       // Failed: why
};

// How often the owner's thread looks at its requests while no work runs.
constexpr uint32_t kIdleTurnMs = 5;

// A jog keeps at most this many ms of slices queued ahead of the card (a program keeps
// the card's whole queue full): its stop, or its deadline, takes effect that soon.
constexpr uint32_t kJogQueueMs = 20;

class Controller {
public:
    Controller(MachineLink &link, const ControlOptions &options, ControlHooks hooks = {});
    ~Controller();
    Controller(const Controller &) = delete;
    Controller &operator=(const Controller &) = delete;

    // ---- the owner's thread (the one that drives the card) -----------------------
    // open() and serve() on one thread, which owns the card from then on.
    // KORVA3_INITIAL and KORVA3_REGISTRATION of the card; the machine's position is the
    // card's from now on (its zero: where the card counts 0). False with the reason.
    bool open(std::string &error);
    // Serves requests and runs the work they start until `until()` says so (checked
    // whenever no work runs) or shutdown(). Motion under way when shutdown comes is
    // stopped (controlled) first.
    void serve(const std::function<bool()> &until = {});

    // ---- any thread ----------------------------------------------------------------
    // A request answered by the owner's thread (asked on the owner's thread outside
    // serve(), it is answered there at once). See the table above.
    Reply ask(const Request &request);
    // A request whose answer nobody waits for (also from the controller's own hooks):
    // taken at the controller's next turn; its refusal shows in the snapshot's error.
    // False when too many wait.
    bool post(const Request &request);
    // Never refused, never waits: KORVA3_EMG_STOP now (a second stop from the owner's
    // thread follows after its last slice), spindle and coolant off, EStop until Reset.
    void emergency_stop();
    // serve() returns at its next turn; later requests are refused.
    void shutdown();
    Snapshot snapshot() const;
    // The loaded program's check (errors, figures, outline); empty before a Load.
    std::shared_ptr<const ProgramCheck> program_check() const;
    WorkReport last_work() const;
    // Loads a program already checked (from the machine's state now: a batch front end
    // checks before it opens the card); checked again if the machine's state differs.
    Reply load_checked(const std::string &path, std::shared_ptr<const ProgramCheck> checked);

    // Shorthands of ask().
    Reply load(const std::string &path) { return ask(request(Ask::Load, path)); }
    Reply cycle_start() { return ask(request(Ask::CycleStart)); }
    Reply hold() { return ask(request(Ask::Hold)); }
    Reply resume() { return ask(request(Ask::Resume)); }
    Reply stop() { return ask(request(Ask::Stop)); }
    Reply reset() { return ask(request(Ask::Reset)); }
    Reply mdi(const std::string &line) { return ask(request(Ask::Mdi, line)); }

    // The insides (control/controller_impl.h), for the controller's own files.
    struct Impl;

private:
    static Request request(Ask ask, const std::string &text = "")
    {
        Request r;
        r.ask = ask;
        r.text = text;
        return r;
    }

    std::unique_ptr<Impl> impl_;
};

} // namespace korva3_control

#endif
