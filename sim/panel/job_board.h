// job_board.h - the running job as the panel shows it, and what the operator asks of it.
//
// A program (korva3 with --panel, or any program through KSIM_PANEL_JOB*) describes its
// job once before it moves (name, planned path, ... as JSON text) and publishes what the
// job is doing as it goes (current line, progress, feed, ... as JSON text); the panel's
// collector takes both and puts them in the page's events. The operator's requests (feed
// override, feed hold, stop) are recorded here by the panel's request threads in atomics
// and read by the program's own thread, which applies them to its card: the panel never
// calls the library for them. The program's side never waits: the state is published
// with a try-lock, the requests are plain loads.
#ifndef KORVA_SIM_PANEL_JOB_BOARD_H
#define KORVA_SIM_PANEL_JOB_BOARD_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace korva::sim::panel {

// At most this many bytes of description and of one state (more: not taken).
inline constexpr std::size_t kMaxJobDescription = 1u << 20;
inline constexpr std::size_t kMaxJobState = 8192;

// The controls a job takes (KSIM_JOB_* in korva3_sim.h).
inline constexpr std::uint32_t kJobOverride = 1, kJobHold = 2, kJobStop = 4, kJobStart = 8,
                               kJobCommands = 16;
// Request bits read by the program.
inline constexpr std::uint32_t kRequestHold = 1, kRequestStop = 2, kRequestStart = 4;

class JobBoard {
public:
    // ---- The program's thread ----------------------------------------------------------------
    // A new job (null: none): the requests start again (100 %, no hold, no stop). False,
    // nothing changed, when the text is longer than kMaxJobDescription.
    bool describe(const char* description, std::uint32_t controls);
    // What the job does now. False when not taken: too long, or the panel is reading the
    // last one (the program publishes again at its next step).
    bool publish(const char* state);
    // kRequestHold | kRequestStop bits; the override in *percent (1..1000) when not null.
    std::uint32_t requests(std::uint32_t* percent) const;

    // ---- The panel's request threads -----------------------------------------------------------
    // do=override (percent 1..1000), hold, resume, stop_program, cycle_start. False with the reason
    // when the job takes no such control (or there is no job); nothing recorded then.
    bool request(const std::string& what, std::uint32_t percent, std::string& why);

    // ---- The panel's collector -----------------------------------------------------------------
    // Copies the description when its generation differs from *generation (and updates
    // it), and the state when it is new since the last take. True when anything changed.
    bool take(std::uint64_t& generation, std::string& description, std::string& state,
              std::uint32_t& controls);

private:
    std::atomic<std::uint32_t> override_{100};
    std::atomic<std::uint32_t> flags_{0};    // kRequestHold | kRequestStop
    std::atomic<std::uint32_t> controls_{0}; // what the job takes

    std::mutex mutex_; // guards everything below
    std::uint64_t generation_ = 0;
    std::string description_;
    std::string state_;
    bool state_new_ = false;
};

// The one board (never destroyed, as the hub).
JobBoard& job_board();

} // namespace korva::sim::panel

#endif
