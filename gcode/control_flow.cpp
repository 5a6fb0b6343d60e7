// control_flow.cpp - following a program's lines by its O-words: a program counter
// over the lines (read on one after another from the text, or set to an O-word's line
// by a jump) and a stack of calls.
#include "gcode/control_flow.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "gcode/modal.h"
#include "gcode/o_words.h"

namespace korva3_gcode {

namespace {

// A line to read: its index (its number - 1) and its first character in the text.
struct Pos {
    size_t line = 0;
    size_t at = 0;
};

class Follower {
public:
    Follower(const std::string &text, Reader &reader, Expressions &values,
             const ReadOptions &options)
        : text_(text), reader_(reader), values_(values), opt_(options) {}

    size_t run();

private:
    struct Call {
        int from;                    // the call's O-word: the lines go on after it
        std::map<int, long> repeats; // open repeat loops: O-word -> runs left
    };

    bool o_word(int k);
    bool branch(int k);
    bool call(int k);
    bool leave(int k);
    bool one_value(const OWord &o, double &v, bool needed);
    bool count(const OWord &o);
    bool bounded(int number);
    // The O-word on line pc_, or -1.
    int o_word_here() const;
    void go_to(int k) { pc_ = {words()[k].index, words()[k].at}; }
    void go_after(int k) { pc_ = {words()[k].index + 1, words()[k].next_at}; }
    const std::vector<OWord> &words() const { return lines_.words; }

    bool fail(const OWord &o, const std::string &what)
    {
        reader_.fail_at(o.line, what);
        return false;
    }

    const std::string &text_;
    Reader &reader_;
    Expressions &values_;
    const ReadOptions &opt_;
    Lines lines_;
    Pos pc_;
    std::vector<Call> calls_{Call{-1, {}}}; // [0]: the main program
    long steps_ = 0; // loop iterations and calls so far
    long reads_ = 0; // lines read so far
};

size_t Follower::run()
{
    const bool matched = match_o_words(
        text_, lines_, [this](int line, const std::string &what) { reader_.fail_at(line, what); });
    if (!matched)
        return lines_.count;
    while (pc_.line < lines_.count && !reader_.ended()) {
        const int k = o_word_here();
        if (k >= 0) {
            if (!o_word(k))
                break;
            continue;
        }
        size_t end = text_.find('\n', pc_.at);
        if (end == std::string::npos)
            end = text_.size();
        const int number = static_cast<int>(pc_.line + 1);
        reader_.line(number, text_.substr(pc_.at, end - pc_.at));
        pc_ = {pc_.line + 1, end + 1};
        if (!bounded(number))
            break;
    }
    return lines_.count;
}

// Loops can make a short file read long and move much: both are bounded.
bool Follower::bounded(int number)
{
    if (++reads_ > static_cast<long>(lines_.count) + opt_.max_reads) {
        reader_.fail_at(number, "more than " + std::to_string(opt_.max_reads) +
                                    " lines read again by loops and calls");
        return false;
    }
    if (reader_.moves() > static_cast<size_t>(opt_.max_moves)) {
        reader_.fail_at(number, "more than " + std::to_string(opt_.max_moves) +
                                    " moves: a program this long is not checked");
        return false;
    }
    return true;
}

int Follower::o_word_here() const
{
    auto it = std::lower_bound(words().begin(), words().end(), pc_.line,
                               [](const OWord &o, size_t line) { return o.index < line; });
    return it != words().end() && it->index == pc_.line ? static_cast<int>(it - words().begin())
                                                        : -1;
}

// The value after the keyword, alone: true with `v` untouched when it may be missing
// and is.
bool Follower::one_value(const OWord &o, double &v, bool needed)
{
    if (o.rest.empty()) {
        if (needed)
            return fail(o, o_text(o) + " needs a value: " + o_text(o) + " [...]");
        return true;
    }
    size_t i = 0;
    std::string error;
    if (!values_.read(o.rest, i, v, error))
        return fail(o, o_text(o) + ": " + error);
    if (i != o.rest.size())
        return fail(o, o_text(o) + ": '" + o.rest.substr(i, 16) + "' after its value");
    return true;
}

bool Follower::count(const OWord &o)
{
    if (++steps_ <= opt_.max_iterations)
        return true;
    return fail(o, o_text(o) + ": more than " + std::to_string(opt_.max_iterations) +
                       " loop iterations and calls (--max-iterations N allows more)");
}

bool Follower::o_word(int k)
{
    const std::vector<OWord> &w = words();
    const OWord &o = w[k];
    double v = 0;
    switch (o.keyword) {
    case Keyword::Sub: // a definition where it stands: skipped
        go_after(o.next);
        return true;
    case Keyword::Call:
        return call(k);
    case Keyword::Endsub:
    case Keyword::Return:
        return leave(k);
    case Keyword::If:
        return branch(k);
    case Keyword::Elseif:
    case Keyword::Else: { // the end of the branch taken: on past the endif
        int end = o.next;
        while (w[end].keyword != Keyword::Endif)
            end = w[end].next;
        go_after(end);
        return true;
    }
    case Keyword::Endif:
        go_after(k);
        return true;
    case Keyword::While:
        if (!one_value(o, v, true))
            return false;
        if (o.closes_do) // the end of do ... while: back to the body's first line
            go_after(v != 0 ? o.next : k);
        else
            go_after(v != 0 ? k : o.next);
        return v == 0 || count(o);
    case Keyword::Endwhile:
        go_to(o.next);
        return true;
    case Keyword::Do:
        go_after(k);
        return count(o);
    case Keyword::Repeat: {
        if (!one_value(o, v, true))
            return false;
        const double runs = std::round(v);
        if (std::fabs(v - runs) > 0.0001 || runs < 0)
            return fail(o, o_text(o) + " [" + number_text(v) +
                               "]: the count is a whole number, 0 or more");
        if (runs == 0) {
            go_after(o.next);
            return true;
        }
        // more runs than iterations allowed end at the bound all the same
        calls_.back().repeats[k] = static_cast<long>(std::fmin(runs, opt_.max_iterations + 1.0));
        go_after(k);
        return count(o);
    }
    case Keyword::Endrepeat: {
        auto left = calls_.back().repeats.find(o.next);
        if (left != calls_.back().repeats.end() && --left->second > 0) {
            go_after(o.next);
            return count(o);
        }
        if (left != calls_.back().repeats.end())
            calls_.back().repeats.erase(left);
        go_after(k);
        return true;
    }
    case Keyword::Break:
        calls_.back().repeats.erase(o.next);
        go_after(w[o.next].next); // past the loop's end
        return true;
    case Keyword::Continue: // to the loop's test: its while, do's while, or endrepeat
        go_to(w[o.next].keyword == Keyword::While ? o.next : w[o.next].next);
        return true;
    }
    return false;
}

// An if and its elseifs: the first branch whose condition holds, else the else.
bool Follower::branch(int k)
{
    const std::vector<OWord> &w = words();
    for (int b = k;; b = w[b].next) {
        if (w[b].keyword == Keyword::Else || w[b].keyword == Keyword::Endif) {
            go_after(b);
            return true;
        }
        double v = 0;
        if (!one_value(w[b], v, true))
            return false;
        if (v != 0) {
            go_after(b);
            return true;
        }
    }
}

bool Follower::call(int k)
{
    const OWord &o = words()[k];
    std::vector<double> args;
    for (size_t i = 0; i < o.rest.size();) {
        double v = 0;
        std::string error;
        if (o.rest[i] != '[') // blanks vanish: "1 2" would be 12
            return fail(o, o_text(o) + ": each argument stands in brackets: " + o_text(o) +
                               " [1] [2]");
        if (!values_.read(o.rest, i, v, error))
            return fail(o, o_text(o) + ": argument " + std::to_string(args.size() + 1) + ": " +
                               error);
        args.push_back(v);
    }
    if (args.size() > static_cast<size_t>(kCallParameters))
        return fail(o, o_text(o) + ": " + std::to_string(args.size()) + " arguments, at most " +
                           std::to_string(kCallParameters));
    if (calls_.size() > static_cast<size_t>(opt_.max_call_depth))
        return fail(o, o_text(o) + ": calls nested more than " +
                           std::to_string(opt_.max_call_depth) +
                           " deep (--max-call-depth N allows more)");
    if (!count(o))
        return false;
    calls_.push_back(Call{k, {}});
    values_.parameters().set(ParamRef{0, "_VALUE"}, 0); // cleared: a return without a
    values_.parameters().set(ParamRef{0, "_VALUE_RETURNED"}, 0); // value leaves 0
    values_.parameters().call(args);
    go_after(lines_.subs.at(o.label));
    return true;
}

bool Follower::leave(int k)
{
    const OWord &o = words()[k];
    double v = 0;
    const bool valued = !o.rest.empty();
    if (!one_value(o, v, false))
        return false;
    if (calls_.size() < 2) // only a call reaches a sub's body
        return fail(o, o_text(o) + " outside a call");
    values_.parameters().back();
    if (valued) {
        values_.parameters().set(ParamRef{0, "_VALUE"}, v);
        values_.parameters().set(ParamRef{0, "_VALUE_RETURNED"}, 1);
    }
    go_after(calls_.back().from);
    calls_.pop_back();
    return true;
}

} // namespace

int follow_program(const std::string &text, Reader &reader, Expressions &values,
                   const ReadOptions &options)
{
    return static_cast<int>(Follower(text, reader, values, options).run());
}

} // namespace korva3_gcode
