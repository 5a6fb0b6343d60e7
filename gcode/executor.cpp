// executor.cpp - sending a program's moves to the card.
#include "gcode/executor.h"

#include "gcode/profile.h"
#include "korva3.h"

namespace korva3_gcode {

namespace {

class Executor {
public:
    Executor(const Settings &settings, uint32_t card, const Hooks &hooks)
        : set_(settings), card_(card), hooks_(hooks)
    {
    }

    RunEnd run(const Program &program, int &line)
    {
        uint32_t rapid = static_cast<uint32_t>(set_.rapid / 60000.0 * set_.slice_us / 1000.0 *
                                               set_.scale[0] + 0.5);
        rapid = rapid < set_.start_speed ? set_.start_speed : rapid > kMostSpeed ? kMostSpeed : rapid;
        KORVA3_SET_VAR(card_, set_.card_var, set_.accel, set_.start_speed, rapid, 0);
        for (const Move &m : program.moves) {
            line = m.line;
            RunEnd end = step(m);
            if (end != RunEnd::Done)
                return end;
        }
        return RunEnd::Done;
    }

private:
    uint32_t overridden(uint32_t speed) const
    {
        uint64_t s = (static_cast<uint64_t>(speed) * override_ + 50) / 100;
        return s < 1 ? 1 : s > kMostSpeed ? kMostSpeed : static_cast<uint32_t>(s);
    }

    // The saved stepwise request, batch by batch, until the library has sent all of it.
    RunEnd pump(const Move &m, uint32_t saved)
    {
        if (!saved)
            return RunEnd::Refused; // the program holds no empty move
        while (KORVA3_INTP_STOP()) {
            Progress p{&m, KORVA3_GET_CARD(card_)};
            if (!hooks_.poll)
                continue;
            Control c = hooks_.poll(p);
            if (c.stop) {
                KORVA3_EMG_STOP(card_);
                return RunEnd::Stopped;
            }
            if (c.override != override_) {
                override_ = c.override < 1 ? 1 : c.override > 1000 ? 1000 : c.override;
                KORVA3_INTP_ONLINE_SETSPEED(overridden(m.speed));
            }
        }
        return RunEnd::Done;
    }

    void idle()
    {
        KORVA3_WAIT_X(card_);
        KORVA3_WAIT_Y(card_);
        KORVA3_WAIT_Z(card_);
    }

    RunEnd step(const Move &m)
    {
        uint32_t speed = overridden(m.speed);
        switch (m.op) {
        case Op::Line:
            return pump(m, m.plane == 0
                               ? KORVA3_INTP_XYZ02(card_, m.u, m.v, m.w, speed, 0)
                               : KORVA3_INTP_LINE02(card_, m.plane, m.u, m.v, speed, 0));
        case Op::Arc:
            return pump(m, KORVA3_INTP_ARC02(card_, m.plane, m.u, m.v, m.radius, m.direction,
                                             speed, 0));
        case Op::Circle:
            return pump(m, KORVA3_INTP_CIRCLE02(card_, m.plane, m.u, m.v, m.direction, speed, 0));
        case Op::Dwell:
            idle();
            if (hooks_.sleep)
                hooks_.sleep(m.ms);
            return RunEnd::Done;
        case Op::Outputs:
        case Op::End:
            idle();
            if (m.op == Op::Outputs || m.outputs != outputs_)
                KORVA3_DO(card_, m.outputs);
            outputs_ = m.outputs;
            return RunEnd::Done;
        case Op::Pause:
            idle();
            return !hooks_.pause || hooks_.pause(m.line) ? RunEnd::Done : RunEnd::Paused;
        }
        return RunEnd::Done;
    }

    const Settings &set_;
    uint32_t card_;
    const Hooks &hooks_;
    uint32_t override_ = 100;
    uint32_t outputs_ = 0;
};

} // namespace

RunEnd run_program(const Program &program, const Settings &settings, uint32_t card,
                   const Hooks &hooks, int &line)
{
    return Executor(settings, card, hooks).run(program, line);
}

} // namespace korva3_gcode
