// gcode_moves.cpp - the move listing of `korva3 gcode --check --moves`.
#include "gcode/gcode_moves.h"

#include <cstdio>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/stream.h"

namespace korva3_tool {

namespace kg = korva3_gcode;

namespace {

class ListingSink : public kg::MoveSink {
public:
    explicit ListingSink(std::ostream &out) : out_(out) {}

    bool move(const kg::Move &m) override
    {
        char buf[256];
        const auto &e = m.end;
        switch (m.op) {
        case kg::Op::Line:
            std::snprintf(buf, sizeof buf, "%d\t%s\t%.6f\t%.6f\t%.6f\t%.6f\n", m.line,
                          m.rapid ? "rapid" : "feed", e[0], e[1], e[2], m.feed_mm_min);
            break;
        case kg::Op::Arc:
        case kg::Op::Circle:
            std::snprintf(buf, sizeof buf,
                          "%d\tarc\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.9f\t%d\t%d\n",
                          m.line, e[0], e[1], e[2], m.feed_mm_min, m.centre[0], m.centre[1],
                          m.centre[2], m.turn, m.u, m.v);
            break;
        case kg::Op::Dwell:
            std::snprintf(buf, sizeof buf, "%d\tdwell\t%u\n", m.line, m.ms);
            break;
        default:
            return true;
        }
        out_ << buf;
        return true;
    }

private:
    std::ostream &out_;
};

} // namespace

bool list_moves(const std::string &path, const std::string &name, const kg::Settings &settings,
                kg::State start, kg::Parameters parameters, const kg::ReadOptions &options,
                std::ostream &out)
{
    kg::FileSource source(path);
    ListingSink sink(out);
    kg::ProgramSummary summary;
    std::vector<std::string> errors;
    return kg::read_stream(name, source, settings, start, parameters, sink, summary, errors,
                           options);
}

} // namespace korva3_tool
