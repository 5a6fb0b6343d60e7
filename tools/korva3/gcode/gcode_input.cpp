// gcode_input.cpp - the program named on `korva3 gcode`'s command line (a file or "-"),
// read within its bound and checked whole before anything runs.
#include "gcode/gcode_input.h"

#include <cstddef>
#include <fstream>
#include <iostream>
#include <vector>

#include "gcode/gcode_check.h"

namespace korva3_tool {

namespace {

// A program is read whole before anything runs, so its size is bounded: 64 MiB holds
// a CAM program of a million lines and more.
constexpr std::size_t kMaxProgramBytes = 64u << 20;

bool read_bounded(std::istream &in, const std::string &name, std::string &text)
{
    char chunk[65536];
    while (in) {
        in.read(chunk, sizeof chunk);
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (text.size() + got > kMaxProgramBytes) {
            std::cerr << "korva3: " << name << ": a program holds at most "
                      << (kMaxProgramBytes >> 20) << " MiB; this one is longer\n";
            return false;
        }
        text.append(chunk, got);
    }
    if (in.bad()) {
        std::cerr << "korva3: cannot read " << name << "\n";
        return false;
    }
    return true;
}

} // namespace

bool read_named_program(const std::string &path, const korva3_gcode::Settings &settings,
                        const korva3_gcode::ReadOptions &options, korva3_gcode::Program &program,
                        bool json, std::string &text)
{
    if (path == "-") {
        if (!read_bounded(std::cin, "stdin", text))
            return false;
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "korva3: cannot read " << path << "\n";
            return false;
        }
        if (!read_bounded(in, path, text))
            return false;
    }
    std::vector<std::string> errors;
    bool good =
        korva3_gcode::read_program(path == "-" ? "stdin" : path, text, settings, program, errors, options);
    if (json && !good)
        report_refused_json(path == "-" ? "stdin" : path, errors, std::cout);
    for (const std::string &e : errors)
        std::cerr << e << "\n";
    if (!good) {
        std::cerr << "korva3: nothing was run\n";
        return false;
    }
    return true;
}

} // namespace korva3_tool
