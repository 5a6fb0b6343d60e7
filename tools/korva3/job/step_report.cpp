// step_report.cpp - the lines a job's run prints.
#include "job/step_report.h"

#include <cstdio>
#include <vector>

#include "machine/machine.h"

namespace korva3_tool {

std::string xyz_text(const std::array<int32_t, 3> &p)
{
    return "X " + std::to_string(p[0]) + "  Y " + std::to_string(p[1]) + "  Z " +
           std::to_string(p[2]);
}

std::string result_text(const Function &f, int64_t r)
{
    char buf[64];
    switch (f.result) {
    case Result::None: break;
    case Result::Unsigned:
    case Result::Signed: return "-> " + std::to_string(r);
    case Result::Bits:
        std::snprintf(buf, sizeof buf, "-> 0x%02llX (%lld)", static_cast<unsigned long long>(r),
                      static_cast<long long>(r));
        return buf;
    }
    return "";
}

void print_step_line(std::ostream &out, const Step &s, const StepNote &note, uint32_t elapsed_ms,
                     const RunWatch &watch, bool many, bool trace)
{
    std::string left = s.text;
    if (!note.result.empty())
        left += " " + note.result;
    std::vector<std::string> sent;
    for (const auto &[index, tally] : watch.tallies())
        if (!tally.empty())
            sent.push_back((many ? "card #" + std::to_string(index) + ": " : "") +
                           tally.summary());
    std::string right = note.note;
    for (const std::string &x : sent)
        right += (right.empty() ? "sent " : "; sent ") + x;
    char head[32];
    std::snprintf(head, sizeof head, "%5d %7u  ", s.line, elapsed_ms);
    out << head << left;
    if (!right.empty()) {
        if (left.size() < 36)
            out << std::string(36 - left.size(), ' ');
        out << "  " << right;
    }
    out << "\n";
    if (trace)
        for (const auto &[index, frame] : watch.frames())
            out << "                " << (many ? "#" + std::to_string(index) + " " : "")
                << frame_hex(frame) << "\n";
}

void print_positions(std::ostream &out, const std::set<uint32_t> &cards)
{
    if (cards.empty()) {
        out << "no card registered\n";
        return;
    }
    for (uint32_t card : cards) {
        std::array<int32_t, 3> p;
        if (machine::position(card, p))
            out << "card " << card << ": " << xyz_text(p) << "\n";
        else
            out << "card " << card << ": no position\n";
    }
}

} // namespace korva3_tool
