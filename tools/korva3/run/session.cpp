// session.cpp - one run on the machine: recording, tracked cards, limit, settling.
#include "run/session.h"

#include "korva3.h"
#include "machine/card_at_work.h"
#include "machine/machine.h"
#include "run/interrupt.h"

namespace korva3_tool {

namespace {

// The recording's head: what runs where, from when. Returns the start.
uint32_t begin_recording(Recording &rec, const std::string &name)
{
    rec.job = name;
    rec.machine = machine::kind();
    rec.start_ms = machine::clock_ms();
    return rec.start_ms;
}

} // namespace

Session::Session(const std::string &name, const SessionOptions &options, Recording &recording)
    : options_(options), rec_(recording),
      watch_(recording, options.keep_frames, options.csv),
      watchdog_(name, begin_recording(recording, name), options.limit_ms)
{
    std::vector<std::array<int32_t, 3>> start = machine::card_positions();
    for (size_t i = 0; i < start.size(); i++)
        card_trace(static_cast<int>(i))
            .path.push_back({rec_.start_ms, start[i][0], start[i][1], start[i][2]});
    for (int i = 0; i < machine::card_count(); i++)
        watch_.refresh_period(i);
    machine::watch(&watch_);
}

Session::~Session()
{
    if (!ended_)
        machine::watch(nullptr); // the machine never calls into a watch that is gone
}

uint32_t Session::elapsed_ms() const { return machine::clock_ms() - rec_.start_ms; }

void Session::track(uint32_t card)
{
    cards_.insert(card);
    interrupt::track_card(card);
}

CardTrace &Session::card_trace(int index)
{
    while (rec_.cards.size() <= static_cast<size_t>(index)) {
        rec_.cards.emplace_back();
        rec_.cards.back().index = static_cast<int>(rec_.cards.size() - 1);
    }
    return rec_.cards[index];
}

void Session::note_card_numbers()
{
    for (int i = 0; i < machine::card_count(); i++)
        card_trace(i).card = machine::card_number(i);
}

int Session::index_of(uint32_t card) const
{
    for (const CardTrace &t : rec_.cards)
        if (t.card >= 0 && static_cast<uint32_t>(t.card) == card)
            return t.index;
    return -1;
}

Settled Session::settle()
{
    Settled s;
    uint32_t begin = machine::clock_ms();
    for (uint32_t card : cards_) {
        while (card_at_work(card)) {
            if (machine::clock_ms() - begin > options_.settle_ms || over_limit()) {
                s.at_rest = false;
                s.busy_card = card;
                s.waited_ms = machine::clock_ms() - begin;
                return s;
            }
            machine::sleep_ms(1);
        }
    }
    s.waited_ms = machine::clock_ms() - begin;
    return s;
}

void Session::end()
{
    rec_.end_ms = machine::clock_ms();
    machine::watch(nullptr);
    ended_ = true;
    note_card_numbers();
    watch_.finish(rec_.end_ms);
}

} // namespace korva3_tool
