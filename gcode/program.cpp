// program.cpp - a whole program read into a list of moves: the stream of its lines
// (stream.h) collected, from a fresh session.
#include "gcode/program.h"

#include <algorithm>

#include "gcode/stream.h"

namespace korva3_gcode {

namespace {

class Collect : public MoveSink {
public:
    explicit Collect(Program &program) : p_(program) {}
    bool move(const Move &m) override
    {
        p_.moves.push_back(m);
        return true;
    }
    void message(int line, const std::string &text) override
    {
        p_.messages.push_back({line, text});
    }

private:
    Program &p_;
};

} // namespace

bool read_program(const std::string &name, LineSource &source, const Settings &settings,
                  Program &program, std::vector<std::string> &errors, const ReadOptions &options)
{
    program = Program{};
    State state = initial_state(settings);
    Parameters parameters;
    Collect sink(program);
    ProgramSummary summary;
    ReadOptions kept = options;
    kept.max_moves = std::min(options.max_moves, kMaxKeptMoves);
    const bool good = read_stream(name, source, settings, state, parameters, sink, summary,
                                  errors, kept);
    static_cast<ProgramSummary &>(program) = summary;
    if (!good)
        program.moves.clear();
    return good;
}

bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors, const ReadOptions &options)
{
    StringSource source(text);
    return read_program(name, source, settings, program, errors, options);
}

} // namespace korva3_gcode
