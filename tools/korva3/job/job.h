// job.h - a job: the library calls and tool verbs of a job file, parsed and checked
// before anything runs.
//
// A job file has one step a line: a library function's name without the KORVA3_
// prefix and its integer arguments (decimal or 0x hex), or a lower-case tool verb.
// '#' starts a comment; blank lines are skipped; arguments may be separated by
// spaces, tabs or commas.
#ifndef KORVA3_TOOL_JOB_H
#define KORVA3_TOOL_JOB_H

#include <cstdint>
#include <string>
#include <vector>

#include "job/functions.h"

namespace korva3_tool {

// What a step does: a library call, or one of the tool's verbs.
enum class Verb {
    Call,   // NAME args...        the library function
    Wait,   // wait CARD           KORVA3_WAIT_X, _Y, _Z: until every axis is idle
    Poll,   // poll CARD MS [N]    KORVA3_GET_CARD every MS ms until the card is idle
            //                     (at most N polls when N is given)
    Sleep,  // sleep MS            let MS milliseconds pass
    Print,  // print CARD          the card's positions
    Expect, // expect CARD X Y Z   fail the job unless the card is at (X, Y, Z)
    // The virtual machine's settings (VCARD: virtual card 0, 1, ... as set up):
    Limits,     // limits VCARD AXIS LOW HIGH          the axis's limit switches
    HomeSwitch, // home_switch VCARD AXIS POS          the axis's home switch
    Inputs,     // inputs VCARD VALUE                  what the digital inputs read
    Fault,      // fault VCARD KIND [N]                a fault (KSIM_FAULT)
    Timing      // timing VCARD SLICE_US QUEUE [STATUS_MS]
};

struct Step {
    int line = 0;                        // 1-based line number in the job file
    std::string text;                    // the step as written, without its comment
    Verb verb = Verb::Call;
    const Function *function = nullptr;  // for Verb::Call
    std::vector<int64_t> args;
};

struct Job {
    std::string name; // the file name, used in messages
    std::vector<Step> steps;
};

// Parses a whole job. Returns true when every line is good; otherwise false, with one
// message per bad line ("NAME:LINE: ...") in errors, and job.steps is empty.
bool parse_job(const std::string &name, const std::string &text, Job &job,
               std::vector<std::string> &errors);

// The verbs' names and arguments, for help texts.
struct VerbInfo {
    const char *name;
    const char *usage;
    const char *help;
};
const std::vector<VerbInfo> &verbs();

} // namespace korva3_tool

#endif
