// tool_verbs.cpp - the job verbs that are not library calls: wait, poll, print, expect
// and the virtual machine's settings (limits, home, inputs, fault, timing).
#include <array>

#include "job/job_work.h"
#include "korva3.h"
#include "machine/card_at_work.h"
#include "machine/machine.h"

namespace korva3_tool {

bool JobWork::machine_setting(const Step &s)
{
    const std::vector<int64_t> &a = s.args;
    if (!machine::is_virtual())
        return warn(s.text.substr(0, s.text.find(' ')) +
                    ": there is no virtual machine on real cards: ignored");
    int index = static_cast<int>(a[0]);
    bool done = false;
    switch (s.verb) {
    case Verb::Limits:
        done = machine::set_limits(index, uint32_t(a[1]), int32_t(a[2]), int32_t(a[3]));
        break;
    case Verb::HomeSwitch:
        done = machine::set_home(index, uint32_t(a[1]), int32_t(a[2]));
        break;
    case Verb::Inputs: done = machine::set_inputs(index, uint32_t(a[1])); break;
    case Verb::Fault:
        done = machine::set_fault(index, uint32_t(a[1]), a.size() > 2 ? uint32_t(a[2]) : 0);
        break;
    case Verb::Timing:
        done = machine::set_timing(index, a[1], a[2], a.size() > 3 ? a[3] : -1);
        watch().refresh_period(index);
        break;
    default: break;
    }
    if (!done)
        return fail("there is no virtual card #" + std::to_string(index) +
                    " (the machine has " + std::to_string(machine::card_count()) + ")");
    note_.result = "ok";
    return true;
}

bool JobWork::wait(uint32_t card)
{
    if (stepwise_.count(card) &&
        !warn("wait does not pump the stepwise request of line " +
              std::to_string(stepwise_[card]) + ": use poll"))
        return false;
    while (card_at_work(card)) {
        if (over_limit())
            return fail("wait: card " + std::to_string(card) + " still at work after " +
                        std::to_string(elapsed()) + " ms (time limit)");
        machine::sleep_ms(1);
    }
    KORVA3_WAIT_X(card);
    KORVA3_WAIT_Y(card);
    KORVA3_WAIT_Z(card);
    return true;
}

bool JobWork::poll(uint32_t card, uint32_t period, int64_t max_polls)
{
    int64_t polls = 0, batches = 0;
    bool idle = false;
    for (;;) {
        uint64_t before = watch().step_slices();
        uint32_t status = KORVA3_GET_CARD(card);
        polls++;
        if (watch().step_slices() > before)
            batches++;
        if (status == 0) {
            note_.note = std::to_string(polls) + " polls";
            return fail("poll: card " + std::to_string(card) +
                        " does not answer (KORVA3_GET_CARD -> 0)");
        }
        if (!korva3_planner::at_work(status)) {
            idle = true;
            break;
        }
        if (polls == max_polls)
            break;
        if (over_limit()) {
            note_.note = std::to_string(polls) + " polls";
            return fail("poll: card " + std::to_string(card) + " still at work after " +
                        std::to_string(elapsed()) + " ms (time limit)");
        }
        machine::sleep_ms(period);
    }
    if (idle)
        stepwise_.erase(card);
    note_.note = std::to_string(polls) + (polls == 1 ? " poll" : " polls") + ", " +
                   std::to_string(batches) + (batches == 1 ? " batch" : " batches") +
                   (idle ? ", idle" : "");
    return true;
}

bool JobWork::print(uint32_t card)
{
    std::array<int32_t, 3> p;
    if (!machine::position(card, p))
        return fail("print: card number " + std::to_string(card) + " reaches no card");
    note_.result = "-> " + xyz_text(p);
    return true;
}

bool JobWork::expect(const Step &s)
{
    uint32_t card = static_cast<uint32_t>(s.args[0]);
    std::array<int32_t, 3> want = {static_cast<int32_t>(s.args[1]),
                                   static_cast<int32_t>(s.args[2]),
                                   static_cast<int32_t>(s.args[3])};
    std::array<int32_t, 3> p;
    if (!machine::position(card, p))
        return fail("expect: card number " + std::to_string(card) + " reaches no card");
    if (p != want)
        return fail("expect: card " + std::to_string(card) + " is at " + xyz_text(p) +
                    ", not " + xyz_text(want));
    note_.result = "ok";
    return true;
}

} // namespace korva3_tool
