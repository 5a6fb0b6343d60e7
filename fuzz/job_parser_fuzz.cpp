// job_parser_fuzz.cpp - libFuzzer target: arbitrary text as a korva3 job file, through
// the tool's reader (size and line limits) and its parser. Invariants: a job either
// parses without errors or is refused with errors that each name the file and a line;
// every step names a line of the text and carries the argument count of its function.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "job/functions.h"
#include "job/job.h"
#include "job/job_file.h"

using namespace korva3_tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    std::string text, error;
    if (!read_job_stream(in, "fuzz.job", text, error)) {
        if (error.rfind("fuzz.job:", 0) != 0)
            std::abort();
        return 0;
    }
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';

    Job job;
    std::vector<std::string> errors;
    const bool ok = parse_job("fuzz.job", text, job, errors);
    if (ok != errors.empty())
        std::abort();
    for (const std::string &e : errors)
        if (e.rfind("fuzz.job:", 0) != 0)
            std::abort();
    if (!ok)
        return 0;
    for (const Step &s : job.steps) {
        if (s.line < 1 || static_cast<size_t>(s.line) > lines)
            std::abort();
        if (s.verb == Verb::Call && (s.function == nullptr || s.args.size() != params_of(*s.function).size()))
            std::abort();
    }
    return 0;
}
