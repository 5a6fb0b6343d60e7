// machine_description.cpp - reading a machine description (TOML, with toml11, once
// common/toml_file.h has found the text safe to hand it): every value checked, every
// unknown key refused, each fault reported with its line.
#include "machine_description.h"

#include <initializer_list>
#include <sstream>

#include <toml.hpp>

#include "card/pci_scan.h"
#include "common/toml_file.h"
#include "pci_bus.h"

namespace korva::sim {

namespace {

// A fault in the description: its line (0: none known) and what is wrong.
struct Fault {
    std::size_t line;
    std::string what;
};

[[noreturn]] void fail(const toml::value& at, const std::string& what)
{
    throw Fault{at.location().line(), what};
}

// Refuses every key of table `v` not in `known`.
void only_keys(const toml::value& v, const std::string& where,
               std::initializer_list<const char*> known)
{
    for (const auto& [key, value] : v.as_table()) {
        bool ok = false;
        for (const char* k : known)
            ok = ok || key == k;
        if (!ok) {
            std::string list;
            for (const char* k : known)
                list += (list.empty() ? "" : ", ") + std::string(k);
            fail(value, "unknown key '" + key + "'" + where + " (known: " + list + ")");
        }
    }
}

const toml::value* find(const toml::value& table, const char* key)
{
    const auto& t = table.as_table();
    auto it = t.find(key);
    return it == t.end() ? nullptr : &it->second;
}

const toml::value& table_at(const toml::value& v, const std::string& name)
{
    if (!v.is_table())
        fail(v, name + ": a table expected");
    return v;
}

std::int64_t integer(const toml::value& v, const std::string& name, std::int64_t lo,
                     std::int64_t hi)
{
    if (!v.is_integer() || v.as_integer() < lo || v.as_integer() > hi)
        fail(v, name + ": an integer from " + std::to_string(lo) + " to " + std::to_string(hi) +
                    " expected");
    return v.as_integer();
}

// Sets `out` from key `key` of `table` when present.
template <class T>
void read_int(const toml::value& table, const char* key, const std::string& name,
              std::int64_t lo, std::int64_t hi, T& out)
{
    if (const toml::value* v = find(table, key))
        out = static_cast<T>(integer(*v, name + key, lo, hi));
}

struct OsName {
    const char* name;
    std::uint32_t platform, major, minor;
};
constexpr OsName kOsNames[] = {{"95", 1, 4, 0},   {"98", 1, 4, 10},   {"me", 1, 4, 90},
                               {"nt4", 2, 4, 0},  {"2000", 2, 5, 0},  {"xp", 2, 5, 1},
                               {"vista", 2, 6, 0}, {"7", 2, 6, 1},    {"10", 2, 10, 0}};

void read_os(const toml::value& v, MachineDescription& d)
{
    if (v.is_string()) {
        for (const OsName& os : kOsNames)
            if (v.as_string().str == os.name) {
                d.os_platform = os.platform, d.os_major = os.major, d.os_minor = os.minor;
                return;
            }
    } else if (v.is_array() && v.as_array().size() == 3) {
        const auto& a = v.as_array();
        d.os_platform = static_cast<std::uint32_t>(integer(a[0], "os platform", 1, 2));
        d.os_major = static_cast<std::uint32_t>(integer(a[1], "os major", 0, 255));
        d.os_minor = static_cast<std::uint32_t>(integer(a[2], "os minor", 0, 255));
        return;
    }
    fail(v, "os: one of \"95\", \"98\", \"me\", \"nt4\", \"2000\", \"xp\", \"vista\", \"7\", "
            "\"10\", or [platform, major, minor]");
}

void read_clock(const toml::value& v, MachineDescription& d)
{
    only_keys(table_at(v, "clock"), " in [clock]", {"mode", "speed"});
    if (const toml::value* mode = find(v, "mode")) {
        if (mode->is_string() && mode->as_string().str == "wall")
            d.clock = ClockMode::Wall;
        else if (mode->is_string() && mode->as_string().str == "virtual")
            d.clock = ClockMode::Virtual;
        else
            fail(*mode, "clock.mode: \"wall\" or \"virtual\"");
    }
    if (const toml::value* speed = find(v, "speed")) {
        const double s = speed->is_floating()  ? speed->as_floating()
                         : speed->is_integer() ? static_cast<double>(speed->as_integer())
                                               : -1.0;
        if (!(s >= 0.001 && s <= 1000.0))
            fail(*speed, "clock.speed: a number from 0.001 to 1000 (1 = real time)");
        d.speed = s;
    }
}

void read_timing(const toml::value& v, MachineDescription& d)
{
    only_keys(table_at(v, "timing"), " in [timing]",
              {"slice_period_us", "queue", "status_period_ms"});
    read_int(v, "slice_period_us", "timing.", 0, 1000000, d.timing.slice_period_us);
    read_int(v, "queue", "timing.", 1, 65536, d.timing.queue_size);
    read_int(v, "status_period_ms", "timing.", 0, 60000, d.timing.status_period_ms);
}

void read_axis(const toml::value& v, const std::string& name, AxisSwitches& axis)
{
    only_keys(table_at(v, name), " in " + name, {"limits", "home"});
    if (const toml::value* limits = find(v, "limits")) {
        if (!limits->is_array() || limits->as_array().size() != 2)
            fail(*limits, name + ".limits: [low, high] in pulses");
        const auto& a = limits->as_array();
        axis.limit_low = static_cast<std::int32_t>(integer(a[0], name + ".limits", INT32_MIN, INT32_MAX));
        axis.limit_high = static_cast<std::int32_t>(integer(a[1], name + ".limits", INT32_MIN, INT32_MAX));
        if (axis.limit_low > axis.limit_high)
            fail(*limits, name + ".limits: low must not be above high");
    }
    read_int(v, "home", name + ".", INT32_MIN, INT32_MAX, axis.home);
}

CardDescription read_card(const toml::value& v, std::size_t n)
{
    const std::string name = "card " + std::to_string(n); // card 0 first, as the trace counts
    only_keys(table_at(v, name), " in " + name, {"bus", "device", "id", "inputs", "x", "y", "z"});
    CardDescription c;
    read_int(v, "bus", name + ": ", 0, kPciBuses - 1, c.bus);
    read_int(v, "device", name + ": ", 0, kPciDevices - 1, c.device);
    read_int(v, "id", name + ": ", 0, 15, c.id_switch);
    read_int(v, "inputs", name + ": ", 0, 255, c.inputs);
    const char* const axes[3] = {"x", "y", "z"};
    for (std::size_t i = 0; i < 3; ++i)
        if (const toml::value* axis = find(v, axes[i]))
            read_axis(*axis, name + "." + axes[i], c.axes[i]);
    return c;
}

void read_cards(const toml::value& v, MachineDescription& d)
{
    if (!v.is_array() || v.as_array().empty())
        fail(v, "card: one [[card]] table per card expected");
    const auto& list = v.as_array();
    if (list.size() > PCI_TABLE_SIZE) // more would fill the scan's table: no card found
        fail(list[PCI_TABLE_SIZE], "card " + std::to_string(PCI_TABLE_SIZE) + ": at most " +
                                       std::to_string(PCI_TABLE_SIZE) +
                                       " cards (the library's table holds " +
                                       std::to_string(PCI_TABLE_SIZE) + ")");
    d.cards.clear();
    for (std::size_t n = 0; n < list.size(); ++n) {
        CardDescription c = read_card(list[n], n);
        for (const CardDescription& other : d.cards)
            if (other.bus == c.bus && other.device == c.device)
                fail(list[n], "card " + std::to_string(n) + ": a second card at bus " +
                                  std::to_string(c.bus) + " device " + std::to_string(c.device));
        d.cards.push_back(c);
    }
}

void read_panel(const toml::value& v, MachineDescription& d)
{
    only_keys(table_at(v, "panel"), " in [panel]", {"port"});
    d.panel.enabled = true;
    read_int(v, "port", "panel.", 0, 65535, d.panel.port);
}

// The folder part of a path ("" for a bare name), with its separator.
std::string folder_of(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool is_absolute(const std::string& path)
{
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
           (path.size() > 1 && path[1] == ':');
}

// Fills d; the trace first, so that a refused description still has its trace.
void read_root(const toml::value& root, const std::string& path, MachineDescription& d)
{
    d.source = path;
    if (const toml::value* v = find(root, "trace")) {
        if (!v->is_string() || v->as_string().str.empty())
            fail(*v, "trace: the name of the trace file");
        const std::string& file = v->as_string().str;
        d.trace_path = is_absolute(file) ? file : folder_of(path) + file;
    }
    only_keys(root, "", {"os", "driver", "clock", "timing", "trace", "panel", "card"});
    if (const toml::value* v = find(root, "os"))
        read_os(*v, d);
    if (const toml::value* v = find(root, "driver")) {
        if (!v->is_boolean())
            fail(*v, "driver: true or false");
        d.driver_present = v->as_boolean();
    }
    if (const toml::value* v = find(root, "clock"))
        read_clock(*v, d);
    if (const toml::value* v = find(root, "timing"))
        read_timing(*v, d);
    if (const toml::value* v = find(root, "panel"))
        read_panel(*v, d);
    if (const toml::value* v = find(root, "card"))
        read_cards(*v, d);
}

// The first line of a toml11 message, without its "[error] " tag.
std::string first_line(const std::string& message)
{
    std::string line = message.substr(0, message.find('\n'));
    const std::string tag = "[error] ";
    if (line.compare(0, tag.size(), tag) == 0)
        line.erase(0, tag.size());
    return line;
}

// Reads text that common/toml_file.h has found safe to hand toml11.
bool parse_checked(const std::string& path, const std::string& text, MachineDescription& desc,
                   std::string& error, std::string* trace_named)
{
    MachineDescription d;
    try {
        std::istringstream in(text);
        const toml::value root = toml::parse(in, path);
        read_root(root, path, d);
        desc = d;
        return true;
    } catch (const Fault& f) {
        error = path + ":" + std::to_string(f.line) + ": " + f.what;
        if (trace_named != nullptr)
            *trace_named = d.trace_path;
    } catch (const toml::exception& e) {
        error = path + ":" + std::to_string(e.location().line()) + ": " + first_line(e.what());
    } catch (const std::exception& e) {
        error = path + ": " + first_line(e.what());
    }
    return false;
}

} // namespace

bool read_machine_description(const std::string& path, MachineDescription& desc,
                              std::string& error, std::string* trace_named)
{
    std::string text;
    return toml_file::read(path, text, error) &&
           parse_checked(path, text, desc, error, trace_named);
}

bool parse_machine_description(const std::string& path, const std::string& text,
                               MachineDescription& desc, std::string& error,
                               std::string* trace_named)
{
    return toml_file::check(path, text, error) &&
           parse_checked(path, text, desc, error, trace_named);
}

} // namespace korva::sim
