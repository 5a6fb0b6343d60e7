// machine_file.cpp - the machine file, read with toml11 once common/toml_file.h has
// found the text safe to hand it.
#include <array>
#include <cmath>
#include <sstream>
#include <string>

#include <toml.hpp>

#include "common/toml_file.h"
#include "gcode/modal.h"
#include "gcode/settings.h"

namespace korva3_gcode {

namespace {

constexpr size_t kMaxSubFolders = 100; // folders of subroutine_path

struct Reader {
    const std::string &path;
    std::string &error;

    bool fail(const toml::value &v, const std::string &what)
    {
        error = path + ":" + std::to_string(v.location().line()) + ": " + what;
        return false;
    }

    bool number(const toml::value &v, const std::string &key, double &out)
    {
        if (v.is_integer())
            out = static_cast<double>(v.as_integer());
        else if (v.is_floating())
            out = v.as_floating();
        else
            return fail(v, key + " must be a number");
        return true;
    }

    // A number within its range: refused with its line and the range.
    bool number(const toml::value &v, const std::string &key, const SettingRange &range, double &out)
    {
        if (!number(v, key, out))
            return false;
        if (!in_range(out, range))
            return fail(v, range_text(key, range) + ", not " + number_text(out));
        return true;
    }

    bool whole(const toml::value &v, const std::string &key, int64_t lo, int64_t hi, int64_t &out)
    {
        if (!v.is_integer() || v.as_integer() < lo || v.as_integer() > hi)
            return fail(v, key + " must be a whole number " + std::to_string(lo) + ".." +
                               std::to_string(hi));
        out = v.as_integer();
        return true;
    }

    bool scale(const toml::value &table, Settings &s)
    {
        for (const auto &[key, v] : table.as_table()) {
            int axis = key == "x" ? 0 : key == "y" ? 1 : key == "z" ? 2 : -1;
            if (axis < 0)
                return fail(v, "scale: unknown axis '" + key + "' (x, y, z)");
            if (!number(v, "scale." + key, kScaleRange, s.scale[axis]))
                return false;
        }
        return true;
    }

    // [max_velocity] or [max_accel]: x, y, z within `range`.
    bool per_axis(const toml::value &table, const std::string &name, const SettingRange &range,
                  std::array<double, 3> &out)
    {
        for (const auto &[key, v] : table.as_table()) {
            int axis = key == "x" ? 0 : key == "y" ? 1 : key == "z" ? 2 : -1;
            if (axis < 0)
                return fail(v, name + ": unknown axis '" + key + "' (x, y, z)");
            if (!number(v, name + "." + key, range, out[axis]))
                return false;
        }
        return true;
    }

    // [offsets]: g54 .. g59, g59_1 .. g59_3 ("g59.1" too), g28, g30 as [x, y, z] in mm.
    bool offsets(const toml::value &table, Settings &s)
    {
        static const char *const names[9] = {"g54", "g55", "g56", "g57", "g58", "g59",
                                             "g59_1", "g59_2", "g59_3"};
        for (const auto &[key, v] : table.as_table()) {
            std::string name = key;
            if (name.size() == 5 && name.compare(0, 4, "g59.") == 0)
                name[3] = '_';
            std::array<double, 3> *slot = name == "g28" ? &s.g28 : name == "g30" ? &s.g30 : nullptr;
            for (int i = 0; i < 9 && !slot; i++)
                if (name == names[i])
                    slot = &s.work_offsets[i];
            if (!slot)
                return fail(v, "offsets: unknown key '" + key +
                                   "' (g54 .. g59, g59_1 .. g59_3, g28, g30)");
            if (!v.is_array() || v.as_array().size() != 3)
                return fail(v, "offsets." + key + " must be [x, y, z] in mm");
            for (int a = 0; a < 3; a++) {
                if (!number(v.as_array()[a], "offsets." + key, (*slot)[a]))
                    return false;
                if (!(std::fabs((*slot)[a]) <= 1e6))
                    return fail(v, "offsets." + key + ": at most 1e6 mm in size");
            }
        }
        return true;
    }

    // [tools]: t1 .. t99999 = the tool's length in mm.
    bool tools(const toml::value &table, Settings &s)
    {
        for (const auto &[key, v] : table.as_table()) {
            const bool digits = key.size() >= 2 && key.size() <= 6 && key[0] == 't' && key[1] != '0' &&
                                key.find_first_not_of("0123456789", 1) == std::string::npos;
            const int n = digits ? std::stoi(key.substr(1)) : 0;
            if (n < 1)
                return fail(v, "tools: unknown key '" + key + "' (t1 .. t99999: a tool's length "
                                                              "in mm)");
            double length = 0;
            if (!number(v, "tools." + key, length))
                return false;
            if (!(std::fabs(length) <= 1e6))
                return fail(v, "tools." + key + ": at most 1e6 mm in size");
            s.tool_lengths[n] = length;
        }
        return true;
    }

    bool outputs(const toml::value &table, Settings &s)
    {
        for (const auto &[key, v] : table.as_table()) {
            int *slot = key == "spindle" ? &s.outputs.spindle
                        : key == "mist"  ? &s.outputs.mist
                        : key == "flood" ? &s.outputs.flood
                                         : nullptr;
            int64_t n;
            if (!slot)
                return fail(v, "outputs: unknown key '" + key + "' (spindle, mist, flood)");
            if (!whole(v, "outputs." + key, -1, 6, n))
                return false;
            *slot = static_cast<int>(n);
        }
        return true;
    }

    // [gcode] subroutine_path = ["subs", "/abs/dir"]: relative to the machine file's folder.
    bool gcode(const toml::value &table, Settings &s)
    {
        for (const auto &[key, v] : table.as_table()) {
            if (key != "subroutine_path")
                return fail(v, "gcode: unknown key '" + key + "' (subroutine_path)");
            if (!v.is_array() || v.as_array().size() > kMaxSubFolders)
                return fail(v, "gcode.subroutine_path must be a list of at most " +
                                   std::to_string(kMaxSubFolders) + " folders");
            const size_t slash = path.rfind('/');
            const std::string base = slash == std::string::npos ? "" : path.substr(0, slash + 1);
            std::vector<std::string> dirs;
            for (const toml::value &d : v.as_array()) {
                const std::string dir = d.is_string() ? toml::get<std::string>(d) : "";
                if (dir.empty())
                    return fail(d, "gcode.subroutine_path holds folders' names (strings)");
                dirs.push_back(dir[0] == '/' ? dir : base + dir);
            }
            s.subroutine_path = dirs;
        }
        return true;
    }

    bool top(const toml::value &root, Settings &s)
    {
        for (const auto &[key, v] : root.as_table()) {
            int64_t n;
            if (key == "scale" && v.is_table()) {
                if (!scale(v, s))
                    return false;
            } else if (key == "max_velocity" && v.is_table()) {
                if (!per_axis(v, key, kVelocityRange, s.max_velocity))
                    return false;
            } else if (key == "max_accel" && v.is_table()) {
                if (!per_axis(v, key, kAccelRange, s.max_accel))
                    return false;
            } else if (key == "path_tolerance") {
                if (!number(v, key, kToleranceRange, s.path_tolerance))
                    return false;
            } else if (key == "offsets" && v.is_table()) {
                if (!offsets(v, s))
                    return false;
            } else if (key == "tools" && v.is_table()) {
                if (!tools(v, s))
                    return false;
            } else if (key == "gcode" && v.is_table()) {
                if (!gcode(v, s))
                    return false;
            } else if (key == "outputs" && v.is_table()) {
                if (!outputs(v, s))
                    return false;
            } else if (key == "slice_us") {
                if (!whole(v, key, 1, 1000000, n))
                    return false;
                s.slice_us = static_cast<uint32_t>(n);
            } else if (key == "accel" || key == "start_speed" || key == "card_var") {
                int64_t hi = key == "accel" ? 250 : key == "start_speed" ? 500 : 254;
                if (!whole(v, key, 1, hi, n))
                    return false;
                (key == "accel" ? s.accel : key == "start_speed" ? s.start_speed : s.card_var) =
                    static_cast<uint32_t>(n);
            } else if (key == "rapid") {
                if (!number(v, key, kVelocityRange, s.rapid))
                    return false;
            } else if (key == "arc_tolerance") {
                if (!number(v, key, kToleranceRange, s.arc_tolerance))
                    return false;
            } else {
                return fail(v, "unknown key '" + key + "'");
            }
        }
        return true;
    }
};

} // namespace

bool read_machine_file(const std::string &path, Settings &settings, std::string &error)
{
    std::string text;
    if (!korva::toml_file::read(path, text, error))
        return false;
    toml::value root;
    try {
        std::istringstream in(text);
        root = toml::parse(in, path);
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
    Settings s = settings;
    Reader reader{path, error};
    if (!reader.top(root, s))
        return false;
    if (!check_settings(s, error)) {
        error = path + ": " + error;
        return false;
    }
    settings = s;
    return true;
}

} // namespace korva3_gcode
