// controller.h - one card's controller: its I/O register window (mailbox, status,
// digital I/O, ID switch) and the command model behind the mailbox.
//
// The controller only sees time through advance_to(); the machine calls it before
// every access so that timed behaviour (motion) can be stepped lazily up to "now".
#ifndef KORVA_SIM_CONTROLLER_H
#define KORVA_SIM_CONTROLLER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "axis_motion.h"
#include "bounded_log.h"
#include "controller_view.h"
#include "controller_observer.h"
#include "frame_decoder.h"
#include "korva3_sim.h"
#include "port/card_regs.h"
#include "ring.h"

namespace korva::sim {

// Number of I/O ports a card decodes.
inline constexpr std::uint32_t kCardWindow = 0x100;

// Defaults of the timed model.
inline constexpr std::uint32_t kDefaultSlicePeriodUs = 1000;
inline constexpr std::uint32_t kDefaultQueueSize = 256;
inline constexpr std::uint32_t kDefaultStatusPeriodMs = 20;
inline constexpr std::uint64_t kNever = ~std::uint64_t{0};

// Settings of the timed model a card starts with.
struct TimingSettings {
    std::uint32_t slice_period_us = kDefaultSlicePeriodUs;
    std::uint32_t queue_size = kDefaultQueueSize;
    std::uint32_t status_period_ms = kDefaultStatusPeriodMs;
};

// One point of the executed path: virtual time (ms) and the three commanded positions.
struct MotionRecord {
    std::int32_t time_ms;
    std::int32_t x, y, z;
};

// Where a card hands what it executes as it happens (KSIM_SET_SINKS); null: the logs.
struct Sinks {
    KSIM_FRAME_SINK frames = nullptr;
    KSIM_MOTION_SINK motion = nullptr;
    void* user = nullptr;
};

// A command code of the controller's protocol.
enum CommandCode : std::uint8_t {
    kCmdNone = 0x00,
    kCmdBackHome = 0x01,
    kCmdBackHome01 = 0x02,
    kCmdPulseMove = 0x03,
    kCmdConstantSpeed = 0x04,
    kCmdIntpPulse = 0x10,
    kCmdSetControlMode = 0x21,
    kCmdSetVar = 0x22,
    kCmdSetDefDir = 0x23,
    kCmdSetServoOn = 0x24,
    kCmdSetZero = 0x2A,
    kCmdPresetPosition = 0x2B,
    kCmdSetNc = 0x2C,
    kCmdSystemReset2 = 0x30,
    kCmdStop = 0x31,
    kCmdSystemReset1 = 0x32,
    kCmdDecStop = 0x33,
    kCmdLinkTest = 0x40
};

class Controller {
public:
    Controller(std::uint8_t id_switch, const TimingSettings& timing);

    // ---- Time -----------------------------------------------------------------------
    // Brings the controller up to virtual time now_us (never backwards): executes the
    // slices, motion steps and status reports due by then, in order.
    void advance_to(std::uint64_t now_us)
    {
        if (now_us < events_not_before_us_) { // the common case: nothing due yet
            if (now_us > now_us_)
                now_us_ = now_us;
            return;
        }
        run_due_events(now_us);
    }
    // When the controller next does something by itself (kNever: not until told).
    std::uint64_t next_event_us() const;

    // ---- The host's side: accesses to the card's window, offset 0..255 ----------------
    // The status register, read twice per byte the host sends, has its common case here
    // so that it inlines into the port dispatch.
    std::uint8_t in8(std::uint32_t offset)
    {
        if (offset == STATUS_REG && status_plain_) {
            ++status_reads_;
            return model_status();
        }
        return in8_register(offset);
    }
    std::uint16_t in16(std::uint32_t offset);
    void out8(std::uint32_t offset, std::uint8_t value);
    void out16(std::uint32_t offset, std::uint16_t value);
    void out32(std::uint32_t offset, std::uint32_t value);

    // ---- The test bench's side (controller_bench.cpp, controller_timing.cpp) ---------
    void set_logging(bool on) { logging_ = on; }
    // The sinks, and this card's index as they report it.
    void set_sinks(const Sinks& sinks, std::int32_t index)
    {
        sinks_ = sinks;
        index_ = index;
    }
    void set_link(bool answers) { link_answers_ = answers; }
    void hold(std::uint32_t n);
    void offer(const std::uint8_t* bytes, std::uint32_t n);
    void offer_on_link_test(const std::uint8_t* bytes, std::uint32_t n);
    void set_inputs(std::uint8_t value);
    // Who hears of every event (null: nobody); not owned.
    void set_observer(ControllerObserver* observer) { observer_ = observer; }
    void force_status(std::uint8_t mask, std::uint8_t value);
    void script_status(const std::uint8_t* values, std::uint32_t n);
    void set_timing(const TimingSettings& timing);
    const TimingSettings& timing() const { return timing_; }
    void set_limits(std::uint32_t axis, std::int32_t low, std::int32_t high);
    void set_home(std::uint32_t axis, std::int32_t position);
    void fault(std::uint32_t kind, std::uint32_t n);
    std::int32_t position(std::uint32_t axis) const;
    std::uint32_t take_motion(std::int32_t* out, std::uint32_t max);

    // ---- A person at the machine (the front panel; controller_view.cpp) ------------------
    // Holds (or lets go of) a switch of axis 1..3 by hand: a held limit switch stops the
    // axis's motion towards it and shows in the limit byte; a held home switch ends a
    // homing run where the axis stands, which becomes its origin.
    void hold_switch(std::uint32_t axis, HandSwitch which, bool held);
    // What the reset line does when held high long enough: queue emptied, motion stopped.
    void reset_by_hand() { hardware_reset(); }
    // The emergency stop pressed (true) or let go (false) by hand, latched as on a machine:
    // pressing it stops all motion and empties the slice queue; while it is pressed, frames
    // still arrive and are taken, counted and traced, but no axis moves (slices are not
    // queued, moves and homing do not start).
    void latch_estop(bool pressed);
    bool estop_latched() const { return estop_latched_; }
    ControllerView view() const;

    std::uint32_t take_frames(std::uint8_t* out, std::uint32_t max);
    std::uint32_t take_bytes(std::uint8_t* out, std::uint32_t max);
    std::uint32_t bad_commands() const { return bad_commands_; }
    std::int32_t axis_pulses(std::uint32_t axis) const;
    std::uint8_t outputs() const { return dio_out_; }
    std::uint32_t resets() const { return resets_; }

    // A kept value by name (see KSIM_CARD_VALUE); unknown names give 0.
    std::int32_t value(const std::string& name, std::uint32_t axis) const;

private:
    struct Axis {
        std::int32_t position = 0;     // commanded position, in the program's coordinates
        std::int32_t origin = 0;       // where position 0 lies on the machine (pulses)
        std::int32_t limit_low = 1;    // limit switches on the machine; low > high: none
        std::int32_t limit_high = 0;
        std::int32_t home = 0;         // home switch on the machine
        AxisMotion motion;
        std::int32_t intp_pulses = 0;
        std::int32_t last_pulses = 0;
        std::uint32_t mode = 0;
        std::uint32_t defdir = 0;
        std::uint32_t servo_on = 0;
        std::uint32_t last_cmd = 0;
        std::uint32_t last_speed = 0;
        std::uint32_t last_dir = 0;
        std::uint32_t last_home1 = 0;
        std::uint32_t last_home2 = 0;
        std::uint8_t held = 0;         // switches held by hand: HandSwitch bits

        // Where the axis stands on the machine (pulses; a 32-bit counter, it wraps).
        std::int32_t machine_at() const;
    };

    // Registers.
    std::uint8_t in8_register(std::uint32_t offset);
    std::uint8_t read_status();
    void write_data(std::uint8_t byte);
    std::uint8_t read_data();
    void write_dio(std::uint8_t value);
    std::uint8_t id_register() const;
    // Bytes are taken while the slice queue has room; ST_BUSY while a path is queued or
    // running; an axis's moving bit while it runs.
    std::uint8_t model_status() const
    {
        std::uint8_t status = 0;
        const bool queue_full =
            timing_.slice_period_us != 0 && slices_.size() >= timing_.queue_size;
        if (!never_ready_ && !queue_full)
            status |= ST_TX_READY;
        if (!outbound_.empty())
            status |= ST_RX_READY;
        if (slice_running_ || !slices_.empty())
            status |= ST_BUSY;
        return static_cast<std::uint8_t>(status | slice_moving_ | axes_moving_);
    }


    // Commands and the reset line.
    void execute(const Frame& frame);
    void hardware_reset();
    void stop_motion();
    void start_axis_motion(std::uint32_t cmd, Axis& a, const Frame& f);
    Axis* axis_at(std::uint32_t axis);
    const Axis* axis_at(std::uint32_t axis) const;

    // Timed model.
    void run_due_events(std::uint64_t now_us);
    void run_events_at(std::uint64_t t);
    void start_next_slice();
    void apply_slice(const std::array<std::int32_t, 3>& pulses);
    void tick_axes();
    void emit_status();
    bool move_axis(std::size_t i, std::int32_t pulses); // false when a limit stopped it
    bool axis_may_move(const Axis& a) const;
    bool any_axis_motion() const;
    std::uint8_t limit_byte() const;
    void record_motion();
    SpeedParams speed_params() const;

    std::uint64_t now_us_ = 0;
    bool logging_ = true;
    ControllerObserver* observer_ = nullptr;
    TimingSettings timing_;
    std::uint64_t events_not_before_us_ = 0;         // no event before this (0: look)
    Ring<std::array<std::int32_t, 3>> slices_;       // slices waiting to run
    std::array<std::int64_t, 3> queued_pulses_{};    // their sum per axis (pulses)
    bool slice_running_ = false;
    std::uint64_t slice_end_us_ = 0;
    std::uint8_t slice_moving_ = 0;                   // moving bits of the running slice
    std::uint8_t axes_moving_ = 0;                    // moving bits of single-axis motion
    void note_axes_moving();                          // after axis motion may have changed
    void set_origin_here(Axis& a, std::int32_t position);
    std::uint64_t next_tick_us_ = 0;                  // next millisecond of axis motion
    std::uint64_t next_status_us_ = kNever;
    std::array<std::int32_t, 3> last_report_{};       // positions in the last status report
    BoundedLog<MotionRecord> motion_log_;
    Sinks sinks_;
    std::uint32_t moved_by_ = KSIM_MOVED_BY_SLICE; // what made the last change of position
    std::int32_t index_ = 0;

    // Faults.
    bool silent_ = false;
    bool never_ready_ = false;
    bool stall_pending_ = false;
    std::uint32_t stall_bytes_ = 0;
    std::uint32_t corrupt_left_ = 0;
    std::uint32_t last_cmd_code_ = 0;

    // ID switch, digital I/O, reset line.
    std::uint8_t id_switch_;
    std::uint8_t inputs_ = 0;
    std::uint8_t dio_out_ = 0;
    bool reset_line_high_ = false;
    bool estop_latched_ = false; // the emergency stop held pressed by hand
    std::uint64_t reset_line_since_us_ = 0;
    std::uint32_t resets_ = 0;

    // Mailbox.
    FrameDecoder decoder_;
    Ring<std::uint8_t> outbound_;
    std::uint64_t bytes_written_ = 0;
    std::map<std::uint64_t, std::uint32_t> hold_marks_; // byte number -> marks pending
    std::deque<std::uint8_t> status_script_;
    std::uint8_t force_mask_ = 0;
    bool status_plain_ = true; // no script, hold mark or forced bit: the model's status
    void note_status_setup()
    {
        status_plain_ = status_script_.empty() && hold_marks_.empty() && force_mask_ == 0;
    }
    std::uint8_t force_value_ = 0;
    bool link_answers_ = true;
    std::deque<std::uint8_t> link_test_offer_; // offered at the next link test
    std::uint32_t status_reads_ = 0;

    // What arrived.
    BoundedLog<std::uint8_t> byte_log_;
    BoundedLog<Frame> frame_log_;
    std::uint32_t bad_commands_ = 0;
    std::uint32_t commands_ = 0;
    std::uint32_t intp_frames_ = 0;
    std::uint32_t system_resets_ = 0;
    std::int32_t previous_cmd_ = -1; // code of the last good command, -1 before any

    // What the controller was told.
    std::array<Axis, 3> axes_{};
    std::uint32_t nc_ = 0;
    std::uint32_t card_var_ = 10; // the controller's values at power-on
    std::uint32_t accel_ = 2;
    std::uint32_t start_speed_ = 2;
    std::uint32_t high_speed_ = 100;
};

} // namespace korva::sim

#endif
