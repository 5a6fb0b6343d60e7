// job_parser.cpp - turns a job file's text into checked steps.
#include "job/job.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace korva3_tool {

namespace {

// Argument kinds of the tool's verbs.
enum class Kind {
    Card, Millis, Count, Position,
    VCard, Axis, Byte, FaultKind, Number, SliceUs, Queue, StatusMs // virtual machine verbs
};

struct VerbDef {
    VerbInfo info;
    Verb verb;
    std::vector<Kind> args;
    size_t optional; // how many of the last args may be left out
};

const std::vector<VerbDef> kVerbs = {
    {{"wait", "wait CARD", "until every axis of the card is idle (KORVA3_WAIT_X, _Y, _Z)"},
     Verb::Wait, {Kind::Card}, 0},
    {{"poll", "poll CARD MS [N]",
      "KORVA3_GET_CARD every MS ms until the card is idle (at most N polls);\n"
      "                        each poll sends a stepwise path's next batch"},
     Verb::Poll, {Kind::Card, Kind::Millis, Kind::Count}, 1},
    {{"sleep", "sleep MS", "let MS milliseconds pass"}, Verb::Sleep, {Kind::Millis}, 0},
    {{"print", "print CARD", "print the card's X, Y, Z positions"}, Verb::Print,
     {Kind::Card}, 0},
    {{"expect", "expect CARD X Y Z", "fail the job unless the card is at (X, Y, Z)"},
     Verb::Expect, {Kind::Card, Kind::Position, Kind::Position, Kind::Position}, 0},
    // The virtual machine (VCARD: the virtual card, 0 = the first --card); ignored with
    // a warning on real cards.
    {{"limits", "limits VCARD AXIS LOW HIGH",
      "virtual card: the axis's limit switches at LOW and HIGH (machine pulses)"},
     Verb::Limits, {Kind::VCard, Kind::Axis, Kind::Position, Kind::Position}, 0},
    {{"home_switch", "home_switch VCARD AXIS POS", "virtual card: the axis's home switch at POS"},
     Verb::HomeSwitch, {Kind::VCard, Kind::Axis, Kind::Position}, 0},
    {{"inputs", "inputs VCARD VALUE", "virtual card: what the digital inputs read (0..255)"},
     Verb::Inputs, {Kind::VCard, Kind::Byte}, 0},
    {{"fault", "fault VCARD KIND [N]",
      "virtual card: inject a fault: 0 none, 1 silent, 2 status stops after N\n"
      "                        bytes, 3 N corrupt status reports, 4 never ready"},
     Verb::Fault, {Kind::VCard, Kind::FaultKind, Kind::Number}, 1},
    {{"timing", "timing VCARD SLICE_US QUEUE [STATUS_MS]",
      "virtual card: slice period, queue size and status report period"},
     Verb::Timing, {Kind::VCard, Kind::SliceUs, Kind::Queue, Kind::StatusMs}, 1},
};

std::string upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Parses a whole decimal (optionally signed) or 0x hexadecimal integer.
bool parse_integer(const std::string &word, int64_t &value)
{
    size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '-' || word[i] == '+'))
        negative = word[i++] == '-';
    int base = 10;
    if (word.size() - i > 2 && word[i] == '0' && (word[i + 1] == 'x' || word[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == word.size())
        return false;
    uint64_t v = 0;
    for (; i < word.size(); i++) {
        int c = std::tolower(static_cast<unsigned char>(word[i]));
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        if (v <= (uint64_t(1) << 40)) // beyond that far out of every range anyway
            v = v * base + digit;
    }
    value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

// Levenshtein distance, for "did you mean".
size_t distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
            diag = up;
        }
    }
    return row[b.size()];
}

// The closest name a misspelt one may have meant ("" if none is close).
std::string suggestion(const std::string &word)
{
    if (const Function *f = find_function(upper(word)))
        return f->name; // right name, wrong case
    for (const VerbDef &v : kVerbs)
        if (lower(word) == v.info.name)
            return v.info.name;
    // Every name is shorter than this: a longer word is no near miss, and comparing it
    // would cost its length times every name.
    constexpr size_t kLongestWorthComparing = 32;
    if (word.size() > kLongestWorthComparing)
        return "";
    std::string best;
    // At most two edits away, and fewer than a third of the word's letters.
    size_t best_d = std::min<size_t>(3, (word.size() + 2) / 3);
    for (const Function &f : functions()) {
        size_t d = distance(upper(word), f.name);
        if (d < best_d) {
            best_d = d;
            best = f.name;
        }
    }
    for (const VerbDef &v : kVerbs) {
        size_t d = distance(lower(word), v.info.name);
        if (d < best_d) {
            best_d = d;
            best = v.info.name;
        }
    }
    return best;
}

std::string join(const std::vector<std::string> &words, size_t from)
{
    std::string s;
    for (size_t i = from; i < words.size(); i++)
        s += (i > from ? " " : "") + words[i];
    return s;
}

// Checks one argument against its range; returns "" or what is wrong.
std::string check_range(int64_t v, int64_t lo, int64_t hi)
{
    if (v >= lo && v <= hi)
        return "";
    std::ostringstream m;
    m << "is out of range (" << lo << ".." << hi << ")";
    return m.str();
}

std::string plural(size_t n, const char *word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Parses the arguments of a library call. Returns "" or the error.
std::string parse_call(const Function &f, const std::vector<std::string> &words, Step &step)
{
    std::vector<Param> params = params_of(f);
    size_t given = words.size() - 1;
    if (given != params.size()) {
        std::string m = std::string(f.name) + " takes " + plural(params.size(), "argument");
        if (!params.empty())
            m += std::string(" (") + f.params + ")";
        return m + ", got " + std::to_string(given);
    }
    for (size_t i = 0; i < params.size(); i++) {
        const std::string &w = words[i + 1];
        const Param &p = params[i];
        std::string what = std::string(f.name) + ": argument " + std::to_string(i + 1) + " (" +
                           p.name + ") ";
        int64_t v;
        if (!parse_integer(w, v))
            return what + "'" + w + "' is not an integer";
        std::string range =
            p.is_signed ? check_range(v, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max())
                        : check_range(v, 0, std::numeric_limits<uint32_t>::max());
        if (!range.empty())
            return what + w + " " + range;
        step.args.push_back(v);
    }
    return "";
}

std::string parse_verb(const VerbDef &v, const std::vector<std::string> &words, Step &step)
{
    size_t given = words.size() - 1;
    size_t max_args = v.args.size(), min_args = max_args - v.optional;
    if (given < min_args || given > max_args)
        return std::string(v.info.name) + " takes " +
               (min_args == max_args ? plural(max_args, "argument")
                              : std::to_string(min_args) + " or " + std::to_string(max_args) +
                                    " arguments") +
               " (" + v.info.usage + "), got " + std::to_string(given);
    for (size_t i = 0; i < given; i++) {
        const std::string &w = words[i + 1];
        std::string what = std::string(v.info.name) + ": argument " + std::to_string(i + 1) + " ";
        int64_t x;
        if (!parse_integer(w, x))
            return what + "'" + w + "' is not an integer";
        std::string range;
        switch (v.args[i]) {
        case Kind::Card: range = check_range(x, 0, 15); break;
        case Kind::Millis: range = check_range(x, v.verb == Verb::Poll ? 1 : 0, 3600000); break;
        case Kind::Count: range = check_range(x, 1, 100000000); break;
        case Kind::Position:
            range = check_range(x, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
            break;
        case Kind::VCard: range = check_range(x, 0, 63); break;
        case Kind::Axis: range = check_range(x, 1, 3); break;
        case Kind::Byte: range = check_range(x, 0, 255); break;
        case Kind::FaultKind: range = check_range(x, 0, 4); break;
        case Kind::Number: range = check_range(x, 0, 100000000); break;
        case Kind::SliceUs: range = check_range(x, 0, 1000000); break;
        case Kind::Queue: range = check_range(x, 1, 65536); break;
        case Kind::StatusMs: range = check_range(x, 0, 60000); break;
        }
        if (!range.empty())
            return what + w + " " + range;
        step.args.push_back(x);
    }
    return "";
}

// Parses one line into step. Returns "" (a step, or nothing on a blank line, with
// step.text empty) or the error.
std::string parse_line(const std::string &raw, Step &step)
{
    std::string text = raw.substr(0, raw.find('#'));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (words.empty())
        return "";
    step.text = join(words, 0);

    std::string name = words[0];
    if (name.rfind("KORVA3_", 0) == 0)
        name = name.substr(7);
    if (const Function *f = find_function(name)) {
        step.verb = Verb::Call;
        step.function = f;
        return parse_call(*f, words, step);
    }
    for (const VerbDef &v : kVerbs)
        if (name == v.info.name) {
            step.verb = v.verb;
            return parse_verb(v, words, step);
        }
    std::string m = "unknown function or verb '" + words[0] + "'";
    std::string guess = suggestion(name);
    if (!guess.empty())
        m += " (did you mean " + guess + "?)";
    return m;
}

} // namespace

bool parse_job(const std::string &name, const std::string &text, Job &job,
               std::vector<std::string> &errors)
{
    job.name = name;
    job.steps.clear();
    errors.clear();
    std::istringstream lines(text);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); number++) {
        Step step;
        step.line = number;
        std::string error = parse_line(raw, step);
        if (!error.empty())
            errors.push_back(name + ":" + std::to_string(number) + ": " + error);
        else if (!step.text.empty())
            job.steps.push_back(std::move(step));
    }
    if (!errors.empty())
        job.steps.clear();
    return errors.empty();
}

const std::vector<VerbInfo> &verbs()
{
    static const std::vector<VerbInfo> infos = [] {
        std::vector<VerbInfo> v;
        for (const VerbDef &d : kVerbs)
            v.push_back(d.info);
        return v;
    }();
    return infos;
}

} // namespace korva3_tool
