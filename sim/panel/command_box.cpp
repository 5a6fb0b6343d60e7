// command_box.cpp - the operator's lines, waiting for the program's thread.
#include "command_box.h"

namespace korva::sim::panel {

CommandBox& command_box()
{
    static CommandBox* b = new CommandBox;
    return *b;
}

void CommandBox::offer(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    offered_ = on;
    waiting_.clear();
}

std::string CommandBox::put(const std::string& line)
{
    if (line.empty() || line.size() > kMaxCommandBytes)
        return "a line of 1 to " + std::to_string(kMaxCommandBytes) + " bytes";
    for (unsigned char ch : line)
        if (ch < 0x20 || ch == 0x7f)
            return "a line of printable text (no control characters)";
    std::lock_guard<std::mutex> lock(mutex_);
    if (!offered_)
        return "no program takes the operator's lines now";
    if (waiting_.size() >= kMaxCommandsWaiting)
        return "too many lines wait for the program (" + std::to_string(kMaxCommandsWaiting) +
               "): press again";
    waiting_.push_back(line);
    return "";
}

bool CommandBox::take(std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.empty())
        return false;
    line = std::move(waiting_.front());
    waiting_.pop_front();
    return true;
}

} // namespace korva::sim::panel
