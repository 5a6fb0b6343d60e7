// runner.cpp - runs a job's steps: library calls through the function table, the tool's
// verbs (wait, poll, sleep, print, expect) and the virtual machine's settings; warns of
// calls that reach no card or are refused.
#include "runner.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "interrupt.h"
#include "job_check.h"
#include "korva3.h"
#include "machine.h"
#include "run_watch.h"
#include "status_line.h"
#include "watchdog.h"

namespace korva3_tool {

namespace {

// Status register bits that say a card is still at work: busy, X, Y or Z moving.
constexpr uint32_t kWorking = 0x01 | 0x10 | 0x20 | 0x40;

std::string xyz_text(const std::array<int32_t, 3> &p)
{
    return "X " + std::to_string(p[0]) + "  Y " + std::to_string(p[1]) + "  Z " +
           std::to_string(p[2]);
}

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

class Run {
public:
    Run(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
        Recording &recording)
        : job_(job), options_(options), out_(out), err_(err), rec_(recording),
          watch_(recording, options.output == Output::Trace, options.csv),
          status_(options.status_line)
    {
    }

    int go()
    {
        rec_.job = job_.name;
        rec_.machine = machine::kind();
        rec_.start_ms = machine::clock_ms();
        std::vector<std::array<int32_t, 3>> start = machine::card_positions();
        for (size_t i = 0; i < start.size(); i++) {
            CardTrace &t = trace(static_cast<int>(i));
            t.path.push_back({rec_.start_ms, start[i][0], start[i][1], start[i][2]});
        }
        for (int i = 0; i < machine::card_count(); i++)
            watch_.refresh_period(i);
        watch_.on_progress(&Run::progress_of, this);
        machine::watch(&watch_);
        if (loud())
            out_ << "korva3: " << job_.name << " on the " << machine::kind() << "\n"
                 << " line    t/ms  step\n";

        int code = EXIT_OK;
        Watchdog watchdog(job_.name, rec_.start_ms, options_.limit_ms);
        for (const Step &s : job_.steps) {
            line_ = s.line;
            watch_.set_line(s.line);
            watch_.new_step();
            status_.begin_step();
            bool ok = step(s);
            if (ok && s.verb == Verb::Call && over_limit())
                ok = fail(std::string(s.function->name) +
                          (watchdog.fired() ? " still running at the time limit"
                                            : " ended past the time limit") +
                          " (" + std::to_string(options_.limit_ms) + " ms)" +
                          (watchdog.fired() ? ": emergency stop" : ""));
            note_card_numbers();
            status_.clear();
            sent_before_ += watch_.step_pulses();
            print_step(s);
            if (!ok) {
                err_ << job_.name << ":" << s.line << ": " << failure_ << "\n";
                code = EXIT_JOB_FAILED;
                break;
            }
        }
        line_ = 0;
        watch_.set_line(0);
        watch_.new_step();
        settle();
        if (code == EXIT_OK && !unfinished_requests())
            code = EXIT_JOB_FAILED;
        rec_.end_ms = machine::clock_ms();
        machine::watch(nullptr);
        note_card_numbers();
        watch_.finish(rec_.end_ms);
        print_positions();
        return code;
    }

private:
    bool loud() const { return options_.output != Output::Quiet; }

    uint32_t elapsed() const { return machine::clock_ms() - rec_.start_ms; }

    bool over_limit() const { return elapsed() > options_.limit_ms; }

    CardTrace &trace(int index)
    {
        while (rec_.cards.size() <= static_cast<size_t>(index)) {
            rec_.cards.emplace_back();
            rec_.cards.back().index = static_cast<int>(rec_.cards.size() - 1);
        }
        return rec_.cards[index];
    }

    void note_card_numbers()
    {
        for (int i = 0; i < machine::card_count(); i++)
            trace(i).card = machine::card_number(i);
    }

    // The virtual card bound to library card number `card`, or -1.
    int index_of(uint32_t card) const
    {
        for (const CardTrace &t : rec_.cards)
            if (t.card >= 0 && static_cast<uint32_t>(t.card) == card)
                return t.index;
        return -1;
    }

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

    static void progress_of(void *self) { static_cast<Run *>(self)->progress(); }

    // The status line: job line, share of the path sent, virtual time.
    void progress()
    {
        char text[160];
        double sent = sent_before_ + watch_.step_pulses();
        double t_s = double(watch_.last_t_us()) / 1e6;
        if (path_length_ > 0)
            std::snprintf(text, sizeof text,
                          "korva3: line %d  %3.0f%% of the path sent  t = %.1f s", line_,
                          std::min(99.0, 100.0 * sent / path_length_), t_s);
        else
            std::snprintf(text, sizeof text, "korva3: line %d  %llu slices sent  t = %.1f s",
                          line_, static_cast<unsigned long long>(watch_.step_slices()), t_s);
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
            watch_.refresh_period(index);
            break;
        default: break;
        }
        if (!done)
            return fail("there is no virtual card #" + std::to_string(index) +
                        " (the machine has " + std::to_string(machine::card_count()) + ")");
        report_.result = "ok";
        return true;
    }

    bool call(const Step &s)
    {
        const Function &f = *s.function;
        const std::string name = f.name;
        const int64_t card_arg = arg_named(s, "card");
        const uint32_t card = static_cast<uint32_t>(card_arg) & 0xFF;
        const bool reaches = card_arg < 0 || registered_.count(card) != 0;
        bool ok = true;
        // Once per card number: a job without its REGISTRATION would warn on every line.
        if (name != "REGISTRATION" && !reaches && unreached_.insert(card).second)
            ok = warn(name + ": card " + std::to_string(card_arg) +
                      " is not registered: the call reaches no card (warned once a card)");
        if (!ok)
            return false;

        const bool path = is_path_call(f);
        if (path || starts_axis_motion(name)) {
            watch_.set_defining_line(index_of(card), s.line);
            path_length_ = path_length(s);
            sent_before_ = 0;
        }
        if (name == "REGISTRATION")
            machine::begin_messages();
        int64_t r = f.call(s.args.data());
        show_result(f, r);

        if (name == "REGISTRATION") {
            std::string said = machine::end_messages();
            if (r == 1) {
                registered_.insert(card);
                interrupt::track_card(card);
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
        if (watch_.step_slices() == 0 && machine::is_virtual())
            return warn(name + " sent nothing: the library refused the path");
        return true;
    }

    void show_result(const Function &f, int64_t r)
    {
        char buf[64];
        switch (f.result) {
        case Result::None: break;
        case Result::Unsigned:
        case Result::Signed: report_.result = "-> " + std::to_string(r); break;
        case Result::Bits:
            std::snprintf(buf, sizeof buf, "-> 0x%02llX (%lld)", static_cast<unsigned long long>(r),
                          static_cast<long long>(r));
            report_.result = buf;
            break;
        }
    }

    // Until every axis of the card is idle. The status is watched first, so that an axis
    // that never stops fails the job at the time limit; then KORVA3_WAIT_X, _Y, _Z.
    bool wait(uint32_t card)
    {
        if (stepwise_.count(card) &&
            !warn("wait does not pump the stepwise request of line " +
                  std::to_string(stepwise_[card]) + ": use poll"))
            return false;
        while (KORVA3_MSC(card) & kWorking) {
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

    // KORVA3_GET_CARD every `period` ms until the card is idle (or `most` polls): each poll
    // sends the next batch of a saved stepwise path.
    bool poll(uint32_t card, uint32_t period, int64_t most)
    {
        int64_t polls = 0, batches = 0;
        bool idle = false;
        for (;;) {
            uint64_t before = watch_.step_slices();
            uint32_t status = KORVA3_GET_CARD(card);
            polls++;
            if (watch_.step_slices() > before)
                batches++;
            if (status == 0) {
                report_.note = std::to_string(polls) + " polls";
                return fail("poll: card " + std::to_string(card) +
                            " does not answer (KORVA3_GET_CARD -> 0)");
            }
            if (!(status & kWorking)) {
                idle = true;
                break;
            }
            if (polls == most)
                break;
            if (over_limit()) {
                report_.note = std::to_string(polls) + " polls";
                return fail("poll: card " + std::to_string(card) + " still at work after " +
                            std::to_string(elapsed()) + " ms (time limit)");
            }
            machine::sleep_ms(period);
        }
        if (idle)
            stepwise_.erase(card);
        report_.note = std::to_string(polls) + (polls == 1 ? " poll" : " polls") + ", " +
                       std::to_string(batches) + (batches == 1 ? " batch" : " batches") +
                       (idle ? ", idle" : "");
        return true;
    }

    bool print(uint32_t card)
    {
        std::array<int32_t, 3> p;
        if (!machine::position(card, p))
            return fail("print: card number " + std::to_string(card) + " reaches no card");
        report_.result = "-> " + xyz_text(p);
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
        report_.result = "ok";
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

    // Lets the registered cards come to rest, so the final positions and the plot show
    // the whole path, including the slices still queued in the controller.
    void settle()
    {
        uint32_t begin = machine::clock_ms();
        for (uint32_t card : registered_) {
            while (KORVA3_MSC(card) & kWorking) {
                if (machine::clock_ms() - begin > options_.settle_ms || over_limit()) {
                    err_ << job_.name << ": card " << card << " still at work "
                         << (machine::clock_ms() - begin)
                         << " ms after the job's end; positions are where it was then\n";
                    return;
                }
                machine::sleep_ms(1);
            }
        }
        uint32_t waited = machine::clock_ms() - begin;
        if (loud() && waited > 1) {
            char head[32];
            std::snprintf(head, sizeof head, "  end %7u  ", elapsed());
            out_ << head << "cards at rest " << waited << " ms after the last step\n";
        }
    }

    void print_step(const Step &s)
    {
        Report report = report_;
        report_ = Report{};
        if (!loud())
            return;
        std::string left = s.text;
        if (!report.result.empty())
            left += " " + report.result;
        std::vector<std::string> sent;
        bool many = rec_.cards.size() > 1;
        for (const auto &[index, tally] : watch_.tallies())
            if (!tally.empty())
                sent.push_back((many ? "card #" + std::to_string(index) + ": " : "") +
                               tally.summary());
        std::string right = report.note;
        for (const std::string &x : sent)
            right += (right.empty() ? "sent " : "; sent ") + x;
        char head[32];
        std::snprintf(head, sizeof head, "%5d %7u  ", s.line, elapsed());
        out_ << head << left;
        if (!right.empty()) {
            if (left.size() < 36)
                out_ << std::string(36 - left.size(), ' ');
            out_ << "  " << right;
        }
        out_ << "\n";
        if (options_.output == Output::Trace)
            for (const auto &[index, frame] : watch_.frames())
                out_ << "                " << (many ? "#" + std::to_string(index) + " " : "")
                     << frame_hex(frame) << "\n";
    }

    void print_positions()
    {
        if (registered_.empty()) {
            out_ << "no card registered\n";
            return;
        }
        for (uint32_t card : registered_) {
            std::array<int32_t, 3> p;
            if (machine::position(card, p))
                out_ << "card " << card << ": " << xyz_text(p) << "\n";
            else
                out_ << "card " << card << ": no position\n";
        }
    }

    // What one step did, for its report line (the frames it sent are in watch_).
    struct Report {
        std::string result; // "-> 1"
        std::string note;   // "12 polls, 3 batches"
    };

    const Job &job_;
    const RunOptions &options_;
    std::ostream &out_;
    std::ostream &err_;
    Recording &rec_;
    RunWatch watch_;
    StatusLine status_;
    int line_ = 0;
    Report report_;
    std::string failure_;
    std::set<uint32_t> registered_;
    std::set<uint32_t> unreached_; // card numbers warned about as not registered
    std::map<uint32_t, int> stepwise_; // card -> line of its stepwise request still open
    double path_length_ = 0;           // pulses, of the last path call
    double sent_before_ = 0;           // pulses of it sent in earlier steps
};

} // namespace

int run_job(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
            Recording &recording)
{
    return Run(job, options, out, err, recording).go();
}

} // namespace korva3_tool
