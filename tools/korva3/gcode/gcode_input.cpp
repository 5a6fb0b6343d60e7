// gcode_input.cpp - the program named on `korva3 gcode`'s command line (a file or "-"),
// read within its bound through a file source and checked whole before anything runs.
// Standard input is copied to a temporary file first, so the same source reads it
// (O-word loops and calls go back to places in the file).
#include "gcode/gcode_input.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <vector>

#include "gcode/gcode_check.h"
#include "gcode/line_source.h"

namespace korva3_tool {

namespace {

namespace fs = std::filesystem;

// The tool holds a program's moves whole before anything runs, so its size is
// bounded: 64 MiB holds a CAM program of a million lines and more.
constexpr std::uintmax_t kMaxProgramBytes = 64u << 20;

bool too_long(const std::string &name)
{
    std::cerr << "korva3: " << name << ": a program holds at most " << (kMaxProgramBytes >> 20)
              << " MiB; this one is longer\n";
    return false;
}

// Standard input in a file of its own in the temporary folder, removed when done.
class StdinFile {
public:
    ~StdinFile()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove(path_, ignored);
    }

    // False with the reason printed.
    bool copy(std::istream &in)
    {
        std::error_code error;
        const fs::path folder = fs::temp_directory_path(error);
        std::random_device random;
        for (int tries = 0; tries < 100 && path_.empty() && !error; tries++) {
            const fs::path p = folder / ("korva3-stdin-" + std::to_string(random()) + ".ngc");
            if (!fs::exists(p, error))
                path_ = p.string();
        }
        std::ofstream out(path_, std::ios::binary);
        if (path_.empty() || !out) {
            std::cerr << "korva3: cannot write standard input to a temporary file\n";
            return false;
        }
        std::vector<char> chunk(65536);
        std::uintmax_t size = 0;
        while (in) {
            in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            const auto got = static_cast<std::size_t>(in.gcount());
            if ((size += got) > kMaxProgramBytes)
                return too_long("stdin");
            out.write(chunk.data(), static_cast<std::streamsize>(got));
        }
        if (in.bad() || !out.flush()) {
            std::cerr << "korva3: cannot read stdin\n";
            return false;
        }
        return true;
    }

    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// The text of `source` from its start, line by line.
void list(korva3_gcode::LineSource &source, std::string &text)
{
    std::string line;
    if (!source.seek(0))
        return;
    for (korva3_gcode::Got got; (got = source.next(line)) != korva3_gcode::Got::End &&
                                got != korva3_gcode::Got::Failed;)
        text += line + "\n";
}

} // namespace

bool read_named_program(const std::string &path, const korva3_gcode::Settings &settings,
                        const korva3_gcode::ReadOptions &options, korva3_gcode::Program &program,
                        bool json, std::string *listing)
{
    StdinFile stdin_file;
    const std::string name = path == "-" ? "stdin" : path;
    if (path == "-" && !stdin_file.copy(std::cin))
        return false;
    const std::string file = path == "-" ? stdin_file.path() : path;
    korva3_gcode::FileSource source(file);
    std::error_code error;
    if (!source.good() || fs::is_directory(file, error)) {
        std::cerr << "korva3: cannot read " << name << "\n";
        return false;
    }
    if (fs::file_size(file, error) > kMaxProgramBytes && !error)
        return too_long(name);
    std::vector<std::string> errors;
    bool good = korva3_gcode::read_program(name, source, settings, program, errors, options);
    if (json && !good)
        report_refused_json(name, errors, std::cout);
    for (const std::string &e : errors)
        std::cerr << e << "\n";
    if (!good) {
        std::cerr << "korva3: nothing was run\n";
        return false;
    }
    if (listing)
        list(source, *listing);
    return true;
}

} // namespace korva3_tool
