// o_words.h - a program's O-word lines found and matched to each other, before any
// line is followed (control_flow.cpp follows them).
#ifndef KORVA3_GCODE_O_WORDS_H
#define KORVA3_GCODE_O_WORDS_H

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace korva3_gcode {

enum class Keyword { Sub, Endsub, Call, Return, If, Elseif, Else, Endif, While, Endwhile,
                     Do, Repeat, Endrepeat, Break, Continue };

struct OWord {
    Keyword keyword = Keyword::Sub;
    std::string label; // as a person reads it: "o100", "o<BOLTS>"
    std::string rest;  // the line after the keyword (upper case, no blanks): values
    int line = 0;      // line of the file, from 1
    size_t index = 0;  // line - 1
    size_t at = 0;     // the line's first character in the text
    size_t next_at = 0; // the next line's (the text's size after the last)
    // Matched (indices into the O-words):
    int next = -1;  // If, Elseif, Else: the next branch or the endif; Sub: its endsub;
                    // While, Repeat: its end; Do: its closing while; the ends: their start;
                    // Return, Break, Continue: the sub or loop they leave
    bool closes_do = false; // a While that ends a Do loop
};

// Only the O-word lines are kept (a program of millions of lines needs no more): the
// lines between them are read on from one to the next.
struct Lines {
    size_t count = 0;                // lines in the text
    std::vector<OWord> words;        // in the order of their lines
    std::map<std::string, int> subs; // label -> its Sub's O-word
};

// Counts `text`'s lines and finds the O-words among them (a line whose first word,
// after any N, is O with a keyword; an O-word alone is a program number, read by the
// Reader). Each mismatch is passed to `error` (line, message). False when any was.
bool match_o_words(const std::string &text, Lines &lines,
                   const std::function<void(int, const std::string &)> &error);

// "o100 endif", as errors name an O-word.
std::string o_text(const OWord &o);

} // namespace korva3_gcode

#endif
