// o_words.cpp - finding a program's O-word lines and matching each to its partners.
#include "gcode/o_words.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "gcode/block.h"

namespace korva3_gcode {

namespace {

struct Name {
    const char *text;
    Keyword keyword;
};

// Longer names first where one begins another ("ENDSUB" before "END...", "ELSEIF"
// before "ELSE").
const Name kKeywords[] = {
    {"SUB", Keyword::Sub},           {"ENDSUB", Keyword::Endsub},
    {"CALL", Keyword::Call},         {"RETURN", Keyword::Return},
    {"IF", Keyword::If},             {"ELSEIF", Keyword::Elseif},
    {"ELSE", Keyword::Else},         {"ENDIF", Keyword::Endif},
    {"WHILE", Keyword::While},       {"ENDWHILE", Keyword::Endwhile},
    {"DO", Keyword::Do},             {"REPEAT", Keyword::Repeat},
    {"ENDREPEAT", Keyword::Endrepeat}, {"BREAK", Keyword::Break},
    {"CONTINUE", Keyword::Continue},
};

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const char *keyword_name(Keyword k)
{
    for (const Name &n : kKeywords)
        if (n.keyword == k)
            return n.text;
    return "";
}

// The O-word at the start of a stripped line: false when the line holds none with a
// keyword. `bad` gets a message for an O-word that can't be read.
bool read_o_word(const std::string &s, OWord &o, std::string &bad)
{
    size_t i = 0;
    if (i < s.size() && s[i] == '/')
        i++;
    double n = 0;
    if (i < s.size() && s[i] == 'N') {
        i++;
        if (!read_number(s, i, n))
            return false; // the Reader says what is wrong
    }
    if (i >= s.size() || s[i] != 'O')
        return false;
    i++;
    if (i < s.size() && s[i] == '<') {
        size_t close = s.find('>', i);
        if (close == std::string::npos || close == i + 1)
            return false;
        o.label = "o" + s.substr(i, close + 1 - i);
        i = close + 1;
    } else {
        size_t start = i;
        if (!read_number(s, i, n) || s[start] == '-' || s[start] == '+')
            return false;
        while (start + 1 < i && s[start] == '0' && s[start + 1] != '.')
            start++; // o0100 is o100
        o.label = "o" + s.substr(start, i - start);
    }
    size_t longest = 0;
    for (const Name &k : kKeywords) {
        const size_t len = std::strlen(k.text);
        if (len > longest && s.compare(i, len, k.text) == 0) {
            longest = len;
            o.keyword = k.keyword;
        }
    }
    if (longest == 0)
        return false; // a program number, or other words: the Reader's
    if (s[0] == '/') {
        bad = "'/' (block delete) before " + o_text(o) + ": O-words are always read";
        return true;
    }
    o.rest = s.substr(i + longest);
    return true;
}

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
    Matcher(Lines &lines, const std::function<void(int, const std::string &)> &error)
        : l_(lines), error_(error) {}

    void word(int k);
    void finish();
    bool good() const { return good_; }

private:
    void fail(const OWord &o, const std::string &what)
    {
        good_ = false;
        error_(o.line, what);
    }
    // The open block at the top, if it is `k` with o's label; else an error.
    bool closes(int k, Keyword opener);

    Lines &l_;
    const std::function<void(int, const std::string &)> &error_;
    std::vector<int> open_;        // blocks not closed yet, innermost last
    std::map<int, int> last_;      // an if's last branch so far
    std::vector<int> calls_;
    bool good_ = true;
};

bool Matcher::closes(int k, Keyword opener)
{
    OWord &o = l_.words[k];
    if (!open_.empty() && l_.words[open_.back()].keyword == opener &&
        l_.words[open_.back()].label == o.label)
        return true;
    std::string what = o_text(o) + " without " + o.label + " " + lower(keyword_name(opener));
    if (!open_.empty()) {
        const OWord &top = l_.words[open_.back()];
        what += " (" + o_text(top) + ", line " + std::to_string(top.line) + ", is still open)";
    }
    fail(o, what);
    return false;
}

void Matcher::word(int k)
{
    OWord &o = l_.words[k];
    auto link = [this, k](int from) { l_.words[from].next = k; };
    switch (o.keyword) {
    case Keyword::Sub:
        if (!open_.empty())
            return fail(o, o_text(o) + " inside " + o_text(l_.words[open_.back()]) + " (line " +
                               std::to_string(l_.words[open_.back()].line) +
                               "): subroutines are defined one after another, at the top level");
        if (l_.subs.count(o.label))
            return fail(o, o_text(o) + ": defined twice (first on line " +
                               std::to_string(l_.words[l_.subs[o.label]].line) + ")");
        l_.subs[o.label] = k;
        open_.push_back(k);
        return;
    case Keyword::Endsub:
        if (closes(k, Keyword::Sub)) {
            link(open_.back());
            o.next = open_.back();
            open_.pop_back();
        }
        return;
    case Keyword::Return: // labelled by its sub or by a block open in it (o2 if ... o2 return)
        if (open_.empty() || l_.words[open_.front()].keyword != Keyword::Sub ||
            std::none_of(open_.begin(), open_.end(),
                         [&](int b) { return l_.words[b].label == o.label; }))
            return fail(o, o_text(o) + " outside " + o.label + " sub");
        o.next = open_.front();
        return;
    case Keyword::Call:
        calls_.push_back(k);
        return;
    case Keyword::If:
    case Keyword::Do:
    case Keyword::Repeat:
        open_.push_back(k);
        last_[k] = k;
        return;
    case Keyword::While:
        if (!open_.empty() && l_.words[open_.back()].keyword == Keyword::Do &&
            l_.words[open_.back()].label == o.label) {
            o.closes_do = true;
            link(open_.back());
            o.next = open_.back();
            open_.pop_back();
            return;
        }
        open_.push_back(k);
        return;
    case Keyword::Elseif:
    case Keyword::Else:
    case Keyword::Endif:
        if (!closes(k, Keyword::If))
            return;
        if (o.keyword != Keyword::Endif && l_.words[last_[open_.back()]].keyword == Keyword::Else)
            return fail(o, o_text(o) + " after " + o.label + " else (line " +
                               std::to_string(l_.words[last_[open_.back()]].line) + ")");
        link(last_[open_.back()]);
        last_[open_.back()] = k;
        if (o.keyword == Keyword::Endif) {
            o.next = open_.back();
            open_.pop_back();
        }
        return;
    case Keyword::Endwhile:
    case Keyword::Endrepeat:
        if (closes(k, o.keyword == Keyword::Endwhile ? Keyword::While : Keyword::Repeat)) {
            link(open_.back());
            o.next = open_.back();
            open_.pop_back();
        }
        return;
    case Keyword::Break:
    case Keyword::Continue:
        for (auto it = open_.rbegin(); it != open_.rend(); ++it)
            if (is_loop(l_.words[*it].keyword) && l_.words[*it].label == o.label) {
                o.next = *it;
                return;
            }
        return fail(o, o_text(o) + " outside loop " + o.label);
    }
}

void Matcher::finish()
{
    for (int k : open_)
        fail(l_.words[k], o_text(l_.words[k]) + " without " + l_.words[k].label + " " +
                              closer(l_.words[k].keyword));
    for (int k : calls_)
        if (!l_.subs.count(l_.words[k].label))
            fail(l_.words[k], o_text(l_.words[k]) + ": no " + l_.words[k].label +
                                  " sub in this file");
}

} // namespace

std::string o_text(const OWord &o)
{
    return o.label + " " + lower(keyword_name(o.keyword));
}

bool match_o_words(const std::string &text, Lines &lines,
                   const std::function<void(int, const std::string &)> &error)
{
    Matcher m(lines, error);
    bool unread = false; // an O-word that can't be followed
    for (size_t at = 0; at < text.size(); lines.count++) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const size_t from = at;
        at = end + 1;
        const auto first = text.begin() + static_cast<std::ptrdiff_t>(from);
        const auto last = text.begin() + static_cast<std::ptrdiff_t>(end);
        if (std::find_if(first, last, [](char c) { return c == 'o' || c == 'O'; }) == last)
            continue;
        const std::string line = text.substr(from, end - from);
        std::string stripped, message, bad;
        OWord o;
        if (!strip_line(line, stripped, message, bad) || !read_o_word(stripped, o, bad))
            continue; // the Reader reports an unclosed comment
        o.index = lines.count;
        o.line = static_cast<int>(lines.count + 1);
        o.at = from;
        o.next_at = std::min(at, text.size());
        const bool takes_values = o.keyword == Keyword::Call || o.keyword == Keyword::Return ||
                                  o.keyword == Keyword::Endsub || o.keyword == Keyword::If ||
                                  o.keyword == Keyword::Elseif || o.keyword == Keyword::While ||
                                  o.keyword == Keyword::Repeat;
        if (bad.empty() && !takes_values && !o.rest.empty())
            bad = o_text(o) + ": nothing may follow it ('" + o.rest.substr(0, 16) + "')";
        if (!bad.empty()) {
            error(o.line, bad);
            unread = true;
            continue;
        }
        lines.words.push_back(o);
        m.word(static_cast<int>(lines.words.size()) - 1);
    }
    m.finish();
    return m.good() && !unread;
}

} // namespace korva3_gcode
