// requests.cpp - front ends' requests handed to the controller's thread and answered.
#include "control/requests.h"

#include <chrono>

namespace korva3_control {

Reply RequestQueue::ask(const Request &request, uint32_t timeout_ms)
{
    auto answer = std::make_shared<Answer>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_)
            return {false, closed_why_};
        if (waiting_.size() >= kMaxWaiting)
            return {false, "refused: too many requests waiting"};
        waiting_.push_back({request, answer});
    }
    std::unique_lock<std::mutex> lock(answer->mutex);
    if (!answer->ready.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                [&] { return answer->given; }))
        return {false, "no answer from the controller"};
    return answer->reply;
}

bool RequestQueue::post(const Request &request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || waiting_.size() >= kMaxWaiting)
        return false;
    waiting_.push_back({request, nullptr});
    return true;
}

bool RequestQueue::take(Pending &pending)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.empty())
        return false;
    pending = std::move(waiting_.front());
    waiting_.pop_front();
    return true;
}

void RequestQueue::answer(const Pending &pending, const Reply &reply)
{
    if (!pending.answer)
        return;
    std::lock_guard<std::mutex> lock(pending.answer->mutex);
    pending.answer->reply = reply;
    pending.answer->given = true;
    pending.answer->ready.notify_all();
}

void RequestQueue::close(const std::string &why)
{
    std::deque<Pending> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        closed_why_ = why;
        left.swap(waiting_);
    }
    for (const Pending &p : left)
        answer(p, {false, why});
}

} // namespace korva3_control
