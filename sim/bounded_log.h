// bounded_log.h - the machine's record books: first in, first out, with a size cap so a
// long run that nobody reads cannot eat the host's memory. Entries live in a ring, so a
// log that is read as it fills allocates nothing once it has reached its working size.
#ifndef KORVA_SIM_BOUNDED_LOG_H
#define KORVA_SIM_BOUNDED_LOG_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "ring.h"

namespace korva::sim {

// Entries past this many (not yet taken) are dropped.
inline constexpr std::size_t kLogCap = 4'000'000;

template <class T>
class BoundedLog {
public:
    void push(const T& item)
    {
        if (items_.size() < kLogCap)
            items_.push_back(item);
    }

    // Hands up to `max` oldest entries to sink(entry, position) and forgets them.
    template <class Sink>
    std::size_t take(std::size_t max, Sink&& sink)
    {
        std::size_t n = items_.size() < max ? items_.size() : max;
        for (std::size_t i = 0; i < n; ++i) {
            sink(items_.front(), i);
            items_.pop_front();
        }
        return n;
    }

    // The oldest entry (null when empty), and forgetting it.
    const T* oldest() const { return items_.empty() ? nullptr : &items_.front(); }
    void drop_oldest()
    {
        if (!items_.empty())
            items_.pop_front();
    }

    std::size_t size() const { return items_.size(); }
    void clear() { items_ = Ring<T>(); } // and give the memory back

private:
    Ring<T> items_;
};

// Text lines ("caption: text", "close 3", ...).
using LineLog = BoundedLog<std::string>;

// Copies as many whole lines as fit into text[size], each followed by '\n', then a NUL.
// The lines copied are forgotten; the result is how many.
std::uint32_t take_lines(LineLog& log, char* text, std::uint32_t size);

} // namespace korva::sim

#endif
