// modal.h - a line's words sorted into their modal groups, as RS274/NGC groups them:
// at most one word of each group on a line (M7 and M8 may stand together), each letter
// of a value word at most once, and only the words this module carries out.
#ifndef KORVA3_GCODE_MODAL_H
#define KORVA3_GCODE_MODAL_H

#include <map>
#include <optional>
#include <string>

#include "gcode/block.h"

namespace korva3_gcode {

enum Group { Motion, NonModal, Plane, Distance, FeedMode, Units, Cutter, Length, Coords,
             Stop, Spindle, Coolant, kGroups };

struct LineWords {
    std::optional<int> codes[kGroups];   // the G or M number times ten (G92 = 920), by group
    bool coolant_on[2] = {false, false}; // M7, M8
    std::map<char, double> values;       // X Y Z I J K R P F S, as written
};

// Sorts a block's words. False with a message on a word that is not carried out, two
// words of one group, or a letter twice.
bool sort_words(const Block &block, LineWords &words, std::string &error);

// "G92", "M3", "G1.5": the word of `letter` and its number times ten; "12.5" for a value.
std::string word_text(char letter, int code10);
std::string number_text(double value);

} // namespace korva3_gcode

#endif
