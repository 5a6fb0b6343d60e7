// job_check.h - mistakes a job can be checked for before it runs (korva3 check, and
// before every run): calls that will reach no card, an axis outside 1..3, speed 0,
// circles of radius 0, arcs the library refuses, stepwise requests not pumped by poll.
// The job is valid either way: these are warnings.
#ifndef KORVA3_TOOL_JOB_CHECK_H
#define KORVA3_TOOL_JOB_CHECK_H

#include <string>
#include <vector>

#include "job/job.h"

namespace korva3_tool {

struct Warning {
    int line;         // job file line (0: the whole job)
    std::string text; // what is wrong, without "JOB:LINE: warning: "
};

std::vector<Warning> check_job(const Job &job);

// "JOB:LINE: warning: TEXT"
std::string warning_text(const std::string &job, const Warning &w);

// True for the library's path functions (interpolation, blocking or stepwise).
bool is_path_call(const Function &f);
// True for the stepwise requests (names ending in 02).
bool is_stepwise(const Function &f);
// The length of the path a path call asks for, in pulses (0 if not known).
double path_length(const Step &step);

} // namespace korva3_tool

#endif
