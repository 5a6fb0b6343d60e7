// block.h - one line of a G-code program read into its words.
//
// A line is a block: an optional line number (N), then words, each a letter and a
// number ("G1", "X-12.5"). Letters may be upper or lower case; spaces and tabs may
// stand anywhere outside comments, also inside a word ("X - 1 2 . 5"). "( ... )" is a
// comment inside the line, ";" a comment to the end of the line. A line that holds only
// "%" (the program's start or end mark) is empty.
#ifndef KORVA3_GCODE_BLOCK_H
#define KORVA3_GCODE_BLOCK_H

#include <string>
#include <vector>

namespace korva3_gcode {

struct Word {
    char letter;  // upper case
    double value; // as written, in the program's units
};

// "#ref=value": the parameter's reference as read (a number 1..5601, or a name).
struct Assignment {
    int number = 0;   // 0 for a named parameter
    std::string name; // upper case, without blanks
    double value = 0;
};

struct Block {
    std::vector<Word> words;      // in the order written, N and O excluded
    bool percent = false;         // the line holds only "%"
    bool deleted = false;         // "/" at its start: skipped while block delete is on
    std::string message;          // the text of "(MSG, text)", if any
    bool checksum = false;        // "*" and a number ended the line (a printer's checksum)
    std::vector<Assignment> assignments; // "#1=..." in the order written, values as read
};

// What reads parameters and expressions in a line (expression.h). Each call reads at
// text[i] of the line as read_block holds it (upper case, no blanks or comments) and
// moves i past what it read; false with a message.
class Values {
public:
    virtual ~Values() = default;
    // Whether text[i] starts a value other than a plain number ('#', '[', a function).
    virtual bool starts(const std::string &text, size_t i) const = 0;
    virtual bool read(const std::string &text, size_t &i, double &value,
                      std::string &error) const = 0;
    // "#ref=value" at a '#'.
    virtual bool assignment(const std::string &text, size_t &i, Assignment &a,
                            std::string &error) const = 0;
    // Sets a line's parameters, once all its values are read.
    virtual void assign(const std::vector<Assignment> &assignments) = 0;
    // The line `line` could not be read for an error in the value of a parameter it
    // sets: reading that parameter later says so (instead of "read before it is set").
    virtual void not_set(int line) = 0;
};

// Reads one line. Returns false with a message (no file or line in it) when the line is
// not G-code: a letter with no number, a character that starts no word, an unclosed
// comment, a number in a bad form, a value beyond 1e9 in size (any word: coordinates,
// offsets, feeds, dwells, N, G and M included), an O-word with other words, and, without
// `values`, a parameter or an expression.
bool read_block(const std::string &line, Block &block, std::string &error,
                const Values *values = nullptr);

// The line as read_block reads it: no comments or blanks, upper case; "(MSG, ...)"'s
// text in `message`. False on an unclosed comment.
bool strip_line(const std::string &line, std::string &out, std::string &message,
                std::string &error);

// A number at text[i]: an optional sign, digits with at most one decimal point.
bool read_number(const std::string &text, size_t &i, double &value);

} // namespace korva3_gcode

#endif
