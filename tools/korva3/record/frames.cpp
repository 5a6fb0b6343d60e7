// frames.cpp - describing command frames.
#include "record/frames.h"

#include <cstdio>

namespace korva3_tool {

namespace {

int slice_value(uint8_t hi, uint8_t lo)
{
    int magnitude = (hi & 0x07) << 8 | lo;
    return (hi & 0x80) ? -magnitude : magnitude;
}

const char *kind_of(uint8_t code)
{
    switch (code) {
    case 0x00: return "link reset";
    case 0x01: return "homing";
    case 0x02: return "homing (one byte)";
    case 0x03: return "move";
    case 0x04: return "constant speed";
    case 0x10: return "slice";
    case 0x21: return "control modes";
    case 0x22: return "speed parameters";
    case 0x23: return "default directions";
    case 0x24: return "servo on";
    case 0x2A: return "zero";
    case 0x2B: return "preset position";
    case 0x2C: return "NC byte";
    case 0x30: return "system reset 2";
    case 0x31: return "stop";
    case 0x32: return "system reset 1";
    case 0x33: return "decelerating stop";
    case 0x40: return "link test";
    default: return nullptr;
    }
}

std::string triple(long long x, long long y, long long z)
{
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) + ")";
}

} // namespace

Slice slice_of(const RawFrame &f)
{
    return {slice_value(f[3], f[4]), slice_value(f[5], f[6]), slice_value(f[7], f[8])};
}

std::string frame_kind(const RawFrame &f)
{
    if (const char *k = kind_of(frame_code(f)))
        return k;
    char buf[32];
    std::snprintf(buf, sizeof buf, "command 0x%02X", frame_code(f));
    return buf;
}

std::string frame_hex(const RawFrame &f)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < f.size(); i++) {
        std::snprintf(buf, sizeof buf, "%02X", f[i]);
        s += (i ? " " : "") + std::string(buf);
    }
    s += "  " + frame_kind(f);
    if (is_slice(f)) {
        Slice v = slice_of(f);
        s += " " + triple(v.x, v.y, v.z);
    }
    return s;
}

void FrameTally::add(const RawFrame &f)
{
    uint8_t code = frame_code(f);
    if (is_slice(f))
        slices_++;
    if (runs_.empty() || runs_.back().code != code) {
        if (runs_.size() == kMaxRuns) {
            more_ = true;
            return;
        }
        runs_.push_back({code, 0, 0, 0, 0});
    }
    Run &r = runs_.back();
    r.count++;
    if (is_slice(f)) {
        Slice v = slice_of(f);
        r.x += v.x;
        r.y += v.y;
        r.z += v.z;
    }
}

std::string FrameTally::summary() const
{
    std::string s;
    for (const Run &r : runs_) {
        RawFrame f{};
        f[2] = r.code;
        std::string kind = frame_kind(f), part;
        if (r.code == 0x10)
            part = std::to_string(r.count) + (r.count == 1 ? " slice " : " slices ") +
                   triple(r.x, r.y, r.z);
        else
            part = r.count == 1 ? kind : std::to_string(r.count) + " x " + kind;
        s += (s.empty() ? "" : ", ") + part;
    }
    if (more_)
        s += ", ...";
    return s;
}

std::string summarize(const std::vector<RawFrame> &frames)
{
    FrameTally tally;
    for (const RawFrame &f : frames)
        tally.add(f);
    return tally.summary();
}

} // namespace korva3_tool
