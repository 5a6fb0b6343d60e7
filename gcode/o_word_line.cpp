// o_word_line.cpp - an O-word line read: its label, its keyword and the rest.
#include "gcode/o_word_line.h"

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
bool read_o_word(const std::string &s, OWordLine &o, std::string &bad)
{
    size_t i = 0;
    if (i < s.size() && s[i] == '/')
        i++; // block delete: O-words are read all the same, as LinuxCNC reads them
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
    if (o.label.size() - (o.label[1] == '<' ? 3 : 1) > kMaxLabelChars) { // o, <, >
        o.label = o.label.substr(0, 17) + "...";
        bad = o_text(o.label, o.keyword) + ": a label has at most " +
              std::to_string(kMaxLabelChars) + " characters";
        return true;
    }
    o.rest = s.substr(i + longest);
    return true;
}

} // namespace

std::string o_text(const std::string &label, Keyword keyword)
{
    return label + " " + lower(keyword_name(keyword));
}

bool read_o_word_line(const std::string &line, OWordLine &o, std::string &bad)
{
    bad.clear();
    if (std::none_of(line.begin(), line.end(), [](char c) { return c == 'o' || c == 'O'; }))
        return false;
    std::string stripped, message;
    if (!strip_line(line, stripped, message, bad)) {
        bad.clear();
        return false; // the Reader reports an unclosed comment
    }
    if (!read_o_word(stripped, o, bad))
        return false;
    const bool takes_values = o.keyword == Keyword::Call || o.keyword == Keyword::Return ||
                              o.keyword == Keyword::Endsub || o.keyword == Keyword::If ||
                              o.keyword == Keyword::Elseif || o.keyword == Keyword::While ||
                              o.keyword == Keyword::Repeat;
    if (bad.empty() && !takes_values && !o.rest.empty())
        bad = o_text(o.label, o.keyword) + ": nothing may follow it ('" + o.rest.substr(0, 16) +
              "')";
    return true;
}

} // namespace korva3_gcode
