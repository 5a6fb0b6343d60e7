// runner.cpp - runs a job's steps: library calls through the function table, the tool's
// verbs (wait, poll, sleep, print, expect) and the virtual machine's settings; warns of
// calls that reach no card or are refused.
#include "job/runner.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "job/check.h"
#include "job/job_panel.h"
#include "job/step_report.h"
#include "korva3.h"
#include "machine/card_at_work.h"
#include "machine/machine.h"
#include "record/run_watch.h"
#include "run/driver.h"
#include "run/interrupt.h"
#include "run/status_line.h"
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

class JobWork : public Work {
public:
    JobWork(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err)
        : job_(job), options_(options), out_(out), err_(err), status_(options.status_line),
          panel_(job)
    {
    }

    int run(Session &session) override
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

    int finish(Session &session, const Settled &settled, int code) override
    {
        report_settled(settled);
        if (code == EXIT_OK && !unfinished_requests())
            code = EXIT_JOB_FAILED;
        print_positions(out_, session.cards());
        if (options_.panel)
            panel_.ended(code == EXIT_OK ? "job complete, exit code 0"
                                         : "failed, exit code " + std::to_string(code));
        return code;
    }

private:
    bool loud() const { return options_.output != Output::Quiet; }

    RunWatch &watch() { return session_->watch(); }

    uint32_t elapsed() const { return session_->elapsed_ms(); }

    bool over_limit() const { return session_->over_limit(); }

    bool registered(uint32_t card) const { return session_->cards().count(card) != 0; }

    bool fail(const std::string &why)
    {
        failure_ = why;
        return false;
    }

    // A warning about the current line. Under --strict it fails the step (returns false).
    bool warn(const std::string &text)
    {
        if (options_.warned_lines.count(line_))
            return true;
        if (options_.strict)
            return fail(text + " (a warning; --strict makes it a failure)");
        err_ << job_.name << ":" << line_ << ": warning: " << text << "\n";
        return true;
    }

    static void progress_of(void *self) { static_cast<JobWork *>(self)->progress(); }

    // The status line: job line, share of the path sent, virtual time.
    void progress()
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

    bool step(const Step &s)
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

    bool machine_setting(const Step &s)
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

    bool call(const Step &s)
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

    // Until every axis of the card is idle. The status is watched first, so that an axis
    // that never stops fails the job at the time limit; then KORVA3_WAIT_X, _Y, _Z.
    bool wait(uint32_t card)
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

    // KORVA3_GET_CARD every `period` ms until the card is idle (or `max_polls` polls): each poll
    // sends the next batch of a saved stepwise path.
    bool poll(uint32_t card, uint32_t period, int64_t max_polls)
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

    bool print(uint32_t card)
    {
        std::array<int32_t, 3> p;
        if (!machine::position(card, p))
            return fail("print: card number " + std::to_string(card) + " reaches no card");
        note_.result = "-> " + xyz_text(p);
        return true;
    }

    bool expect(const Step &s)
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

    // Stepwise requests no poll ran to their end: a warning each. False under --strict.
    bool unfinished_requests()
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

    // How the cards came to rest after the last step, so the final positions and the
    // plot show the whole path, including the slices still queued in the controller.
    void report_settled(const Settled &settled)
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

    void print_step(const Step &s)
    {
        StepNote note = note_;
        note_ = StepNote{};
        if (loud())
            print_step_line(out_, s, note, elapsed(), watch(),
                            session_->recording().cards.size() > 1,
                            options_.output == Output::Trace);
    }

    const Job &job_;
    const RunOptions &options_;
    std::ostream &out_;
    std::ostream &err_;
    Session *session_ = nullptr;
    StatusLine status_;
    JobPanel panel_;
    int line_ = 0;
    StepNote note_; // what the current step did
    std::string failure_;
    std::set<uint32_t> unreached_; // card numbers warned about as not registered
    std::map<uint32_t, int> stepwise_; // card -> line of its stepwise request still open
    double path_length_ = 0;           // pulses, of the last path call
    double sent_before_ = 0;           // pulses of it sent in earlier steps
};

} // namespace

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
