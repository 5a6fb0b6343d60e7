// trace.cpp - the trace's lines: one JSON object each, flushed as written.
#include "trace.h"

#include <cerrno>
#include <cstring>

#include "host.h"
#include "machine_description.h"

namespace korva::sim {

namespace {

// "12.345": milliseconds with three decimals, independent of the C locale.
std::string ms(std::uint64_t us)
{
    std::string frac = std::to_string(us % 1000);
    return std::to_string(us / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            const char* hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string field(const char* name, std::int64_t value)
{
    return std::string(",\"") + name + "\":" + std::to_string(value);
}

std::string field(const char* name, const char* text)
{
    return std::string(",\"") + name + "\":" + quoted(text);
}

const char* axis_name(std::uint32_t axis) // 1..3
{
    static const char* const names[] = {"?", "x", "y", "z"};
    return names[axis <= 3 ? axis : 0];
}

std::uint32_t be16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

std::uint32_t be32(const std::uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

std::int32_t slice_pulses(const std::uint8_t* p)
{
    const std::uint32_t word = be16(p);
    const auto magnitude = static_cast<std::int32_t>(word & 0x07FF);
    return (word & 0x8000) ? -magnitude : magnitude;
}

// The command's name and its arguments as fields.
std::string meaning(const Frame& f)
{
    const std::uint8_t* p = &f[kP1]; // p[0] = p1
    const std::uint32_t axis = p[0] & 3;
    switch (f[kCmd]) {
    case kCmdNone: return field("name", "link_reset");
    case kCmdLinkTest: return field("name", "link_test");
    case kCmdBackHome:
        return field("name", "home") + field("axis", axis_name(axis)) + field("home1", p[1]) +
               field("home2", p[2]);
    case kCmdBackHome01:
        return field("name", "home01") + field("axis", axis_name(axis)) + field("home1", p[1]);
    case kCmdPulseMove: {
        const std::int64_t pulses = be32(p + 1);
        return field("name", "move") + field("axis", axis_name(axis)) +
               field("pulses", (p[0] & 0x10) ? -pulses : pulses) + field("speed", be16(p + 5));
    }
    case kCmdConstantSpeed:
        return field("name", "constant_speed") + field("axis", axis_name(axis)) +
               field("dir", (p[0] >> 4) & 1) + field("speed", be16(p + 1));
    case kCmdIntpPulse:
        return field("name", "slice") + field("x", slice_pulses(p)) +
               field("y", slice_pulses(p + 2)) + field("z", slice_pulses(p + 4));
    case kCmdSetControlMode:
        return field("name", "control_mode") + field("x", p[0]) + field("y", p[1]) +
               field("z", p[2]);
    case kCmdSetVar:
        return field("name", "set_var") + field("card_var", p[0]) + field("accel", p[1]) +
               field("start_speed", be16(p + 2)) + field("high_speed", be16(p + 4));
    case kCmdSetDefDir:
    case kCmdSetServoOn:
        return field("name", f[kCmd] == kCmdSetDefDir ? "defdir" : "servo_on") +
               field("x", p[0] & 1) + field("y", (p[0] >> 1) & 1) + field("z", (p[0] >> 2) & 1);
    case kCmdSetZero: return field("name", "set_zero") + field("axis", axis_name(p[0]));
    case kCmdPresetPosition:
        return field("name", "preset") + field("axis", axis_name(p[0])) +
               field("position", static_cast<std::int32_t>(be32(p + 1)));
    case kCmdSetNc: return field("name", "set_nc") + field("nc", p[0]);
    case kCmdSystemReset1: return field("name", "system_reset1");
    case kCmdSystemReset2: return field("name", "system_reset2");
    case kCmdStop: return field("name", "stop") + field("axis", axis_name(p[0]));
    case kCmdDecStop: return field("name", "dec_stop") + field("axis", axis_name(p[0]));
    default: return field("name", "unknown");
    }
}

} // namespace

bool Trace::open(const std::string& path, const MachineDescription& d, std::string& why)
{
    close(0, nullptr);
    file_ = host::create_file(path, why);
    if (file_ == nullptr)
        return false;
    path_ = path;
    std::string cards;
    for (std::size_t i = 0; i < d.cards.size(); ++i)
        cards += std::string(i ? "," : "") + "{\"card\":" + std::to_string(i) +
                 field("bus", d.cards[i].bus) + field("device", d.cards[i].device) +
                 field("id", d.cards[i].id_switch) + "}";
    const auto speed_milli = static_cast<std::int64_t>(d.speed * 1000 + 0.5);
    write("{\"t\":0.000,\"ev\":\"machine\"" + field("source", d.source.c_str()) +
          ",\"os\":[" + std::to_string(d.os_platform) + "," + std::to_string(d.os_major) + "," +
          std::to_string(d.os_minor) + "]" +
          field("clock", d.clock == ClockMode::Wall ? "wall" : "virtual") +
          ",\"speed\":" + ms(static_cast<std::uint64_t>(speed_milli)) +
          field("slice_period_us", d.timing.slice_period_us) +
          field("queue", d.timing.queue_size) +
          field("status_period_ms", d.timing.status_period_ms) + ",\"cards\":[" + cards + "]}");
    return true;
}

void Trace::refused(const std::string& why)
{
    write("{\"t\":0.000,\"ev\":\"refused\"" + field("why", why.c_str()) + "}");
}

void Trace::close(std::uint64_t us, const char* why)
{
    sinks_.clear(); // the controllers that pointed at them are gone
    if (file_ == nullptr)
        return;
    if (why != nullptr)
        write("{\"t\":" + ms(us) + ",\"ev\":\"reset\",\"kind\":\"machine\"" + field("why", why) +
              "}");
    if (file_ != nullptr && std::fclose(file_) != 0) // the last buffered bytes
        host::report("korva32sim: writing the trace file " + path_ + " failed: " +
                     std::strerror(errno));
    file_ = nullptr;
}

// Said once: the trace ends with it.
void Trace::failed()
{
    host::report("korva32sim: writing the trace file " + path_ + " failed: " +
                 std::strerror(errno) + "; the trace ends there");
    std::fclose(file_);
    file_ = nullptr; // the controllers' sinks stay, writing nothing
}

void Trace::watch(Controller& controller, std::uint32_t index)
{
    if (file_ != nullptr)
        controller.set_observer(&sinks_.emplace_back(*this, index));
}

void Trace::write(std::string line)
{
    if (file_ == nullptr)
        return;
    line += '\n';
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
        failed();
}

// ---- One card's events ----------------------------------------------------------------------

std::string Trace::CardSink::head(std::uint64_t us, const char* event) const
{
    return "{\"t\":" + ms(us) + ",\"ev\":\"" + event + "\",\"card\":" + std::to_string(card_);
}

void Trace::CardSink::on_command(std::uint64_t us, const Frame* f)
{
    if (f == nullptr) {
        trace_.write(head(us, "bad_frame") + "}");
        return;
    }
    const std::uint8_t cmd = (*f)[kCmd];
    trace_.write(head(us, "frame") + field("cmd", cmd) + field("seq", (*f)[kSeq]) + meaning(*f) +
                 "}");
    if (cmd == kCmdSystemReset2 && previous_cmd_ == kCmdSystemReset1)
        trace_.write(head(us, "reset") + field("kind", "system") + "}");
    previous_cmd_ = cmd;
}

void Trace::CardSink::on_status(std::uint64_t us, const std::uint8_t* r, std::size_t length)
{
    if (length < 32) {
        trace_.write(head(us, "status") + field("bytes", static_cast<std::int64_t>(length)) +
                     field("fault", "stopped part-way") + "}");
        return;
    }
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < 31; ++i)
        check ^= r[i];
    auto pos = [r](std::size_t at) { return static_cast<std::int32_t>(be32(r + at)); };
    trace_.write(head(us, "status") + field("sys", r[0]) + field("limit", r[1]) +
                 field("inputs", r[2]) + field("queued", be16(r + 3)) + field("last_cmd", r[5]) +
                 field("x", pos(7)) + field("y", pos(15)) + field("z", pos(23)) +
                 field("xp", pos(11)) + field("yp", pos(19)) + field("zp", pos(27)) +
                 (check == r[31] ? std::string() : field("fault", "bad check byte")) + "}");
}

void Trace::CardSink::on_motion(std::uint64_t us, std::int32_t x, std::int32_t y, std::int32_t z)
{
    trace_.write(head(us, "motion") + field("x", x) + field("y", y) + field("z", z) + "}");
}

void Trace::CardSink::on_outputs(std::uint64_t us, std::uint8_t value)
{
    trace_.write(head(us, "outputs") + field("value", value) + "}");
}

void Trace::CardSink::on_inputs(std::uint64_t us, std::uint8_t value)
{
    trace_.write(head(us, "inputs") + field("value", value) + "}");
}

void Trace::CardSink::on_reset(std::uint64_t us)
{
    trace_.write(head(us, "reset") + field("kind", "controller") + "}");
}

void Trace::CardSink::on_estop(std::uint64_t us, bool pressed)
{
    trace_.write(head(us, "estop") + field("state", pressed ? "pressed" : "released") + "}");
}

void Trace::CardSink::on_limit(std::uint64_t us, std::size_t axis, std::int32_t position)
{
    if (limit_axis_ == static_cast<int>(axis) && limit_at_ == position)
        return;
    limit_axis_ = static_cast<int>(axis);
    limit_at_ = position;
    trace_.write(head(us, "limit") + field("axis", axis_name(static_cast<std::uint32_t>(axis + 1))) +
                 field("position", position) + "}");
}

} // namespace korva::sim
