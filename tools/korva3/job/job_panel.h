// job_panel.h - a job on the virtual machine's panel: its current step's line with the
// steps around it, and progress by steps. A job takes no operator's controls (its steps
// are library calls that the tool can't slow down or hold); the emergency stop ends it.
#ifndef KORVA3_TOOL_JOB_PANEL_H
#define KORVA3_TOOL_JOB_PANEL_H

#include <cstddef>
#include <string>

#include "job/job.h"

namespace korva3_tool {

class JobPanel {
public:
    explicit JobPanel(const Job &job);
    // Before the first step.
    void describe();
    // Step `index` of the job starts.
    void step(std::size_t index);
    // The end: the page shows `how`; progress stays at the step it ended on unless the
    // job is `complete`.
    void ended(const std::string &how, bool complete);

private:
    void publish(bool last);

    const Job &job_;
    std::size_t at_ = 0;
    std::string end_;
};

} // namespace korva3_tool

#endif
