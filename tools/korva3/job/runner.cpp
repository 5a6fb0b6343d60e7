// runner.cpp - runs a job's steps one after the other: library calls through the function
// table (the tool's own verbs: tool_verbs.cpp); warns of calls that reach no card or are
// refused; reports each step and how the cards came to rest.
#include "job/runner.h"

#include <cstdio>

#include "job/check.h"
#include "job/job_work.h"
#include "korva3.h"
#include "machine/machine.h"
#include "run/interrupt.h"
#include "run/watchdog.h"

namespace korva3_tool {

namespace {

// The value of the parameter called `name`, or -1 when the function has none.
int64_t arg_named(const Step &s, const char *name)
{
    std::vector<Param> params = params_of(*s.function);
    for (size_t i = 0; i < params.size(); i++)
        if (params[i].name == name)
            return s.args[i];
    return -1;
}

// Library calls that start motion of their own: moves, homing, constant speed.
bool starts_axis_motion(const std::string &name)
{
    return name == "PULSE_MOVE" || name == "BACK_HOME" || name == "BACK_HOME01" ||
           name == "CONSTANT_SPEED";
}

} // namespace

int JobWork::run(Session &session)
{
    session_ = &session;
    watch().on_progress(&JobWork::progress_of, this);
    if (loud())
        out_ << "korva3: " << job_.name << " on the " << machine::kind() << "\n"
             << " line    t/ms  step\n";
    if (options_.panel)
        panel_.describe();
    for (const Step &s : job_.steps) {
        if (interrupt::exiting()) // Ctrl-C: no step after the handler's stop
            return EXIT_INTERRUPTED;
        if (interrupt::stopped_by_panel()) // kept after it: no step after the stop
            return panel_stopped(s.line);
        if (options_.panel)
            panel_.step(static_cast<size_t>(&s - job_.steps.data()));
        line_ = s.line;
        watch().set_line(s.line);
        watch().new_step();
        status_.begin_step();
        bool ok = step(s);
        if (ok && s.verb == Verb::Call && session.over_limit())
            ok = fail(std::string(s.function->name) +
                      (session.watchdog_fired() ? " still running at the time limit"
                                                : " ended past the time limit") +
                      " (" + std::to_string(options_.limit_ms) + " ms)" +
                      (session.watchdog_fired() ? ": emergency stop" : ""));
        session.note_card_numbers();
        status_.clear();
        sent_before_ += watch().step_pulses();
        print_step(s);
        if (interrupt::stopped_by_panel()) // the step ran into it: what failed is the stop
            return panel_stopped(s.line);
        if (!ok) {
            err_ << job_.name << ":" << s.line << ": " << failure_ << "\n";
            return EXIT_JOB_FAILED;
        }
    }
    line_ = 0;
    watch().set_line(0);
    watch().new_step();
    return EXIT_OK;
}

int JobWork::finish(Session &session, const Settled &settled, int code)
{
    report_settled(settled);
    if (code == EXIT_OK && interrupt::stopped_by_panel()) // while the cards came to rest
        code = panel_stopped(0);
    if (code == EXIT_OK && !unfinished_requests())
        code = EXIT_JOB_FAILED;
    print_positions(out_, session.cards());
    if (options_.panel)
        panel_.ended(code == EXIT_OK          ? "job complete, exit code 0"
                     : code == EXIT_EMERGENCY ? "stopped by the emergency stop, exit code 3"
                                              : "failed, exit code " + std::to_string(code),
                     code == EXIT_OK);
    return code;
}

int JobWork::panel_stopped(int line)
{
    interrupt::sends_no_more();
    err_ << job_.name << (line > 0 ? ":" + std::to_string(line) : std::string())
         << ": stopped by the emergency stop (panel)\n";
    return EXIT_EMERGENCY;
}

bool JobWork::warn(const std::string &text)
{
    if (options_.warned_lines.count(line_))
        return true;
    if (options_.strict)
        return fail(text + " (a warning; --strict makes it a failure)");
    err_ << job_.name << ":" << line_ << ": warning: " << text << "\n";
    return true;
}

void JobWork::progress()
{
    char text[160];
    double sent = sent_before_ + watch().step_pulses();
    double t_s = double(watch().last_t_us()) / 1e6;
    if (path_length_ > 0)
        std::snprintf(text, sizeof text,
                      "korva3: line %d  %3.0f%% of the path sent  t = %.1f s", line_,
                      std::min(99.0, 100.0 * sent / path_length_), t_s);
    else
        std::snprintf(text, sizeof text, "korva3: line %d  %llu slices sent  t = %.1f s",
                      line_, static_cast<unsigned long long>(watch().step_slices()), t_s);
    status_.show(text);
}

bool JobWork::step(const Step &s)
{
    switch (s.verb) {
    case Verb::Call: return call(s);
    case Verb::Wait: return wait(static_cast<uint32_t>(s.args[0]));
    case Verb::Poll:
        return poll(static_cast<uint32_t>(s.args[0]), static_cast<uint32_t>(s.args[1]),
                    s.args.size() > 2 ? s.args[2] : -1);
    case Verb::Sleep: machine::sleep_ms(static_cast<uint32_t>(s.args[0])); return true;
    case Verb::Print: return print(static_cast<uint32_t>(s.args[0]));
    case Verb::Expect: return expect(s);
    case Verb::Limits:
    case Verb::HomeSwitch:
    case Verb::Inputs:
    case Verb::Fault:
    case Verb::Timing: return machine_setting(s);
    }
    return true;
}

bool JobWork::call(const Step &s)
{
    const Function &f = *s.function;
    const std::string name = f.name;
    const int64_t card_arg = arg_named(s, "card");
    const uint32_t card = static_cast<uint32_t>(card_arg) & 0xFF;
    const bool reaches = card_arg < 0 || registered(card);
    bool ok = true;
    // Once per card number: a job without its REGISTRATION would warn on every line.
    if (name != "REGISTRATION" && !reaches && unreached_.insert(card).second)
        ok = warn(name + ": card " + std::to_string(card_arg) +
                  " is not registered: the call reaches no card (warned once a card)");
    if (!ok)
        return false;

    const bool path = is_path_call(f);
    if (path || starts_axis_motion(name)) {
        watch().set_defining_line(session_->index_of(card), s.line);
        path_length_ = path_length(s);
        sent_before_ = 0;
    }
    if (name == "REGISTRATION")
        machine::begin_messages();
    int64_t r = f.call(s.args.data());
    note_.result = result_text(f, r);

    if (name == "REGISTRATION") {
        std::string said = machine::end_messages();
        if (r == 1) {
            session_->track(card);
            return true;
        }
        while (!said.empty() && said.back() == '\n')
            said.pop_back();
        for (char &c : said)
            if (c == '\n')
                c = ';';
        return warn("REGISTRATION returned " + std::to_string(r) + ": card " +
                    std::to_string(card_arg) + " is not registered" +
                    (said.empty() ? "" : " (the library says: " + said + ")"));
    }
    if (name == "INTP_STOP")
        stepwise_.clear();
    if ((name == "EMG_STOP" || name == "STOP_ALL") && reaches)
        stepwise_.erase(card);
    if (!path || !reaches || arg_named(s, "speed") == 0)
        return true;
    if (is_stepwise(f)) {
        if (r == 0)
            return warn(name + " returned 0: the library refused the request");
        stepwise_[card] = s.line;
        return true;
    }
    if (watch().step_slices() == 0 && machine::is_virtual())
        return warn(name + " sent nothing: the library refused the path");
    return true;
}

bool JobWork::unfinished_requests()
{
    bool ok = true;
    for (const auto &[card, line] : stepwise_) {
        line_ = line;
        if (!warn("the stepwise request for card " + std::to_string(card) +
                  " was left unfinished: no poll ran it to its end")) {
            err_ << job_.name << ":" << line << ": " << failure_ << "\n";
            ok = false;
        }
    }
    line_ = 0;
    return ok;
}

void JobWork::report_settled(const Settled &settled)
{
    if (!settled.at_rest) {
        err_ << job_.name << ": card " << settled.busy_card << " still at work "
             << settled.waited_ms
             << " ms after the job's end; positions are where it was then\n";
    } else if (loud() && settled.waited_ms > 1) {
        char head[32];
        std::snprintf(head, sizeof head, "  end %7u  ", elapsed());
        out_ << head << "cards at rest " << settled.waited_ms << " ms after the last step\n";
    }
}

void JobWork::print_step(const Step &s)
{
    StepNote note = note_;
    note_ = StepNote{};
    if (loud())
        print_step_line(out_, s, note, elapsed(), watch(),
                        session_->recording().cards.size() > 1,
                        options_.output == Output::Trace);
}

SessionOptions session_options(const RunOptions &options)
{
    SessionOptions o;
    o.limit_ms = options.limit_ms;
    o.settle_ms = options.settle_ms;
    o.keep_frames = options.output == Output::Trace;
    o.csv = options.csv;
    return o;
}

std::unique_ptr<Work> job_work(const Job &job, const RunOptions &options, std::ostream &out,
                               std::ostream &err)
{
    return std::make_unique<JobWork>(job, options, out, err);
}

int run_job(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
            Recording &recording)
{
    Session session(job.name, session_options(options), recording);
    return run_work(session, *job_work(job, options, out, err));
}

} // namespace korva3_tool
