// stream.cpp - a reading set up on the session's state: the reader, its values and the
// follower of its O-words, with running out of memory caught where the reading starts.
#include "gcode/stream.h"

#include <new>

#include "gcode/control_flow.h"
#include "gcode/expression.h"
#include "gcode/predefined.h"
#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

bool read_lines(const std::string &name, LineSource &source, const Settings &settings,
                State &state, Parameters &parameters, MoveSink &sink, ProgramSummary &summary,
                std::vector<std::string> &errors, const ReadOptions &options, bool program)
{
    summary = ProgramSummary{};
    summary.name = name;
    const size_t before = errors.size();
    int line = 0; // the line being read
    try {
        parameters.begin();
        parameters.predefine([&state, &settings](const ParamRef &ref, double &v) {
            return predefined_value(state, settings, ref, v);
        });
        Reader reader(name, settings, options, state, sink, summary, errors);
        Expressions values(parameters, options.max_expression_steps);
        reader.read_values_with(&values);
        std::vector<std::string> folders = settings.subroutine_path; // then the program's
        if (!source.folder().empty())
            folders.push_back(source.folder());
        summary.lines =
            follow_program(source, reader, values, options, sink, summary, line, folders);
        if (program)
            reader.finish();
        reader.summary();
    } catch (const std::bad_alloc &) {
        const std::string at = std::to_string(line);
        errors.push_back(name + ":" + at + ": out of memory reading line " + at);
    }
    parameters.predefine(nullptr); // the state is the caller's
    parameters.begin(); // a call the end left open is closed
    return errors.size() == before;
}

} // namespace

bool read_stream(const std::string &name, LineSource &source, const Settings &settings,
                 State &state, Parameters &parameters, MoveSink &sink, ProgramSummary &summary,
                 std::vector<std::string> &errors, const ReadOptions &options)
{
    return read_lines(name, source, settings, state, parameters, sink, summary, errors, options,
                      true);
}

bool read_line(const std::string &text, const Settings &settings, State &state,
               Parameters &parameters, MoveSink &sink, std::vector<std::string> &errors,
               const ReadOptions &options)
{
    StringSource source(text);
    ProgramSummary summary;
    return read_lines("MDI", source, settings, state, parameters, sink, summary, errors, options,
                      false);
}

} // namespace korva3_gcode
