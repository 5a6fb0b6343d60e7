// line_feed.cpp - one streamed line at a time from a sender's thread to the controller's.
#include "control/line_feed.h"

namespace korva3_control {

Reply LineFeed::run(StreamedLine line)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_)
        return {false, closed_why_};
    ready_.wait(lock, [&] { return !has_line_ || closed_; }); // one sender at a time
    if (closed_)
        return {false, closed_why_};
    line.id = next_id_++;
    const uint64_t id = line.id;
    line_ = std::move(line);
    has_line_ = true;
    taken_ = answered_ = false;
    ready_.wait(lock, [&] { return answered_ || !has_line_ || line_.id != id; });
    Reply r = answered_ && line_.id == id ? reply_ : Reply{false, closed_ ? closed_why_ : "cancelled"};
    if (line_.id == id)
        has_line_ = false;
    ready_.notify_all();
    return r;
}

void LineFeed::cancel(const std::string &why)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (has_line_ && !answered_) {
        reply_ = {false, why};
        answered_ = true;
    }
    ready_.notify_all();
}

void LineFeed::close(const std::string &why)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        closed_why_ = why;
    }
    cancel(why);
}

bool LineFeed::take(StreamedLine &line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!has_line_ || taken_ || answered_)
        return false;
    taken_ = true;
    line = line_;
    return true;
}

bool LineFeed::waiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return has_line_ && !taken_ && !answered_;
}

void LineFeed::answer(uint64_t id, const Reply &reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!has_line_ || line_.id != id || answered_)
        return; // cancelled meanwhile: nobody waits
    reply_ = reply;
    answered_ = true;
    ready_.notify_all();
}

} // namespace korva3_control
