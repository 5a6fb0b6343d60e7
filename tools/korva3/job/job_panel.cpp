// job_panel.cpp - a job's steps on the panel.
#include "job/job_panel.h"

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "machine/panel_job.h"

namespace korva3_tool {

namespace {
using nlohmann::json;
constexpr std::size_t kListBefore = 3, kListAfter = 6; // steps around the current one
constexpr std::size_t kMaxListedChars = 100;
} // namespace

JobPanel::JobPanel(const Job &job) : job_(job) {}

void JobPanel::describe()
{
    machine::panel_describe_job(
        json{{"name", job_.name}, {"kind", "job"}, {"card", 0}, {"steps", job_.steps.size()}}
            .dump(-1, ' ', false, json::error_handler_t::replace),
        0);
    publish(false);
}

void JobPanel::step(std::size_t index)
{
    at_ = index;
    publish(false);
}

void JobPanel::ended(const std::string &how, bool complete)
{
    end_ = how;
    if (complete)
        at_ = job_.steps.size();
    publish(true);
}

// Each step once (a job's steps are few, and may be long: a wait, a blocking path), so a
// state the panel is reading at that moment (it copies it in microseconds) is tried again
// a few times, the last one for up to 100 ms.
void JobPanel::publish(bool last)
{
    const std::size_t n = job_.steps.size();
    const std::size_t here = at_ < n ? at_ : (n ? n - 1 : 0);
    json list = json::array();
    for (std::size_t k = here > kListBefore ? here - kListBefore : 0;
         k < n && k <= here + kListAfter; k++)
        list.push_back({job_.steps[k].line, job_.steps[k].text.substr(0, kMaxListedChars)});
    json state{{"line", n ? job_.steps[here].line : 0}, // at the end: the last step's
               {"step", at_ < n ? at_ + 1 : n},
               {"steps", n},
               {"done", n ? double(at_) / double(n) : 1.0},
               {"state", last ? "ended" : "running"},
               {"listing", std::move(list)}};
    if (!end_.empty())
        state["end"] = end_;
    const std::string text = state.dump(-1, ' ', false, json::error_handler_t::replace);
    for (int tries = 0; !machine::panel_publish_job(text) && tries < 100; tries++) {
        if (last)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        else
            std::this_thread::yield();
    }
}

} // namespace korva3_tool
