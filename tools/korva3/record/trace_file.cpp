// trace_file.cpp - a trace's lines read with nlohmann/json, one event a line. A line
// is bounded before it is parsed (trace_line.h) and its fields checked before they are
// used: what is not a sound event is counted as a line that was not one.
#include "record/trace_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <sstream>

#include <nlohmann/json.hpp>

#include "record/path_thinner.h"
#include "record/trace_line.h"

namespace korva3_tool {

namespace {

using nlohmann::json;

constexpr int64_t kMaxCards = 64;        // a machine description holds at most 64 cards
constexpr double kMaxMs = 4294967295.0;  // an event's time: the machine's 32-bit ms clock
constexpr size_t kMaxText = 32;          // a frame's name, a fault, an axis, a reset's kind
constexpr size_t kMaxKinds = 64;         // different frame names, or faults, per card

// `e[key]` as a whole number within lo..hi (false when it is anything else).
bool whole_in(const json &e, const char *key, int64_t lo, int64_t hi, int64_t &out)
{
    auto it = e.find(key);
    if (it == e.end())
        return false;
    if (it->is_number_unsigned()) {
        const uint64_t v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(hi))
            return false;
        out = static_cast<int64_t>(v);
    } else if (it->is_number_integer()) {
        out = it->get<int64_t>();
    } else {
        return false;
    }
    return out >= lo && out <= hi;
}

bool card_sound(const json &e)
{
    int64_t card;
    return !e.contains("card") || whole_in(e, "card", 0, kMaxCards - 1, card);
}

// Whether a line's object is an event the reader can take: `ev` a name, `t` a time in
// the machine's clock's range, a card among those a machine can hold, positions and
// pulses 32-bit, names short. A line that is not is counted, never taken.
bool sound_event(const json &e)
{
    if (!e.is_object() || !e.contains("ev") || !e["ev"].is_string())
        return false;
    auto t = e.find("t");
    if (t == e.end() || !t->is_number() || !std::isfinite(t->get<double>()) ||
        t->get<double>() < 0 || t->get<double>() > kMaxMs)
        return false;
    if (!card_sound(e))
        return false;
    for (const char *key : {"x", "y", "z"}) {
        int64_t v;
        if (e.contains(key) && !whole_in(e, key, INT32_MIN, INT32_MAX, v))
            return false;
    }
    for (const char *key : {"name", "fault", "axis", "kind", "source", "clock"})
        if (e.contains(key) && !e[key].is_string())
            return false;
    for (const char *key : {"name", "fault", "axis", "kind"})
        if (e.contains(key) && e[key].get_ref<const std::string &>().size() > kMaxText)
            return false;
    if (auto cards = e.find("cards"); cards != e.end()) {
        if (!cards->is_array() || cards->size() > static_cast<size_t>(kMaxCards))
            return false;
        for (const json &c : *cards)
            if (!c.is_object() || !card_sound(c))
                return false;
    }
    return true;
}

int32_t int_of(const json &e, const char *key)
{
    int64_t v = 0;
    return whole_in(e, key, INT32_MIN, INT32_MAX, v) ? static_cast<int32_t>(v) : 0;
}

std::string text_of(const json &e, const char *key)
{
    auto it = e.find(key);
    return it != e.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Counts one more of `kind`; false when the list already holds kMaxKinds others.
bool tally(std::map<std::string, int> &counts, const std::string &kind)
{
    auto it = counts.find(kind);
    if (it == counts.end()) {
        if (counts.size() >= kMaxKinds)
            return false;
        it = counts.emplace(kind, 0).first;
    }
    it->second++;
    return true;
}

// Each card's path as it is drawn: thinned to the picture's resolution while it is read.
struct Drawing {
    PathThinner thinner;
    std::array<int32_t, 3> at{}; // the last position
    uint64_t t_us = 0;           // and when the card got there
};

// The card of an event (0..kMaxCards - 1, checked), adding it (and any before it) to
// every list.
size_t card_of(const json &e, TraceSummary &s, Recording &r, std::vector<Drawing> &d)
{
    const auto index = static_cast<size_t>(int_of(e, "card"));
    while (s.cards.size() <= index) {
        s.cards.emplace_back();
        CardTrace t;
        t.index = t.card = static_cast<int>(r.cards.size());
        r.cards.push_back(t);
        d.emplace_back();
        d.back().thinner.add({0, 0, 0, 0});
    }
    return index;
}

// Takes a sound event. False when it would add a kind of frame or fault beyond the
// card's kMaxKinds.
bool take_event(const json &e, TraceSummary &s, Recording &r, std::vector<Drawing> &d)
{
    const std::string ev = text_of(e, "ev");
    const double t = e.at("t").get<double>();
    s.end_ms = std::max(s.end_ms, t);
    if (ev == "machine") {
        s.source = text_of(e, "source");
        s.clock = text_of(e, "clock");
        if (auto cards = e.find("cards"); cards != e.end())
            for (const json &c : *cards)
                card_of(c, s, r, d);
        return true;
    }
    if (ev == "reset" && text_of(e, "kind") == "machine")
        return true;
    if (!e.contains("card"))
        return true;
    const size_t i = card_of(e, s, r, d);
    TraceCard &card = s.cards[i];
    if (ev == "frame") {
        const std::string name = text_of(e, "name");
        if (!tally(card.frames, name))
            return false;
        card.frame_count++;
        if (name == "slice") {
            CardTrace &trace = r.cards[i];
            trace.slices++;
            trace.sent[0] += int_of(e, "x");
            trace.sent[1] += int_of(e, "y");
            trace.sent[2] += int_of(e, "z");
        }
    } else if (ev == "motion") {
        card.position = {int_of(e, "x"), int_of(e, "y"), int_of(e, "z")};
        Drawing &drawing = d[i];
        // t is 0..2^32 ms; a time that runs back counts as no time.
        const auto t_us = std::max(drawing.t_us, static_cast<uint64_t>(t * 1000.0));
        r.cards[i].speed.add(t_us,
                             {int64_t(card.position[0]) - drawing.at[0],
                              int64_t(card.position[1]) - drawing.at[1],
                              int64_t(card.position[2]) - drawing.at[2]},
                             t_us - drawing.t_us);
        drawing.at = card.position;
        drawing.t_us = t_us;
        drawing.thinner.add({static_cast<uint32_t>(t_us / 1000), card.position[0],
                             card.position[1], card.position[2]});
    } else if (ev == "status") {
        card.status_reports++;
        if (e.contains("fault"))
            return tally(card.faults, "status report: " + text_of(e, "fault"));
    } else if (ev == "bad_frame") {
        return tally(card.faults, "bad frame");
    } else if (ev == "limit") {
        return tally(card.faults, "limit switch " + text_of(e, "axis"));
    } else if (ev == "reset") {
        return tally(card.faults, text_of(e, "kind") + " reset");
    }
    return true;
}

} // namespace

bool read_trace(std::istream &in, const std::string &name, TraceSummary &s, Recording &r,
                std::string &error)
{
    s = TraceSummary{};
    r = Recording{};
    r.job = name;
    std::string line;
    int events = 0;
    std::vector<Drawing> drawings;
    for (TraceLine got; (got = read_trace_line(in, line)) != TraceLine::End;) {
        if (got == TraceLine::Read && line.empty())
            continue;
        // Bounded before the parser sees it (a line too long is not held at all).
        json e = got == TraceLine::Read && nesting_within(line)
                     ? json::parse(line, nullptr, false)
                     : json(json::value_t::discarded);
        if (e.is_discarded() || !sound_event(e) || !take_event(e, s, r, drawings)) {
            s.bad_lines++; // e.g. a last line cut off when the program was killed
            continue;
        }
        events++;
    }
    if (events == 0) {
        error = name + ": no trace events in it";
        return false;
    }
    r.machine = "virtual card (" + (s.clock.empty() ? "?" : s.clock) + " clock)";
    r.start_ms = 0;
    r.end_ms = static_cast<uint32_t>(s.end_ms);
    for (size_t i = 0; i < r.cards.size(); i++) {
        r.cards[i].path = drawings[i].thinner.points();
        r.cards[i].speed.idle_until(uint64_t(r.end_ms) * 1000);
    }
    return true;
}

std::string format_summary(const TraceSummary &s)
{
    std::ostringstream out;
    out << "machine: " << s.source << ", " << s.clock << " clock, " << s.end_ms << " ms\n";
    for (size_t i = 0; i < s.cards.size(); i++) {
        const TraceCard &c = s.cards[i];
        out << "card " << i << ": " << c.frame_count << " frames";
        const char *sep = " (";
        for (const auto &[name, n] : c.frames) {
            out << sep << name << " " << n;
            sep = ", ";
        }
        out << (c.frames.empty() ? "" : ")") << ", " << c.status_reports << " status reports\n";
        out << "card " << i << ": X " << c.position[0] << "  Y " << c.position[1] << "  Z "
            << c.position[2] << "\n";
        for (const auto &[fault, n] : c.faults)
            out << "card " << i << ": " << fault << " (" << n << (n == 1 ? " time)\n" : " times)\n");
    }
    if (s.bad_lines > 0)
        out << s.bad_lines << " lines were not events\n";
    return out.str();
}

} // namespace korva3_tool
