// gcode_input.cpp - the program named on `korva3 gcode`'s command line (a file or "-").
#include "gcode/gcode_input.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "gcode/gcode_check.h"

namespace korva3_tool {

namespace {

std::string stdin_copy; // the temporary file standard input was copied into

void remove_stdin_copy()
{
    if (!stdin_copy.empty())
        std::remove(stdin_copy.c_str());
}

} // namespace

bool program_file(const std::string &path, std::string &file, std::string &name)
{
    if (path != "-") {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            std::cerr << "korva3: cannot read " << path << "\n";
            return false;
        }
        file = name = path;
        return true;
    }
    name = "stdin";
#ifdef _WIN32
    const char *tmp = std::getenv("TEMP");
    file = std::string(tmp ? tmp : ".") + "\\korva3-stdin.ngc";
#else
    char made[] = "/tmp/korva3-stdin-XXXXXX";
    const int fd = mkstemp(made);
    if (fd < 0) {
        std::cerr << "korva3: no temporary file for standard input\n";
        return false;
    }
    close(fd);
    file = made;
#endif
    std::ofstream out(file, std::ios::binary);
    if (std::cin.peek() != std::char_traits<char>::eof())
        out << std::cin.rdbuf();
    if (!out || std::cin.bad()) {
        std::cerr << "korva3: cannot read stdin\n";
        std::remove(file.c_str());
        return false;
    }
    stdin_copy = file;
    std::atexit(remove_stdin_copy);
    return true;
}

void report_refused(const korva3_control::ProgramCheck &check, bool json)
{
    if (json)
        report_refused_json(check.name, check.errors, std::cout);
    for (const std::string &e : check.errors)
        std::cerr << e << "\n";
    std::cerr << "korva3: nothing was run\n";
}

} // namespace korva3_tool
