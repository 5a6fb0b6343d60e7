// control_flow.cpp - following a program's lines by its O-words, with a program
// counter over the lines and a stack of calls.
#include "gcode/control_flow.h"

#include <cmath>
#include <map>

#include "gcode/modal.h"
#include "gcode/o_words.h"

namespace korva3_gcode {

namespace {

class Follower {
public:
    Follower(const std::string &text, Reader &reader, Expressions &values,
             const ReadOptions &options)
        : text_(text), reader_(reader), values_(values), opt_(options) {}

    int run();

private:
    struct Call {
        size_t return_to;           // the line after the call
        std::map<int, long> repeats; // open repeat loops: O-word -> runs left
    };

    bool o_word(const OWord &o, size_t &pc);
    bool branch(const OWord &o, size_t &pc);
    bool call(const OWord &o, size_t &pc);
    bool leave(const OWord &o, size_t &pc);
    bool one_value(const OWord &o, double &v, bool needed);
    bool count(const OWord &o);
    size_t after(int word) const { return lines_.words[word].index + 1; }

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
    std::vector<Call> calls_{Call{0, {}}}; // [0]: the main program
    long steps_ = 0; // loop iterations and calls so far
};

int Follower::run()
{
    const bool matched = match_o_words(
        text_, lines_, [this](int line, const std::string &what) { reader_.fail_at(line, what); });
    const int count = static_cast<int>(lines_.starts.size());
    if (!matched)
        return count;
    size_t pc = 0;
    while (pc < lines_.starts.size() && !reader_.ended()) {
        const int o = lines_.o[pc];
        if (o >= 0) {
            if (!o_word(lines_.words[o], pc))
                break;
            continue;
        }
        const size_t from = lines_.starts[pc];
        size_t end = text_.find('\n', from);
        if (end == std::string::npos)
            end = text_.size();
        reader_.line(static_cast<int>(pc + 1), text_.substr(from, end - from));
        pc++;
    }
    return count;
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

bool Follower::o_word(const OWord &o, size_t &pc)
{
    const std::vector<OWord> &w = lines_.words;
    double v = 0;
    switch (o.keyword) {
    case Keyword::Sub: // a definition where it stands: skipped
        pc = after(o.next);
        return true;
    case Keyword::Call:
        return call(o, pc);
    case Keyword::Endsub:
    case Keyword::Return:
        return leave(o, pc);
    case Keyword::If:
        return branch(o, pc);
    case Keyword::Elseif:
    case Keyword::Else: { // the end of the branch taken: on past the endif
        int k = o.next;
        while (w[k].keyword != Keyword::Endif)
            k = w[k].next;
        pc = after(k);
        return true;
    }
    case Keyword::Endif:
        pc++;
        return true;
    case Keyword::While:
        if (!one_value(o, v, true))
            return false;
        if (o.closes_do)
            pc = v != 0 ? after(o.next) : pc + 1;
        else
            pc = v != 0 ? pc + 1 : after(o.next);
        return v == 0 || count(o);
    case Keyword::Endwhile:
        pc = w[o.next].index;
        return true;
    case Keyword::Do:
        pc++;
        return count(o);
    case Keyword::Repeat: {
        if (!one_value(o, v, true))
            return false;
        const double runs = std::round(v);
        if (std::fabs(v - runs) > 0.0001 || runs < 0)
            return fail(o, o_text(o) + " [" + number_text(v) +
                               "]: the count is a whole number, 0 or more");
        const int k = lines_.o[pc];
        if (runs == 0) {
            pc = after(o.next);
            return true;
        }
        // more runs than iterations allowed end at the bound all the same
        calls_.back().repeats[k] = static_cast<long>(std::fmin(runs, opt_.max_iterations + 1.0));
        pc++;
        return count(o);
    }
    case Keyword::Endrepeat: {
        auto left = calls_.back().repeats.find(o.next);
        if (left != calls_.back().repeats.end() && --left->second > 0) {
            pc = after(o.next);
            return count(o);
        }
        if (left != calls_.back().repeats.end())
            calls_.back().repeats.erase(left);
        pc++;
        return true;
    }
    case Keyword::Break: {
        const OWord &loop = w[o.next];
        calls_.back().repeats.erase(o.next);
        pc = after(loop.next);
        return true;
    }
    case Keyword::Continue: { // to the loop's test: its while, do's while, or endrepeat
        const OWord &loop = w[o.next];
        pc = loop.keyword == Keyword::While ? loop.index : w[loop.next].index;
        return true;
    }
    }
    return false;
}

// An if and its elseifs: the first branch whose condition holds, else the else.
bool Follower::branch(const OWord &o, size_t &pc)
{
    const std::vector<OWord> &w = lines_.words;
    for (const OWord *b = &o;; b = &w[b->next]) {
        if (b->keyword == Keyword::Else || b->keyword == Keyword::Endif) {
            pc = b->index + 1;
            return true;
        }
        double v = 0;
        if (!one_value(*b, v, true))
            return false;
        if (v != 0) {
            pc = b->index + 1;
            return true;
        }
    }
}

bool Follower::call(const OWord &o, size_t &pc)
{
    std::vector<double> args;
    for (size_t i = 0; i < o.rest.size();) {
        double v = 0;
        std::string error;
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
    calls_.push_back(Call{pc + 1, {}});
    values_.parameters().call(args);
    pc = lines_.words[lines_.subs.at(o.label)].index + 1;
    return true;
}

bool Follower::leave(const OWord &o, size_t &pc)
{
    double v = 0;
    const bool valued = !o.rest.empty();
    if (!one_value(o, v, false))
        return false;
    if (calls_.size() < 2) // only a call reaches a sub's body
        return fail(o, o_text(o) + " outside a call");
    values_.parameters().back();
    if (valued)
        values_.parameters().set(ParamRef{0, "_VALUE"}, v);
    pc = calls_.back().return_to;
    calls_.pop_back();
    return true;
}

} // namespace

int follow_program(const std::string &text, Reader &reader, Expressions &values,
                   const ReadOptions &options)
{
    return Follower(text, reader, values, options).run();
}

} // namespace korva3_gcode
