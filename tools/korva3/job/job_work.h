// job_work.h - a job's steps as the run driver's work: the library calls (runner.cpp)
// and the tool's own verbs (tool_verbs.cpp). Private to job/.
#ifndef KORVA3_TOOL_JOB_WORK_H
#define KORVA3_TOOL_JOB_WORK_H

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "job/job.h"
#include "job/job_panel.h"
#include "job/runner.h"
#include "job/step_report.h"
#include "record/run_watch.h"
#include "run/driver.h"
#include "run/session.h"
#include "run/status_line.h"

namespace korva3_tool {

class JobWork : public Work {
public:
    JobWork(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err)
        : job_(job), options_(options), out_(out), err_(err), status_(options.status_line),
          panel_(job)
    {
    }

    int run(Session &session) override;
    int finish(Session &session, const Settled &settled, int code) override;

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

    static void progress_of(void *self) { static_cast<JobWork *>(self)->progress(); }

    // A warning about the current line. Under --strict it fails the step (returns false).
    bool warn(const std::string &text);
    // The status line: job line, share of the path sent, virtual time.
    void progress();
    // The panel's emergency stop ended the job at `line` (0: after its last step), the
    // tool kept running to show it (--panel-keep): says so; EXIT_EMERGENCY.
    int panel_stopped(int line);
    bool step(const Step &s);
    bool call(const Step &s);

    // The tool's own verbs (tool_verbs.cpp).
    bool machine_setting(const Step &s);
    // Until every axis of the card is idle. The status is watched first, so that an axis
    // that never stops fails the job at the time limit; then KORVA3_WAIT_X, _Y, _Z.
    bool wait(uint32_t card);
    // KORVA3_GET_CARD every `period` ms until the card is idle (or `max_polls` polls): each poll
    // sends the next batch of a saved stepwise path.
    bool poll(uint32_t card, uint32_t period, int64_t max_polls);
    bool print(uint32_t card);
    bool expect(const Step &s);

    // Stepwise requests no poll ran to their end: a warning each. False under --strict.
    bool unfinished_requests();
    // How the cards came to rest after the last step, so the final positions and the
    // plot show the whole path, including the slices still queued in the controller.
    void report_settled(const Settled &settled);
    void print_step(const Step &s);

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

} // namespace korva3_tool

#endif
