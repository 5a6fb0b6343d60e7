// program.cpp - a whole program read: its lines followed (O-word subroutines and loops
// included) through the reader, then checked at its end.
#include "gcode/program.h"

#include "gcode/control_flow.h"
#include "gcode/expression.h"
#include "gcode/parameters.h"
#include "gcode/reader.h"

namespace korva3_gcode {

bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors, const ReadOptions &options)
{
    program = Program{};
    program.name = name;
    size_t before = errors.size();
    Reader reader(name, settings, options, program, errors);
    Parameters parameters;
    Expressions values(parameters);
    reader.read_values_with(&values);
    program.lines = follow_program(text, reader, values, options);
    reader.finish();
    reader.summary();
    if (errors.size() != before) {
        program.moves.clear();
        return false;
    }
    return true;
}

} // namespace korva3_gcode
