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
#include "frame_decoder.h"

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
    void advance_to(std::uint64_t now_us);
    // When the controller next does something by itself (kNever: not until told).
    std::uint64_t next_event_us() const;

    // ---- The host's side: accesses to the card's window, offset 0..255 ----------------
    std::uint8_t in8(std::uint32_t offset);
    std::uint16_t in16(std::uint32_t offset);
    void out8(std::uint32_t offset, std::uint8_t value);
    void out16(std::uint32_t offset, std::uint16_t value);
    void out32(std::uint32_t offset, std::uint32_t value);

    // ---- The test bench's side --------------------------------------------------------
    void set_logging(bool on) { logging_ = on; }
    void set_link(bool answers) { link_answers_ = answers; }
    void hold(std::uint32_t n);
    void offer(const std::uint8_t* bytes, std::uint32_t n);
    void offer_on_link_test(const std::uint8_t* bytes, std::uint32_t n);
    void set_inputs(std::uint8_t value) { inputs_ = value; }
    void force_status(std::uint8_t mask, std::uint8_t value);
    void script_status(const std::uint8_t* values, std::uint32_t n);
    void set_timing(const TimingSettings& timing);
    const TimingSettings& timing() const { return timing_; }
    void set_limits(std::uint32_t axis, std::int32_t low, std::int32_t high);
    void set_home(std::uint32_t axis, std::int32_t position);
    void fault(std::uint32_t kind, std::uint32_t n);
    std::int32_t position(std::uint32_t axis) const;
    std::uint32_t take_motion(std::int32_t* out, std::uint32_t max);

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

        // Where the axis stands on the machine (pulses; a 32-bit counter, it wraps).
        std::int32_t machine_at() const;
    };

    // Registers.
    std::uint8_t read_status();
    void write_data(std::uint8_t byte);
    std::uint8_t read_data();
    void write_dio(std::uint8_t value);
    std::uint8_t id_register() const;
    std::uint8_t model_status() const;

    // Commands and the reset line.
    void execute(const Frame& frame);
    void hardware_reset();
    void stop_motion();
    void start_axis_motion(std::uint32_t cmd, Axis& a, const Frame& f);
    Axis* axis_at(std::uint32_t axis);
    const Axis* axis_at(std::uint32_t axis) const;

    // Timed model.
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
    TimingSettings timing_;
    std::deque<std::array<std::int32_t, 3>> slices_; // slices waiting to run
    bool slice_running_ = false;
    std::uint64_t slice_end_us_ = 0;
    std::uint8_t slice_moving_ = 0;                   // moving bits of the running slice
    std::uint64_t next_tick_us_ = 0;                  // next millisecond of axis motion
    std::uint64_t next_status_us_ = kNever;
    std::array<std::int32_t, 3> last_report_{};       // positions in the last status report
    BoundedLog<MotionRecord> motion_log_;

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
    std::uint64_t reset_line_since_us_ = 0;
    std::uint32_t resets_ = 0;

    // Mailbox.
    FrameDecoder decoder_;
    std::deque<std::uint8_t> outbound_;
    std::uint64_t bytes_written_ = 0;
    std::map<std::uint64_t, std::uint32_t> hold_marks_; // byte number -> marks pending
    std::deque<std::uint8_t> status_script_;
    std::uint8_t force_mask_ = 0;
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
