// trace_file.cpp - a trace's lines read with nlohmann/json, one event a line.
#include "record/trace_file.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "record/path_thinner.h"

namespace korva3_tool {

namespace {

using nlohmann::json;

int32_t int_of(const json &e, const char *key)
{
    auto it = e.find(key);
    return it != e.end() && it->is_number_integer() ? it->get<int32_t>() : 0;
}

std::string text_of(const json &e, const char *key)
{
    auto it = e.find(key);
    return it != e.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Each card's path as it is drawn: thinned to the picture's resolution while it is read.
struct Drawing {
    PathThinner thinner;
    std::array<int32_t, 3> at{}; // the last position
    uint64_t t_us = 0;           // and when the card got there
};

// The card of an event, adding it (and any before it) to every list.
size_t card_of(const json &e, TraceSummary &s, Recording &r, std::vector<Drawing> &d)
{
    const auto index = static_cast<size_t>(std::max(0, int_of(e, "card")));
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

void take_event(const json &e, TraceSummary &s, Recording &r, std::vector<Drawing> &d)
{
    const std::string ev = text_of(e, "ev");
    const double t = e.value("t", 0.0);
    s.end_ms = std::max(s.end_ms, t);
    if (ev == "machine") {
        s.source = text_of(e, "source");
        s.clock = text_of(e, "clock");
        if (auto cards = e.find("cards"); cards != e.end() && cards->is_array())
            for (const json &c : *cards)
                card_of(c, s, r, d);
        return;
    }
    if (ev == "reset" && text_of(e, "kind") == "machine")
        return;
    if (!e.contains("card"))
        return;
    const size_t i = card_of(e, s, r, d);
    TraceCard &card = s.cards[i];
    if (ev == "frame") {
        const std::string name = text_of(e, "name");
        card.frames[name]++;
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
        const auto t_us = static_cast<uint64_t>(t * 1000.0);
        r.cards[i].speed.add(t_us,
                             {int64_t(card.position[0]) - drawing.at[0],
                              int64_t(card.position[1]) - drawing.at[1],
                              int64_t(card.position[2]) - drawing.at[2]},
                             t_us - drawing.t_us);
        drawing.at = card.position;
        drawing.t_us = t_us;
        drawing.thinner.add({static_cast<uint32_t>(t), card.position[0], card.position[1],
                             card.position[2]});
    } else if (ev == "status") {
        card.status_reports++;
        if (e.contains("fault"))
            card.faults["status report: " + text_of(e, "fault")]++;
    } else if (ev == "bad_frame") {
        card.faults["bad frame"]++;
    } else if (ev == "limit") {
        card.faults["limit switch " + text_of(e, "axis")]++;
    } else if (ev == "reset") {
        card.faults[text_of(e, "kind") + " reset"]++;
    }
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
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        json e = json::parse(line, nullptr, false);
        if (e.is_discarded() || !e.is_object() || !e.contains("ev")) {
            s.bad_lines++; // e.g. a last line cut off when the program was killed
            continue;
        }
        take_event(e, s, r, drawings);
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
