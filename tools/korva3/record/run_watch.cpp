// run_watch.cpp - what the cards do while a job runs, kept small.
#include "record/run_watch.h"

#include <cmath>
#include <cstdio>

namespace korva3_tool {

namespace {

// Command codes that start single-axis motion: homing, moves, constant speed.
bool starts_axis_motion(uint8_t code) { return code >= 0x01 && code <= 0x04; }

} // namespace

RunWatch::RunWatch(Recording &recording, bool trace, std::ostream *csv)
    : rec_(recording), trace_(trace), csv_(csv)
{
    if (csv_)
        *csv_ << "time_ms,card,line,x,y,z\n";
}

RunWatch::Card &RunWatch::card(int index)
{
    while (cards_.size() <= static_cast<size_t>(index)) {
        int i = static_cast<int>(cards_.size());
        cards_.emplace_back(); // period: 1000 until refresh_period() (never from a sink)
        if (rec_.cards.size() <= static_cast<size_t>(i)) {
            rec_.cards.resize(i + 1);
            rec_.cards[i].index = i;
        }
    }
    return cards_[index];
}

void RunWatch::set_defining_line(int index, int line)
{
    if (index >= 0)
        card(index).defining = line;
}

void RunWatch::refresh_period(int index)
{
    if (index >= 0)
        card(index).period_us = machine::slice_period_us(index);
}

void RunWatch::new_step()
{
    tallies_.clear();
    frames_.clear();
    step_slices_ = 0;
    step_pulses_ = 0;
}

void RunWatch::frame(int index, const RawFrame &f)
{
    Card &c = card(index);
    tallies_[index].add(f);
    if (trace_)
        frames_.push_back({index, f});
    int line = c.defining ? c.defining : line_;
    if (is_slice(f)) {
        CardTrace &t = rec_.cards[index];
        Slice s = slice_of(f);
        t.slices++;
        t.sent[0] += s.x;
        t.sent[1] += s.y;
        t.sent[2] += s.z;
        if (c.queued.empty() || c.queued.back().first != line)
            c.queued.push_back({line, 0});
        c.queued.back().second++;
        step_pulses_ += std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
        if ((++step_slices_ & 4095) == 0 && progress_)
            progress_(progress_user_);
    } else if (starts_axis_motion(frame_code(f))) {
        c.axis_line = line;
        c.axis_mark_due = true;
    }
}

void RunWatch::moved(int index, uint64_t t_us, int32_t x, int32_t y, int32_t z, MovedBy by)
{
    const bool by_slice = by == MovedBy::Slice;
    Card &c = card(index);
    CardTrace &t = rec_.cards[index];
    last_t_us_ = t_us;
    int line = line_;
    if (by_slice) {
        if (!c.queued.empty()) {
            line = c.queued.front().first;
            if (--c.queued.front().second == 0)
                c.queued.pop_front();
        }
        if (line != c.slice_line || t.marks.empty())
            t.marks.push_back({t_us, line});
        c.slice_line = line;
    } else if (by == MovedBy::Axis) {
        line = c.axis_line ? c.axis_line : line_;
        if (c.axis_mark_due)
            t.marks.push_back({t_us, line});
        c.axis_mark_due = false;
    }
    if (!c.started) {
        // The first record: the card stood at the start position until now.
        c.started = true;
        if (t.path.empty())
            t.path.push_back({rec_.start_ms, x, y, z});
        c.thinner.add(t.path.front());
        c.x = t.path.front().x;
        c.y = t.path.front().y;
        c.z = t.path.front().z;
        t.speed.start(uint64_t(rec_.start_ms) * 1000);
    }
    if (by != MovedBy::Origin) { // new coordinates are no speed
        uint32_t period = by_slice ? (c.period_us ? c.period_us : 1000) : 1000;
        uint64_t end = by_slice ? t_us + period : t_us;
        t.speed.add(end, {int64_t(x) - c.x, int64_t(y) - c.y, int64_t(z) - c.z}, period);
    }
    c.x = x;
    c.y = y;
    c.z = z;
    c.thinner.add({static_cast<uint32_t>(t_us / 1000), x, y, z, by == MovedBy::Origin});
    if (rec_.gcode && by_slice)
        rec_.gcode->slice_run(t_us, line, {x, y, z}, c.period_us ? c.period_us : 1000);
    if (csv_) {
        char row[96];
        int card_number = rec_.cards[index].card;
        std::snprintf(row, sizeof row, "%.3f,%s,%d,%d,%d,%d\n", double(t_us) / 1000.0,
                      card_number >= 0 ? std::to_string(card_number).c_str() : "", line, x, y,
                      z);
        *csv_ << row;
    }
}

void RunWatch::finish(uint32_t end_ms)
{
    if (rec_.gcode)
        rec_.gcode->finish();
    for (size_t i = 0; i < cards_.size(); i++) {
        CardTrace &t = rec_.cards[i];
        if (cards_[i].started) {
            t.path = cards_[i].thinner.points();
            t.speed.idle_until(uint64_t(end_ms) * 1000);
        }
    }
}

} // namespace korva3_tool
