// session.h - one run on a machine that is set up: what it records (the path, speeds,
// line marks, the CSV stream), the cards it registered (stopped by Ctrl-C, waited for
// at the end), its time limit and the watchdog that enforces it inside blocking calls.
#ifndef KORVA3_TOOL_SESSION_H
#define KORVA3_TOOL_SESSION_H

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

#include "record/recording.h"
#include "record/run_watch.h"
#include "run/watchdog.h"

namespace korva3_tool {

// What a run prints as it goes.
enum class Output {
    Normal, // one line per step, then the final positions
    Quiet,  // only the final positions (and errors)
    Trace   // as Normal, plus every frame in hex
};

struct SessionOptions {
    // Time the run may take in all (virtual milliseconds on the virtual machine); waits,
    // polls and the end fail past it instead of running on for ever.
    uint32_t limit_ms = 600000;
    // At the end, let the cards come to rest for at most this long (and within the limit).
    uint32_t settle_ms = 60000;
    bool keep_frames = false;     // every frame of a step, for --trace
    std::ostream *csv = nullptr;  // every executed position (time_ms,card,line,x,y,z)
};

// How the end of a run found the cards.
struct Settled {
    bool at_rest = true;
    uint32_t busy_card = 0;  // the card still at work when not at rest
    uint32_t waited_ms = 0;  // from the end of the work
};

class Session {
public:
    // Starts recording `name` on the machine: where every card stands, what it executes.
    Session(const std::string &name, const SessionOptions &options, Recording &recording);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    const SessionOptions &options() const { return options_; }
    Recording &recording() { return rec_; }
    RunWatch &watch() { return watch_; }

    // Machine milliseconds since the start; past the limit; the watchdog stopped the cards.
    uint32_t elapsed_ms() const;
    bool over_limit() const { return elapsed_ms() > options_.limit_ms; }
    bool watchdog_fired() const { return watchdog_.fired(); }

    // A card number the run registered: stopped by Ctrl-C, waited for at the end.
    void track(uint32_t card);
    const std::set<uint32_t> &cards() const { return cards_; }

    // The recording of virtual card `index`; the library card numbers bound to the
    // virtual cards now; the virtual card bound to library card number `card` (-1: none).
    CardTrace &card_trace(int index);
    void note_card_numbers();
    int index_of(uint32_t card) const;

    // Lets the tracked cards come to rest (the slices still queued in their controllers
    // run), for at most settle_ms and within the limit.
    Settled settle();

    // The recording ends: every card's thinned path, up to now.
    void end();

private:
    SessionOptions options_;
    Recording &rec_;
    RunWatch watch_;
    Watchdog watchdog_;
    std::set<uint32_t> cards_;
    bool ended_ = false;
};

} // namespace korva3_tool

#endif
