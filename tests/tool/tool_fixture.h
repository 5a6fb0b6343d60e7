// tool_fixture.h - running job texts on a fresh virtual machine inside the test.
#ifndef KORVA3_TOOL_TESTS_TOOL_FIXTURE_H
#define KORVA3_TOOL_TESTS_TOOL_FIXTURE_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "job/job.h"
#include "machine/machine.h"
#include "record/recording.h"
#include "job/runner.h"

struct JobRun {
    int code = -1;
    std::string out, err;
    korva3_tool::Recording recording;
};

// Parses and runs `text` as job "t.job" on a fresh machine with one card (0:1:0).
inline JobRun run_text(const std::string &text,
                       korva3_tool::RunOptions options = korva3_tool::RunOptions{},
                       korva3_tool::MachineSetup setup = korva3_tool::MachineSetup{})
{
    JobRun r;
    korva3_tool::Job job;
    std::vector<std::string> errors;
    if (!korva3_tool::parse_job("t.job", text, job, errors)) {
        ADD_FAILURE() << "job does not parse: " << errors.front();
        return r;
    }
    std::string error;
    if (!korva3_tool::machine::setup(setup, error)) {
        ADD_FAILURE() << error;
        return r;
    }
    std::ostringstream out, err;
    r.code = korva3_tool::run_job(job, options, out, err, r.recording);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The start of every job below: library up, card 0 registered and configured.
inline const char *kPrologue = "INITIAL\n"
                               "REGISTRATION 0 0\n"
                               "SET_VAR 0 10 10 10 400 0\n";

#endif
