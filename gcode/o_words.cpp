// o_words.cpp - finding a program's O-word lines and matching each to its partners.
#include "gcode/o_words.h"

#include <algorithm>

namespace korva3_gcode {

namespace {

bool is_loop(Keyword k) { return k == Keyword::While || k == Keyword::Do || k == Keyword::Repeat; }

// The keyword that closes `k` when it opens a block.
const char *closer(Keyword k)
{
    switch (k) {
    case Keyword::Sub: return "endsub";
    case Keyword::If: return "endif";
    case Keyword::While: return "endwhile";
    case Keyword::Do: return "while";
    default: return "endrepeat";
    }
}

class Matcher {
public:
    Matcher(OWordIndex &index, const std::function<void(int, const std::string &)> &error)
        : x_(index), error_(error) {}

    void word(int k);
    void call(uint32_t label)
    {
        if (called_.size() <= label)
            called_.resize(label + 1);
        called_[label] = true;
    }
    // The labels called that no sub defines; the blocks left open are errors.
    std::vector<uint32_t> finish();
    bool good() const { return good_; }

private:
    struct Open {
        int k;    // the block's opening O-word
        int last; // an if's last branch so far
    };

    const OWord &w(int k) const { return x_.words[k]; }
    std::string text(int k) const { return o_text(x_.label(w(k).label), w(k).keyword); }
    void fail(int k, const std::string &what)
    {
        good_ = false;
        error_(w(k).line, what);
    }
    // The open block at the top, if it is `k` with o's label; else an error.
    bool closes(int k, Keyword opener);
    void close(int k)
    {
        x_.words[open_.back().k].next = k;
        x_.words[k].next = open_.back().k;
        open_.pop_back();
    }

    OWordIndex &x_;
    const std::function<void(int, const std::string &)> &error_;
    std::vector<Open> open_;        // blocks not closed yet, innermost last
    std::vector<bool> called_;      // by label: called
    bool good_ = true;
};

bool Matcher::closes(int k, Keyword opener)
{
    const OWord &o = w(k);
    if (!open_.empty() && w(open_.back().k).keyword == opener &&
        w(open_.back().k).label == o.label)
        return true;
    const std::string &label = x_.label(o.label);
    std::string what = text(k) + " without " + o_text(label, opener);
    if (!open_.empty())
        what += " (" + text(open_.back().k) + ", line " + std::to_string(w(open_.back().k).line) +
                ", is still open)";
    fail(k, what);
    return false;
}

void Matcher::word(int k)
{
    OWord &o = x_.words[k];
    const std::string &label = x_.label(o.label);
    switch (o.keyword) {
    case Keyword::Sub:
        if (!open_.empty())
            return fail(k, text(k) + " inside " + text(open_.back().k) + " (line " +
                               std::to_string(w(open_.back().k).line) +
                               "): subroutines are defined one after another, at the top level");
        if (x_.sub(o.label) >= 0) { // one error: its endsub still closes it
            fail(k, text(k) + ": defined twice (first on line " +
                        std::to_string(w(x_.sub(o.label)).line) + ")");
            open_.push_back({k, k});
            return;
        }
        x_.set_sub(o.label, k);
        open_.push_back({k, k});
        return;
    case Keyword::Endsub:
        if (closes(k, Keyword::Sub))
            close(k);
        return;
    case Keyword::Return: // labelled by its sub or by a block open in it (o2 if ... o2 return)
        if (open_.empty() || w(open_.front().k).keyword != Keyword::Sub ||
            std::none_of(open_.begin(), open_.end(),
                         [&](const Open &b) { return w(b.k).label == o.label; }))
            return fail(k, text(k) + " outside " + label + " sub");
        o.next = open_.front().k;
        return;
    case Keyword::Call: // not indexed
        return;
    case Keyword::If:
    case Keyword::Do:
    case Keyword::Repeat:
        open_.push_back({k, k});
        return;
    case Keyword::While:
        if (!open_.empty() && w(open_.back().k).keyword == Keyword::Do &&
            w(open_.back().k).label == o.label) {
            o.closes_do = true;
            close(k);
            return;
        }
        open_.push_back({k, k});
        return;
    case Keyword::Elseif:
    case Keyword::Else:
    case Keyword::Endif: {
        if (!closes(k, Keyword::If))
            return;
        Open &top = open_.back();
        if (o.keyword != Keyword::Endif && w(top.last).keyword == Keyword::Else)
            return fail(k, text(k) + " after " + label + " else (line " +
                               std::to_string(w(top.last).line) + ")");
        x_.words[top.last].next = k;
        top.last = k;
        if (o.keyword == Keyword::Endif) {
            o.next = top.k;
            open_.pop_back();
        }
        return;
    }
    case Keyword::Endwhile:
    case Keyword::Endrepeat:
        if (closes(k, o.keyword == Keyword::Endwhile ? Keyword::While : Keyword::Repeat))
            close(k);
        return;
    case Keyword::Break:
    case Keyword::Continue:
        for (auto it = open_.rbegin(); it != open_.rend(); ++it)
            if (is_loop(w(it->k).keyword) && w(it->k).label == o.label) {
                o.next = it->k;
                return;
            }
        return fail(k, text(k) + " outside loop " + label);
    }
}

std::vector<uint32_t> Matcher::finish()
{
    for (const Open &b : open_)
        fail(b.k, text(b.k) + " without " + x_.label(w(b.k).label) + " " +
                      closer(w(b.k).keyword));
    std::vector<uint32_t> missing;
    for (uint32_t label = 0; label < called_.size(); label++)
        if (called_[label] && x_.sub(label) < 0)
            missing.push_back(label);
    return missing;
}

// Each call of a label in `missing` is an error at its line (a second pass, only for
// a file that has such calls).
void calls_without_subs(LineSource &source, const OWordIndex &index,
                        const std::vector<uint32_t> &missing,
                        const std::function<void(int, const std::string &)> &error)
{
    if (!source.seek(0))
        return;
    std::string line, bad;
    OWordLine o;
    int number = 0;
    for (Got got; (got = source.next(line)) != Got::End && got != Got::Failed;) {
        number++;
        if (got != Got::Line || !read_o_word_line(line, o, bad) || !bad.empty() ||
            o.keyword != Keyword::Call)
            continue;
        const long id = index.find(o.label);
        if (id >= 0 && std::find(missing.begin(), missing.end(), id) != missing.end())
            error(number, o_text(o.label, o.keyword) + ": " +
                              index.missing(static_cast<uint32_t>(id)));
    }
}

} // namespace

long OWordIndex::find(std::string_view label) const
{
    const auto it = ids_.find(label);
    return it == ids_.end() ? -1 : static_cast<long>(it->second);
}

long OWordIndex::add(const std::string &label)
{
    const long id = find(label);
    if (id >= 0)
        return id;
    if (labels_.size() >= kMaxLabels)
        return -1;
    labels_.push_back(label);
    ids_.emplace(labels_.back(), static_cast<uint32_t>(labels_.size() - 1));
    return static_cast<long>(labels_.size() - 1);
}

void OWordIndex::set_sub(uint32_t id, int k)
{
    if (subs_.size() <= id)
        subs_.resize(id + 1, -1);
    subs_[id] = k;
}

int OWordIndex::at_line(int line) const
{
    auto it = std::lower_bound(words.begin(), words.end(), line,
                               [](const OWord &o, int l) { return o.line < l; });
    return it != words.end() && it->line == line ? static_cast<int>(it - words.begin()) : -1;
}

bool match_o_words(LineSource &source, OWordIndex &index, size_t max_words,
                   const std::function<void(int, const std::string &)> &error,
                   const std::function<std::string(const std::string &)> &outside)
{
    Matcher m(index, error);
    bool unread = false; // an O-word that can't be followed
    bool full = false;   // past a bound: nothing more is indexed or matched
    std::string line, bad;
    OWordLine o;
    for (;;) {
        const uint64_t at = source.position();
        const Got got = source.next(line);
        if (got == Got::End || got == Got::Failed)
            break; // the follower reports a file that can't be read
        if (index.lines >= static_cast<uint64_t>(kMaxLines)) {
            error(kMaxLines, "more than " + std::to_string(kMaxLines) + " lines in one file");
            return false;
        }
        const int number = static_cast<int>(++index.lines);
        if (got != Got::Line || full || !read_o_word_line(line, o, bad))
            continue;
        if (!bad.empty()) {
            error(number, bad);
            unread = true;
            continue;
        }
        const long label = index.add(o.label);
        if (label < 0 || (o.keyword != Keyword::Call && index.words.size() >= max_words)) {
            error(number, label < 0 ? "more than " + std::to_string(kMaxLabels) + " O-word labels"
                                    : "more than " + std::to_string(max_words) +
                                          " O-words that open, close or leave a block (sub, "
                                          "if, while, do, repeat ...)");
            full = true;
            continue;
        }
        if (o.keyword == Keyword::Call) {
            m.call(static_cast<uint32_t>(label));
            continue;
        }
        OWord w;
        w.at = at;
        w.next_at = source.position();
        w.line = number;
        w.label = static_cast<uint32_t>(label);
        w.keyword = o.keyword;
        index.words.push_back(w);
        m.word(static_cast<int>(index.words.size()) - 1);
    }
    index.bytes = source.position();
    if (full)
        return false;
    std::vector<uint32_t> missing;
    for (uint32_t label : m.finish()) {
        std::string why = "no " + index.label(label) + " sub in this file";
        if (outside)
            why = outside(index.label(label));
        if (!why.empty()) {
            missing.push_back(label);
            index.set_missing(label, why);
        }
    }
    if (!missing.empty())
        calls_without_subs(source, index, missing, error);
    return m.good() && !unread && missing.empty();
}

} // namespace korva3_gcode
