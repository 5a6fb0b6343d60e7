// runner.cpp - runs a job's steps: library calls through the function table, and the
// tool's verbs (wait, poll, sleep, print, expect).
#include "runner.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "korva3.h"
#include "machine.h"
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

class Run {
public:
    Run(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
        Recording &recording)
        : job_(job), options_(options), out_(out), err_(err), rec_(recording)
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
        if (loud())
            out_ << "korva3: " << job_.name << " on the " << machine::kind() << "\n"
                 << " line    t/ms  step\n";

        int code = EXIT_OK;
        Watchdog watchdog(job_.name, rec_.start_ms, options_.limit_ms);
        for (const Step &s : job_.steps) {
            line_ = s.line;
            report_ = Report{};
            bool ok = step(s);
            if (ok && s.verb == Verb::Call && over_limit())
                ok = fail(std::string(s.function->name) +
                          (watchdog.fired() ? " still running at the time limit"
                                            : " ended past the time limit") +
                          " (" + std::to_string(options_.limit_ms) + " ms)" +
                          (watchdog.fired() ? ": emergency stop" : ""));
            observe();
            print_step(s);
            if (!ok) {
                err_ << job_.name << ":" << s.line << ": " << failure_ << "\n";
                code = EXIT_JOB_FAILED;
                break;
            }
        }
        line_ = 0;
        settle();
        observe();
        rec_.end_ms = machine::clock_ms();
        print_positions();
        return code;
    }

private:
    // What one step did, for its report line.
    struct Report {
        std::string result;                      // "-> 1"
        std::string note;                        // "12 polls, 3 with slices"
        std::map<int, std::vector<RawFrame>> frames; // by virtual card
    };

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

    // Collects what the cards received and did since the last look.
    void observe()
    {
        for (CardActivity &a : machine::take_activity()) {
            CardTrace &t = trace(a.index);
            if (a.card >= 0)
                t.card = a.card;
            t.path.insert(t.path.end(), a.motion.begin(), a.motion.end());
            bool marked = !t.marks.empty() && t.marks.back().line == line_ && line_ != 0;
            for (const RawFrame &f : a.frames) {
                if (!is_slice(f))
                    continue;
                if (!marked && line_ != 0) {
                    t.marks.push_back({t.slices.size(), line_});
                    marked = true;
                }
                t.slices.push_back(slice_of(f));
            }
            std::vector<RawFrame> &mine = report_.frames[a.index];
            mine.insert(mine.end(), a.frames.begin(), a.frames.end());
        }
    }

    // Counts the slices that arrived since the last observe() (for poll's batches).
    size_t slices_so_far() const
    {
        size_t n = 0;
        for (const CardTrace &t : rec_.cards)
            n += t.slices.size();
        return n;
    }

    bool fail(const std::string &why)
    {
        failure_ = why;
        return false;
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
        }
        return true;
    }

    bool call(const Step &s)
    {
        const Function &f = *s.function;
        int64_t r = f.call(s.args.data());
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
        if (std::string(f.name) == "REGISTRATION" && r == 1)
            registered_.insert(static_cast<uint32_t>(s.args[0]) & 0xFF);
        return true;
    }

    // Until every axis of the card is idle. The status is watched first, so that an axis
    // that never stops fails the job at the time limit; then KORVA3_WAIT_X, _Y, _Z.
    bool wait(uint32_t card)
    {
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
            size_t before = slices_so_far();
            uint32_t status = KORVA3_GET_CARD(card);
            polls++;
            observe();
            if (slices_so_far() > before)
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
        if (!loud())
            return;
        std::string left = s.text;
        if (!report_.result.empty())
            left += " " + report_.result;
        std::vector<std::string> sent;
        bool many = rec_.cards.size() > 1;
        for (const auto &[index, frames] : report_.frames)
            if (!frames.empty())
                sent.push_back((many ? "card #" + std::to_string(index) + ": " : "") +
                               summarize(frames));
        std::string right = report_.note;
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
            for (const auto &[index, frames] : report_.frames)
                for (const RawFrame &f : frames)
                    out_ << "                " << (many ? "#" + std::to_string(index) + " " : "")
                         << frame_hex(f) << "\n";
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

    const Job &job_;
    const RunOptions &options_;
    std::ostream &out_;
    std::ostream &err_;
    Recording &rec_;
    int line_ = 0;
    Report report_;
    std::string failure_;
    std::set<uint32_t> registered_;
};

} // namespace

int run_job(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
            Recording &recording)
{
    return Run(job, options, out, err, recording).go();
}

} // namespace korva3_tool
