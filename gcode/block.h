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

struct Block {
    std::vector<Word> words;      // in the order written, N and O excluded
    bool percent = false;         // the line holds only "%"
    bool deleted = false;         // "/" at its start: skipped while block delete is on
    std::string message;          // the text of "(MSG, text)", if any
    bool checksum = false;        // "*" and a number ended the line (a printer's checksum)
};

// Reads one line. Returns false with a message (no file or line in it) when the line is
// not G-code: a letter with no number, a character that starts no word, an unclosed
// comment, a number in a bad form, a value beyond 1e9 in size (any word: coordinates,
// offsets, feeds, dwells, N, G and M included), an O-word with other words.
bool read_block(const std::string &line, Block &block, std::string &error);

} // namespace korva3_gcode

#endif
