// control_flow.cpp - following a program's lines by its O-words: a program counter
// over the source (read on line by line, or set to an O-word's place by a jump) and a
// stack of calls. Each O-word line is read again from the source where the program
// reaches it: its values are never kept.
#include "gcode/control_flow.h"

#include <cmath>
#include <cstdint>
#include <map>

#include "gcode/modal.h"
#include "gcode/o_words.h"
#include "gcode/sub_files.h"

namespace korva3_gcode {

namespace {

class Follower {
public:
    Follower(LineSource &source, Reader &reader, Expressions &values, const ReadOptions &options,
             MoveSink &sink, ProgramSummary &summary, int &line,
             const std::vector<std::string> &folders)
        : source_(source), reader_(reader), values_(values), opt_(options), sink_(sink),
          sum_(summary), line_(line), main_name_(reader.file_name()), folders_(folders),
          subs_(reader, main_name_, folders, index_, static_cast<size_t>(options.max_o_words)) {}

    int run();

private:
    struct Call {
        int line;                    // the call's line: the lines go on after it
        uint64_t next_at;            // the place of the line after it
        std::map<int, long> repeats; // open repeat loops: O-word -> runs left
        int file = -1;               // the call's file: subs_[file], or -1 (the program)
    };

    // The lines read from now on are those of subs_[file] (-1: the program's).
    void read_file(int file);

    bool o_word(const OWordLine &o, bool testing);
    bool branch(int k, const OWordLine &o);
    bool call(const OWordLine &o);
    bool leave(const OWordLine &o);
    bool one_value(const OWordLine &o, double &v, bool needed);
    bool count(const OWordLine &o);
    bool bounded(size_t bytes);
    // The lines go on from byte `at` of the source, line `line` of the file.
    bool go(uint64_t at, int line);
    bool go_to(int k) { return go(w(k).at, w(k).line); }
    bool go_after(int k) { return go(w(k).next_at, w(k).line + 1); }
    const OWord &w(int k) const { return idx_->words[k]; }

    bool fail(const std::string &what)
    {
        reader_.fail_at(line_, what);
        return false;
    }
    // An O-word that the first pass did not find where it stands now.
    bool changed() { return fail("the file changed while it was read"); }

    LineSource &source_;
    Reader &reader_;
    Expressions &values_;
    const ReadOptions &opt_;
    MoveSink &sink_;
    ProgramSummary &sum_;
    int &line_;          // the line being read
    OWordIndex index_;
    LineSource *src_ = &source_; // the file read now: the program's or a sub's
    OWordIndex *idx_ = &index_;  // its O-words
    int file_ = -1;              // subs_[file_], or -1
    const std::string &main_name_;
    const std::vector<std::string> &folders_;
    SubFiles subs_;
    int next_line_ = 1;  // the line the source reads next
    bool testing_ = false; // an if's test failed: the next branch is tested
    std::vector<Call> calls_{Call{0, 0, {}}}; // [0]: the main program
    long steps_ = 0; // loop iterations and calls so far
    int64_t reads_ = 0; // lines read so far (read_units)
    int64_t own_ = 0;   // the program file's lines, read once (read_units)
};

int Follower::run()
{
    const bool matched =
        source_.seek(0) &&
        match_o_words(source_, index_, static_cast<size_t>(opt_.max_o_words),
                      [this](int line, const std::string &what) { reader_.fail_at(line, what); },
                      folders_.empty() ? std::function<std::string(const std::string &)>()
                                       : [this](const std::string &l) { return subs_.find(l); });
    const int lines = static_cast<int>(index_.lines);
    if (!source_.error().empty()) {
        reader_.fail_at(0, source_.error());
        return lines;
    }
    own_ += file_reads(index_);
    if (!matched || !go(0, 1))
        return lines;
    std::string text, bad;
    OWordLine o;
    while (!reader_.ended()) {
        line_ = next_line_;
        const Got got = src_->next(text);
        if (got == Got::End)
            break;
        if (got == Got::Failed || line_ > static_cast<int>(idx_->lines)) {
            fail(got == Got::Failed ? src_->error() : "the file changed while it was read");
            break;
        }
        next_line_++;
        if (!sink_.line(line_, sum_.lines_reached++)) {
            reader_.stop();
            break;
        }
        const bool testing = testing_;
        testing_ = false;
        if (got == Got::TooLong) {
            fail("more than " + std::to_string(kMaxLineBytes) + " characters on one line");
            if (!bounded(kMaxLineBytes))
                break;
            continue;
        }
        if (read_o_word_line(text, o, bad)) {
            if (!bad.empty() ? changed() : !o_word(o, testing))
                break;
        } else {
            reader_.line(line_, text);
        }
        if (!bounded(text.size()))
            break;
    }
    return lines;
}

bool Follower::go(uint64_t at, int line)
{
    if (!src_->seek(at))
        return fail(src_->error());
    next_line_ = line;
    return true;
}

// Loops can make a short file read long (O-word lines too), compute long and move
// much: all are bounded (the file's own lines, read once, always pass).
bool Follower::bounded(size_t bytes)
{
    reads_ += read_units(bytes);
    if (reads_ > own_ + subs_.own_reads() + opt_.max_reads)
        return fail("more than " + std::to_string(opt_.max_reads) +
                    " lines read again by loops and calls");
    if (values_.exhausted()) // the line has said so
        return false;
    if (reader_.moves() > static_cast<uint64_t>(opt_.max_moves))
        return fail("more than " + std::to_string(opt_.max_moves) +
                    " moves: a program this long is not checked (--max-moves N allows more)");
    return true;
}

// The value after the keyword, alone: true with `v` untouched when it may be missing
// and is.
bool Follower::one_value(const OWordLine &o, double &v, bool needed)
{
    const std::string name = o_text(o.label, o.keyword);
    if (o.rest.empty()) {
        if (needed)
            return fail(name + " needs a value: " + name + " [...]");
        return true;
    }
    size_t i = 0;
    std::string error;
    if (!values_.read(o.rest, i, v, error))
        return fail(name + ": " + error);
    if (i != o.rest.size())
        return fail(name + ": '" + o.rest.substr(i, 16) + "' after its value");
    return true;
}

bool Follower::count(const OWordLine &o)
{
    if (++steps_ <= opt_.max_iterations)
        return true;
    return fail(o_text(o.label, o.keyword) + ": more than " + std::to_string(opt_.max_iterations) +
                " loop iterations and calls (--max-iterations N allows more)");
}

// An O-word line reached: `testing` when an if's test before it failed.
bool Follower::o_word(const OWordLine &o, bool testing)
{
    if (o.keyword == Keyword::Call)
        return call(o);
    const int k = idx_->at_line(line_);
    if (k < 0 || w(k).keyword != o.keyword || idx_->label(w(k).label) != o.label)
        return changed();
    double v = 0;
    switch (o.keyword) {
    case Keyword::Sub: // a definition where it stands: skipped
        return go_after(w(k).next);
    case Keyword::Endsub:
    case Keyword::Return:
        return leave(o);
    case Keyword::If:
        return branch(k, o);
    case Keyword::Elseif:
    case Keyword::Else: {
        if (testing) // the tests before failed: this branch's turn
            return o.keyword == Keyword::Else || branch(k, o);
        int end = w(k).next; // the end of the branch taken: on past the endif
        while (w(end).keyword != Keyword::Endif)
            end = w(end).next;
        return go_after(end);
    }
    case Keyword::Endif:
        return true;
    case Keyword::While:
        if (!one_value(o, v, true))
            return false;
        if (w(k).closes_do ? v != 0 : v == 0) // back to do's body, or past the endwhile
            if (!go_after(w(k).next))
                return false;
        return v == 0 || count(o);
    case Keyword::Endwhile:
        return go_to(w(k).next);
    case Keyword::Do:
        return count(o);
    case Keyword::Repeat: {
        if (!one_value(o, v, true))
            return false;
        const double runs = std::round(v);
        if (std::fabs(v - runs) > 0.0001 || runs < 0)
            return fail(o_text(o.label, o.keyword) + " [" + number_text(v) +
                        "]: the count is a whole number, 0 or more");
        if (runs == 0)
            return go_after(w(k).next);
        // more runs than iterations allowed end at the bound all the same
        calls_.back().repeats[k] = static_cast<long>(std::fmin(runs, opt_.max_iterations + 1.0));
        return count(o);
    }
    case Keyword::Endrepeat: {
        auto left = calls_.back().repeats.find(w(k).next);
        if (left != calls_.back().repeats.end() && --left->second > 0)
            return go_after(w(k).next) && count(o);
        if (left != calls_.back().repeats.end())
            calls_.back().repeats.erase(left);
        return true;
    }
    case Keyword::Break:
        calls_.back().repeats.erase(w(k).next);
        return go_after(w(w(k).next).next); // past the loop's end
    case Keyword::Continue: // to the loop's test: its while, do's while, or endrepeat
        return go_to(w(w(k).next).keyword == Keyword::While ? w(k).next : w(w(k).next).next);
    case Keyword::Call:
        break;
    }
    return false;
}

// An if or an elseif: into its branch when its condition holds, else to the next
// branch, which is tested in turn (an else or the endif: taken).
bool Follower::branch(int k, const OWordLine &o)
{
    double v = 0;
    if (!one_value(o, v, true))
        return false;
    if (v != 0)
        return true;
    testing_ = true;
    return go_to(w(k).next);
}

bool Follower::call(const OWordLine &o)
{
    const std::string name = o_text(o.label, o.keyword);
    std::vector<double> args;
    for (size_t i = 0; i < o.rest.size();) {
        double v = 0;
        std::string error;
        if (o.rest[i] != '[') // blanks vanish: "1 2" would be 12
            return fail(name + ": each argument stands in brackets: " + name + " [1] [2]");
        if (!values_.read(o.rest, i, v, error))
            return fail(name + ": argument " + std::to_string(args.size() + 1) + ": " + error);
        args.push_back(v);
    }
    if (args.size() > static_cast<size_t>(kCallParameters))
        return fail(name + ": " + std::to_string(args.size()) + " arguments, at most " +
                    std::to_string(kCallParameters));
    if (calls_.size() > static_cast<size_t>(opt_.max_call_depth))
        return fail(name + ": calls nested more than " + std::to_string(opt_.max_call_depth) +
                    " deep (--max-call-depth N allows more)");
    if (!count(o))
        return false;
    const long label = idx_->find(o.label);
    int sub = label < 0 ? -1 : idx_->sub(static_cast<uint32_t>(label));
    int file = file_;
    const long in_program = file_ < 0 ? -1 : index_.find(o.label);
    if (sub < 0 && in_program >= 0) { // a sub file calls one of the program's subs
        sub = index_.sub(static_cast<uint32_t>(in_program));
        file = -1;
    }
    if (sub < 0) { // in its own file, indexed with the program
        file = subs_.file_of(o.label);
        if (file < 0)
            return changed();
        const OWordIndex &x = subs_[file].index;
        const long id = x.find(o.label);
        sub = id < 0 ? -1 : x.sub(static_cast<uint32_t>(id));
        if (sub < 0)
            return changed();
    }
    calls_.push_back(Call{line_, src_->position(), {}, file_});
    read_file(file);
    values_.parameters().set(ParamRef{0, "_VALUE"}, 0); // cleared: a return without a
    values_.parameters().set(ParamRef{0, "_VALUE_RETURNED"}, 0); // value leaves 0
    values_.parameters().call(args);
    return go_after(sub);
}

bool Follower::leave(const OWordLine &o)
{
    double v = 0;
    const bool valued = !o.rest.empty();
    if (!one_value(o, v, false))
        return false;
    if (calls_.size() < 2) // only a call reaches a sub's body
        return fail(o_text(o.label, o.keyword) + " outside a call");
    values_.parameters().back();
    if (valued) {
        values_.parameters().set(ParamRef{0, "_VALUE"}, v);
        values_.parameters().set(ParamRef{0, "_VALUE_RETURNED"}, 1);
    }
    const Call back = calls_.back();
    calls_.pop_back();
    read_file(back.file);
    return go(back.next_at, back.line + 1);
}

void Follower::read_file(int file)
{
    file_ = file;
    src_ = file < 0 ? &source_ : subs_[file].source.get();
    idx_ = file < 0 ? &index_ : &subs_[file].index;
    reader_.name_file(file < 0 ? main_name_ : subs_[file].name);
}

} // namespace

int follow_program(LineSource &source, Reader &reader, Expressions &values,
                   const ReadOptions &options, MoveSink &sink, ProgramSummary &summary,
                   int &line, const std::vector<std::string> &folders)
{
    const std::string &name = reader.file_name();
    const int lines = Follower(source, reader, values, options, sink, summary, line, folders).run();
    reader.name_file(name); // a reading that ended in a sub's file: its name is gone
    return lines;
}

} // namespace korva3_gcode
