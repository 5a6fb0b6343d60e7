// trace.h - the machine's trace: one JSON object a line for every event of the cards
// (commands with their meaning, status reports, executed positions, digital I/O,
// resets, limit switches), written to its file as it happens. Each line is flushed, so
// the file is complete up to the last event even when the program is killed; a write
// that fails (a full disk) is said on standard error and ends the trace.
// The line format is documented in docs/virtual-machine.md ("The trace").
#ifndef KORVA_SIM_TRACE_H
#define KORVA_SIM_TRACE_H

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "controller.h"
#include "controller_observer.h"

namespace korva::sim {

struct MachineDescription;

class Trace {
public:
    Trace() = default;
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    ~Trace() { close(0, nullptr); }

    // Starts writing to `path` (replacing the file; never through a symbolic link) with a
    // first line describing the machine. False with `why` when the file cannot be
    // written. A later write that fails is said once on standard error, and ends the
    // trace.
    bool open(const std::string& path, const MachineDescription& desc, std::string& why);
    // A "refused" line: the description was refused (`why`: FILE:LINE: what is wrong),
    // so the machine has no card.
    void refused(const std::string& why);
    // Ends the trace: a last "reset" line saying why (if why is not null), file closed.
    void close(std::uint64_t us, const char* why);

    // Has card `index`'s controller report to the trace.
    void watch(Controller& controller, std::uint32_t index);

private:
    class CardSink : public ControllerObserver {
    public:
        CardSink(Trace& trace, std::uint32_t card) : trace_(trace), card_(card) {}
        void on_command(std::uint64_t us, const Frame* frame) override;
        void on_status(std::uint64_t us, const std::uint8_t* report, std::size_t length) override;
        void on_motion(std::uint64_t us, std::int32_t x, std::int32_t y, std::int32_t z) override;
        void on_outputs(std::uint64_t us, std::uint8_t value) override;
        void on_inputs(std::uint64_t us, std::uint8_t value) override;
        void on_reset(std::uint64_t us) override;
        void on_estop(std::uint64_t us, bool pressed) override;
        void on_limit(std::uint64_t us, std::size_t axis, std::int32_t position) override;

    private:
        std::string head(std::uint64_t us, const char* event) const;
        Trace& trace_;
        std::uint32_t card_;
        int previous_cmd_ = -1;
        int limit_axis_ = -1; // the last limit event, not repeated while the axis stands
        std::int32_t limit_at_ = 0;
    };

    void write(std::string line);
    void failed(); // a write failed: said on standard error, and the trace ends

    std::FILE* file_ = nullptr;
    std::string path_;
    std::deque<CardSink> sinks_; // stable addresses: the controllers point at them
};

} // namespace korva::sim

#endif
