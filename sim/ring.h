// ring.h - a first-in first-out ring over one block of memory. It grows (doubling) only
// when it is full, so a queue that is filled and drained at a steady pace allocates
// nothing once it has reached its working size.
#ifndef KORVA_SIM_RING_H
#define KORVA_SIM_RING_H

#include <cstddef>
#include <vector>

namespace korva::sim {

template <class T>
class Ring {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }

    // Room for n entries without allocating.
    void reserve(std::size_t n)
    {
        if (n > buf_.size())
            regrow(n);
    }

    void push_back(const T& item)
    {
        if (size_ == buf_.size())
            regrow(buf_.empty() ? 16 : 2 * buf_.size());
        buf_[(head_ + size_) % buf_.size()] = item;
        ++size_;
    }

    const T& front() const { return buf_[head_]; }

    void pop_front()
    {
        head_ = head_ + 1 == buf_.size() ? 0 : head_ + 1;
        --size_;
    }

    void clear() { head_ = size_ = 0; }

private:
    void regrow(std::size_t capacity)
    {
        std::vector<T> next(capacity);
        for (std::size_t i = 0; i < size_; ++i)
            next[i] = buf_[(head_ + i) % buf_.size()];
        buf_.swap(next);
        head_ = 0;
    }

    std::vector<T> buf_;
    std::size_t head_ = 0; // index of the oldest entry
    std::size_t size_ = 0;
};

} // namespace korva::sim

#endif
