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

#include "bounded_log.h"
#include "frame_decoder.h"

namespace korva::sim {

// Number of I/O ports a card decodes.
inline constexpr std::uint32_t kCardWindow = 0x100;

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
    explicit Controller(std::uint8_t id_switch);

    // ---- Time -----------------------------------------------------------------------
    // Brings the controller up to virtual time now_us (never backwards).
    void advance_to(std::uint64_t now_us);

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
    void set_inputs(std::uint8_t value) { inputs_ = value; }
    void force_status(std::uint8_t mask, std::uint8_t value);
    void script_status(const std::uint8_t* values, std::uint32_t n);

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
        std::int32_t position = 0;
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
    Axis* axis_at(std::uint32_t axis);
    const Axis* axis_at(std::uint32_t axis) const;

    std::uint64_t now_us_ = 0;
    bool logging_ = true;

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
    std::uint32_t card_var_ = 0;
    std::uint32_t accel_ = 0;
    std::uint32_t start_speed_ = 0;
    std::uint32_t high_speed_ = 0;
};

} // namespace korva::sim

#endif
